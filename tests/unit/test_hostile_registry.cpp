// Hostile input, registry: what years of other software may have left in the
// client's keys, and keys that change under the utility while it runs. Each
// test states the outcome an administrator gets.
#include "client_machine.h"

using namespace port;

namespace {

const char* const kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

class HostileRegistry : public ClientMachine {
protected:
    HostileRegistry() {
        AsPrepared();
        Notifying();
    }
    FakeRegKey& ClientKey() { return os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT); }
    // The client's restore as the next logon must find it.
    void ExpectRestored() {
        EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
        EXPECT_EQ(RunValue(kClientRunValue), "\"" + std::string(kMonitor) + "\" -HideWindow");
        EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    }
};

} // namespace

// A number where text belongs reads as the text of its bytes; text where a
// number belongs reads as its first bytes when it has four or fewer, else as
// 0. "Mode" stored as the text "0" is therefore the number 0x30: set.
TEST_F(HostileRegistry, ValuesOfTheWrongTypeReadByTheirBytesWhateverTheType) {
    ClientKey().values["Mode"] = FakeRegValue{REG_SZ, {'0', 0}};
    ClientKey().values["ServerPort"] = FakeRegValue{REG_SZ, {'8', '0', '8', '0', 0}};
    os.SetDword(HKEY_LOCAL_MACHINE, kClientKeyNT, "Server", 0x0100007F); // 127.0.0.1 as a number
    Logon();
    // The notification went out (Mode counted as set) to a server named by
    // the number's first byte, which no resolver knows: one box.
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Error: The server name or address could not be resolved\r\n"});
    EXPECT_TRUE(net.sent.empty());
    // The text port reads as 0: the library's default port.
    EXPECT_EQ(
        net.CallsOf("InternetConnectA"),
        std::vector<std::string>{"InternetConnectA(session1, \"\x7F\", 0, null, null, 3, 0x0, 1)"});
    ExpectRestored();
}

// Zero bytes: a text is empty, a number 0; a value of zero bytes still
// exists. An empty "Application Path" keeps the notification away and sends
// the utility to "InstallPath" for the client's folder.
TEST_F(HostileRegistry, ZeroLengthValuesAreEmptyButPresent) {
    ClientKey().values["Application Path"] = FakeRegValue{REG_SZ, {}};
    ClientKey().values["Mode"] = FakeRegValue{REG_DWORD, {}};
    Logon();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(net.sent.empty()) << "the value is there, if empty";
    EXPECT_EQ(mainProgramPath, kMonitor);
    ExpectRestored();
}

// A text stored without its terminating zero ends where its bytes end, also
// when it fills its buffer exactly (the workgroup's 100 bytes here).
TEST_F(HostileRegistry, UnterminatedTextsEndWithTheirBytes) {
    std::string const workgroup(100, 'W');
    os.Key(HKEY_LOCAL_MACHINE, kWinlogon).values["CachePrimaryDomain"] =
        FakeRegValue{REG_SZ, std::vector<BYTE>(workgroup.begin(), workgroup.end())};
    ClientKey().values["Server"] = FakeRegValue{REG_SZ, {'c', 'o', 'n', 's', 'o', 'l', 'e'}};
    Logon();
    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].server, "console");
    EXPECT_NE(net.sent[0].object.find("&DOMAIN=W" + std::string(99, 'w') + "&DEFAULT_CFG=1"),
              std::string::npos);
    ExpectRestored();
}

// Texts longer than any buffer: a reader with a buffer of its own treats
// them as missing (the workgroup: no DOMAIN; "Application Path": the folder
// comes from "InstallPath"); the readers without one take them whole. The
// program under that long folder cannot be started: one box, and the rest
// of the restore stands.
TEST_F(HostileRegistry, TextsFarLongerThanAnyBufferAreMissingOrWhole) {
    std::string const longFolder = "C:\\" + std::string(100000, 'L');
    os.SetString(HKEY_LOCAL_MACHINE, kWinlogon, "CachePrimaryDomain", std::string(100000, 'D'));
    Logon();
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_NE(net.sent[0].object.find("&DOMAIN=&DEFAULT_CFG=1"), std::string::npos);

    os.messageBoxes.clear();
    AsPrepared();
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Application Path", longFolder);
    Logon();
    EXPECT_EQ(mainProgramPath, longFolder + "\\stvmon.exe");
    EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(kTitle) +
                                                ": (3) The system cannot find the path "
                                                "specified.\r\n"});
    ExpectRestored();
}

// Another program rewrites a value between the size query and the read: the
// read takes the value as it is now, longer or shorter, never past its
// block.
TEST_F(HostileRegistry, ValuesThatChangeSizeBetweenTwoReadsAreReadAsTheyAreNow) {
    std::string replacement = "a-much-longer-console-name.example";
    os.onQueryValue = [&](const std::string& name, bool data) {
        if (name == "Server" && data && !replacement.empty()) {
            os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Server", replacement);
            replacement.clear();
        }
    };
    Logon();
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].server, "a-much-longer-console-name.example");

    AsPrepared();
    replacement = "c.ex";
    Logon();
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[1].server, "c.ex");
    EXPECT_TRUE(Boxes().empty());
}

// The client's key deleted during the pause before the stop (an uninstall
// under way): it is not made again for a GUID of its own. Message 175,
// nothing restored, the utility stays registered; the next logon finds no
// client (message 177).
TEST_F(HostileRegistry, AClientKeyThatVanishesMidRunIsNotMadeAgain) {
    os.onSleep = [this](DWORD) { os.DeleteKeyTree(HKEY_LOCAL_MACHINE, kClientKeyNT); };
    Logon();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Error: Unable for create a GUID key."});
    EXPECT_EQ(os.Value(HKEY_LOCAL_MACHINE, kClientKeyNT, "GUID"), nullptr);
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);

    os.messageBoxes.clear();
    os.onSleep = nullptr;
    Logon();
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Error: The Wardline client has not yet been installed on this "
                           "computer."});
}

// The Run key deleted during the same pause: the restore makes it again
// with the client's value; the utility's own went with it.
TEST_F(HostileRegistry, ARunKeyThatVanishesMidRunIsMadeAgainByTheRestore) {
    // During the pause before the stop, once.
    os.onSleep = [this](DWORD) {
        os.DeleteKeyTree(HKEY_LOCAL_MACHINE, kRunKey);
        os.onSleep = nullptr;
    };
    Logon();
    EXPECT_TRUE(Boxes().empty());
    ExpectRestored();
}

// Deleted between a value's size query and its read: the handle answers
// that the key is gone, and the value reads as missing.
TEST_F(HostileRegistry, AKeyDeletedWhileAReadHoldsItOpenReadsAsMissing) {
    os.onQueryValue = [this](const std::string& name, bool data) {
        if (name == "Server" && !data)
            os.DeleteKeyTree(HKEY_LOCAL_MACHINE, kClientKeyNT);
    };
    Logon();
    // An empty server name: the library refuses it.
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Error: The parameter is incorrect.\r\n"});
    EXPECT_TRUE(net.sent.empty());
}

// Numbers of 1 or 2 bytes read as their value; of 8 bytes (a QWORD) they do
// not fit the 4-byte number and read as 0, as a missing value does.
TEST_F(HostileRegistry, NumbersStoredInOneTwoOrEightBytes) {
    ClientKey().values["Mode"] = FakeRegValue{REG_DWORD, {1}};
    ClientKey().values["ServerPort"] = FakeRegValue{REG_DWORD, {0x90, 0x1F}}; // 8080
    Logon();
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].port, 8080);

    AsPrepared();
    ClientKey().values["ServerPort"] = FakeRegValue{REG_QWORD, {0x90, 0x1F, 0, 0, 0, 0, 0, 0}};
    Logon();
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[1].port, 0) << "the library's default port";

    AsPrepared();
    ClientKey().values["Mode"] = FakeRegValue{REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}};
    Logon();
    EXPECT_EQ(net.sent.size(), 2u) << "Mode unreadable: no notification";
    EXPECT_TRUE(Boxes().empty());
    ExpectRestored();
}
