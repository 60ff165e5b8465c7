// Start-up: command line, host identity, Run-key functions and the mode
// decision of InitInstance, on the in-memory Windows.
#include "app/command_line.h"
#include "app/host_identity.h"
#include "app/master_host.h"
#include "app/system_uuid.h"
#include "common/message_box.h"
#include "app/norvane_app.h"
#include "common/runkey.h"
#include "common/settings.h"
#include "fake_system.h"

#include <cstdio>
#include <optional>

using namespace port;

namespace {

CNorvaneCommandLineInfo Parse(const std::string& commandLine) {
    CNorvaneCommandLineInfo info;
    ParseCommandLine(SplitCommandLine(commandLine), info);
    return info;
}

} // namespace

TEST(CommandLine, SplitsLikeTheRuntime) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\N\\norvane.exe\" \"/00c0\" -HideWindow"),
              (V{"C:\\Program Files\\N\\norvane.exe", "/00c0", "-HideWindow"}));
    EXPECT_EQ(SplitCommandLine("norvane.exe  a\tb  "), (V{"norvane.exe", "a", "b"}));
    EXPECT_EQ(SplitCommandLine("x \"a b\"c \"\""), (V{"x", "a bc", ""}));
    // Backslashes are literal unless they precede a quote.
    EXPECT_EQ(SplitCommandLine("x C:\\a\\ \"C:\\b\\\\\" \\\"q"),
              (V{"x", "C:\\a\\", "C:\\b\\", "\"q"}));
    EXPECT_EQ(SplitCommandLine("\"C:\\a b\\x.exe\""), (V{"C:\\a b\\x.exe"}));
}

TEST(CommandLine, FlagsTakeOneSlashOrDashOff) {
    struct Recorder : CCommandLineInfo {
        std::vector<std::tuple<std::string, BOOL, BOOL>> seen;
        void ParseParam(const char* p, BOOL flag, BOOL last) override {
            seen.emplace_back(p, flag, last);
        }
    } r;
    ParseCommandLine(SplitCommandLine("n.exe /a -b --c plain"), r);
    ASSERT_EQ(r.seen.size(), 4u);
    EXPECT_EQ(r.seen[0], std::make_tuple(std::string("a"), TRUE, FALSE));
    EXPECT_EQ(r.seen[1], std::make_tuple(std::string("b"), TRUE, FALSE));
    EXPECT_EQ(r.seen[2], std::make_tuple(std::string("-c"), TRUE, FALSE));
    EXPECT_EQ(r.seen[3], std::make_tuple(std::string("plain"), FALSE, TRUE));
}

class CommandLineFlags : public FakeSystemTest {};

TEST_F(CommandLineFlags, SilentAndHideWindowInAnyCase) {
    for (const char* flag : {"/silent", "-silent", "/SILENT", "-SiLeNt"}) {
        auto info = Parse(std::string("n.exe ") + flag);
        EXPECT_TRUE(info.m_bSilent) << flag;
        EXPECT_EQ(info.m_strHostArg, "") << flag;
    }
    auto info = Parse("n.exe \"/000c293a4b5c\" -hidewindow /HIDEWINDOW");
    EXPECT_FALSE(info.m_bSilent);
    EXPECT_EQ(info.m_strHostArg, "000c293a4b5c");
}

// The last identity counts; the usage in any spelling; the first argument
// that is neither a switch nor an identity is named, a plain one too
// ("silent" without its slash is no switch).
TEST_F(CommandLineFlags, OnlySwitchesAndIdentitiesAreTaken) {
    auto info = Parse("n.exe /aaaabbbbcccc -001122334455 /");
    EXPECT_EQ(info.m_strHostArg, "");
    EXPECT_FALSE(info.m_bRefused || info.m_bUsage);
    EXPECT_EQ(Parse("n.exe /aaaabbbbcccc -001122334455").m_strHostArg, "001122334455");
    for (const char* usage : {"/?", "-?", "/help", "-HELP", "/h", "-H"})
        EXPECT_TRUE(Parse(std::string("n.exe ") + usage).m_bUsage) << usage;
    info = Parse("n.exe /x plain");
    EXPECT_TRUE(info.m_bRefused && info.m_bRefusedIsFlag);
    EXPECT_EQ(info.m_strRefused, "x");
    info = Parse("n.exe silent /x");
    EXPECT_TRUE(info.m_bRefused);
    EXPECT_FALSE(info.m_bRefusedIsFlag || info.m_bSilent);
    EXPECT_EQ(info.m_strRefused, "silent");
    EXPECT_TRUE(Parse("n.exe \"\"").m_bRefused);
    EXPECT_EQ(Parse("n.exe --silent").m_strRefused, "-silent");
}

class HostIdentity : public FakeSystemTest {};

TEST_F(HostIdentity, HighBytesAreTwoLowercaseDigits) {
    os.lanas = {{3, {0x00, 0x80, 0xff, 0xAB, 0x9c, 0x7f}, true}};
    EXPECT_EQ(GetHostIdentity(), "0080ffab9c7f");
}

TEST_F(HostIdentity, SkipsLanasThatDoNotAnswerAndRepeatsSharedAdapters) {
    os.lanas = {{0, {1, 2, 3, 4, 5, 6}, false},
                {1, {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c}, true},
                {2, {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08}, true},
                {5, {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c}, true}};
    EXPECT_EQ(GetHostIdentity(), "000c293a4b5c005056c00008000c293a4b5c");
    std::vector<std::string> list{"kept"};
    EXPECT_TRUE(EnumAdapterAddresses(list));
    EXPECT_EQ(list,
              (std::vector<std::string>{"kept", "000c293a4b5c", "005056c00008", "000c293a4b5c"}));
}

TEST_F(HostIdentity, EveryLanaIsResetBeforeItsStatusIsAsked) {
    os.lanas = {{7, {1, 2, 3, 4, 5, 6}, true}};
    GetHostIdentity();
    std::vector<std::pair<UCHAR, UCHAR>> expected{{NCBENUM, 0}, {NCBRESET, 7}, {NCBASTAT, 7}};
    EXPECT_EQ(os.netbiosCalls, expected);
}

TEST_F(HostIdentity, NoLanaOrNoNetbiosGivesEmptyIdentity) {
    os.lanas.clear();
    EXPECT_EQ(GetHostIdentity(), "");
    os.lanas = {{0, {1, 2, 3, 4, 5, 6}, true}};
    os.netbiosAvailable = false;
    EXPECT_EQ(GetHostIdentity(), "");
}

class RunKey : public FakeSystemTest {
protected:
    std::string Stored(const std::string& name) {
        const FakeRegValue* v = os.Value(HKEY_LOCAL_MACHINE, kRunKey, name);
        if (!v)
            return "<missing>";
        EXPECT_EQ(v->type, REG_SZ);
        EXPECT_FALSE(v->data.empty());
        EXPECT_EQ(v->data.back(), 0) << "stored without its terminating zero";
        return std::string(v->data.begin(), v->data.end() - 1);
    }
};

TEST_F(RunKey, WriterAppendsTheSuffixUnlessTheExactOptionIsThere) {
    EXPECT_TRUE(SetRunValue("C:\\PROGRA~1\\X.EXE /00C04F1A2B3C", "A"));
    EXPECT_EQ(Stored("A"), "C:\\PROGRA~1\\X.EXE /00C04F1A2B3C -HideWindow");
    EXPECT_TRUE(SetRunValue("x.exe -HideWindow /y", "B"));
    EXPECT_EQ(Stored("B"), "x.exe -HideWindow /y");
    EXPECT_TRUE(SetRunValue("x.exe -hidewindow", "C"));
    EXPECT_EQ(Stored("C"), "x.exe -hidewindow -HideWindow");
}

TEST_F(RunKey, WriterRefusesEmptyArgumentsAndCreatesTheKey) {
    EXPECT_FALSE(SetRunValue("", "A"));
    EXPECT_FALSE(SetRunValue("x.exe", ""));
    EXPECT_EQ(os.Value(HKEY_LOCAL_MACHINE, kRunKey, "A"), nullptr);
    EXPECT_TRUE(SetRunValue("x.exe", "A"));
    EXPECT_EQ(Stored("A"), "x.exe -HideWindow");
}

TEST_F(RunKey, CommandsTooLongForTheBufferAreRefusedNotCut) {
    std::string fits(1011, 'a');
    EXPECT_TRUE(SetRunValue(fits, "Fits"));
    EXPECT_EQ(Stored("Fits"), fits + " -HideWindow");
    EXPECT_FALSE(SetRunValue(std::string(1012, 'a'), "TooLong"));
    EXPECT_EQ(Stored("TooLong"), "<missing>");

    std::string withOption = std::string(1012, 'b') + "-HideWindow"; // 1023 characters
    EXPECT_TRUE(SetRunValue(withOption, "Exact"));
    EXPECT_EQ(Stored("Exact"), withOption);
    EXPECT_FALSE(SetRunValue(withOption + "c", "Over"));
    EXPECT_EQ(Stored("Over"), "<missing>");
}

TEST_F(RunKey, AFailedWriteIsReportedWithTheRegistrysCode) {
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).valueWriteError = ERROR_ACCESS_DENIED;
    os.SetLastError(0);
    EXPECT_FALSE(SetRunValue("x.exe", "A"));
    EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SetRunValue(std::string(1012, 'a'), "A"));
    EXPECT_EQ(os.GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(RunKey, DeleteAndPresence) {
    EXPECT_FALSE(DeleteRunValue("X")) << "no Run key yet";
    os.Key(HKEY_LOCAL_MACHINE, kRunKey);
    EXPECT_TRUE(DeleteRunValue("X")) << "a missing value is no error";
    EXPECT_FALSE(DeleteRunValue(""));
    os.SetDword(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue, 7);
    EXPECT_TRUE(RunValueExists(kOwnRunValue));
    EXPECT_FALSE(RunValueExists("Other"));
    EXPECT_FALSE(RunValueExists(""));
    EXPECT_TRUE(DeleteRunValue(kOwnRunValue));
    EXPECT_FALSE(RunValueExists(kOwnRunValue));
}

TEST_F(RunKey, WithoutWriteAccessEveryAnswerIsFalse) {
    os.SetString(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue, "x");
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).denyWrite = true;
    EXPECT_FALSE(RunValueExists(kOwnRunValue));
    EXPECT_FALSE(DeleteRunValue(kOwnRunValue));
    EXPECT_FALSE(SetRunValue("y", "Other"));
    EXPECT_EQ(os.StringValue(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue), "x");
}

class StartUp : public FakeSystemTest {
protected:
    std::optional<BOOL> Run(const std::string& commandLine) {
        CNorvaneApp app;
        app.m_commandLine = commandLine;
        std::optional<BOOL> sameHost;
        app.m_runProgressDialog = [&](BOOL same) {
            EXPECT_FALSE(sameHost.has_value()) << "dialog run twice";
            sameHost = same;
        };
        EXPECT_FALSE(app.InitInstance());
        exitCode = app.m_nExitCode;
        return sameHost;
    }
    int exitCode = -1; // the last run's
    void Register() { os.SetString(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue, "anything"); }
};

// The fake with a trace of the calls that load, open, show or change
// anything, in the order they come.
class TracingOs : public FakeOs {
public:
    std::vector<std::string> calls;

    UINT SetErrorMode(UINT mode) override {
        calls.push_back("SetErrorMode");
        return FakeOs::SetErrorMode(mode);
    }
    DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) override {
        calls.push_back("GetModuleFileNameA");
        return FakeOs::GetModuleFileNameA(module, buffer, size);
    }
    HMODULE LoadLibraryA(const char* name) override {
        calls.push_back("LoadLibraryA");
        return FakeOs::LoadLibraryA(name);
    }
    HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD creation,
                       DWORD flags) override {
        calls.push_back("CreateFileA");
        return FakeOs::CreateFileA(name, access, share, creation, flags);
    }
    LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                       HKEY* result) override {
        calls.push_back("RegOpenKeyExA");
        return FakeOs::RegOpenKeyExA(key, subKey, options, access, result);
    }
    int WSAStartup(WORD version) override {
        calls.push_back("WSAStartup");
        return FakeOs::WSAStartup(version);
    }
    BOOL GetVersionExA(OSVERSIONINFOA* info) override {
        calls.push_back("GetVersionExA");
        return FakeOs::GetVersionExA(info);
    }
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override {
        calls.push_back("MessageBoxA");
        return FakeOs::MessageBoxA(owner, text, caption, type);
    }
};

// A run that nobody watches turns the system's own boxes off before it does
// anything else; an ordinary run leaves them to the person who started it.
TEST_F(StartUp, AQuietRunSetsTheErrorModeBeforeAnythingElse) {
    for (bool service : {false, true}) {
        TracingOs traced;
        traced.strings = os.strings;
        SetSys(&traced);
        CNorvaneApp app;
        app.m_commandLine =
            service ? "norvane.exe \"/000c293a4b5c\" -HideWindow /service" : "norvane.exe /quiet";
        app.m_bRunAsService = service;
        EXPECT_FALSE(app.InitInstance());
        SetSys(&os);
        ASSERT_GT(traced.calls.size(), 3u) << "the run went on";
        EXPECT_EQ(traced.calls[0], "SetErrorMode") << "service " << service;
        EXPECT_EQ(traced.errorModesSet,
                  std::vector<UINT>{SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                                    SEM_NOOPENFILEERRORBOX});
        EXPECT_TRUE(traced.messageBoxes.empty());
    }
    Register();
    EXPECT_TRUE(Run("norvane.exe /silent").has_value());
    EXPECT_TRUE(os.errorModesSet.empty());

    // The entry point sets it before the service control manager has
    // confirmed the service: for the service's command, an identity with
    // /service; not for /service by hand, nor for a logon's command.
    for (auto [command, unattended] :
         {std::pair{"norvane.exe \"/000c293a4b5c\" -HideWindow /service", true},
          std::pair{"norvane.exe /service", false},
          std::pair{"norvane.exe \"/000c293a4b5c\" -HideWindow", false}}) {
        os.errorModesSet.clear();
        CNorvaneApp app;
        app.m_commandLine = command;
        app.SetUnattendedErrorMode();
        EXPECT_EQ(os.errorModesSet.empty(), !unattended) << command;
    }
}

TEST_F(StartUp, ApplicationBoxesBelongToTheMainWindowWhileThereIsOne) {
    auto const dialog = reinterpret_cast<HWND>(std::uintptr_t{0x4242});
    AfxSetMainWnd(dialog);
    AfxMessageBox("inside");
    AfxSetMainWnd(nullptr);
    AfxMessageBox("outside");
    ASSERT_EQ(os.messageBoxes.size(), 2u);
    EXPECT_EQ(os.messageBoxes[0].owner, dialog);
    EXPECT_EQ(os.messageBoxes[1].owner, nullptr);
}

TEST_F(StartUp, SameHostComparesWithoutLetterCase) {
    Register();
    os.lanas = {{0, {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c}, true}};
    EXPECT_EQ(Run("\"C:\\N\\norvane.exe\" \"/000c293a4b5c\" -HideWindow"), TRUE);
    EXPECT_EQ(Run("norvane.exe /000C293A4B5C"), TRUE);
    EXPECT_EQ(Run("norvane.exe /001122334455 -HideWindow"), FALSE);
    EXPECT_EQ(Run("norvane.exe"), FALSE) << "no argument against an answering adapter";
    EXPECT_EQ(Run("norvane.exe /000c293a4b5c /001122334455"), FALSE) << "the last flag counts";
    EXPECT_TRUE(os.messageBoxes.empty());
}

// A registration without an identity (made where no adapter answered)
// never marks the master, even on a machine without adapters: each copy
// would keep the master's GUID and tell nobody. A registered identity on a
// machine that reports no adapter at all is neither: the master with its
// adapter unplugged must not take itself for a copy, so nothing runs and
// the job waits for a start that reports one.
TEST_F(StartUp, AnEmptyIdentityIsNeverTheSameHost) {
    Register();
    os.lanas.clear();
    EXPECT_EQ(Run("norvane.exe"), FALSE);
    EXPECT_EQ(Run("\"norvane.exe\" \"/\" -HideWindow"), FALSE);
    EXPECT_EQ(Run("norvane.exe /000c293a4b5c"), std::nullopt);
    EXPECT_EQ(exitCode, kExitCopyNotFinished);
    EXPECT_TRUE(os.sleeps.empty()) << "a logon waits for no adapter";
}

// A registration made without the master's recorded adapters is decided on
// its identity's addresses as a set: in any order, any one of them.
TEST_F(StartUp, ARegistrationWithoutARecordIsDecidedOnItsAddressesAsASet) {
    Register();
    const char* const command = "norvane.exe \"/000c293a4b5c005056c00008\" -HideWindow";
    os.lanas = {{0, {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08}, true},
                {1, {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c}, true}};
    EXPECT_EQ(Run(command), TRUE);
    os.lanas.pop_back();
    EXPECT_EQ(Run(command), TRUE);
    os.lanas = {{0, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, true}};
    EXPECT_EQ(Run(command), FALSE);
}

// The master's record counts only for the registration it belongs to (its
// identity is the registered one): one another registration left, or one
// cut short before its identity, describes another master. The IP helper's
// list it holds counts as the master's adapters.
TEST_F(StartUp, TheMastersRecordCountsOnlyForItsRegistration) {
    Register();
    os.lanas = {{0, {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08}, true}};
    for (auto [identity, master] : {std::pair{"000c293a4b5c", TRUE},
                                    std::pair{"001122334455", FALSE}, std::pair{"", FALSE}}) {
        os.DeleteKeyTree(HKEY_LOCAL_MACHINE, kOutcomeKey);
        os.SetString(HKEY_LOCAL_MACHINE, kOutcomeKey, kMasterAdaptersValue,
                     "000c293a4b5c 005056c00008");
        if (*identity)
            os.SetString(HKEY_LOCAL_MACHINE, kOutcomeKey, kMasterIdentityValue, identity);
        EXPECT_EQ(Run("norvane.exe \"/000c293a4b5c\" -HideWindow"), master) << identity;
    }
}

// An identity is at most 255 addresses (NetBIOS's adapter numbers), decided
// as a set; a longer argument is no preparation's and makes the master only
// where it is this host's identity letter for letter.
TEST_F(StartUp, TheLongestIdentityHas255Addresses) {
    Register();
    for (unsigned count : {255u, 256u}) {
        std::string identity = "000c293a4b5c";
        for (unsigned i = 1; i < count; ++i) {
            char address[13];
            std::snprintf(address, sizeof address, "%012x", i);
            identity += address;
        }
        EXPECT_EQ(Run("norvane.exe /" + identity), count == 255 ? TRUE : FALSE) << count;
    }
}

// The system UUID of the firmware's system information, never read past
// the data: fields little-endian from SMBIOS 2.6 on; none for all 00 or all
// FF bytes, the placeholder of unconfigured firmware, or data cut short.
TEST(SystemUuid, ReadFromTheSystemInformationStructure) {
    // A BIOS structure (type 0) with one string, then type 1.
    std::vector<BYTE> data = {0, 2,    8,    0,    0,    0,    0,    0, 0, 4, 0,    0,    'A',
                              0, 0,    1,    27,   1,    0,    1,    0, 0, 0, 0x33, 0x22, 0x11,
                              0, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 1, 2, 3, 4,    5,    6,
                              6, 0,    0,    0,    0,    127,  4,    2, 0, 0, 0};
    data[4] = static_cast<BYTE>(data.size() - 8);
    auto const read = [](const std::vector<BYTE>& table) {
        return SmbiosSystemUuid(table.data(), table.size());
    };
    // From SMBIOS 2.6 on (3.0 too) the first three fields are little-endian.
    for (auto [major, minor] : {std::pair{2, 8}, std::pair{2, 6}, std::pair{3, 0}}) {
        data[1] = static_cast<BYTE>(major);
        data[2] = static_cast<BYTE>(minor);
        EXPECT_EQ(read(data), "00112233-4455-6677-8899-010203040506") << major << "." << minor;
    }
    for (int minor : {4, 5}) {
        data[1] = 2;
        data[2] = static_cast<BYTE>(minor);
        EXPECT_EQ(read(data), "33221100-5544-7766-8899-010203040506") << "2." << minor;
    }
    data[2] = 8;
    // Nothing past the data given, even where more bytes follow them.
    for (std::size_t cut = 0; cut < 42; ++cut)
        EXPECT_EQ(SmbiosSystemUuid(data.data(), cut), "") << cut;
    // Nor past the header's length, nor past the end of the table.
    auto variant = data;
    variant[4] = 7; // the BIOS structure only
    EXPECT_EQ(read(variant), "");
    variant = data;
    variant.insert(variant.begin() + 8, {127, 4, 3, 0, 0, 0});
    variant[4] = static_cast<BYTE>(variant.size() - 8);
    EXPECT_EQ(read(variant), "") << "after the end of the table";
    // Nor a structure shorter than its header, nor a system information
    // without a UUID (SMBIOS 2.0: 8 bytes), nor one read out of step after
    // strings that end with a single zero.
    variant = data;
    variant.insert(variant.begin() + 8, {0, 2, 0, 0});
    variant[4] = static_cast<BYTE>(variant.size() - 8);
    EXPECT_EQ(read(variant), "") << "a structure of 2 bytes";
    variant = data;
    variant[16] = 8;
    EXPECT_EQ(read(variant), "") << "no UUID";
    variant = data;
    variant.insert(variant.begin() + 14, {'B', 0}); // a second string of the BIOS
    variant[4] = static_cast<BYTE>(variant.size() - 8);
    EXPECT_EQ(read(variant), "00112233-4455-6677-8899-010203040506") << "two strings";
    std::fill(data.begin() + 23, data.begin() + 39, BYTE{0xFF});
    EXPECT_EQ(SmbiosSystemUuid(data.data(), data.size()), "");
    std::fill(data.begin() + 23, data.begin() + 39, BYTE{0});
    EXPECT_EQ(SmbiosSystemUuid(data.data(), data.size()), "");
    for (BYTE i = 0; i < 8; ++i)
        data[23 + 2 * i + 1] = static_cast<BYTE>(2 + i);
    EXPECT_EQ(SmbiosSystemUuid(data.data(), data.size()), "") << "the placeholder";
}

// The firmware's UUID, where kernel32 has GetSystemFirmwareTable (Windows
// Vista and later) and the firmware an SMBIOS table.
TEST_F(StartUp, TheSystemUuidIsTheFirmwaresWhereItHasOne) {
    os.smbios = {0, 2,    8,    0,    35, 0,    0,    0,    1,    27,   1,    0, 1, 0, 0,
                 0, 0x33, 0x22, 0x11, 0,  0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 1, 2, 3, 4,
                 5, 6,    6,    0,    0,  0,    0,    127,  4,    2,    0,    0, 0};
    EXPECT_EQ(GetSystemUuid(), "00112233-4455-6677-8899-010203040506");
    os.firmwareTables = false;
    EXPECT_EQ(GetSystemUuid(), "");
    os.firmwareTables = true;
    os.smbios.clear();
    EXPECT_EQ(GetSystemUuid(), "");
}

TEST_F(StartUp, PresenceAloneSelectsReconfiguration) {
    for (DWORD type : {REG_DWORD, REG_BINARY, REG_SZ, REG_NONE}) {
        os.Key(HKEY_LOCAL_MACHINE, kRunKey).values[kOwnRunValue] = FakeRegValue{type, {}};
        EXPECT_TRUE(Run("norvane.exe").has_value()) << "type " << type;
        EXPECT_EQ(os.services.size(), 0u);
    }
    EXPECT_TRUE(os.messageBoxes.empty()) << "reconfiguration shows no preparation message";
}

TEST_F(StartUp, OldNtIsRefusedEvenWhenRegistered) {
    Register();
    for (DWORD major : {3u, 2u}) {
        os.messageBoxes.clear();
        os.version.dwMajorVersion = major;
        os.version.dwMinorVersion = 51;
        EXPECT_FALSE(Run("norvane.exe /001122334455").has_value());
        ASSERT_EQ(os.messageBoxes.size(), 1u);
        EXPECT_EQ(os.messageBoxes[0].text,
                  "Norvane Utility cannot be used in Windows NT 3.51 environment.");
        EXPECT_EQ(os.messageBoxes[0].caption, "Wardline Norvane Utility");
        EXPECT_EQ(os.messageBoxes[0].type, MB_ICONERROR);
    }
    EXPECT_TRUE(os.netbiosCalls.empty());
    EXPECT_EQ(os.StringValue(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue), "anything");
}

TEST_F(StartUp, NtFourAndWindows9xAreNotOld) {
    Register();
    os.version.dwMajorVersion = 4;
    os.version.dwMinorVersion = 0;
    EXPECT_TRUE(Run("norvane.exe").has_value());
    os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    os.version.dwMajorVersion = 3; // no NT: never refused
    EXPECT_TRUE(Run("norvane.exe").has_value());
    EXPECT_TRUE(os.messageBoxes.empty());
}

TEST_F(StartUp, SocketFailureShowsMessage103AndNothingElse) {
    Register();
    os.wsaStartupResult = 10091; // WSASYSNOTREADY
    EXPECT_FALSE(Run("norvane.exe /silent").has_value());
    ASSERT_EQ(os.messageBoxes.size(), 1u);
    EXPECT_EQ(os.messageBoxes[0].text, "Windows sockets initialization failed.");
    EXPECT_EQ(os.messageBoxes[0].type, MB_OK);
    // The title is not loaded yet: the caption is the program's own name.
    EXPECT_EQ(os.messageBoxes[0].caption, "norvane");
    EXPECT_TRUE(os.netbiosCalls.empty());
    EXPECT_EQ(os.StringValue(HKEY_LOCAL_MACHINE, kRunKey, kOwnRunValue), "anything");
}

TEST_F(StartUp, ApplicationPathIsReadIntoTheCallersBuffer) {
    const char* key = "SOFTWARE\\Halvex\\SentovaNTCorp\\CurrentVersion";
    char buffer[MAX_PATH] = "unchanged";
    EXPECT_FALSE(ReadApplicationPath(buffer));
    EXPECT_STREQ(buffer, "unchanged");
    os.Key(HKEY_LOCAL_MACHINE, key);
    EXPECT_FALSE(ReadApplicationPath(buffer)) << "value missing";
    EXPECT_STREQ(buffer, "unchanged");
    os.SetString(HKEY_LOCAL_MACHINE, key, "Application Path", "C:\\Sentova NT");
    EXPECT_TRUE(ReadApplicationPath(buffer));
    EXPECT_STREQ(buffer, "C:\\Sentova NT");
    // A value of 260 bytes without a zero byte still ends inside the buffer.
    auto& value = os.Key(HKEY_LOCAL_MACHINE, key).values["Application Path"];
    value.data.assign(260, 'x');
    EXPECT_TRUE(ReadApplicationPath(buffer));
    EXPECT_EQ(std::string(buffer), std::string(259, 'x'));
    value.data.assign(300, 'y');
    EXPECT_FALSE(ReadApplicationPath(buffer)) << "too long for the buffer";
}
