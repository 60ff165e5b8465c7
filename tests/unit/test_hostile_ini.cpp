// Hostile input, "Wdlscan.ini": the client's file missing, empty, with values
// too long, names in odd forms, double-byte names, a section twice. (Values
// cut at 259 characters: Settings.IniValuesDefaultsAndTheLengthLimit; the
// defaults without a file at the preparation:
// Preparation.WithoutIniFileTheDefaultsApply.)
#include "client_machine.h"

using namespace port;

namespace {

class HostileIni : public ClientMachine {
protected:
    void Ini(const std::string& entries) {
        os.profileFiles[kIni] = "[INI_CLIENT_SETUP_SECTION]\r\n" + entries;
    }
    std::string ClientRunEntry() { return RunValue(kClientRunValue); }
    // The one box of a preparation whose INI file names a service that does
    // not exist.
    static std::vector<std::string> NoSuchServiceBox() {
        return {std::string(kTitle) +
                ": (1060) The specified service does not exist as an installed service.\r\n"};
    }
};

} // namespace

// Without the file a copy knows the services only by their default names
// and neither the client's Run value nor its program: both services are
// restored and started, no start-up entry is written, nothing is launched
// and nothing is shown; the utility removes itself.
TEST_F(HostileIni, AMissingFileOnACopyRestoresTheServicesAndLaunchesNothing) {
    AsPrepared();
    os.profileFiles.erase(kIni);
    Logon();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
    EXPECT_EQ(os.services["rtguard"].startRequests, 1);
    EXPECT_EQ(ClientRunEntry(), "<missing>");
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_TRUE(os.launches.empty());
    EXPECT_FALSE(view.hidden) << "the dialog closes at the end instead";
}

// An empty file is a file without the section: the defaults. The master's
// listener goes to demand start; no client Run value is named, so none is
// deleted (and the copies write none back).
TEST_F(HostileIni, AnEmptyFileGivesTheDefaults) {
    os.profileFiles[kIni] = "";
    Prepare();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
    EXPECT_NE(ClientRunEntry(), "<missing>");
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");
}

// A key name over 259 characters is just another key. A value over 259
// characters is cut there; a service name that long cannot exist (the
// service manager takes 256 at most): the error box, and the master is not
// registered.
TEST_F(HostileIni, EntriesLongerThan259CharactersAreCutAndNotFound) {
    Ini(std::string(300, 'K') + "=a key name that long is just another key\r\n" +
        "NT_HXLISTEN_SERVICE_FILENAME=" + std::string(300, 'h') + ".exe\r\n");
    Prepare();
    EXPECT_EQ(Boxes(), NoSuchServiceBox());
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
}

// Service files in odd forms: one pair of quotes around the value is taken
// off (by the profile functions), a folder and an extension are not part of
// the service's name, a name without extension is the name itself; a blank
// inside is kept, and such a service does not exist: the error box.
TEST_F(HostileIni, ServiceFilesWithFoldersQuotesOrNoExtension) {
    for (const char* listener : {"\"C:\\Program Files\\Halvex\\Sentova NT\\hxlisten.exe\"",
                                 "hxlisten", "'hxlisten.exe'"}) {
        Ini(std::string("NT_HXLISTEN_SERVICE_FILENAME=") + listener + "\r\n");
        os.services["hxlisten"].startType = SERVICE_AUTO_START;
        os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
        Prepare();
        EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START) << listener;
        EXPECT_NE(RunValue(kOwnRunValue), "<missing>") << listener;
    }
    EXPECT_TRUE(Boxes().empty());

    Ini("NT_HXLISTEN_SERVICE_FILENAME=hx listen.exe\r\n");
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
    Prepare();
    EXPECT_EQ(Boxes(), NoSuchServiceBox());
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
}

// The program a copy starts: a name in a subfolder of the client's folder
// stays there; a full path (with a drive, or a network path) is the program
// itself and is not put under the client's folder; quotes are taken off.
TEST_F(HostileIni, ProgramFilesWithFoldersFullPathsOrQuotes) {
    os.AddFile(std::string(kFolder) + "\\bin\\stvmon.exe");
    os.AddFile("D:\\Tools\\stvmon.exe");
    os.AddFile("\\\\server\\share\\stvmon.exe");
    for (auto [file, path] : std::vector<std::pair<std::string, std::string>>{
             {"bin\\stvmon.exe", std::string(kFolder) + "\\bin\\stvmon.exe"},
             {"D:\\Tools\\stvmon.exe", "D:\\Tools\\stvmon.exe"},
             {"\\\\server\\share\\stvmon.exe", "\\\\server\\share\\stvmon.exe"},
             {"\"stvmon.exe\"", kMonitor}}) {
        AsPrepared();
        Ini("NT_RUN_KEY=Sentova NT Monitor\r\nNT_MENU_IOMONITOR_ITEM_FILENAME=" + file + "\r\n");
        os.launches.clear();
        Logon();
        EXPECT_EQ(ClientRunEntry(), "\"" + path + "\" -HideWindow") << file;
        ASSERT_EQ(os.launches.size(), 1u) << file;
        EXPECT_EQ(os.launches[0].application, path);
    }
    EXPECT_TRUE(Boxes().empty());
}

// On code page 932 a double-byte character may end in the byte of a
// backslash (0x5C): it is no separator. The service 表 ("\x95\x5C") is found by
// that name, and the program ソフト.exe under the folder C:\表 is joined and
// started whole.
TEST_F(HostileIni, DoubleByteNamesOnCodePage932StayWhole) {
    os.codePage = 932;
    std::string const folder = "C:\\\x95\x5C";
    std::string const program = folder + "\\\x83\x5C\x83\x74\x83\x67.exe";
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Application Path", folder);
    os.profileFiles[folder + "\\Wdlscan.ini"] =
        "[INI_CLIENT_SETUP_SECTION]\r\n"
        "NT_RUN_KEY=\x83\x5C\x83\x74\x83\x67\r\n"
        "NT_MENU_IOMONITOR_ITEM_FILENAME=\x83\x5C\x83\x74\x83\x67.exe\r\n"
        "NT_HXLISTEN_SERVICE_FILENAME=\x95\x5C.exe\r\n"
        "NT_REAL_TIME_SERVICE_FILENAME=C:\\\x95\x5C\\rtguard.exe\r\n";
    os.services.erase("hxlisten");
    os.services["\x95\x5C"].startType = SERVICE_DEMAND_START;
    os.AddFile(program);
    AsPrepared();
    os.services["\x95\x5C"].startType = SERVICE_DEMAND_START;
    Logon(true);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(os.services["\x95\x5C"].startType, SERVICE_AUTO_START);
    EXPECT_EQ(os.services["rtguard"].startRequests, 1);
    EXPECT_EQ(RunValue("\x83\x5C\x83\x74\x83\x67"), "\"" + program + "\" -HideWindow");
    ASSERT_EQ(os.launches.size(), 1u);
    EXPECT_EQ(os.launches[0].application, program);
}

// Of a section that appears twice only the first counts (as the profile
// functions read it): its Run value is the one deleted, and the second's
// listener is never seen.
TEST_F(HostileIni, OfASectionThatAppearsTwiceOnlyTheFirstCounts) {
    os.profileFiles[kIni] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                            "NT_RUN_KEY=Sentova NT Monitor\r\n"
                            "[Other]\r\n"
                            "x=1\r\n"
                            "[INI_CLIENT_SETUP_SECTION]\r\n"
                            "NT_RUN_KEY=Second Monitor\r\n"
                            "NT_HXLISTEN_SERVICE_FILENAME=rtguard.exe\r\n";
    os.SetString(HKEY_LOCAL_MACHINE, kRunKey, "Second Monitor", "C:\\second.exe");
    Prepare();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(ClientRunEntry(), "<missing>");
    EXPECT_EQ(RunValue("Second Monitor"), "C:\\second.exe");
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
    EXPECT_EQ(os.services["rtguard"].startType, SERVICE_AUTO_START);
}
