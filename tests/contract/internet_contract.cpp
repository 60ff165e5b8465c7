// WinINet: what the notification's request relies on — a GET with its
// status, length and body, the server's view of it, credential options, the
// status callback, the credential dialog, the proxy, failures and their texts.
#include "net_environment.h"

#include <cstring>

using namespace port;

namespace contract {

std::string NetEnvironment::SeenRequest::Header(const std::string& name) const {
    for (const auto& line : headers)
        if (line.size() > name.size() && line.compare(0, name.size() + 2, name + ": ") == 0)
            return line.substr(name.size() + 2);
    return "<none>";
}

namespace {

class InternetContract : public ContractTest {
protected:
    InternetContract() : netEnv(MakeNetEnvironment(*env)), net(netEnv->Net()) {
        port::SetNet(&net);
    }
    ~InternetContract() override { port::SetNet(nullptr); }
    void SetUp() override {
        if (netEnv->ServerPort() == 0)
            GTEST_SKIP() << "no server stand-in here";
    }
    void TearDown() override {
        netEnv->Finish();
        ContractTest::TearDown();
    }

    // An open session (direct unless a proxy is given), with the status
    // callback when one is given, and a connection.
    void Open(const char* server, INTERNET_PORT port, const char* proxy = nullptr,
              INTERNET_STATUS_CALLBACK callback = nullptr) {
        session = net.InternetOpenA("NorvaneContract",
                                    proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
                                    proxy, nullptr, 0);
        ASSERT_NE(session, nullptr) << os.GetLastError();
        // Handles take their parent's callback when they are made.
        if (callback) {
            EXPECT_EQ(net.InternetSetStatusCallback(session, callback), nullptr);
        }
        connection = net.InternetConnectA(session, server, port, nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 5);
        ASSERT_NE(connection, nullptr) << os.GetLastError();
    }
    HINTERNET Get(const char* object, DWORD_PTR context = 5) {
        HINTERNET r = net.HttpOpenRequestA(connection, "GET", object, "HTTP/1.0", nullptr, nullptr,
                                           INTERNET_FLAG_RELOAD, context);
        EXPECT_NE(r, nullptr) << os.GetLastError();
        return r;
    }
    DWORD Status(HINTERNET request) {
        DWORD status = 0, size = sizeof status;
        EXPECT_TRUE(net.HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                       &status, &size, nullptr))
            << os.GetLastError();
        return status;
    }
    std::string ReadAll(HINTERNET request, DWORD piece) {
        std::string body;
        char buffer[64];
        DWORD n = 0;
        while (net.InternetReadFile(request, buffer, piece, &n) && n > 0)
            body.append(buffer, n);
        return body;
    }
    void CloseAll(HINTERNET request) {
        EXPECT_TRUE(net.InternetCloseHandle(request));
        EXPECT_TRUE(net.InternetCloseHandle(connection));
        EXPECT_TRUE(net.InternetCloseHandle(session));
    }

    std::unique_ptr<NetEnvironment> netEnv;
    Internet& net;
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
};

TEST_F(InternetContract, GetReadsStatusLengthAndBodyAsTheServerSawIt) {
    Open("127.0.0.1", netEnv->ServerPort());
    DWORD timeout = 20000;
    EXPECT_TRUE(net.InternetSetOptionA(connection, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout,
                                       sizeof timeout));
    HINTERNET r = Get("/status/200?body=hello");
    EXPECT_TRUE(net.HttpAddRequestHeadersA(r, "Accept: */*\r\n", 13, HTTP_ADDREQ_FLAG_ADD_IF_NEW));
    std::size_t before = netEnv->ServerRequests().size();
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();

    EXPECT_EQ(Status(r), 200u);
    DWORD length = 0, size = sizeof length;
    EXPECT_TRUE(net.HttpQueryInfoA(r, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                                   &size, nullptr));
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(ReadAll(r, 2), "hello");

    auto seen = netEnv->ServerRequests();
    ASSERT_EQ(seen.size(), before + 1);
    EXPECT_EQ(seen.back().requestLine, "GET /status/200?body=hello HTTP/1.0");
    EXPECT_EQ(seen.back().Header("Accept"), "*/*");
    EXPECT_EQ(seen.back().Header("User-Agent"), "NorvaneContract");
    CloseAll(r);
    os.SetLastError(0);
    EXPECT_FALSE(net.InternetCloseHandle(r));
    EXPECT_EQ(os.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(InternetContract, AnAnswerWithoutBodyOrLengthHeader) {
    Open("127.0.0.1", netEnv->ServerPort());
    HINTERNET r = Get("/status/204");
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
    EXPECT_EQ(Status(r), 204u);
    DWORD length = 77, size = sizeof length;
    EXPECT_FALSE(net.HttpQueryInfoA(r, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                                    &size, nullptr));
    EXPECT_EQ(os.GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
    EXPECT_EQ(length, 77u);
    char buffer[16];
    DWORD n = 9;
    EXPECT_TRUE(net.InternetReadFile(r, buffer, sizeof buffer, &n));
    EXPECT_EQ(n, 0u);
    CloseAll(r);
}

TEST_F(InternetContract, EmptyServerAndNobodyListeningFail) {
    HINTERNET s =
        net.InternetOpenA("NorvaneContract", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(net.InternetConnectA(s, "", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1),
              nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(net.InternetCloseHandle(s));

    Open("127.0.0.1", netEnv->ClosedPort());
    HINTERNET r = Get("/status/200");
    EXPECT_FALSE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0));
    EXPECT_EQ(os.GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
    CloseAll(r);
}

TEST_F(InternetContract, CredentialOptionsOfTheConnectionAreTheRequestsToo) {
    Open("127.0.0.1", netEnv->ServerPort());
    EXPECT_TRUE(net.InternetSetOptionA(connection, INTERNET_OPTION_USERNAME,
                                       const_cast<char*>("nvuser"), 6));
    EXPECT_TRUE(net.InternetSetOptionA(connection, INTERNET_OPTION_PASSWORD,
                                       const_cast<char*>("nvpass"), 6));
    HINTERNET r = Get("/status/200");
    char text[128] = {};
    DWORD size = sizeof text;
    ASSERT_TRUE(net.InternetQueryOptionA(r, INTERNET_OPTION_USERNAME, text, &size));
    EXPECT_STREQ(text, "nvuser");
    EXPECT_EQ(size, 6u);
    char small[3] = {};
    size = sizeof small;
    EXPECT_FALSE(net.InternetQueryOptionA(r, INTERNET_OPTION_PASSWORD, small, &size));
    EXPECT_EQ(os.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 7u);
    CloseAll(r);
}

std::vector<std::pair<DWORD_PTR, DWORD>> g_notifications;

void RecordStatus(HINTERNET, DWORD_PTR context, DWORD status, void*, DWORD) {
    g_notifications.emplace_back(context, status);
}

TEST_F(InternetContract, StatusCallbackReachesTheRequestWithItsContext) {
    g_notifications.clear();
    Open("127.0.0.1", netEnv->ServerPort(), nullptr, &RecordStatus);
    HINTERNET r = Get("/status/200", 9);
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
    EXPECT_NE(std::find(g_notifications.begin(), g_notifications.end(),
                        std::make_pair(DWORD_PTR{9}, INTERNET_STATUS_REQUEST_SENT)),
              g_notifications.end());
    EXPECT_EQ(net.InternetSetStatusCallback(session, nullptr), &RecordStatus);
    CloseAll(r);
    // (Wine leaves the last error as it was here.)
    EXPECT_EQ(net.InternetSetStatusCallback(r, &RecordStatus), INTERNET_INVALID_STATUS_CALLBACK);
}

TEST_F(InternetContract, ProxyGetsTheAbsoluteUri) {
    std::string proxy = "http=http://127.0.0.1:" + std::to_string(netEnv->ServerPort());
    Open("nvcontract.invalid", INTERNET_INVALID_PORT_NUMBER, proxy.c_str());
    HINTERNET r = Get("/status/200?body=via");
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
    EXPECT_EQ(Status(r), 200u);
    EXPECT_EQ(ReadAll(r, 64), "via");
    std::string line = netEnv->ServerRequests().back().requestLine;
    EXPECT_EQ(line.rfind("GET http://nvcontract.invalid", 0), 0u) << line;
    EXPECT_NE(line.find("/status/200?body=via HTTP/1.0"), std::string::npos) << line;
    CloseAll(r);
}

TEST_F(InternetContract, WinInetErrorsAreNamedByItsOwnMessageTable) {
    HMODULE module = os.GetModuleHandleA("wininet.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(os.GetModuleHandleA("nvnosuch.dll"), nullptr);
    const DWORD fromModule = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS;
    char* text = nullptr;
    ASSERT_GT(os.FormatMessageA(fromModule, module, ERROR_INTERNET_CANNOT_CONNECT, 0x400, &text),
              0u);
    EXPECT_GT(std::strlen(text), 10u);
    os.LocalFree(text);
    // Other codes are the system's: found only when it is asked too.
    EXPECT_EQ(os.FormatMessageA(fromModule, module, ERROR_INVALID_PARAMETER, 0x400, &text), 0u);
    EXPECT_EQ(os.GetLastError(), ERROR_MR_MID_NOT_FOUND);
    ASSERT_GT(os.FormatMessageA(fromModule | FORMAT_MESSAGE_FROM_SYSTEM, module,
                                ERROR_INVALID_PARAMETER, 0x400, &text),
              0u);
    os.LocalFree(text);
    EXPECT_EQ(
        os.FormatMessageA(fromModule | FORMAT_MESSAGE_FROM_SYSTEM, module, 12999, 0x400, &text),
        0u);
}

// ---------------------------------------------------------------- hostile answers

TEST_F(InternetContract, AnAnswerWithoutAStatusLineReadsAsTwoHundred) {
    Open("127.0.0.1", netEnv->ServerPort());
    HINTERNET r = Get("/hostile/garbage");
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
    EXPECT_EQ(Status(r), 200u);
    std::string body = ReadAll(r, 64);
    EXPECT_GE(body.size(), 8u);
    EXPECT_EQ(body.substr(body.size() - 8), " garbage");
    CloseAll(r);
}

TEST_F(InternetContract, TenThousandHeaderLinesAreTakenWhole) {
    Open("127.0.0.1", netEnv->ServerPort());
    HINTERNET r = Get("/hostile/headers/10000");
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
    EXPECT_EQ(Status(r), 200u);
    EXPECT_EQ(ReadAll(r, 64), "ok");
    CloseAll(r);
}

TEST_F(InternetContract, ARedirectIsFollowedToAnotherHostWithTheAddedHeadersUnlessTurnedOff) {
    const std::string object =
        "/hostile/redirect/301?to=http://localhost:" + std::to_string(netEnv->ServerPort()) +
        "/status/200?body=moved-here";
    auto send = [&](DWORD flags) {
        HINTERNET r = net.HttpOpenRequestA(connection, "GET", object.c_str(), "HTTP/1.0", nullptr,
                                           nullptr, flags, 5);
        EXPECT_NE(r, nullptr) << os.GetLastError();
        EXPECT_TRUE(net.HttpAddRequestHeadersA(r, "Authorization: Basic dTpw\r\n", 27,
                                               HTTP_ADDREQ_FLAG_ADD_IF_NEW));
        EXPECT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
        return r;
    };

    Open("127.0.0.1", netEnv->ServerPort());
    std::size_t before = netEnv->ServerRequests().size();
    HINTERNET r = send(INTERNET_FLAG_RELOAD);
    EXPECT_EQ(Status(r), 200u);
    EXPECT_EQ(ReadAll(r, 64), "moved-here");
    auto seen = netEnv->ServerRequests();
    ASSERT_EQ(seen.size(), before + 2);
    EXPECT_EQ(seen.back().requestLine, "GET /status/200?body=moved-here HTTP/1.0");
    EXPECT_EQ(seen.back().Header("Host").rfind("localhost", 0), 0u) << seen.back().Header("Host");
    EXPECT_EQ(seen.back().Header("Authorization"), "Basic dTpw") << "carried to the other host";
    CloseAll(r);

    // Turned off: the redirection itself is the answer.
    Open("127.0.0.1", netEnv->ServerPort());
    before = netEnv->ServerRequests().size();
    r = send(INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT);
    EXPECT_EQ(Status(r), 301u);
    char location[128] = {};
    DWORD size = sizeof location;
    EXPECT_TRUE(net.HttpQueryInfoA(r, HTTP_QUERY_LOCATION, location, &size, nullptr));
    EXPECT_EQ(std::string(location).rfind("http://localhost:", 0), 0u) << location;
    EXPECT_EQ(ReadAll(r, 64), "moved");
    EXPECT_EQ(netEnv->ServerRequests().size(), before + 1);
    CloseAll(r);
}

TEST_F(InternetContract, AConnectionClosedInsideTheBodyEndsItWithoutAnError) {
    Open("127.0.0.1", netEnv->ServerPort());
    HINTERNET r = Get("/hostile/cut/100?body=0123456789");
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
    EXPECT_EQ(Status(r), 200u);
    DWORD length = 0, size = sizeof length;
    EXPECT_TRUE(net.HttpQueryInfoA(r, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                                   &size, nullptr));
    EXPECT_EQ(length, 100u);
    EXPECT_EQ(ReadAll(r, 64), "0123456789");
    DWORD available = 7;
    EXPECT_TRUE(net.InternetQueryDataAvailable(r, &available, 0, 0));
    EXPECT_EQ(available, 0u);
    CloseAll(r);
}

// The pieces come 300 ms apart: what has arrived can be taken at once; a
// read asking for more waits until it is filled or the body ends.
TEST_F(InternetContract, DataAvailableSaysWhatHasArrivedWhileAReadWaitsToBeFilled) {
    Open("127.0.0.1", netEnv->ServerPort());
    HINTERNET r = Get("/hostile/trickle/3/300?body=abcdefghijklmno");
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
    DWORD available = 0;
    ASSERT_TRUE(net.InternetQueryDataAvailable(r, &available, 0, 0)) << os.GetLastError();
    EXPECT_EQ(available, 5u);
    char buffer[1024];
    DWORD n = 0;
    ASSERT_TRUE(net.InternetReadFile(r, buffer, available, &n));
    EXPECT_EQ(std::string(buffer, n), "abcde");
    ASSERT_TRUE(net.InternetReadFile(r, buffer, sizeof buffer, &n));
    EXPECT_EQ(std::string(buffer, n), "fghijklmno");
    EXPECT_TRUE(net.InternetQueryDataAvailable(r, &available, 0, 0));
    EXPECT_EQ(available, 0u);
    EXPECT_TRUE(net.InternetReadFile(r, buffer, sizeof buffer, &n));
    EXPECT_EQ(n, 0u);
    CloseAll(r);
}

TEST_F(InternetContract, ServerNamesWithABlankOrASchemeAreNeverResolved) {
    std::size_t before = netEnv->ServerRequests().size();
    for (const char* server : {"http://127.0.0.1", "127.0.0.1 ", "console example"}) {
        Open(server, netEnv->ServerPort());
        HINTERNET r = Get("/status/200");
        EXPECT_FALSE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << server;
        EXPECT_EQ(os.GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED) << server;
        CloseAll(r);
    }
    EXPECT_EQ(netEnv->ServerRequests().size(), before);
}

// Last: under Wine typed credentials are kept for the host ("localhost" here,
// which no other test uses) and sent to it afterwards.
TEST_F(InternetContract, CredentialDialogLeavesWhatWasTypedOrIsCancelled) {
    Open("localhost", netEnv->ServerPort());
    HINTERNET r = Get("/status/401?body=denied");
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
    ASSERT_EQ(Status(r), 401u);
    EXPECT_EQ(ReadAll(r, 64), "denied");
    const DWORD flags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                        FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
    netEnv->AnswerNextCredentialDialog(true, "nvtyped", "nvsecret");
    EXPECT_EQ(net.InternetErrorDlg(os.GetDesktopWindow(), r, ERROR_INTERNET_INCORRECT_PASSWORD,
                                   flags, nullptr),
              ERROR_INTERNET_FORCE_RETRY);
    char text[128] = {};
    DWORD size = sizeof text;
    ASSERT_TRUE(net.InternetQueryOptionA(r, INTERNET_OPTION_USERNAME, text, &size));
    EXPECT_STREQ(text, "nvtyped");
    size = sizeof text;
    ASSERT_TRUE(net.InternetQueryOptionA(r, INTERNET_OPTION_PASSWORD, text, &size));
    EXPECT_STREQ(text, "nvsecret");
    EXPECT_TRUE(net.InternetCloseHandle(r));

    r = Get("/status/401");
    ASSERT_TRUE(net.HttpSendRequestA(r, nullptr, 0, nullptr, 0)) << os.GetLastError();
    ReadAll(r, 64);
    netEnv->AnswerNextCredentialDialog(false, "", "");
    // Windows says the user cancelled; Wine answers 0.
    EXPECT_EQ(net.InternetErrorDlg(os.GetDesktopWindow(), r, ERROR_INTERNET_INCORRECT_PASSWORD,
                                   flags, nullptr),
              env->IsWine() ? ERROR_SUCCESS : ERROR_CANCELLED);
    CloseAll(r);
}

} // namespace

} // namespace contract
