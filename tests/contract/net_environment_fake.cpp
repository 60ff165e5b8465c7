// The WinINet contract environment in memory: the fake's responder answers
// as testbed/server.py does and keeps the server's view of each request.
#ifndef NORVANE_CONTRACT_REAL

#include "net_environment.h"
#include "port/fake/fake_internet.h"

#include <cstdlib>

namespace contract {

namespace {

constexpr port::INTERNET_PORT kServerPort = 8123;
constexpr port::INTERNET_PORT kClosedPort = 8124;

class FakeNetEnvironment final : public NetEnvironment {
public:
    explicit FakeNetEnvironment(Environment& env) : net(dynamic_cast<port::FakeOs&>(env.Os())) {
        net.responder = [this](const port::FakeSentRequest& r) { return Answer(r); };
    }

    port::Internet& Net() override { return net; }
    port::INTERNET_PORT ServerPort() override { return kServerPort; }
    port::INTERNET_PORT ClosedPort() override { return kClosedPort; }
    std::vector<SeenRequest> ServerRequests() override { return seen; }
    void AnswerNextCredentialDialog(bool ok, const std::string& user,
                                    const std::string& password) override {
        net.dialogs.push_back(
            {ok ? port::ERROR_INTERNET_FORCE_RETRY : port::ERROR_CANCELLED, user, password});
    }
    void Finish() override { EXPECT_EQ(net.OpenHandleCount(), 0) << net.Describe(); }

private:
    port::FakeHttpAnswer Answer(const port::FakeSentRequest& r) {
        port::FakeHttpAnswer a;
        bool proxied = !r.proxy.empty();
        if (!proxied && r.port != kServerPort) {
            a.sendError = port::ERROR_INTERNET_CANNOT_CONNECT;
            return a;
        }
        SeenRequest s;
        std::string target =
            proxied ? "http://" + r.server + ":" + std::to_string(r.port ? r.port : 80) + r.object
                    : r.object;
        s.requestLine = r.verb + " " + target + " " + r.version;
        s.headers = r.headers;
        s.headers.push_back("Host: " + r.server);
        s.headers.push_back("User-Agent: " + r.agent);
        seen.push_back(s);

        // /status/NNN[?body=TEXT]
        const std::string prefix = "/status/";
        if (r.object.compare(0, prefix.size(), prefix) == 0) {
            a.status = static_cast<port::DWORD>(std::atoi(r.object.c_str() + prefix.size()));
            auto body = r.object.find("body=");
            if (body != std::string::npos)
                a.body = r.object.substr(body + 5);
        }
        if (a.status != 204)
            a.headers.push_back({"Content-Length", std::to_string(a.body.size())});
        return a;
    }

    port::FakeInternet net;
    std::vector<SeenRequest> seen;
};

} // namespace

std::unique_ptr<NetEnvironment> MakeNetEnvironment(Environment& env) {
    return std::make_unique<FakeNetEnvironment>(env);
}

} // namespace contract

#endif
