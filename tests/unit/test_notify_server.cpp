// The notification: its request object, the settings it reads from the
// client's keys, and the one error box that reports a failure.
#include "common/report.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "notify/failure_report.h"
#include "notify/http_fetch.h"
#include "notify/masked_text.h"
#include "notify/notification.h"
#include "fake_net_system.h"

#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

using namespace port;

namespace {

const char* const kGuid = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
const char* const kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

class RecordingView : public ProgressView {
public:
    void SetStatusText(const char* text) override { statuses.push_back(text); }
    void RepaintStatus() override { ++repaints; }
    int ShowMessageBox(const char* text, const char* caption, UINT type) override {
        boxes.push_back({nullptr, text, caption, type});
        return IDOK;
    }
    void Hide() override {}
    void Done() override {}

    std::vector<std::string> statuses;
    std::vector<FakeMessageBox> boxes;
    int repaints = 0;
};

// A clock that moves one second at every reading.
class CountingClock : public FakeOs {
public:
    void GetLocalTime(SYSTEMTIME* time) override {
        ++readings;
        FakeOs::GetLocalTime(time);
        now += 1000;
    }
    int readings = 0;
};

FakeHttpAnswer Answer(DWORD status) {
    FakeHttpAnswer a;
    a.status = status;
    return a;
}

class Notify : public FakeNetSystemTest {
protected:
    Notify() {
        s_lastServerUser.clear();
        s_lastProxyUser.clear();
        os.network.libraryPresent = false; // the domain is the workgroup value
        os.SetString(HKEY_LOCAL_MACHINE, kWinlogon, "CachePrimaryDomain", "WORKGROUP");
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Server", "console.example");
        os.SetDword(HKEY_LOCAL_MACHINE, kClientKeyNT, "ServerPort", 0x10000 + 8080);
    }

    // Runs the notification and expects exactly one error box; its text.
    std::string FailureText() {
        EXPECT_FALSE(NotifyServer(view, kGuid));
        EXPECT_EQ(view.boxes.size(), 1u);
        if (view.boxes.empty())
            return "<no box>";
        EXPECT_EQ(view.boxes[0].caption, "Error");
        EXPECT_EQ(view.boxes[0].type, MB_ICONERROR);
        std::string text = view.boxes[0].text;
        view.boxes.clear();
        return text;
    }

    RecordingView view;
};

} // namespace

TEST(NotificationUrl, OneClockReadingZeroPaddedWithDefaultConfiguration) {
    CountingClock clock;
    SetSys(&clock);
    clock.network.libraryPresent = false;
    clock.SetString(HKEY_LOCAL_MACHINE, kWinlogon, "CachePrimaryDomain", "OFFICE.LOCAL");
    clock.startTime = {2027, 3, 5, 4, 7, 8, 9, 0};
    EXPECT_EQ(BuildNotificationUrl(kNotificationPath, kGuid, FALSE),
              std::string("/Wardline/cgi/cgiOnInst.exe?UID=") + kGuid +
                  "&DATE=20270304&TIME=070809&DOMAIN=Office%2elocal&DEFAULT_CFG=1");
    EXPECT_EQ(clock.readings, 1);
    clock.DeleteKeyTree(HKEY_LOCAL_MACHINE, kWinlogon);
    EXPECT_EQ(BuildNotificationUrl("/p", "u", TRUE),
              "/p?UID=u&DATE=20270304&TIME=070810&DOMAIN=&DEFAULT_CFG=0");
    EXPECT_EQ(clock.OpenHandleCount(), 0);
    SetSys(nullptr);
}

TEST_F(Notify, UseProxyDropsTheProxyAndEveryCredential) {
    os.SetDword(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "UseProxy", 1);
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyIP", "proxy.local");
    os.SetDword(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPort", 3128);
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyLogin", "login");
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPwd", "pwd");
    net.answers = {Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_EQ(view.statuses,
              std::vector<std::string>{"Notifying the server about the installation..."});
    EXPECT_EQ(view.repaints, 0);
    EXPECT_TRUE(view.boxes.empty());
    ASSERT_EQ(net.sent.size(), 1u);
    const FakeSentRequest& r = net.sent[0];
    EXPECT_EQ(r.accessType, INTERNET_OPEN_TYPE_DIRECT);
    EXPECT_EQ(r.server, "console.example");
    EXPECT_EQ(r.port, 8080); // the low 16 bits of the stored port
    EXPECT_EQ(r.flags, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI);
    EXPECT_EQ(r.object.rfind(std::string("/Wardline/cgi/cgiOnInst.exe?UID=") + kGuid + "&DATE=", 0),
              0u);
    EXPECT_NE(r.object.find("&DOMAIN=Workgroup&DEFAULT_CFG=1"), std::string::npos);
    EXPECT_EQ(r.headers, std::vector<std::string>{"Accept: */*"});
    const std::vector<std::string> options = {
        "InternetSetOptionA(connection1, 3, 1)", "InternetSetOptionA(connection1, 2, 300000)",
        "InternetSetOptionA(connection1, 5, 300000)", "InternetSetOptionA(connection1, 6, 300000)",
        "InternetSetOptionA(connection1, 7, 300000)", "InternetSetOptionA(connection1, 8, 300000)",
        "InternetSetOptionA(connection1, 4, 0)",
        // The whole notification's 290 s: a third each for the send's
        // connection, sending and answer, all of it for the body's reads.
        "InternetSetOptionA(request1, 2, 96666)", "InternetSetOptionA(request1, 5, 96666)",
        "InternetSetOptionA(request1, 6, 96666)", "InternetSetOptionA(request1, 6, 290000)"};
    EXPECT_EQ(net.CallsOf("InternetSetOptionA"), options);
}

TEST_F(Notify, NtReadsProxyValuesFromTheMicsSubkeyOnly) {
    // Under the client key itself they are not seen.
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "ProxyIP", "wrong.local");
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "ProxyLogin", "wrong");
    net.answers = {Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_EQ(net.sent[0].accessType, INTERNET_OPEN_TYPE_DIRECT);
    EXPECT_FALSE(net.sent[0].Has("Proxy-Authorization"));

    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyIP", "proxy.local");
    os.SetDword(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPort", 3128);
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyLogin", "login");
    net.answers = {Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    const FakeSentRequest& r = net.sent[1];
    EXPECT_EQ(r.proxy, "http=http://proxy.local:3128");
    // The login goes to the proxy and to the server; no password: "login:".
    EXPECT_EQ(r.Header("Proxy-Authorization"), "Basic bG9naW46");
    EXPECT_EQ(r.Header("Authorization"), "Basic bG9naW46");
}

TEST_F(Notify, NinetyFiveReadsItsOwnValueNamesAndMissingValuesReadAsNothing) {
    os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    os.SetString(HKEY_LOCAL_MACHINE, kClientKey9x, "Server", "console9x.example");
    os.SetString(HKEY_LOCAL_MACHINE, kClientKey9x, "ProxyServer", "proxy9x.local");
    os.SetString(HKEY_LOCAL_MACHINE, kClientKey9x, "ProxyLogin", "l");
    os.SetString(HKEY_LOCAL_MACHINE, kClientKey9x, "ProxyPassword", "p");
    net.answers = {Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    const FakeSentRequest& r = net.sent[0];
    EXPECT_EQ(r.server, "console9x.example");
    EXPECT_EQ(r.port, 0); // no "ServerPort": the library's default
    EXPECT_EQ(r.proxy, "http=http://proxy9x.local:0");
    EXPECT_EQ(r.Header("Authorization"), "Basic bDpw");

    // Nothing stored at all: an empty server, refused by the library.
    os.DeleteKeyTree(HKEY_LOCAL_MACHINE, kClientKey9x);
    EXPECT_EQ(FailureText(), "The parameter is incorrect.\r\n");
}

TEST_F(Notify, EachFailureIsOneBoxWithItsText) {
    net.answers = {Answer(404)};
    EXPECT_EQ(FailureText(), "No matching URI.");
    net.answers = {Answer(204)};
    EXPECT_EQ(FailureText(), "");
    net.answers = {Answer(0)}; // no readable status
    EXPECT_EQ(FailureText(), "");
    net.answers = {Answer(401)}; // the dialog is cancelled, and shown once
    EXPECT_EQ(FailureText(), "The requested resource requires user authentication. ");
    EXPECT_EQ(net.CallsOf("InternetErrorDlg").size(), 1u);
    // Nothing listens: the library's own text.
    EXPECT_EQ(FailureText(), "A connection with the server could not be established\r\n");
    // A code that no table knows is named.
    net.connectError = 12999;
    EXPECT_EQ(FailureText(), "Internet error 12999.");
}

// No credential enters a text: the login part of a URL or of the proxy's
// name, and a header that a library's error text quotes, are masked where
// the text is made, for the box, "LastMessage" and the log alike. A
// one-character password is never written out, and no other character is
// masked for it.
TEST_F(Notify, NoCredentialEntersTheBoxTheOutcomeValuesOrTheLog) {
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyIP", "login:^@proxy.local");
    os.SetDword(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPort", 3128);
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyLogin", "login");
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPwd", "^");
    // The proxy asks again; "u" and "^" are typed; then the library fails
    // with a text that quotes what it was sent.
    net.answers = {Answer(407), Answer(200)};
    net.answers.back().sendError = ERROR_INTERNET_CANNOT_CONNECT;
    net.dialogs = {{ERROR_INTERNET_FORCE_RETRY, "u", "^"}};
    os.moduleMessages["wininet.dll"][ERROR_INTERNET_CANNOT_CONNECT] =
        "No answer from http://login:^@proxy.local:3128/ to\r\nProxy-Authorization: Basic dTpe\r\n";
    std::string const shown = "No answer from http://****@proxy.local:3128/ to\r\n"
                              "Proxy-Authorization: ****\r\n";
    EXPECT_EQ(FailureText(), shown);
    EXPECT_EQ(net.sent.at(1).Header("Proxy-Authorization"), "Basic dTpe") << "what was typed";
    (void)Report().Finish();
    EXPECT_EQ(os.StringValue(HKEY_LOCAL_MACHINE, kOutcomeKey, "LastMessage"),
              shown.substr(0, shown.size() - 2));
    std::string const log = os.FileText(Report().LogPath());
    EXPECT_NE(log.find("through the proxy http=http://****@proxy.local:3128\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find('^'), std::string::npos) << log;
    EXPECT_EQ(log.find("dTpe"), std::string::npos) << log;
    EXPECT_NE(log.find("Message: No answer from http://****@proxy.local:3128/ to "
                       "Proxy-Authorization: ****\r\n"),
              std::string::npos)
        << log;

    // In a server's name, the same.
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Server", "admin:^@console.example");
    net.answers = {Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_NE(os.FileText(Report().LogPath()).find(" to ****@console.example:8080 through"),
              std::string::npos);
}

// A mask covers a login or a header's value whole, whatever it holds (an
// '@' in a password), and nothing else: not a URL's path or the words after
// it, not a letter of a localised text, not a word ending in the header's
// name, not a double-byte letter whose second byte is an '@'.
TEST_F(Notify, AMaskCoversALoginOrAHeaderValueWholeAndNothingElse) {
    EXPECT_EQ(HostWithoutLogin("deploy:p@ss@console.example"), "****@console.example");
    std::pair<std::string, std::string> const texts[] = {
        {"http://u:p@ss@proxy.local:3128/", "http://****@proxy.local:3128/"},
        {"sent Authorization: Basic dTpe\r\nthen", "sent Authorization: ****\r\nthen"},
        {"http://proxy.local/a@b", ""},
        {"http://proxy.local to admin@example", ""},
        {"\xABhttp://proxy.local\xBB@3128", ""},
        {"NoAuthorization: given", ""},
    };
    for (const auto& [text, masked] : texts)
        EXPECT_EQ(WithoutCredentials(text), masked.empty() ? text : masked) << text;
    os.codePage = 932;
    EXPECT_EQ(HostWithoutLogin("\x83\x40net.example"), "\x83\x40net.example");
}

// The stored proxy login goes as Proxy-Authorization only to the proxy the
// client's settings name: not on a direct request (the server would get it),
// nor through a proxy that the user's configuration script chooses. One
// typed at a proxy's challenge goes back to it.
TEST_F(Notify, TheStoredProxyLoginGoesOnlyToTheNamedProxy) {
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyLogin", "login");
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPwd", "pwd");
    net.answers = {Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_EQ(net.sent[0].accessType, INTERNET_OPEN_TYPE_DIRECT);
    EXPECT_FALSE(net.sent[0].Has("Proxy-Authorization"));
    EXPECT_TRUE(net.sent[0].Has("Authorization")) << "the server is offered the pair, as always";

    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyIP", "proxy.local");
    os.SetString(HKEY_CURRENT_USER,
                 "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "AutoConfigURL",
                 "http://wpad/proxy.pac");
    net.answers = {Answer(407), Answer(200)};
    net.dialogs = {{ERROR_INTERNET_FORCE_RETRY, "typed", "pw"}};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_EQ(net.sent[1].accessType, INTERNET_OPEN_TYPE_PRECONFIG);
    EXPECT_FALSE(net.sent[1].Has("Proxy-Authorization"));
    EXPECT_EQ(net.sent[2].Header("Proxy-Authorization"), "Basic dHlwZWQ6cHc=");

    os.DeleteKeyTree(HKEY_CURRENT_USER,
                     "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
    net.answers = {Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_EQ(net.sent[3].accessType, INTERNET_OPEN_TYPE_PROXY);
    EXPECT_EQ(net.sent[3].Header("Proxy-Authorization"), "Basic bG9naW46cHdk");

    // Without a stored login, the one typed before goes through a proxy
    // only, never on a direct request.
    os.Key(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT).values.erase("ProxyLogin");
    net.answers = {Answer(200), Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_EQ(net.sent[4].Header("Proxy-Authorization"), "Basic dHlwZWQ6cHc=");
    os.Key(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT).values.erase("ProxyIP");
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_EQ(net.sent[5].accessType, INTERNET_OPEN_TYPE_DIRECT);
    EXPECT_FALSE(net.sent[5].Has("Proxy-Authorization"));
    // Through the proxy the script chooses, it goes again.
    os.SetString(HKEY_CURRENT_USER,
                 "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "AutoConfigURL",
                 "http://wpad/proxy.pac");
    net.answers = {Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_EQ(net.sent[6].accessType, INTERNET_OPEN_TYPE_PRECONFIG);
    EXPECT_EQ(net.sent[6].Header("Proxy-Authorization"), "Basic dHlwZWQ6cHc=");
}

TEST_F(Notify, AProxyNameTooLongForTheProxyTextIsRefusedAndShown) {
    // "http=http://" + name + ":3128" must fit 255 characters.
    os.SetDword(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPort", 3128);
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyIP", std::string(238, 'p'));
    net.answers = {Answer(200)};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    EXPECT_EQ(net.sent[0].proxy.size(), 255u);

    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyIP", std::string(239, 'p'));
    net.calls.clear();
    EXPECT_EQ(FailureText(), "The proxy server name is too long (239 characters). The proxy "
                             "settings allow at most 238 characters for it.");
    EXPECT_TRUE(net.calls.empty());
}

TEST_F(Notify, ReportShowsEveryKindInItsOwnWay) {
    auto report = [this](auto thrower) {
        try {
            thrower();
        } catch (...) {
            ReportNotificationFailure(view, "Error");
        }
        EXPECT_EQ(view.boxes.size(), 1u);
        std::string text = view.boxes.empty() ? "" : view.boxes.back().text;
        view.boxes.clear();
        return text;
    };
    EXPECT_EQ(report([] { throw CSystemError(ERROR_ACCESS_DENIED); }), "(5) Access is denied.\r\n");
    EXPECT_EQ(report([] { throw std::bad_alloc(); }), "Out of memory.");
    EXPECT_EQ(report([] { throw std::runtime_error("?"); }),
              "Download incomplete. Unknown error occurred. Please contact Halvex technical "
              "support.");

    // Every status of the table has its text; 408 and 504 share theirs;
    // no status shows string 148.
    const DWORD statuses[] = {301, 305, 400, 401, 402, 403, 404, 405, 406, 407, 408, 409,
                              410, 411, 412, 413, 414, 415, 500, 501, 502, 503, 504, 505};
    for (DWORD status : statuses) {
        EXPECT_NE(StatusMessageId(status), 0u) << status;
        EXPECT_NE(StatusMessageId(status), 148u) << status;
        EXPECT_FALSE(report([status] { throw CInternetStatusException(status); }).empty())
            << status;
    }
    EXPECT_EQ(report([] { throw CInternetStatusException(408); }),
              report([] { throw CInternetStatusException(504); }));
    EXPECT_EQ(report([] { throw CInternetStatusException(305); }),
              "The requested resource must be accessed through the proxy given by the location "
              "field. ");
}
