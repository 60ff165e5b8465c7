// Preparation mode on the in-memory Windows: what changes, what is shown.
#include "app/master_host.h"
#include "app/norvane_app.h"
#include "common/outcome_values.h"
#include "common/program_place.h"
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
    EXPECT_EQ(os.Value(HKEY_LOCAL_MACHINE, kOutcomeKey, kMasterIdentityValue), nullptr)
        << "the master's record goes with the registration";

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
    // What a refused preparation leaves: everything as it was, no service
    // changed, no value written, nothing copied.
    void ExpectNothingChanged() {
        EXPECT_EQ(os.services["hxlisten"].configChanges, 0);
        EXPECT_FALSE(HasRunValue(kOwnRunValue));
        EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
        EXPECT_EQ(os.files.count(kCopyFolder), 0u);
        EXPECT_EQ(Report().Outcome(), kExitPreparationFailed);
    }
};

namespace {
std::string Refusal(const std::string& folder, const std::string& why) {
    return "This program cannot be registered from " + folder + ": " + why +
           ". Put it in a folder that only administrators can change, such as C:\\Program "
           "Files\\Norvane, and start it from there.";
}
} // namespace

// A program a standard user could have swapped before anyone looked at it
// is neither registered nor copied, /service or not: the preparation
// refuses before it changes anything, names the folder and says where the
// program belongs.
TEST_F(ProtectedProgram, AProgramInAFolderOthersMayChangeIsRefusedBeforeAnyChange) {
    InAUsersFolder();
    Run(" /service /silent");
    ExpectOnlyBox(Refusal("C:\\Tools\\Norvane", "C:\\Tools\\Norvane\\norvane.exe may be changed by "
                                                "others (S-1-5-21-1111-2222-3333-1001 may change "
                                                "it)"),
                  MB_ICONERROR);
    ExpectNothingChanged();
    EXPECT_EQ(os.services.count("Norvane"), 0u);
}

// From its start the run holds its file without sharing writing or
// deletion: a user who renames it then to put another in its place is
// refused (the run itself is refused all the same: the file lies where it
// could have been swapped before). A file the run cannot hold is refused too.
TEST_F(ProtectedProgram, TheProgramsFileIsHeldFromTheStart) {
    os.AddFolder("C:\\Temp");
    os.files["C:\\Temp"].dacl.push_back({ACCESS_ALLOWED_ACE_TYPE,
                                         OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                         0x1301BF /* modify */, kSidAuthenticatedUsers});
    os.modulePath = "C:\\Temp\\norvane.exe";
    os.files[os.modulePath] = os.NewEntry(os.modulePath, false);
    DWORD renamed = 0;
    os.onQueryValue = [this, &renamed](const std::string&, bool) {
        if (!renamed)
            renamed = os.MoveFileA(os.modulePath.c_str(), "C:\\Temp\\started.exe")
                          ? ERROR_SUCCESS + 1
                          : os.GetLastError();
    };
    Run(" /silent");
    os.onQueryValue = nullptr;
    EXPECT_EQ(renamed, ERROR_SHARING_VIOLATION);
    ExpectOnlyBox(Refusal("C:\\Temp", "C:\\Temp\\norvane.exe may be changed by others "
                                      "(Authenticated Users may change it)"),
                  MB_ICONERROR);
    ExpectNothingChanged();

    os.messageBoxes.clear();
    os.modulePath = "C:\\Program Files\\Norvane Test\\norvane.exe";
    os.AddFile(os.modulePath);
    HANDLE const writer = os.CreateFileA(os.modulePath.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    Run(" /silent");
    os.CloseHandle(writer);
    ExpectOnlyBox("This program cannot be registered: its own file C:\\Program Files\\Norvane "
                  "Test\\norvane.exe cannot be held open: (32) The process cannot access the file "
                  "because it is being used by another process.",
                  MB_ICONERROR);
    ExpectNothingChanged();
}

// A protected folder is not enough inside one whose folders let others
// rename or replace it. A folder an administrator made in C:\ inherits
// "Authenticated Users: Modify" from C:\'s default DACL; delete-child rights
// on a folder further up, or a junction on the way, do the same.
TEST_F(ProtectedProgram, AFolderAboveThatOthersMayRenameOrReplaceIsRefused) {
    ASSERT_TRUE(os.CreateDirectoryA("C:\\Tools"));
    os.AddFolder("C:\\Tools\\Deploy\\Norvane");
    os.modulePath = "C:\\Tools\\Deploy\\Norvane\\norvane.exe";
    os.AddFile(os.modulePath);
    std::string const folder = "C:\\Tools\\Deploy\\Norvane";
    Run(" /silent");
    ExpectOnlyBox(Refusal(folder, "the folder C:\\Tools above it may be renamed or replaced by "
                                  "others (Authenticated Users may change it)"),
                  MB_ICONERROR);
    ExpectNothingChanged();

    os.files["C:\\Tools"] = FakeFile{true};
    os.files["C:\\Tools"].dacl.push_back(
        {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_DELETE_CHILD, kSidUsers});
    os.messageBoxes.clear();
    Run(" /silent");
    ExpectOnlyBox(Refusal(folder, "the folder C:\\Tools above it lets others rename or replace "
                                  "C:\\Tools\\Deploy (Users may change it)"),
                  MB_ICONERROR);

    os.files["C:\\Tools"] = FakeFile{true};
    os.files["C:\\Tools\\Deploy"].reparsePoint = true;
    os.messageBoxes.clear();
    Run(" /silent");
    ExpectOnlyBox(Refusal(folder, "C:\\Tools\\Deploy is a junction or link"), MB_ICONERROR);
    ExpectNothingChanged();
}

// Where only administrators and the system can change the program and every
// folder on its way (C:\ with its default DACL lets every authenticated user
// add folders to it, which replaces nothing), the command is the one it
// always was, and nothing is copied; the record names it and its size.
TEST_F(ProtectedProgram, AProgramInAProtectedFolderIsRegisteredWhereItLies) {
    os.modulePath = "C:\\Program Files\\Norvane Test\\norvane.exe";
    os.AddFile(os.modulePath);
    os.profileFiles[os.modulePath] = "MZ the program";
    Run(" /silent");
    EXPECT_EQ(OwnCommand(),
              "\"C:\\Program Files\\Norvane Test\\norvane.exe\" \"/000c293a4b5c\" -HideWindow");
    EXPECT_EQ(os.files.count(kCopyFolder), 0u);
    EXPECT_NE(
        os.FileText("C:\\ProgramData\\Norvane\\norvane.log")
            .find("The program registered is C:\\Program Files\\Norvane Test\\norvane.exe (14 "
                  "bytes), where it lies"),
        std::string::npos);

    // /service on Windows 9x, which has no services, copies nothing either;
    // nor does /service from the installed copy itself.
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
    os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    Run(" /service /silent");
    EXPECT_EQ(OwnCommand().rfind("\"C:\\Program Files\\Norvane Test\\norvane.exe\" ", 0), 0u)
        << OwnCommand();
    EXPECT_EQ(os.files.count(kCopyFolder), 0u);

    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
    os.version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    os.modulePath = kCopy;
    os.AddFile(kCopy);
    Run(" /service /silent");
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_EQ(OwnCommand().rfind("\"" + std::string(kCopy) + "\" ", 0), 0u) << OwnCommand();
    EXPECT_EQ(os.services.count("Norvane"), 1u);
}

// A copy that cannot be made fails the preparation as any step does:
// nothing registered, the listener as it was, the system's error shown. So
// does one that is not the held file's bytes, an earlier one that cannot
// go, a folder that cannot be secured, and a copy that others may replace.
TEST_F(ProtectedProgram, ACopyThatCannotBeMadeFailsThePreparation) {
    os.modulePath = "C:\\Program Files\\Deploy\\norvane.exe";
    os.AddFile(os.modulePath);
    os.fileErrors[kCopy] = ERROR_ACCESS_DENIED;
    Run(" /service /silent");
    ExpectOnlyBox("(5) Access is denied.", MB_ICONERROR);
    EXPECT_FALSE(HasRunValue(kOwnRunValue));
    EXPECT_TRUE(HasRunValue("Sentova NT Monitor"));
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
    EXPECT_EQ(os.services.count("Norvane"), 0u);
    EXPECT_EQ(Report().Outcome(), kExitPreparationFailed);
    auto const expectRefused = [this](const std::string& box) {
        ExpectOnlyBox(box, MB_ICONERROR);
        EXPECT_FALSE(HasRunValue(kOwnRunValue));
        EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
        EXPECT_EQ(os.services.count("Norvane"), 0u);
        EXPECT_EQ(Report().Outcome(), kExitPreparationFailed);
        os.messageBoxes.clear();
    };
    os.messageBoxes.clear();
    os.fileErrors.clear();

    // The copy as the file system gives it back is not the held file's
    // bytes (another program wrote into it meanwhile): it goes.
    int openings = 0;
    os.onOpen = [this, &openings](const std::string& path) {
        if (path == kCopy && ++openings == 2)
            os.profileFiles[kCopy] += "more";
    };
    Run(" /service /silent");
    os.onOpen = nullptr;
    expectRefused("the copy C:\\Program Files\\Norvane\\norvane.exe is not the same as "
                  "C:\\Program Files\\Deploy\\norvane.exe, the program this run was started from");
    EXPECT_EQ(os.files.count(kCopy), 0u);

    // An earlier copy that another program holds open cannot go.
    os.AddFile(kCopy);
    HANDLE const reader =
        os.CreateFileA(kCopy, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    Run(" /service /silent");
    os.CloseHandle(reader);
    expectRefused("(32) The process cannot access the file because it is being used by another "
                  "process.\r\n");

    // A file put at the copy's name once the earlier one went is never
    // written into.
    bool planted = false;
    os.onStateChange = [this, &planted](const std::string& call) {
        if (call != "DeleteFileA")
            return;
        os.onOpen = [this, &planted](const std::string& path) {
            if (path == kCopy && !planted && !os.files.count(kCopy)) {
                planted = true;
                os.AddFile(kCopy);
                os.profileFiles[kCopy] = "theirs";
            }
        };
    };
    Run(" /service /silent");
    os.onStateChange = nullptr;
    os.onOpen = nullptr;
    expectRefused("(80) The file exists.");
    EXPECT_TRUE(planted);
    EXPECT_EQ(os.FileText(kCopy), "theirs");

    // A folder a user made there whose security cannot be set.
    os.files.erase(kCopy);
    os.files.erase(kCopyFolder);
    os.AddUserFolder(kCopyFolder, "S-1-5-21-1111-2222-3333-1001");
    os.files.at(kCopyFolder).setSecurityError = ERROR_ACCESS_DENIED;
    Run(" /service /silent");
    expectRefused("The program cannot be put where only administrators can change it: C:\\Program "
                  "Files\\Norvane may be changed by others (it is owned by "
                  "S-1-5-21-1111-2222-3333-1001) and its security cannot be set right: (5) Access "
                  "is denied.");

    // A copy in a folder others may replace (%ProgramFiles% elsewhere).
    os.SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                 "ProgramFilesDir", "C:\\Apps");
    os.AddFolder("C:\\Apps");
    os.files.at("C:\\Apps")
        .dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, FILE_DELETE_CHILD, kSidUsers});
    Run(" /service /silent");
    expectRefused("The program's copy C:\\Apps\\Norvane\\norvane.exe could be changed by others: "
                  "the folder C:\\Apps above it lets others rename or replace C:\\Apps\\Norvane "
                  "(Users may change it)");
}

// An earlier copy and a folder left where the copy goes: the folder is
// mended (its entries' deletion was open to users) and held until the run
// ends, so that nobody renames it meanwhile; the copy is made anew.
TEST_F(ProtectedProgram, AnEarlierCopyAndItsFolderAreMendedAndReplaced) {
    os.modulePath = "C:\\Program Files\\Deploy\\norvane.exe";
    os.AddFile(os.modulePath);
    os.profileFiles[os.modulePath] = "MZ the program";
    os.AddFile(kCopy);
    os.profileFiles[kCopy] = "MZ an older program";
    os.files.at(kCopyFolder)
        .dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, FILE_DELETE_CHILD, kSidUsers});
    DWORD renamed = 0;
    os.onStateChange = [this, &renamed](const std::string& call) {
        if (call != "DeleteFileA" || renamed)
            return;
        renamed = os.MoveFileExA(kCopyFolder, "C:\\Program Files\\Moved", 0) ? ERROR_SUCCESS + 1
                                                                             : os.GetLastError();
    };
    Run(" /service /silent");
    os.onStateChange = nullptr;
    EXPECT_EQ(renamed, ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_EQ(OwnCommand().rfind("\"" + std::string(kCopy) + "\" ", 0), 0u) << OwnCommand();
    EXPECT_EQ(os.FileText(kCopy), "MZ the program");
    EXPECT_TRUE(os.files.at(kCopyFolder).daclProtected);
    EXPECT_NE(os.FileText("C:\\ProgramData\\Norvane\\norvane.log")
                  .find("C:\\Program Files\\Norvane could be changed by others (Users may change "
                        "it): its owner and DACL are set right"),
              std::string::npos);
}

// Each right that lets its holder rename or replace a folder on the
// program's way counts on its own: on a folder above the program's, the
// rights to delete it, to change its DACL or owner, full control; on any
// folder, a drive's root too, also the right to delete its entries. A
// drive's root is never renamed; the program's own folder is asked what
// changes it.
TEST_F(ProtectedProgram, EachRightToReplaceAFolderOnTheWayCountsAlone) {
    std::string const program = "C:\\Tools\\Deploy\\Norvane\\norvane.exe";
    os.AddFile(program);
    std::string why;
    ASSERT_FALSE(OthersMayReplaceProgram(program, &why)) << why;
    FakeFile& tools = os.files.at("C:\\Tools");
    for (DWORD right : {DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_ALL}) {
        tools.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, right, kSidUsers});
        EXPECT_TRUE(OthersMayReplaceProgram(program, &why)) << std::hex << right;
        EXPECT_EQ(why, "the folder C:\\Tools above it may be renamed or replaced by others (Users "
                       "may change it)")
            << std::hex << right;
        tools.dacl.pop_back();
    }
    FakeFile& root = os.files.at("C:");
    root.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, DELETE, kSidUsers});
    EXPECT_FALSE(OthersMayReplaceProgram(program, &why)) << why;
    root.dacl.pop_back();
    for (DWORD right : {FILE_DELETE_CHILD, WRITE_DAC, WRITE_OWNER, GENERIC_ALL}) {
        root.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, right, kSidUsers});
        EXPECT_TRUE(OthersMayReplaceProgram(program, &why)) << std::hex << right;
        EXPECT_EQ(why,
                  "the folder C:\\ above it lets others rename or replace C:\\Tools (Users may "
                  "change it)")
            << std::hex << right;
        root.dacl.pop_back();
    }
    os.files.at("C:\\Tools\\Deploy\\Norvane")
        .dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, FILE_WRITE_DATA, kSidUsers});
    EXPECT_TRUE(OthersMayReplaceProgram(program, &why));
    EXPECT_EQ(why, "the folder C:\\Tools\\Deploy\\Norvane may be changed by others (Users may "
                   "change it)");
    // A part that cannot even be looked at.
    EXPECT_TRUE(OthersMayReplaceProgram("C:\\Tools|x\\norvane.exe", &why));
    EXPECT_EQ(why,
              "what C:\\Tools|x is cannot be told: (123) The filename, directory name, or volume "
              "label syntax is incorrect.");
}

// The folders a program's path runs through, root first; a path of no
// checkable form has none (and is refused). A double-byte character's
// second byte is never a separator.
TEST_F(ProtectedProgram, TheFoldersOfAPathRootFirst) {
    EXPECT_EQ(FoldersOf("C:\\Tools\\Norvane\\norvane.exe"),
              (std::vector<std::string>{"C:\\", "C:\\Tools", "C:\\Tools\\Norvane"}));
    EXPECT_EQ(FoldersOf("\\\\deploy\\images$\\norvane.exe"),
              std::vector<std::string>{"\\\\deploy\\images$\\"});
    for (const char* odd :
         {"norvane.exe", "C:norvane.exe", "\\\\?\\C:\\norvane.exe", "\\\\deploy\\norvane.exe",
          "C:\\Tools\\\\norvane.exe", "C:\\Tools\\..\\norvane.exe", "C:\\Tools\\"}) {
        EXPECT_TRUE(FoldersOf(odd).empty()) << odd;
        EXPECT_TRUE(OthersMayReplaceProgram(odd, nullptr)) << odd;
    }
    os.codePage = 932;
    EXPECT_EQ(FoldersOf("C:\\\x95\\\\norvane.exe"),
              (std::vector<std::string>{"C:\\", "C:\\\x95\\"}));
}
