// The notification over the real WinINet (run under Wine, with the server
// stand-in started by run-under-wine.sh) and the DOMAIN field on a real
// double-byte code page.
#include "port/win32/win32_internet.h"
#include "port/win32/win32_os.h"

#include "common/settings.h"
#include "notify/notification.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

using namespace port;

namespace {

Win32Os g_realOs;
Win32Internet g_realNet;

class RealNotify : public ::testing::Test {
protected:
    void SetUp() override {
        SetSys(&g_realOs);
        SetNet(&g_realNet);
    }
};

class RecordingView : public ProgressView {
public:
    void SetStatusText(const char* text) override { statuses.push_back(text); }
    void RepaintStatus() override {}
    int ShowMessageBox(const char* text, const char* caption, UINT) override {
        boxes.push_back(std::string(caption) + "|" + text);
        return 1;
    }
    void Hide() override {}
    void Done() override {}
    std::vector<std::string> statuses;
    std::vector<std::string> boxes;
};

// The server stand-in's log: each request's line and header lines.
std::vector<std::vector<std::string>> ServerLog() {
    std::vector<std::vector<std::string>> requests;
    FILE* log = std::fopen(std::getenv("NORVANE_SERVER_LOG"), "rb");
    if (!log)
        return requests;
    char line[4096];
    bool open = false;
    while (std::fgets(line, sizeof line, log)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (text.empty())
            open = false;
        else if (open)
            requests.back().push_back(text);
        else {
            requests.push_back({text});
            open = true;
        }
    }
    std::fclose(log);
    return requests;
}

void SetValue(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY k = nullptr;
    ASSERT_EQ(g_realOs.RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS,
                                       nullptr, &k, nullptr),
              0);
    EXPECT_EQ(g_realOs.RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size), 0);
    g_realOs.RegCloseKey(k);
}

void SetText(const char* key, const char* name, const std::string& text) {
    SetValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetNumber(const char* key, const char* name, DWORD number) {
    SetValue(key, name, REG_DWORD, &number, sizeof number);
}

} // namespace

TEST_F(RealNotify, TheServerGetsOneGetOfTheNotificationAndFailuresAreShown) {
    const char* port = std::getenv("NORVANE_SERVER_PORT");
    if (!port)
        GTEST_SKIP() << "no server stand-in";
    const std::string guid = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
    SetText(kClientKeyNT, "Server", "127.0.0.1");
    SetNumber(kClientKeyNT, "ServerPort", static_cast<DWORD>(std::atoi(port)));
    // Dropped by "UseProxy": the request goes directly and carries no credentials.
    SetNumber(kProxySettingsKeyNT, "UseProxy", 1);
    SetText(kProxySettingsKeyNT, "ProxyIP", "proxy.invalid");
    SetText(kProxySettingsKeyNT, "ProxyLogin", "login");

    RecordingView view;
    std::size_t before = ServerLog().size();
    EXPECT_TRUE(NotifyServer(view, guid));
    EXPECT_TRUE(view.boxes.empty()) << view.boxes.front();
    auto log = ServerLog();
    ASSERT_EQ(log.size(), before + 1);
    const std::regex line("GET /Wardline/cgi/cgiOnInst\\.exe\\?UID=" + guid +
                          "&DATE=20[0-9]{6}&TIME=[0-9]{6}&DOMAIN=[^& ]*&DEFAULT_CFG=1 HTTP/1\\.0");
    EXPECT_TRUE(std::regex_match(log.back()[0], line)) << log.back()[0];
    for (const auto& header : log.back()) {
        EXPECT_EQ(header.find("Authorization"), std::string::npos) << header;
    }

    // Nobody listening: the library's own text, caption "Error".
    SetNumber(kClientKeyNT, "ServerPort",
              static_cast<DWORD>(std::atoi(std::getenv("NORVANE_CLOSED_PORT"))));
    EXPECT_FALSE(NotifyServer(view, guid));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].rfind("Error|", 0), 0u) << view.boxes[0];
    EXPECT_GT(view.boxes[0].size(), 12u) << view.boxes[0];
}

TEST_F(RealNotify, CodePage932DomainFieldIsUtf8OfTheWholeCharacters) {
    ASSERT_EQ(g_realOs.GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    EXPECT_EQ(EncodeDomainField("\x83\x41NET"), "%e3%82%a2net");
    EXPECT_EQ(EncodeDomainField("lan\x93\xFA"), "Lan%e6%97%a5");
}
