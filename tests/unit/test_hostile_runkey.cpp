// Hostile input, the Run key: commands over the writer's limit and client Run
// value names the registry cannot hold. (Refused, never cut: the writer,
// RunKey.CommandsTooLongForTheBufferAreRefusedNotCut; the master's own
// command, Preparation.ARefusedRegistrationIsShownAndLeavesTheMasterAsItWas.
// An empty client Run value name: Preparation.WithoutIniFileTheDefaultsApply
// and Copy.AClientRunValueThatCannotBeWrittenKeepsTheUtilityForTheNextLogon.)
#include "client_machine.h"

using namespace port;

namespace {

class HostileRunKey : public ClientMachine {};

} // namespace

// A copy whose client folder is so long that the client's command does not
// fit the writer's 1024 bytes: the command is refused, not cut (a cut one
// would start something else), shown, and the utility stays registered so
// that the next logon tries again.
TEST_F(HostileRunKey, ACopysClientCommandOverTheLimitIsRefusedAndRetried) {
    AsPrepared();
    std::string const folder = "C:\\" + std::string(1100, 'f');
    os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT).values.erase("Application Path");
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "InstallPath", folder);
    os.profileFiles[folder + "\\Wdlscan.ini"] = os.profileFiles[kIni];
    Logon();
    // (The program under that folder cannot be started either: a second box.)
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0],
              std::string(kTitle) + ": (206) The filename or extension is too long.\r\n");
    EXPECT_EQ(RunValue(kClientRunValue), "<missing>");
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");
    EXPECT_TRUE(os.PendingDeletes().empty());
}

// A value name longer than the registry's 255 characters (from the INI
// file, where values are cut at 259) names no value the client can have:
// the master deletes nothing by it, a copy writes nothing by it, nothing is
// shown, and the copy's utility still removes itself.
TEST_F(HostileRunKey, AClientRunValueNameOverTheRegistrysLimitIsLeftAlone) {
    std::string const name256(256, 'n');
    EXPECT_FALSE(SetRunValue("x.exe", name256));
    EXPECT_EQ(os.GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(SetRunValue("x.exe", std::string(255, 'n')));
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(std::string(255, 'n'));

    os.profileFiles[kIni] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                            "NT_RUN_KEY=" +
                            std::string(300, 'n') +
                            "\r\n"
                            "NT_MENU_IOMONITOR_ITEM_FILENAME=stvmon.exe\r\n";
    os.SetString(HKEY_LOCAL_MACHINE, kRunKey, std::string(259, 'n'), "C:\\other.exe");
    Prepare();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(RunValue(std::string(259, 'n')), "C:\\other.exe");
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");

    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(std::string(259, 'n'));
    Logon();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.size(), 1u)
        << "only the client's own entry, as the preparation found it";
    EXPECT_NE(RunValue(kClientRunValue), "<missing>");
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(os.PendingDeletes().size(), 1u);
}
