// Preparation mode on the in-memory Windows: what changes, what is shown.
#include "app/norvane_app.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "fake_system.h"

using namespace port;

namespace {
const char* kClientFolder = "C:\\Program Files\\Halvex\\Sentova NT";
const char* kIni = "C:\\Program Files\\Halvex\\Sentova NT\\Wdlscan.ini";
const char* kMessage180 =
    "This program has been configured to start  whenever the system is restarted.";
std::string LoadTestString(unsigned id) {
    return ProgramStringTable().at(id);
}
} // namespace

class Preparation : public FakeSystemTest {
protected:
    Preparation() {
        os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "Application Path", kClientFolder);
        os.profileFiles[kIni] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                                "NT_RUN_KEY=Sentova NT Monitor\r\n"
                                "95_RUN_KEY=Sentova 97\r\n"
                                "NT_HXLISTEN_SERVICE_FILENAME=hxlisten.exe\r\n";
        os.SetString(HKEY_LOCAL_MACHINE, kRunKey, "Sentova NT Monitor", "C:\\mon.exe");
        os.SetString(HKEY_LOCAL_MACHINE, kRunKey, "Sentova 97", "C:\\stv97.exe");
        os.services["hxlisten"].displayName = "Listener";
        os.services["rtguard"].displayName = "Real-time";
    }

    bool dialogRan = false;
    void Run(const std::string& arguments = "") {
        CNorvaneApp app;
        app.m_commandLine = "\"" + os.modulePath + "\"" + arguments;
        app.m_runProgressDialog = [this](BOOL) { dialogRan = true; };
        EXPECT_FALSE(app.InitInstance());
    }
    bool HasRunValue(const char* name) {
        return os.Value(HKEY_LOCAL_MACHINE, kRunKey, name) != nullptr;
    }
    std::string OwnCommand() { return os.StringValue(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue); }
    void ExpectOnlyBox(const std::string& text, UINT type) {
        ASSERT_EQ(os.messageBoxes.size(), 1u);
        EXPECT_EQ(os.messageBoxes[0].text, text);
        EXPECT_EQ(os.messageBoxes[0].caption, "Wardline Norvane Utility");
        EXPECT_EQ(os.messageBoxes[0].type, type);
    }
};

TEST_F(Preparation, NtSetsTheListenerToDemandStartAndRegisters) {
    Run();
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
    EXPECT_EQ(os.services["rtguard"].startType, SERVICE_AUTO_START);
    EXPECT_EQ(os.services["rtguard"].configChanges, 0);
    EXPECT_FALSE(HasRunValue("Sentova NT Monitor"));
    EXPECT_TRUE(HasRunValue("Sentova 97")) << "the 9x value is left alone on NT";
    EXPECT_EQ(os.Value(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue)->type, REG_SZ);
    EXPECT_EQ(OwnCommand(),
              "\"C:\\Program Files\\Norvane\\norvane.exe\" \"/000c293a4b5c\" -HideWindow");
    ExpectOnlyBox(kMessage180, MB_OK);
    EXPECT_FALSE(dialogRan);
}

TEST_F(Preparation, SilentSuppressesOnlyTheClosingMessage) {
    Run(" /silent");
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
    EXPECT_FALSE(OwnCommand().empty());

    // Error boxes still appear.
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
    os.services.erase("hxlisten");
    Run(" -SILENT");
    ASSERT_EQ(os.messageBoxes.size(), 1u);
    EXPECT_EQ(os.messageBoxes[0].type, MB_ICONERROR);
}

TEST_F(Preparation, NonAdministratorChangesNothingEvenSilently) {
    os.isAdministrator = false;
    Run(" /silent");
    ExpectOnlyBox("You do not have administrator privileges. Only administrators can install "
                  "this program.",
                  MB_ICONERROR);
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
    EXPECT_FALSE(HasRunValue(kOwnRunValue));
}

TEST_F(Preparation, MissingListenerShowsTheSystemErrorAndDoesNotRegister) {
    os.services.erase("hxlisten");
    Run();
    ExpectOnlyBox("(1060) The specified service does not exist as an installed service.\r\n",
                  MB_ICONERROR);
    EXPECT_FALSE(HasRunValue(kOwnRunValue));
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
}

TEST_F(Preparation, ManagerOrConfigurationFailuresAreShownTheSameWay) {
    os.scmAccessDenied = true;
    Run();
    ExpectOnlyBox("(5) Access is denied.\r\n", MB_ICONERROR);
    os.messageBoxes.clear();
    os.scmAccessDenied = false;
    os.services["hxlisten"].changeConfigError = ERROR_ACCESS_DENIED;
    Run();
    ExpectOnlyBox("(5) Access is denied.\r\n", MB_ICONERROR);
    EXPECT_FALSE(HasRunValue(kOwnRunValue));
}

// A Run key that opens but refuses the write: the master keeps its client's
// start-up value and its listener as they were, and is told why.
TEST_F(Preparation, ARefusedRegistrationIsShownAndLeavesTheMasterAsItWas) {
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).valueWriteError = ERROR_ACCESS_DENIED;
    Run();
    ExpectOnlyBox("(5) Access is denied.\r\n", MB_ICONERROR);
    EXPECT_FALSE(HasRunValue(kOwnRunValue));
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);

    os.messageBoxes.clear();
    os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    Run();
    ExpectOnlyBox("(5) Access is denied.\r\n", MB_ICONERROR);
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
    EXPECT_TRUE(HasRunValue("Sentova 97"));

    // A command that does not fit the writer's buffer is refused the same way.
    os.messageBoxes.clear();
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).valueWriteError = 0;
    os.modulePath = "C:\\" + std::string(1000, 'x') + "\\norvane.exe";
    Run();
    ExpectOnlyBox("(206) The filename or extension is too long.\r\n", MB_ICONERROR);
    EXPECT_TRUE(HasRunValue("Sentova 97"));
}

TEST_F(Preparation, WithoutIniFileTheDefaultsApply) {
    os.profileFiles.clear();
    Run();
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor")) << "no NT_RUN_KEY: nothing to delete";
    EXPECT_FALSE(OwnCommand().empty());
}

TEST_F(Preparation, ListenerNamedWithFolderAndExtension) {
    os.profileFiles[kIni] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                            "NT_HXLISTEN_SERVICE_FILENAME=D:\\Other\\Place\\rtguard.exe\r\n";
    Run();
    EXPECT_EQ(os.services["rtguard"].startType, SERVICE_DEMAND_START);
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
}

TEST_F(Preparation, WithoutAnyFolderTheIniIsLookedForNowhere) {
    os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT).values.clear();
    Run();
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
}

TEST_F(Preparation, Windows9xDeletesBothValuesAndTouchesNoService) {
    // The 9x client keeps its INI file in the Windows folder.
    os.profileFiles["C:\\WINDOWS\\Wdlscan.ini"] = os.profileFiles[kIni];
    os.profileFiles.erase(kIni);
    os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    os.version.dwMajorVersion = 4;
    os.version.dwMinorVersion = 10;
    os.isAdministrator = false; // never asked on 9x
    Run();
    EXPECT_FALSE(HasRunValue("Sentova NT Monitor"));
    EXPECT_FALSE(HasRunValue("Sentova 97"));
    EXPECT_EQ(os.services["hxlisten"].configChanges, 0);
    EXPECT_FALSE(OwnCommand().empty());
    ExpectOnlyBox(kMessage180, MB_OK);
}

TEST_F(Preparation, OtherPlatformsDoNothing) {
    os.version.dwPlatformId = VER_PLATFORM_WIN32s;
    Run();
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
    EXPECT_FALSE(HasRunValue(kOwnRunValue));
    EXPECT_EQ(os.services["hxlisten"].configChanges, 0);
}

// Without an identity every copy would take itself for the master (its
// GUID kept, nobody told): the preparation is refused and changes nothing.
// Where NetBIOS reports nothing, the IP helper's physical adapters make the
// identity in the same form.
TEST_F(Preparation, NoAdapterIsRefusedAndTheIpHelperStandsInForNetbios) {
    os.lanas.clear();
    os.adapters = {{24, {}}, {6, {0, 0, 0, 0, 0, 0}}}; // loopback, a zero address
    Run(" /silent");
    ExpectOnlyBox(LoadTestString(185), MB_ICONERROR);
    EXPECT_EQ(OwnCommand(), "");
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
    EXPECT_EQ(os.services["hxlisten"].configChanges, 0);

    os.messageBoxes.clear();
    os.adapters = {{24, {}},
                   {6, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}},
                   {131, {0x0a, 0, 0, 0, 0, 1}}, // a tunnel
                   {71, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x02}},
                   {6, {1, 2, 3, 4, 5, 6, 7, 8}}}; // not a 6-byte address
    Run(" /silent");
    EXPECT_EQ(
        OwnCommand(),
        "\"C:\\Program Files\\Norvane\\norvane.exe\" \"/02aabbccdd0102aabbccdd02\" -HideWindow");
    EXPECT_TRUE(os.messageBoxes.empty());
}

// The copies find the client's INI file in the folder of "Application
// Path", else of "InstallPath"; so does the preparation, which removes the
// Run value named there (and no other).
TEST_F(Preparation, TheIniFileIsFoundAsTheCopiesFindIt) {
    os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT).values.erase("Application Path");
    os.SetString(HKEY_LOCAL_MACHINE, kClientKeyNT, "InstallPath", kClientFolder);
    os.profileFiles["C:\\WINDOWS\\Wdlscan.ini"] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                                                  "NT_RUN_KEY=Sentova 97\r\n";
    Run(" /silent");
    EXPECT_FALSE(HasRunValue("Sentova NT Monitor"));
    EXPECT_TRUE(HasRunValue("Sentova 97"));
}

TEST_F(Preparation, SecondRunOnTheMasterReconfiguresInstead) {
    Run(" /silent");
    std::string command = OwnCommand();
    os.services["hxlisten"].configChanges = 0;
    Run(" \"/000c293a4b5c\" -HideWindow");
    EXPECT_TRUE(dialogRan);
    EXPECT_EQ(os.services["hxlisten"].configChanges, 0);
    EXPECT_EQ(OwnCommand(), command);
    EXPECT_TRUE(os.messageBoxes.empty());
}

namespace {
const char* const kCopy = "C:\\Program Files\\Norvane\\norvane.exe";
const char* const kCopyFolder = "C:\\Program Files\\Norvane";
} // namespace

class ProtectedProgram : public Preparation {
protected:
    ProtectedProgram() {
        os.SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                     "ProgramFilesDir", "C:\\Program Files");
        os.files.erase(kCopy);
        os.files.erase(kCopyFolder);
    }
    // The program in a folder a standard user made (its owner, by
    // inheritance with full control of it).
    void InAUsersFolder() {
        os.AddFolder("C:\\Tools");
        os.files["C:\\Tools"].dacl.push_back(
            {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE,
             FILE_ALL_ACCESS, "S-1-3-0"});
        os.AddUserFolder("C:\\Tools\\Norvane", "S-1-5-21-1111-2222-3333-1001");
        os.modulePath = "C:\\Tools\\Norvane\\norvane.exe";
        os.files[os.modulePath] = os.NewEntry(os.modulePath, false);
        os.profileFiles[os.modulePath] = std::string("MZ\x90\0\x03\0", 6) + "the program";
    }
};

// A program a standard user could replace before the next start is not
// registered: a copy in %ProgramFiles%\Norvane, in a folder made for it, is;
// the record says which and why.
TEST_F(ProtectedProgram, AProgramOthersMayReplaceIsRegisteredAsAProtectedCopy) {
    InAUsersFolder();
    Run(" /silent");
    EXPECT_EQ(OwnCommand(), "\"" + std::string(kCopy) + "\" \"/000c293a4b5c\" -HideWindow");
    EXPECT_EQ(os.FileText(kCopy), os.FileText(os.modulePath));
    const FakeFile& folder = os.files.at(kCopyFolder);
    EXPECT_EQ(folder.owner, kSidAdministrators);
    EXPECT_TRUE(folder.daclProtected);
    ASSERT_EQ(folder.dacl.size(), 3u);
    EXPECT_EQ(folder.dacl[0].sid, kSidLocalSystem);
    EXPECT_EQ(folder.dacl[1].sid, kSidAdministrators);
    EXPECT_EQ(folder.dacl[1].mask, FILE_ALL_ACCESS);
    EXPECT_EQ(folder.dacl[2].sid, kSidUsers);
    EXPECT_EQ(folder.dacl[2].mask, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE);
    EXPECT_EQ(folder.dacl[2].flags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(os.files.at(kCopy).dacl.size(), 3u) << "the copy has its folder's entries only";
    std::string const log = os.FileText("C:\\ProgramData\\Norvane\\norvane.log");
    EXPECT_NE(log.find("The program registered is C:\\Program Files\\Norvane\\norvane.exe, a "
                       "copy of C:\\Tools\\Norvane\\norvane.exe: C:\\Tools\\Norvane\\norvane.exe "
                       "is no safe program to register: S-1-5-21-1111-2222-3333-1001 may change "
                       "it"),
              std::string::npos)
        << log;
}

// Where only administrators and the system can change the program and its
// folder, the command is the one it always was, and nothing is copied.
TEST_F(ProtectedProgram, AProgramInAProtectedFolderIsRegisteredWhereItLies) {
    os.modulePath = "C:\\Program Files\\Norvane Test\\norvane.exe";
    os.AddFile(os.modulePath);
    Run(" /silent");
    EXPECT_EQ(OwnCommand(),
              "\"C:\\Program Files\\Norvane Test\\norvane.exe\" \"/000c293a4b5c\" -HideWindow");
    EXPECT_EQ(os.files.count(kCopyFolder), 0u);
}

// A copy that cannot be made fails the preparation as any step does:
// nothing registered, the listener as it was, the system's error shown.
TEST_F(ProtectedProgram, ACopyThatCannotBeMadeFailsThePreparation) {
    InAUsersFolder();
    os.fileErrors[kCopy] = ERROR_ACCESS_DENIED;
    Run(" /silent");
    ExpectOnlyBox("(5) Access is denied.\r\n", MB_ICONERROR);
    EXPECT_FALSE(HasRunValue(kOwnRunValue));
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
    EXPECT_EQ(Report().Outcome(), kExitPreparationFailed);
}
