// HttpFetch on the in-memory WinINet: access type and options, Basic
// credentials, the credential dialog, the body and its hooks, and release of
// every handle on every way out.
#include "notify/http_fetch.h"
#include "fake_net_system.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

using namespace port;

namespace {

const char* const kInternetSettings =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

FakeHttpAnswer Answer(DWORD status, std::string body = {}) {
    FakeHttpAnswer a;
    a.status = status;
    a.body = std::move(body);
    a.headers.push_back({"Content-Length", std::to_string(a.body.size())});
    return a;
}

class Fetch : public FakeNetSystemTest {
protected:
    Fetch() {
        s_lastProxyUser.clear();
        s_lastProxyPassword.clear();
        s_lastServerUser.clear();
        s_lastServerPassword.clear();
        params.server = "console.example";
        params.object = "/x";
    }
    ~Fetch() override {
        s_lastProxyUser.clear();
        s_lastProxyPassword.clear();
        s_lastServerUser.clear();
        s_lastServerPassword.clear();
    }

    HttpRequestSpec params;
    CByteBuffer sink;
};

} // namespace

TEST_F(Fetch, ProxyOptionsAndCredentialsInTheirOrderUnlessAutoConfigured) {
    params.proxyHost = "proxy.local";
    params.proxyPort = 0;
    params.proxyUser = "pu";
    params.proxyPassword = "pp";
    params.serverUser = "su";
    params.serverPassword = "sp";
    params.connectRetries = 1;
    net.answers = {Answer(200), Answer(200), Answer(200)};
    HttpFetch(params, sink);
    EXPECT_EQ(net.CallsOf("InternetOpenA"),
              std::vector<std::string>{
                  R"(InternetOpenA("Norvane", 3, "http=http://proxy.local:0", null, 0x0))"});
    auto options = [](const std::string& c) {
        return std::vector<std::string>{"InternetSetOptionA(" + c + ", 3, 1)",
                                        "InternetSetOptionA(" + c + ", 2, 10000)",
                                        "InternetSetOptionA(" + c + ", 5, 10000)",
                                        "InternetSetOptionA(" + c + ", 6, 10000)",
                                        "InternetSetOptionA(" + c + ", 7, 10000)",
                                        "InternetSetOptionA(" + c + ", 8, 10000)",
                                        "InternetSetOptionA(" + c + ", 4, 0)",
                                        "InternetSetOptionA(" + c + R"(, 43, "pu", 2))",
                                        "InternetSetOptionA(" + c + R"(, 44, "pp", 2))",
                                        "InternetSetOptionA(" + c + R"(, 28, "su", 2))",
                                        "InternetSetOptionA(" + c + R"(, 29, "sp", 2))"};
    };
    EXPECT_EQ(net.CallsOf("InternetSetOptionA"), options("connection1"));
    EXPECT_EQ(net.CallsOf("HttpOpenRequestA"),
              std::vector<std::string>{R"(HttpOpenRequestA(connection1, "GET", "/x", "HTTP/1.0", )"
                                       R"(null, null, 0x20000000, 1))"});
    EXPECT_EQ(net.sent[0].headers,
              (std::vector<std::string>{"Accept: */*", "Proxy-Authorization: Basic cHU6cHA=",
                                        "Authorization: Basic c3U6c3A="}));

    // An automatic configuration script: the library's own settings, no
    // option at all; the server's Basic header, and no proxy login for a
    // proxy the script chooses.
    os.SetString(HKEY_CURRENT_USER, kInternetSettings, "AutoConfigURL",
                 "http://wpad/" + std::string(115, 'p')); // 127 characters
    net.calls.clear();
    HttpFetch(params, sink);
    EXPECT_EQ(net.CallsOf("InternetOpenA"),
              std::vector<std::string>{R"(InternetOpenA("Norvane", 0, null, null, 0x0))"});
    EXPECT_TRUE(net.CallsOf("InternetSetOptionA").empty());
    EXPECT_FALSE(net.sent[1].Has("Proxy-Authorization"));
    EXPECT_TRUE(net.sent[1].Has("Authorization"));

    // 128 characters do not fit the 128-byte buffer with their NUL: none.
    os.SetString(HKEY_CURRENT_USER, kInternetSettings, "AutoConfigURL",
                 "http://wpad/" + std::string(116, 'p'));
    net.calls.clear();
    HttpFetch(params, sink);
    EXPECT_EQ(net.CallsOf("InternetSetOptionA"), options("connection3"));
}

// An "AutoConfigURL" that is there but empty names no script: the proxy
// given is used.
TEST_F(Fetch, AnEmptyAutoConfigUrlIsNone) {
    os.SetString(HKEY_CURRENT_USER, kInternetSettings, "AutoConfigURL", "");
    params.proxyHost = "proxy.local";
    net.answers = {Answer(200)};
    HttpFetch(params, sink);
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].accessType, INTERNET_OPEN_TYPE_PROXY);
    EXPECT_EQ(net.sent[0].proxy, "http=http://proxy.local:80");
}

TEST_F(Fetch, TypedServerCredentialsStartANewFetchAndAreOfferedLater) {
    net.answers = {Answer(401, "denied"), Answer(200, "welcome"), Answer(200, "again")};
    net.dialogs = {{ERROR_INTERNET_FORCE_RETRY, "typed", "secret"}};
    HttpFetch(params, sink);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sink.Data()), sink.Length()), "welcome");
    EXPECT_EQ(net.CallsOf("InternetErrorDlg"),
              std::vector<std::string>{"InternetErrorDlg(desktop, request1, 12014, 7, null)"});
    // The challenge's body was read to its end before the dialog: as much
    // as had arrived, then a read that found nothing more ...
    auto dialog = std::find(net.calls.begin(), net.calls.end(),
                            "InternetErrorDlg(desktop, request1, 12014, 7, null)");
    ASSERT_GE(dialog - net.calls.begin(), 3);
    EXPECT_EQ(*(dialog - 1), "InternetReadFile(request1, 1024)");
    EXPECT_EQ(*(dialog - 3), "InternetReadFile(request1, 6)");
    // ... and the first request was released only after the new one ended.
    EXPECT_EQ(std::vector<std::string>(net.calls.end() - 6, net.calls.end()),
              (std::vector<std::string>{
                  "InternetCloseHandle(request2)", "InternetCloseHandle(connection2)",
                  "InternetCloseHandle(session2)", "InternetCloseHandle(request1)",
                  "InternetCloseHandle(connection1)", "InternetCloseHandle(session1)"}));
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_FALSE(net.sent[0].Has("Authorization"));
    EXPECT_EQ(net.sent[1].Header("Authorization"), "Basic dHlwZWQ6c2VjcmV0");
    EXPECT_EQ(s_lastServerUser, "typed");
    EXPECT_TRUE(s_lastProxyUser.empty());

    // A later request without a user name of its own offers them too.
    HttpFetch(params, sink);
    EXPECT_EQ(net.sent[2].Header("Authorization"), "Basic dHlwZWQ6c2VjcmV0");
    EXPECT_FALSE(net.sent[2].Has("Proxy-Authorization"));
}

TEST_F(Fetch, ChallengesWithoutATypedNameResendAndTheNewStatusDecides) {
    params.authRetries = 0;
    // Proxy challenge confirmed with an empty name: one resend, its 503 ends it.
    net.answers = {Answer(407), Answer(503)};
    net.dialogs = {{ERROR_INTERNET_FORCE_RETRY, "", ""}};
    try {
        HttpFetch(params, sink);
        ADD_FAILURE() << "no exception";
    } catch (const CInternetStatusException& e) {
        EXPECT_EQ(e.m_dwStatusCode, 503u);
    }
    EXPECT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.CallsOf("InternetQueryOptionA"),
              (std::vector<std::string>{"InternetQueryOptionA(request1, 43, 128)",
                                        "InternetQueryOptionA(request1, 44, 128)"}));

    // Cancelled: the challenge's status stands; with two retries the dialog
    // comes back twice more.
    params.authRetries = 2;
    net.answers = {Answer(401)};
    net.calls.clear();
    try {
        HttpFetch(params, sink);
        ADD_FAILURE() << "no exception";
    } catch (const CInternetStatusException& e) {
        EXPECT_EQ(e.m_dwStatusCode, 401u);
    }
    EXPECT_EQ(net.CallsOf("InternetErrorDlg").size(), 3u);
    EXPECT_TRUE(s_lastServerUser.empty());
}

TEST_F(Fetch, BodyWithItsLengthHookAndACancelBetweenPieces) {
    struct Hooks {
        std::vector<DWORD> lengths;
        int polls = 0;
        int cancelAtPoll = 0; // 0: never
    } hooks;
    params.hookData = &hooks;
    params.lengthHook = [](DWORD length, void* data) {
        static_cast<Hooks*>(data)->lengths.push_back(length);
    };
    params.cancelHook = [](void* data) {
        auto* h = static_cast<Hooks*>(data);
        return ++h->polls == h->cancelAtPoll ? 1 : 0;
    };

    net.answers = {Answer(200, std::string(2500, 'b'))};
    HttpFetch(params, sink);
    EXPECT_EQ(sink.Length(), 2500u);
    EXPECT_EQ(hooks.lengths, std::vector<DWORD>{2500});
    EXPECT_EQ(hooks.polls, 4); // before the body, then once per piece of 1024, 1024, 452

    // An empty body and no length header: nothing appended, length 0.
    FakeHttpAnswer empty;
    net.answers = {empty};
    CByteBuffer none;
    HttpFetch(params, none);
    EXPECT_EQ(none.Capacity(), 0u);
    EXPECT_EQ(hooks.lengths.back(), 0u);

    // Cancelled after the first piece: status 0, that piece kept.
    hooks.polls = 0;
    hooks.cancelAtPoll = 3;
    net.answers = {Answer(200, std::string(2500, 'c'))};
    CByteBuffer part;
    try {
        HttpFetch(params, part);
        ADD_FAILURE() << "no exception";
    } catch (const CInternetStatusException& e) {
        EXPECT_EQ(e.m_dwStatusCode, 0u);
    }
    EXPECT_EQ(part.Length(), 1024u);
}

// A HEAD answer announces the length of a body it never has: no body is not
// a connection cut short.
TEST_F(Fetch, AHeadAnswerWithALengthAndNoBodyIsWhole) {
    params.verb = 2; // HEAD
    FakeHttpAnswer head = Answer(200);
    head.headers = {{"Content-Length", "5000"}};
    net.answers = {head};
    EXPECT_NO_THROW(HttpFetch(params, sink));
    EXPECT_EQ(sink.Length(), 0u);
}

TEST_F(Fetch, StatusHookGetsTheSessionAndTheRequestsNotifications) {
    struct Seen {
        HINTERNET session;
        DWORD_PTR context;
        DWORD status;
    };
    std::vector<Seen> seen;
    params.context = 7;
    params.hookData = &seen;
    params.statusHook = [](HINTERNET session, DWORD_PTR context, DWORD status, void*, DWORD,
                           void* data) {
        static_cast<std::vector<Seen>*>(data)->push_back({session, context, status});
    };
    net.answers = {Answer(200)};
    HttpFetch(params, sink);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0].session, nullptr);
    EXPECT_EQ(seen[0].context, 7u);
    EXPECT_EQ(seen[0].status, INTERNET_STATUS_SENDING_REQUEST);
    EXPECT_EQ(seen[1].status, INTERNET_STATUS_REQUEST_SENT);

    // Without a hook no callback is installed at all.
    params.statusHook = nullptr;
    net.calls.clear();
    net.answers = {Answer(200)};
    HttpFetch(params, sink);
    EXPECT_TRUE(net.CallsOf("InternetSetStatusCallback").empty());
}

// A hook that makes a request of its own: the inner session, once closed,
// hands the notifications back to the one around it and is never called
// again.
TEST_F(Fetch, ASessionClosedInsideAnotherLeavesItTheNotifications) {
    struct Seen {
        std::vector<std::pair<std::string, DWORD>> notes; // (session, status)
        std::function<void()> nested;                     // the hook's own request, made once
    } seen;
    auto inner = params;
    inner.hookData = &seen;
    inner.statusHook = [](HINTERNET, DWORD_PTR, DWORD status, void*, DWORD, void* data) {
        static_cast<Seen*>(data)->notes.emplace_back("inner", status);
    };
    seen.nested = [&inner] {
        CByteBuffer innerSink;
        HttpFetch(inner, innerSink);
    };
    params.hookData = &seen;
    params.statusHook = [](HINTERNET, DWORD_PTR, DWORD status, void*, DWORD, void* data) {
        auto* s = static_cast<Seen*>(data);
        s->notes.emplace_back("outer", status);
        if (auto nested = std::exchange(s->nested, nullptr))
            nested();
    };
    net.answers = {Answer(200), Answer(200)};
    HttpFetch(params, sink);
    EXPECT_EQ(seen.notes, (std::vector<std::pair<std::string, DWORD>>{
                              {"outer", INTERNET_STATUS_SENDING_REQUEST},
                              {"inner", INTERNET_STATUS_SENDING_REQUEST},
                              {"inner", INTERNET_STATUS_REQUEST_SENT},
                              {"outer", INTERNET_STATUS_REQUEST_SENT}}));
}

TEST_F(Fetch, EveryHandleIsReleasedWhateverEndsTheRequest) {
    auto hook = [](HINTERNET, DWORD_PTR, DWORD, void*, DWORD, void*) {};
    struct Case {
        const char* what;
        std::function<void()> setUp;
        DWORD error; // CInternetException's code; 0: a status exception
    };
    const Case cases[] = {
        {"session", [&] { net.openError = ERROR_NOT_ENOUGH_MEMORY; }, ERROR_NOT_ENOUGH_MEMORY},
        {"callback",
         [&] {
             net.statusCallbackRefused = true;
             params.statusHook = hook;
         },
         ERROR_INTERNET_INCORRECT_HANDLE_TYPE},
        {"connection", [&] { params.server = ""; }, ERROR_INVALID_PARAMETER},
        {"request", [&] { net.openRequestError = ERROR_INTERNET_INVALID_OPERATION; },
         ERROR_INTERNET_INVALID_OPERATION},
        {"send", [] {}, ERROR_INTERNET_CANNOT_CONNECT}, // nothing scripted: nobody listens
        {"read",
         [&] {
             FakeHttpAnswer a = Answer(200, "x");
             a.readError = ERROR_INTERNET_CONNECTION_ABORTED;
             net.answers = {a};
         },
         ERROR_INTERNET_CONNECTION_ABORTED},
        {"status", [&] { net.answers = {Answer(404)}; }, 0},
        {"inner fetch",
         [&] {
             net.answers = {Answer(401), Answer(500)};
             net.dialogs = {{ERROR_INTERNET_FORCE_RETRY, "u", "p"}};
         },
         0},
    };
    for (const Case& c : cases) {
        net.answers.clear();
        net.dialogs.clear();
        net.openError = net.openRequestError = 0;
        net.statusCallbackRefused = false;
        params = HttpRequestSpec{};
        params.server = "console.example";
        c.setUp();
        try {
            HttpFetch(params, sink);
            ADD_FAILURE() << c.what << ": no exception";
        } catch (const CInternetException& e) {
            EXPECT_EQ(e.m_dwError, c.error) << c.what;
        } catch (const CInternetStatusException&) {
            EXPECT_EQ(c.error, 0u) << c.what;
        }
        EXPECT_EQ(net.OpenHandleCount(), 0) << c.what << ": " << net.Describe();
    }
}

// A request method outside the seven known ones opens nothing.
TEST_F(Fetch, AnUnknownRequestMethodIsRefusedBeforeAnythingIsOpened) {
    for (int verb : {-1, 7}) {
        params.verb = verb;
        EXPECT_THROW(HttpFetch(params, sink), CRequestException) << verb;
    }
    EXPECT_TRUE(net.calls.empty());
}
