// The WinINet contract environment in memory: the fake's responder answers
// as testbed/server.py does and keeps the server's view of each request.
#ifndef NORVANE_CONTRACT_REAL

#include "net_environment.h"
#include "port/fake/fake_internet.h"

#include <algorithm>
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
            a.body = Query(r.object, "body");
        }
        if (Hostile(r.object, &a))
            return a;
        if (a.status != 204)
            a.headers.push_back({"Content-Length", std::to_string(a.body.size())});
        return a;
    }

    static std::string Query(const std::string& object, const std::string& name) {
        auto at = object.find(name + "=");
        if (at == std::string::npos || at == 0 || (object[at - 1] != '?' && object[at - 1] != '&'))
            return {};
        auto end = object.find('&', at);
        // "to=" carries a whole URL: it takes the rest.
        if (name == "to")
            end = std::string::npos;
        return object.substr(at + name.size() + 1,
                             end == std::string::npos ? end : end - at - name.size() - 1);
    }

    // /hostile/...: what the real library made of server.py's hostile answers.
    static bool Hostile(const std::string& object, port::FakeHttpAnswer* a) {
        const std::string prefix = "/hostile/";
        if (object.compare(0, prefix.size(), prefix) != 0)
            return false;
        std::string rest = object.substr(prefix.size(), object.find('?') - prefix.size());
        auto number = [&rest](std::size_t at) { return std::atoi(rest.c_str() + at); };
        std::string body = Query(object, "body");
        *a = port::FakeHttpAnswer{};
        if (rest == "garbage") {
            a->body = std::string("\0\xff garbage", 10); // no header at all
        } else if (rest.rfind("headers/", 0) == 0) {
            for (int i = 0; i < number(8); ++i)
                a->headers.push_back({"X-Filler-" + std::to_string(i), std::string(16, 'f')});
            a->body = "ok";
        } else if (rest.rfind("redirect/", 0) == 0) {
            a->status = static_cast<port::DWORD>(number(9));
            a->headers.push_back({"Location", Query(object, "to")});
            a->body = "moved";
        } else if (rest.rfind("cut/", 0) == 0) {
            a->headers.push_back({"Content-Length", std::to_string(number(4))});
            a->body = body;
        } else if (rest.rfind("trickle/", 0) == 0) {
            int const pieces = std::max(1, number(8));
            a->arrivalBytes = static_cast<port::DWORD>((body.size() + pieces - 1) / pieces);
            a->arrivalDelayMs = static_cast<port::DWORD>(number(rest.find('/', 8) + 1));
            a->headers.push_back({"Content-Length", std::to_string(body.size())});
            a->body = body;
        }
        return true;
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
