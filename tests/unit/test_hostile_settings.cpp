// Hostile input, the notification's settings: ports, server names and the
// user's automatic proxy configuration as a careless hand may have left them.
// (A proxy name too long for the proxy text: test_notify_server.cpp,
// Notify.AProxyNameTooLongForTheProxyTextIsRefusedAndShown.)
#include "client_machine.h"
#include "notify/notification.h"

using namespace port;

namespace {

const char* const kGuid = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
const char* const kInternetSettings =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

class HostileSettings : public ClientMachine {};

} // namespace

// Only the low 16 bits of a stored port count: 65536 is 0, which leaves the
// choice to the library (80), and 0x10000 + 3128 is 3128.
TEST_F(HostileSettings, PortsAbove65535KeepTheirLow16Bits) {
    os.SetDword(HKEY_LOCAL_MACHINE, kClientKeyNT, "ServerPort", 65536);
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyIP", "proxy.local");
    os.SetDword(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPort", 0x10000 + 3128);
    EXPECT_TRUE(NotifyServer(view, kGuid));
    os.SetDword(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPort", 0xFFFFFFFF);
    EXPECT_TRUE(NotifyServer(view, kGuid));
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[0].port, 0);
    EXPECT_EQ(net.sent[0].proxy, "http=http://proxy.local:3128");
    EXPECT_EQ(net.sent[1].proxy, "http=http://proxy.local:65535");
    EXPECT_TRUE(Boxes().empty());
}

// The server setting is a host name, taken as it stands: a blank or a
// scheme in it never resolves, and the one box says so.
TEST_F(HostileSettings, AServerNameWithABlankOrASchemeIsNotResolved) {
    for (const char* server : {"http://console.example", "console example", " console.example"}) {
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Server", server);
        EXPECT_FALSE(NotifyServer(view, kGuid)) << server;
        EXPECT_EQ(
            Boxes(),
            std::vector<std::string>{"Error: The server name or address could not be resolved\r\n"})
            << server;
        os.messageBoxes.clear();
    }
    EXPECT_TRUE(net.sent.empty());
}

// "AutoConfigURL" is read into 128 bytes: 127 characters and their zero fit
// (the user's own settings are then used), 128 do not and count as none (both
// shown by Fetch.ProxyOptionsAndCredentialsInTheirOrderUnlessAutoConfigured).
// 129 are none as well; 128 stored without their zero fit and count.
TEST_F(HostileSettings, AutoConfigUrlOf129CharactersIsNoneAnd128WithoutZeroIsOne) {
    std::string const url129 = "http://wpad/" + std::string(117, 'p');
    os.SetString(HKEY_CURRENT_USER, kInternetSettings, "AutoConfigURL", url129);
    EXPECT_TRUE(NotifyServer(view, kGuid));
    std::string const url128 = url129.substr(0, 128);
    os.Key(HKEY_CURRENT_USER, kInternetSettings).values["AutoConfigURL"] =
        FakeRegValue{REG_SZ, std::vector<BYTE>(url128.begin(), url128.end())};
    EXPECT_TRUE(NotifyServer(view, kGuid));
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[0].accessType, INTERNET_OPEN_TYPE_DIRECT);
    EXPECT_EQ(net.sent[1].accessType, INTERNET_OPEN_TYPE_PRECONFIG);
}
