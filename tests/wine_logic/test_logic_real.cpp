// The portable logic against the real system (run under Wine).
#include "port/win32/win32_os.h"

#include "app/host_identity.h"
#include "common/platform.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "common/handles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

using namespace port;

namespace {

Win32Os g_os;

class RealSystem : public ::testing::Test {
protected:
    void SetUp() override { SetSys(&g_os); }
};

std::string TempFolder(const std::string& name) {
    std::string folder = GetWindowsFolder();
    folder = folder.substr(0, 3) + "norvane-test-" + name;
    std::string command = "mkdir \"" + folder + "\" 2>nul";
    std::system(command.c_str());
    return folder;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST_F(RealSystem, HostIdentityIsMadeOfTheMachinesAdapters) {
    const char* env = std::getenv("NORVANE_MACS");
    ASSERT_NE(env, nullptr) << "the runner passes the machine's MAC addresses";
    std::set<std::string> macs;
    std::istringstream in(env);
    for (std::string mac; in >> mac;)
        macs.insert(mac);

    std::string identity = GetHostIdentity();
    ASSERT_FALSE(identity.empty()) << "no adapter answered";
    ASSERT_EQ(identity.size() % 12, 0u) << identity;
    for (std::size_t i = 0; i < identity.size(); i += 12) {
        std::string part = identity.substr(i, 12);
        EXPECT_TRUE(macs.count(part)) << part << " is none of the machine's adapters";
        EXPECT_EQ(part.find_first_not_of("0123456789abcdef"), std::string::npos) << part;
    }
}

TEST_F(RealSystem, RunKeyFunctionsAgainstTheRegistry) {
    const std::string name = "Norvane Contract Value";
    EXPECT_TRUE(DeleteRunValue(name)) << "deleting an absent value is no failure";
    EXPECT_FALSE(RunValueExists(name));
    EXPECT_TRUE(SetRunValue("\"C:\\Program Files\\X\\x.exe\" \"/00c04f1a2b3c\"", name));
    EXPECT_TRUE(RunValueExists(name));

    unique_hkey key;
    ASSERT_EQ(g_os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, key.put()), 0);
    char data[1100] = {};
    DWORD type = 0, size = sizeof data;
    ASSERT_EQ(g_os.RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &size),
              0);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(data, "\"C:\\Program Files\\X\\x.exe\" \"/00c04f1a2b3c\" -HideWindow");
    EXPECT_EQ(size, std::strlen(data) + 1);

    EXPECT_FALSE(SetRunValue(std::string(1012, 'a'), name)) << "too long: refused";
    EXPECT_TRUE(RunValueExists(name)) << "the earlier value stays";

    DWORD number = 1;
    ASSERT_EQ(g_os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, key.put(), nullptr),
              0);
    ASSERT_EQ(g_os.RegSetValueExA(key.get(), name.c_str(), 0, REG_DWORD,
                                  reinterpret_cast<BYTE*>(&number), 4),
              0);
    EXPECT_TRUE(RunValueExists(name)) << "any type counts";
    EXPECT_TRUE(DeleteRunValue(name));
    EXPECT_FALSE(RunValueExists(name));
    EXPECT_TRUE(DeleteRunValue(name)) << "deleting a missing value is no error";
}

TEST_F(RealSystem, IniValuesAreCutAt259Characters) {
    std::string folder = TempFolder("ini");
    std::string ini = JoinPath(folder, "Wdlscan.ini");
    WriteFile(ini, "[INI_CLIENT_SETUP_SECTION]\r\nNT_RUN_KEY = Sentova NT Monitor \r\nLONG=" +
                       std::string(300, 'v') + "\r\n");
    EXPECT_EQ(ReadIniString(kClientIniSection, kIniRunKeyNT, "", ini), "Sentova NT Monitor");
    EXPECT_EQ(ReadIniString(kClientIniSection, "LONG", "", ini), std::string(259, 'v'));
    EXPECT_EQ(ReadIniString(kClientIniSection, "NONE", "hxlisten.exe", ini), "hxlisten.exe");
    EXPECT_EQ(ReadIniString(kClientIniSection, "NONE", "d", JoinPath(folder, "missing.ini")), "d");
}

TEST_F(RealSystem, PlatformQueriesAnswerPlausibly) {
    EXPECT_EQ(GetPlatformId(), 2);
    EXPECT_TRUE(IsAdministrator()) << "Wine's token always holds Administrators";
    EXPECT_FALSE(GetComputerNameString().empty());
    std::string module = GetModulePath();
    EXPECT_NE(module.find("norvane_wine_logic_tests.exe"), std::string::npos) << module;
    char address[128] = {};
    EXPECT_TRUE(GetLocalIPAddress(address, sizeof address));
    EXPECT_NE(std::string(address).find('.'), std::string::npos) << address;
    GetDomainName(); // must come back, whatever the network says
}

TEST_F(RealSystem, CountFilesOnARealFolder) {
    std::string folder = TempFolder("count");
    std::system(("mkdir \"" + folder + "\\sub\" 2>nul").c_str());
    WriteFile(folder + "\\a.txt", "a");
    WriteFile(folder + "\\b.log", "b");
    WriteFile(folder + "\\sub\\c.txt", "c");
    EXPECT_EQ(CountFiles(folder, "*.*", 0, nullptr, false, ""), 2);
    EXPECT_EQ(CountFiles(folder, "*.*", 0, nullptr, true, ".log"), 2);
    EXPECT_EQ(CountFiles(folder + "\\missing", "*.*", 0, nullptr, true, ""), 0);
}

TEST_F(RealSystem, CodePage932JoinsAfterADoubleByteCharacter) {
    ASSERT_EQ(g_os.GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    // 0x95 0x5C is one character whose trailing byte looks like a backslash.
    const std::string folder = "C:\\\x95\x5C";
    EXPECT_EQ(JoinPath(folder, "Wdlscan.ini"), folder + "\\Wdlscan.ini");
    EXPECT_EQ(JoinPath("C:\\A\\", "\\Wdlscan.ini"), "C:\\A\\Wdlscan.ini");
    EXPECT_EQ(LastCharacter(folder.c_str()), folder.c_str() + 3);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
