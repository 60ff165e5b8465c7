// Every run on the record: the exit code, the outcome values and the log
// lines of each way a run can end; a quiet run that shows nothing at all; a
// log that keeps no credential, stays below 1 MiB, is never written through
// a link a user planted, loses no line when two processes write and turn it
// over at once and, when it cannot be written, changes nothing.
#include "app/worker.h"
#include "client_machine.h"
#include "common/folder_entries.h"
#include "common/report.h"
#include "common/run_fault.h"
#include "common/run_log.h"
#include "common/text.h"
#include "common/secure_folder.h"
#include "notify/notification.h"
#include "reconfigure/boot_service.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iterator>
#include <stdexcept>

using namespace port;

namespace {

class Record : public ClientMachine {
public:
    // For the set-up of each row below.
    using ClientMachine::AsPrepared;
    using ClientMachine::net;
    using ClientMachine::Notifying;
    using ClientMachine::os;

    // Other hardware than the master's (AsPrepared registers 000c293a4b5c).
    Record() { os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}}; }

protected:
    // What a standard user does on the machine meanwhile, with their token.
    void AsUser(const std::function<void()>& act) {
        bool const administrator = os.isAdministrator;
        std::string const user = os.tokenUser;
        os.isAdministrator = false;
        os.tokenUser = "S-1-5-21-1111-2222-3333-1001";
        act();
        os.isAdministrator = administrator;
        os.tokenUser = user;
    }
};

} // namespace

// One row per way a run ends: its exit code, "LastMode", what "LastMessage"
// says, the server's status (recorded with the GUID once one is stored),
// and the log's last line.
struct Ending {
    const char* name;
    std::function<void(Record&)> setUp;
    const char* arguments; // nullptr: the registered command
    int exitCode;
    const char* mode;
    std::string message;
    const char* serverStatus; // "<missing>": no request was sent
    // The run's event in the Application log: its number and type.
    DWORD event;
    WORD eventType;
    // Its reason where no message gives it; empty: the message's.
    std::string reason = {};
};

void PrintTo(const Ending& row, std::ostream* out) {
    *out << row.name;
}

class Endings : public Record, public ::testing::WithParamInterface<Ending> {};

TEST_P(Endings, HaveTheirExitCodeValuesAndLog) {
    const Ending& row = GetParam();
    row.setUp(*this);
    // HKEY_LOCAL_MACHINE takes no value from an account without
    // administrator rights: its run's end is in the log only.
    // A run that leaves the job to another instance, or has none, leaves
    // the values of the last run that did something.
    bool const rights = os.isAdministrator && !os.adminDenyOnly &&
                        row.exitCode != kExitAlreadyRunning && row.exitCode != kExitUsage &&
                        row.exitCode != kExitAlreadyPrepared;
    auto const recorded = [rights](const std::string& value) {
        return rights ? value : std::string("<missing>");
    };
    // A copy that got as far as its new GUID ends with 0, 6 or 7.
    bool const guidStored = std::string(row.mode) == "copy" &&
                            (row.exitCode == 0 || row.exitCode == 6 || row.exitCode == 7);
    // Values a run before this one left.
    os.SetString(HKEY_LOCAL_MACHINE, kOutcomeKey, "Guid", "{stale}");
    os.SetDword(HKEY_LOCAL_MACHINE, kOutcomeKey, "ServerStatus", 404);
    bool const copy = std::string(row.mode) == "copy";
    int const code = row.arguments ? RunProgram(row.arguments) : StartRegistered();
    EXPECT_EQ(code, row.exitCode);
    ASSERT_EQ(os.events.size(), 1u);
    const FakeEvent& event = os.events[0];
    EXPECT_EQ(event.source, "Norvane");
    EXPECT_EQ(event.id & 0xFFFF, row.event);
    EXPECT_EQ(event.type, row.eventType);
    DWORD const severity = row.eventType == EVENTLOG_INFORMATION_TYPE ? 1
                           : row.eventType == EVENTLOG_WARNING_TYPE   ? 2
                                                                      : 3;
    EXPECT_EQ(event.id >> 30, severity);
    ASSERT_EQ(event.strings.size(), 4u);
    EXPECT_EQ(event.strings[0], std::string("mode: ") + row.mode);
    EXPECT_EQ(event.strings[1].rfind(Format("exit code: %d (", row.exitCode), 0), 0u)
        << event.strings[1];
    if (!row.reason.empty() || !row.message.empty()) {
        EXPECT_EQ(event.strings[2], "reason: " + (row.reason.empty() ? row.message : row.reason));
    }
    EXPECT_EQ(event.strings[3], guidStored ? "GUID: " + Guid() : "");
    EXPECT_EQ(Outcome("LastResult"), recorded(std::to_string(row.exitCode)));
    EXPECT_EQ(Outcome("LastMode"), recorded(row.mode));
    EXPECT_EQ(Outcome("LastMessage"), recorded(row.message));
    EXPECT_EQ(Outcome("LastRun").substr(0, 17), recorded("2026-12-08 09:30:"));
    // A copy's run begins by clearing what a run before it left.
    EXPECT_EQ(Outcome("ServerStatus"), copy ? row.serverStatus : "404");
    EXPECT_EQ(Outcome("LogFile"), recorded(kLog));
    EXPECT_EQ(Outcome("Guid"), guidStored ? Guid() : copy ? "<missing>" : "{stale}");
    std::string const log = Log();
    std::string const last = log.substr(log.rfind("\r\n", log.size() - 3) + 2);
    EXPECT_NE(last.find(std::string(" MASTER01 4242 ") + row.mode + ": Finished with exit code " +
                        std::to_string(row.exitCode) + ": "),
              std::string::npos)
        << last;
    if (!row.message.empty()) {
        EXPECT_NE(log.find(row.message.substr(0, 20)), std::string::npos) << log;
    }
}

namespace {
const std::string kConfigured =
    "This program has been configured to start  whenever the system is restarted.";
const std::string kNoService =
    "(1060) The specified service does not exist as an installed service.";

void Master(Record& t) {
    t.os.lanas = {{0, {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c}, true}};
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Record, Endings,
    ::testing::Values(
        Ending{"Prepared", Master, "", 0, "prepare", kConfigured, "<missing>", 1000, EVENTLOG_INFORMATION_TYPE},
        Ending{"PreparedSilently", Master, " /silent", 0, "prepare", "", "<missing>", 1000, EVENTLOG_INFORMATION_TYPE},
        Ending{"NoListenerService",
               [](Record& t) {
                   Master(t);
                   t.os.services.erase("hxlisten");
               },
               "", 4, "prepare", kNoService, "<missing>", 1004, EVENTLOG_ERROR_TYPE},
        Ending{"NotAnAdministrator", [](Record& t) { t.os.isAdministrator = false; }, "", 2,
               "refused",
               "You do not have administrator privileges. Only administrators can install this "
               "program.",
               "<missing>", 1002, EVENTLOG_ERROR_TYPE},
        // Before Vista such an account may not open the Run key to see its
        // registration; on Vista and later not even the lock of a run: it
        // is told what it lacks, not that another instance runs.
        Ending{"NotAnAdministratorAtALogon",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.isAdministrator = false;
               },
               nullptr, 2, "refused",
               "You do not have administrator privileges. Only administrators can install this "
               "program.",
               "<missing>", 1002, EVENTLOG_ERROR_TYPE},
        Ending{"NotAnAdministratorAtALogonOfVista",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.version.dwMajorVersion = 6;
                   t.os.isAdministrator = false;
               },
               nullptr, 2, "refused",
               "You do not have administrator privileges. Only administrators can install this "
               "program.",
               "<missing>", 1002, EVENTLOG_ERROR_TYPE},
        Ending{"Nt351", [](Record& t) { t.os.version.dwMajorVersion = 3; }, "", 2, "refused",
               "Norvane Utility cannot be used in Windows NT 3.51 environment.", "<missing>", 1002, EVENTLOG_ERROR_TYPE},
        Ending{"NoSockets", [](Record& t) { t.os.wsaStartupResult = 10091; }, "", 2, "refused",
               "Windows sockets initialization failed.", "<missing>", 1002, EVENTLOG_ERROR_TYPE},
        Ending{"ClientNotInstalled",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.DeleteKeyTree(HKEY_LOCAL_MACHINE, kClientKeyNT);
               },
               nullptr, 3, "copy",
               "The Wardline client has not yet been installed on this computer.", "<missing>", 1003, EVENTLOG_ERROR_TYPE},
        Ending{"GuidNotStored",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT).valueWriteError = ERROR_ACCESS_DENIED;
               },
               nullptr, 5, "copy", "Unable for create a GUID key.", "<missing>", 1005, EVENTLOG_ERROR_TYPE},
        Ending{"ServerNotTold",
               [](Record& t) {
                   t.AsPrepared();
                   t.Notifying();
                   t.net.responder = nullptr; // nothing listens
               },
               nullptr, 6, "copy", "A connection with the server could not be established",
               "12029", 1006, EVENTLOG_WARNING_TYPE},
        // The session cannot be opened: no request goes out.
        Ending{"RequestNotSent",
               [](Record& t) {
                   t.AsPrepared();
                   t.Notifying();
                   t.net.openError = 12007;
               },
               nullptr, 6, "copy", "The server name or address could not be resolved",
               "<missing>", 1006, EVENTLOG_WARNING_TYPE},
        Ending{"AServiceIsGone",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.services.erase("rtguard");
               },
               nullptr, 7, "copy", kNoService, "<missing>", 1007, EVENTLOG_WARNING_TYPE},
        Ending{"RunValueNotWritten",
               [](Record& t) {
                   Master(t);
                   t.os.Key(HKEY_LOCAL_MACHINE, kRunKey).valueWriteError = ERROR_ACCESS_DENIED;
               },
               "", 4, "prepare", "(5) Access is denied.", "<missing>", 1004, EVENTLOG_ERROR_TYPE},
        // Three failures, the gravest in the middle: 7, 6, 7 end with 6.
        Ending{"ServerNotToldAndAServiceIsGone",
               [](Record& t) {
                   t.AsPrepared();
                   t.Notifying();
                   t.net.responder = nullptr;
                   t.os.services.erase("rtguard");
               },
               nullptr, 6, "copy", kNoService, "12029", 1006, EVENTLOG_WARNING_TYPE},
        Ending{"AServiceNeverStops",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.services["rtguard"].ignoresStop = true;
               },
               nullptr, 7, "copy", "", "<missing>", 1007, EVENTLOG_WARNING_TYPE},
        Ending{"AServiceNeverStartsAgain",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.services["hxlisten"].startDelayMs = 3600000;
               },
               nullptr, 7, "copy", "", "<missing>", 1007, EVENTLOG_WARNING_TYPE},
        Ending{"OwnRunValueNotRemoved",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.Key(HKEY_LOCAL_MACHINE, kRunKey).valueDeleteError = ERROR_ACCESS_DENIED;
               },
               nullptr, 7, "copy", "(5) Access is denied.", "<missing>", 1007, EVENTLOG_WARNING_TYPE},
        Ending{"BootServiceNotRemoved",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.services[kBootServiceName].openDenied = true;
               },
               nullptr, 7, "copy", "", "<missing>", 1007, EVENTLOG_WARNING_TYPE},
        // Removed already by an earlier run; it goes once it stops.
        Ending{"BootServiceMarkedForDeletion",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.services[kBootServiceName].deletePending = true;
               },
               nullptr, 0, "copy", "", "<missing>", 1000, EVENTLOG_INFORMATION_TYPE},
        Ending{"CopyDone",
               [](Record& t) {
                   t.AsPrepared();
                   t.Notifying();
               },
               nullptr, 0, "copy", "", "200", 1000, EVENTLOG_INFORMATION_TYPE},
        Ending{"TheMasterItself",
               [](Record& t) {
                   t.AsPrepared();
                   Master(t);
               },
               nullptr, 0, "same host", "", "<missing>", 1000, EVENTLOG_INFORMATION_TYPE},
        Ending{"AnotherInstanceHasTheJob", [](Record&) {}, " /000c293a4b5c", 8, "start", "",
               "<missing>", 1008, EVENTLOG_INFORMATION_TYPE,
               "This program's start-up value is gone: another instance has finished the job; "
               "this one ends and changes nothing"},
        Ending{"Usage", [](Record&) {}, " /?", 9, "start", "", "<missing>", 1009,
               EVENTLOG_WARNING_TYPE},
        Ending{"ADoubleClickOnThePreparedMaster",
               [](Record& t) {
                   t.AsPrepared();
                   Master(t);
               },
               "", 10, "same host", "", "<missing>", 1010, EVENTLOG_INFORMATION_TYPE},
        // The instance this filtered token started with full rights ended
        // with 6: this run ends with it, decided, and leaves its values.
        Ending{"AnElevatedInstanceHadTheJob",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.elevationType = TokenElevationTypeLimited;
                   t.os.adminDenyOnly = true;
                   t.os.onShellExecute = [](const FakeShellExecute&) {
                       return DWORD{kExitServerNotTold};
                   };
               },
               nullptr, 6, "start", "", "<missing>", 1006, EVENTLOG_WARNING_TYPE,
               "The instance started with full rights ended with exit code 6"},
        // No adapter reported within the wait: the run never knew what to do.
        Ending{"NoAdapterYet",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.lanas.clear();
               },
               nullptr, 5, "start", "", "<missing>", 1100, EVENTLOG_ERROR_TYPE,
               "No network adapter is reported yet: the job is left to the next start"},
        Ending{"UnexpectedError",
               [](Record& t) {
                   t.AsPrepared();
                   t.os.onSleep = [](DWORD) { throw std::runtime_error("the disk is on fire"); };
               },
               nullptr, 1, "copy",
               "The reconfiguration stopped because of an unexpected error:\nthe disk is on fire",
               "<missing>", 1001, EVENTLOG_ERROR_TYPE}),
    [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

// A run that failed in more than one way ends with the gravest, in the
// order of the administrator's guide (1, 2, 8, 3, 4, 5, 6, 7), whichever
// came first.
TEST_F(Record, TheGravestFailureDecidesTheExitCode) {
    ExitCode const ranked[] = {
        kExitUnexpectedError,   kExitRefused,         kExitAlreadyRunning, kExitClientNotInstalled,
        kExitPreparationFailed, kExitCopyNotFinished, kExitServerNotTold,  kExitCopyIncomplete};
    for (std::size_t graver = 0; graver < std::size(ranked); ++graver) {
        for (std::size_t lighter = graver + 1; lighter < std::size(ranked); ++lighter) {
            for (bool graverFirst : {true, false}) {
                Report().Reset();
                Report().Fail(ranked[graverFirst ? graver : lighter]);
                Report().Fail(ranked[graverFirst ? lighter : graver]);
                EXPECT_EQ(Report().Outcome(), ranked[graver])
                    << ranked[graver] << " and " << ranked[lighter];
            }
        }
    }
}

// The lines of a copy's run say what happened in the order it happened.
TEST_F(Record, ACopysLogTellsItsRun) {
    AsPrepared();
    Notifying();
    EXPECT_EQ(StartRegistered(), 0);
    std::string const log = Log();
    std::vector<std::string> const expected = {
        "2026-12-08 09:30:00 MASTER01 4242 start: Started on Windows NT ",
        "copy: Registered for host \"000c293a4b5c\", this host is \"02aabbccdd01\": a copy",
        "copy: Step begun: stopping the client",
        "copy: The client's service \"hxlisten\" is stopped",
        "copy: GUID stored: " + Guid() + " (was " + kMasterGuid + ")",
        "copy: Request sent: GET /Wardline/cgi/cgiOnInst.exe?UID=" + Guid(),
        " HTTP/1.0 to console.example:0\r\n",
        "copy: Answer: status 200",
        "copy: The client's service \"hxlisten\" starts automatically again",
        "copy: The client's start-up value \"Sentova NT Monitor\" is back",
        "copy: This program's start-up value is removed",
        "copy: The client's program is started: " + std::string(kMonitor),
        "copy: Finished with exit code 0: everything was done\r\n",
    };
    std::size_t at = 0;
    for (const auto& piece : expected) {
        std::size_t const found = log.find(piece, at);
        ASSERT_NE(found, std::string::npos) << "missing in order: " << piece << "\n" << log;
        at = found + piece.size();
    }
    EXPECT_EQ(log.find('\n'), log.find("\r\n") + 1) << "CRLF line ends";
}

// A quiet run has no window at all: no progress dialog, no box, no
// credential dialog; its preparation registers quiet copies.
TEST_F(Record, AQuietRunShowsNothing) {
    os.isAdministrator = false;
    EXPECT_EQ(RunProgram(" -QUIET"), kExitRefused);
    os.isAdministrator = true;
    Master(*this);
    EXPECT_EQ(RunProgram(" /quiet"), 0);
    EXPECT_EQ(RunValue(kOwnRunValue),
              "\"" + os.modulePath + "\" \"/000c293a4b5c\" -HideWindow /quiet");
    EXPECT_EQ(Outcome("LastMessage"),
              "This program has been configured to start  whenever the system is restarted.");

    // A copy behind a proxy that wants credentials the client does not keep.
    Notifying();
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyIP", "proxy.example");
    os.SetDword(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPort", 3128);
    net.responder = [](const FakeSentRequest&) {
        FakeHttpAnswer a;
        a.status = HTTP_STATUS_PROXY_AUTH_REQ;
        return a;
    };
    os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}}; // a copy of this master
    EXPECT_EQ(StartRegistered(), kExitServerNotTold);
    EXPECT_EQ(Outcome("LastMessage"), "proxy authentication required");
    EXPECT_EQ(Outcome("ServerStatus"), "407");
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>") << "restored all the same";

    EXPECT_TRUE(os.messageBoxes.empty()) << Boxes()[0];
    EXPECT_TRUE(net.CallsOf("InternetErrorDlg").empty());
    EXPECT_EQ(dialogs, 0);
    EXPECT_NE(Log().find("copy: The proxy asks for credentials (status 407) that the stored ones "
                         "do not satisfy; a quiet run asks nobody"),
              std::string::npos);
}

// A fault that nothing caught (std::terminate) ends the run on the record
// with exit code 1, never at the runtime's abort and its box.
TEST_F(Record, AFaultNothingCaughtEndsTheRunWithExitCodeOne) {
    AsPrepared();
    Report().SetMode(RunMode::Copy);
    EXPECT_EQ(Report().FinishAfterFault("the stack is gone"), kExitUnexpectedError);
    EXPECT_EQ(Outcome("LastResult"), "1");
    EXPECT_EQ(Outcome("LastMessage"),
              "The program ended at an unexpected error: the stack is gone");
    EXPECT_NE(Log().find("copy: Finished with exit code 1: "), std::string::npos) << Log();
    ASSERT_EQ(os.events.size(), 1u);
    EXPECT_EQ(os.events[0].id, 0xC0000000u | 1101u);
    EXPECT_EQ(os.events[0].type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(os.events[0].strings[2],
              "reason: The program ended at an unexpected error: the stack is gone");
    EXPECT_EXIT(
        {
            EndRunAtUncaughtFault();
            std::terminate();
        },
        ::testing::ExitedWithCode(kExitUnexpectedError), "");
    EXPECT_EXIT(
        {
            EndRunAtUncaughtFault();
            std::abort();
        },
        ::testing::ExitedWithCode(kExitUnexpectedError), "");
    EXPECT_TRUE(os.messageBoxes.empty());
}

// Neither a stored password nor one typed into the credential dialog, nor
// the headers that carry them, ever reach the log.
TEST_F(Record, NoCredentialReachesTheLog) {
    AsPrepared();
    Notifying();
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyIP", "proxy.example");
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyLogin", "deploy");
    os.SetString(HKEY_LOCAL_MACHINE, kProxySettingsKeyNT, "ProxyPwd", "Stored-Secret-1");
    // The server wants other credentials: they are typed into the dialog;
    // its answers carry the headers it got, as a careless server might.
    net.dialogs.push_back({ERROR_INTERNET_FORCE_RETRY, "admin", "Typed-Secret-2"});
    net.responder = [](const FakeSentRequest& request) {
        FakeHttpAnswer a;
        a.status = request.Header("Authorization").find("YWRtaW46") != std::string::npos
                       ? HTTP_STATUS_OK
                       : HTTP_STATUS_DENIED;
        return a;
    };
    EXPECT_EQ(StartRegistered(), 0);
    ASSERT_EQ(net.sent.size(), 2u);
    std::string const log = Log();
    for (const auto& request : net.sent)
        for (const char* header : {"Authorization", "Proxy-Authorization"}) {
            std::string const value = request.Header(header);
            ASSERT_GT(value.size(), 6u) << header;
            EXPECT_EQ(log.find(value.substr(6)), std::string::npos) << header << "\n" << log;
        }
    for (const char* secret : {"Stored-Secret-1", "Typed-Secret-2"})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret << "\n" << log;
    EXPECT_NE(log.find("new ones were typed"), std::string::npos);
}

// Before a line would make the log reach 1 MiB, the log becomes
// norvane.log.1 (an older one goes) and a new log begins.
TEST_F(Record, TheLogTurnsOverBeforeItReachesOneMebibyte) {
    os.AddFolder("C:\\ProgramData\\Norvane");
    std::string const full(kLogLimitBytes - 40, 'x');
    os.AddFile(kLog);
    os.profileFiles[kLog] = full;
    os.AddFile(std::string(kLog) + ".1");
    os.profileFiles[std::string(kLog) + ".1"] = "the oldest lines\r\n";
    Master(*this);
    Prepare(" /silent");
    EXPECT_EQ(os.FileText(std::string(kLog) + ".1"), full);
    // A folder and files of an earlier version, which let Users read the
    // log, are closed first.
    for (const auto& entry : os.files.at(std::string(kLog) + ".1").dacl)
        EXPECT_NE(entry.sid, kSidUsers);
    std::string const log = Log();
    EXPECT_NE(log.find("\r\n2026-12-08 09:30:00 MASTER01 4242 start: Started on"),
              std::string::npos)
        << log;
    EXPECT_LT(log.size(), 4096u);
    EXPECT_NE(log.find("Finished with exit code 0"), std::string::npos);
}

// Where the log cannot be written (a locked file, a folder that cannot be
// made, a system without the shell's folder lookup and a read-only Windows
// folder), the run does and shows exactly what it does with its log.
TEST_F(Record, ALogThatCannotBeWrittenChangesNothing) {
    AsPrepared();
    Notifying();
    net.responder = nullptr;
    os.shellFolderLookup = false;
    os.fileErrors["C:\\WINDOWS\\Norvane"] = ERROR_ACCESS_DENIED;
    os.fileErrors["C:\\WINDOWS\\Norvane\\norvane.log"] = ERROR_ACCESS_DENIED;
    EXPECT_EQ(StartRegistered(), kExitServerNotTold);
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Error: A connection with the server could not be established\r\n"});
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(Outcome("LastResult"), "6");
    EXPECT_EQ(Outcome("LastMessage"), "A connection with the server could not be established");
    EXPECT_EQ(os.files.count("C:\\WINDOWS\\Norvane"), 0u);

    // Without the lookup and with a writable Windows folder, the log is there.
    os.fileErrors.clear();
    Master(*this);
    EXPECT_EQ(RunProgram(" /silent"), 0);
    EXPECT_NE(os.FileText("C:\\WINDOWS\\Norvane\\norvane.log").find("Finished with exit code"),
              std::string::npos);
}

namespace {
const char* const kLogFolder = "C:\\ProgramData\\Norvane";
const char* const kUser = "S-1-5-21-1111-2222-3333-1001";
} // namespace

// A standard user made the log's folder first (ProgramData lets users add
// folders, and makes them their owners) and left a file of their own at the
// log's name, a link at the older log's and a folder: before any line is
// written the folder is Administrators' again, only they and the system may
// read or change it, and the plants are set aside as they are (owner, DACL,
// bytes, the link's target); the log is a new file of the administrators', which
// the user cannot even read, and its first line says what was mended.
TEST_F(Record, ALogFolderAUserMadeFirstIsMendedBeforeAnythingIsWrittenInIt) {
    os.AddUserFolder(kLogFolder, kUser);
    ASSERT_EQ(os.files.at(kLogFolder).owner, kUser);
    std::string const older = std::string(kLog) + ".1";
    AsUser([&] {
        HANDLE const planted = os.CreateFileA(kLog, GENERIC_WRITE, 0, CREATE_NEW, 0);
        ASSERT_NE(planted, INVALID_HANDLE_VALUE);
        os.CloseHandle(planted);
    });
    os.profileFiles[kLog] = "the user's lines\r\n";
    os.AddUserFolder(std::string(kLogFolder) + "\\theirs", kUser);
    os.AddFile("C:\\Users\\eve\\target.txt");
    os.profileFiles["C:\\Users\\eve\\target.txt"] = "eve's";
    os.AddSymbolicLink(older, "C:\\Users\\eve\\target.txt");
    os.files[older].owner = kUser;
    FakeFile const file = os.files.at(kLog);
    FakeFile const link = os.files.at(older);
    os.changeLog.clear();
    Master(*this);
    EXPECT_EQ(RunProgram(" /silent"), kExitDone);

    const FakeFile& folder = os.files.at(kLogFolder);
    EXPECT_EQ(folder.owner, kSidAdministrators);
    EXPECT_TRUE(folder.daclProtected);
    for (const auto& entry : folder.dacl)
        EXPECT_TRUE(entry.sid == kSidLocalSystem || entry.sid == kSidAdministrators) << entry.sid;
    auto const mended =
        std::find(os.changeLog.begin(), os.changeLog.end(), "SetKernelObjectSecurity");
    auto const written = std::find(os.changeLog.begin(), os.changeLog.end(), "CreateFileA");
    EXPECT_LT(mended, written) << "mended before the log file is made";
    EXPECT_EQ(std::count(os.changeLog.begin(), os.changeLog.end(), "SetKernelObjectSecurity"), 2)
        << "the folder's owner and DACL, and nothing else";
    int planted = 0;
    for (const auto& [path, entry] : os.files) {
        if (path.rfind(std::string(kLog) + ".aside-", 0) == 0) {
            ++planted;
            EXPECT_EQ(entry.dacl, file.dacl) << path;
            EXPECT_EQ(os.FileText(path), "the user's lines\r\n");
        } else if (path.rfind(older + ".aside-", 0) == 0) {
            ++planted;
            EXPECT_EQ(entry.linkTarget, link.linkTarget);
            EXPECT_EQ(entry.dacl, link.dacl);
        } else if (path.rfind(std::string(kLogFolder) + "\\theirs.aside-", 0) == 0) {
            ++planted;
        } else {
            continue;
        }
        EXPECT_EQ(entry.owner, kUser) << path;
    }
    EXPECT_EQ(planted, 3);
    EXPECT_EQ(os.FileText("C:\\Users\\eve\\target.txt"), "eve's");
    EXPECT_EQ(os.files.at(kLog).owner, kSidAdministrators);
    AsUser([&] {
        EXPECT_EQ(os.CreateFileA(kLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 OPEN_EXISTING, 0),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    });
    std::string const log = Log();
    EXPECT_EQ(log.find("2026-12-08 09:30:00 MASTER01 4242 start: C:\\ProgramData\\Norvane could "
                       "be changed by others (it is owned by " +
                       std::string(kUser) + "): its owner and DACL are set right\r\n"),
              0u)
        << log;
    EXPECT_NE(log.find("Finished with exit code 0"), std::string::npos);
}

// A junction in the folder's place is never followed: nothing is written
// into (or changed on) what the user prepared; the log is in the Windows
// folder's Norvane, whose first line says why.
TEST_F(Record, AJunctionInPlaceOfTheLogFolderIsNotFollowed) {
    os.AddUserFolder(kLogFolder, kUser);
    os.files.at(kLogFolder).reparsePoint = true;
    Master(*this);
    EXPECT_EQ(RunProgram(" /silent"), kExitDone);
    EXPECT_EQ(os.files.at(kLogFolder).owner, kUser);
    EXPECT_EQ(std::count(os.changeLog.begin(), os.changeLog.end(), "SetKernelObjectSecurity"), 0);
    for (const auto& [path, file] : os.files)
        EXPECT_NE(path.rfind(std::string(kLogFolder) + "\\", 0), 0u) << path;
    std::string const log = os.FileText("C:\\WINDOWS\\Norvane\\norvane.log");
    EXPECT_EQ(log.find("2026-12-08 09:30:00 MASTER01 4242 start: C:\\ProgramData\\Norvane is a "
                       "junction or link: it is not followed; the log is written in "
                       "C:\\WINDOWS\\Norvane instead\r\n"),
              0u)
        << log;
    EXPECT_NE(log.find("Finished with exit code 0"), std::string::npos);
    EXPECT_TRUE(os.files.at("C:\\WINDOWS\\Norvane").daclProtected);
}

// The folder a user made is swapped for a junction to a folder of their
// choosing (the client's) just before the run opens it: the run opens the
// junction itself, not what it leads to, and writes its log in the Windows
// folder's Norvane. Once the folder is open, the same swap fails: the run
// holds the folder without sharing its deletion until it ends. Nothing but
// the real folder is ever secured or written in.
TEST_F(Record, AFolderSwappedForAJunctionIsNeverFollowed) {
    const char* const theirs = "C:\\Program Files\\Halvex\\Sentova NT";
    FakeFile const before = os.files.at(theirs);
    auto const swap = [&] {
        AsUser([&] {
            EXPECT_TRUE(os.MoveFileExA(kLogFolder, "C:\\ProgramData\\Mine", 0));
            os.AddJunction(kLogFolder, theirs);
            os.files[kLogFolder].owner = kUser;
        });
    };
    os.AddUserFolder(kLogFolder, kUser);
    os.onOpen = [&](const std::string& path) {
        if (path != kLogFolder)
            return;
        os.onOpen = nullptr;
        swap();
    };
    Master(*this);
    EXPECT_EQ(RunProgram(" /silent"), kExitDone);
    EXPECT_EQ(os.files.at(theirs), before);
    EXPECT_EQ(os.files.at(kLogFolder).owner, kUser);
    EXPECT_EQ(os.files.at("C:\\ProgramData\\Mine").owner, kUser);
    EXPECT_EQ(std::count(os.changeLog.begin(), os.changeLog.end(), "SetKernelObjectSecurity"), 0)
        << "the Windows folder's Norvane is made secure, nothing else is touched";
    std::string const log = os.FileText("C:\\WINDOWS\\Norvane\\norvane.log");
    EXPECT_EQ(log.find("2026-12-08 09:30:00 MASTER01 4242 start: C:\\ProgramData\\Norvane is a "
                       "junction or link: it is not followed; the log is written in "
                       "C:\\WINDOWS\\Norvane instead\r\n"),
              0u)
        << log;
    EXPECT_NE(log.find("Finished with exit code 0"), std::string::npos);
    EXPECT_TRUE(os.files.at("C:\\WINDOWS\\Norvane").daclProtected);

    // The swap tried once the folder is open, before its security is set.
    os.files.erase(kLogFolder);
    os.AddUserFolder(kLogFolder, kUser);
    os.onStateChange = [&](const std::string& call) {
        if (call != "SetKernelObjectSecurity")
            return;
        os.onStateChange = nullptr;
        AsUser([&] {
            EXPECT_FALSE(os.MoveFileExA(kLogFolder, "C:\\ProgramData\\Mine2", 0));
            EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION);
        });
    };
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
    EXPECT_EQ(RunProgram(" /silent"), kExitDone);
    EXPECT_FALSE(os.onStateChange) << "the folder's security was set";
    EXPECT_EQ(os.files.at(kLogFolder).owner, kSidAdministrators);
    EXPECT_NE(Log().find("Finished with exit code 0"), std::string::npos);
    EXPECT_EQ(os.files.at(theirs), before);
    for (const auto& [path, file] : os.files)
        EXPECT_NE(path.rfind(std::string(theirs) + "\\norvane", 0), 0u) << path;
}

// A user who made the folder and left Administrators out of its DACL: the
// folder is taken with the privilege to take ownership (enabled only for
// that), then given the protected DACL.
TEST_F(Record, ALogFolderThatShutsAdministratorsOutIsTakenOver) {
    os.AddUserFolder(kLogFolder, kUser);
    os.files.at(kLogFolder).dacl = {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, kUser}};
    Master(*this);
    EXPECT_EQ(RunProgram(" /silent"), kExitDone);
    EXPECT_EQ(os.files.at(kLogFolder).owner, kSidAdministrators);
    EXPECT_TRUE(os.files.at(kLogFolder).daclProtected);
    EXPECT_TRUE(os.enabledPrivileges.empty()) << "disabled again";
    EXPECT_NE(Log().find("its owner and DACL are set right"), std::string::npos);

    // Where the system refuses even that, the folder is left as it is and
    // the log goes to the Windows folder, whose first line says why.
    os.files.at(kLogFolder).owner = kUser;
    os.files.at(kLogFolder).dacl = {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, kUser}};
    os.files.at(kLogFolder).setSecurityError = ERROR_ACCESS_DENIED;
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
    Master(*this);
    EXPECT_EQ(RunProgram(" /silent"), kExitDone);
    EXPECT_EQ(os.files.at(kLogFolder).owner, kUser);
    EXPECT_NE(os.FileText("C:\\WINDOWS\\Norvane\\norvane.log")
                  .find("C:\\ProgramData\\Norvane may be changed by others (it is owned by " +
                        std::string(kUser) + ") and its security cannot be set right: (5) "),
              std::string::npos)
        << os.FileText("C:\\WINDOWS\\Norvane\\norvane.log");
}

// The user who made the folder holds it open with the right to take it
// back, and does so between the run's setting of its owner and of its DACL:
// the folder as it then is counts, not what was set; the log goes to the
// Windows folder, whose first line says why.
TEST_F(Record, ALogFolderTakenBackWhileItsSecurityIsSetIsNotUsed) {
    os.AddUserFolder(kLogFolder, kUser);
    HANDLE held = INVALID_HANDLE_VALUE;
    AsUser([&] {
        held = os.CreateFileA(kLogFolder, WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    });
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SecurityDescriptor theirs;
    theirs.owner = kUser;
    std::vector<BYTE> const descriptor = EncodeSecurityDescriptor(theirs);
    int sets = 0;
    os.onStateChange = [&](const std::string& call) {
        if (call != "SetKernelObjectSecurity" || ++sets != 2)
            return;
        AsUser([&] {
            EXPECT_TRUE(
                os.SetKernelObjectSecurity(held, OWNER_SECURITY_INFORMATION, descriptor.data()));
        });
    };
    Master(*this);
    EXPECT_EQ(RunProgram(" /silent"), kExitDone);
    os.onStateChange = nullptr;
    os.CloseHandle(held);
    EXPECT_EQ(os.files.at(kLogFolder).owner, kUser);
    std::string const log = os.FileText("C:\\WINDOWS\\Norvane\\norvane.log");
    EXPECT_NE(log.find("C:\\ProgramData\\Norvane may be changed by others (it is owned by " +
                       std::string(kUser) +
                       ") and still is after its security was set: it is owned by " + kUser),
              std::string::npos)
        << log;
}

// A line keeps the letters of a localised Windows (code page 1252's
// accented ones, 932's double-byte ones, whose second bytes are never
// control characters); a run of control characters becomes one blank and
// blanks at the end go.
TEST(RecordLine, KeepsLocalLettersAndFoldsControlCharacters) {
    SYSTEMTIME const t{2026, 12, 3, 9, 7, 5, 3, 0};
    EXPECT_EQ(FormatLogLine(t, "POSTE-\xC9T\xC9", 7, "copy",
                            "Acc\xE8s refus\xE9.\r\n\r\n\t(5)\x01\x7F \r\n"),
              "2026-12-09 07:05:03 POSTE-\xC9T\xC9 7 copy: Acc\xE8s refus\xE9. (5)\r\n");
    EXPECT_EQ(FormatLogLine(t, "PC", 7, "copy", "\x83\x54\x81\x5B\x83\x72\x83\x58\r\n\x95\x5C"),
              "2026-12-09 07:05:03 PC 7 copy: \x83\x54\x81\x5B\x83\x72\x83\x58 \x95\x5C\r\n");
}

namespace {
// The log's files, written by CRunLog alone (no run around it).
class RecordFiles : public ::testing::Test {
protected:
    RecordFiles() {
        SetSys(&os);
        os.AddFolder("C:\\ProgramData\\Norvane");
        os.AddFolder("C:\\Users\\eve");
    }
    ~RecordFiles() override {
        ReleaseSecuredFolders();
        EXPECT_EQ(os.OpenHandleCount(), 0) << os.Describe();
        SetSys(nullptr);
    }
    void Fill(const std::string& path, std::size_t size) {
        os.AddFile(path);
        os.profileFiles[path] = std::string(size, 'x');
    }
    // The names beside the log that hold marker: ".aside-" for a planted
    // link moved away, ".run-" for a run's own file.
    std::vector<std::string> Named(const char* marker) const {
        std::vector<std::string> names;
        for (const auto& [path, file] : os.files)
            if (path.find(marker) != std::string::npos)
                names.push_back(path);
        return names;
    }
    std::vector<std::string> SetAside() const { return Named(".aside-"); }
    void Forget(const std::vector<std::string>& paths) {
        for (const std::string& path : paths) {
            os.files.erase(path);
            os.profileFiles.erase(path);
        }
    }
    // A file of the administrators' that a planted link may name.
    const char* AdministratorsFile() {
        const char* const path = "C:\\WINDOWS\\win.ini";
        os.AddFile(path);
        os.profileFiles[path] = "[fonts]\r\n";
        return path;
    }
    // The name StampedName gives next for kind beside the log (the one
    // after the name it gives now).
    static std::string NextStamped(const char* kind) {
        std::string const now = StampedName(kLog, kind);
        std::size_t const dash = now.rfind('-');
        return now.substr(0, dash + 1) + std::to_string(std::stoul(now.substr(dash + 1)) + 1);
    }

    static constexpr const char* kLog = "C:\\ProgramData\\Norvane\\norvane.log";
    static constexpr const char* kOlder = "C:\\ProgramData\\Norvane\\norvane.log.1";
    static constexpr const char* kTarget = "C:\\Users\\eve\\target.txt";
    FakeOs os;
};
} // namespace

// "Below 1 MiB": a line that would make the log exactly 1 MiB turns it over;
// one byte less is still appended. While another program holds the full log
// without sharing its deletion the rename fails: the log stays below the
// limit and the line goes to a file of the run's own beside it, whose first
// line says why, with every later line of the run.
TEST_F(RecordFiles, TheLogNeverReachesOneMebibyte) {
    std::string const line = "0123456789\r\n";
    Fill(kLog, kLogLimitBytes - line.size() - 1);
    CRunLog log;
    EXPECT_FALSE(log.Append(std::string(kLogLimitBytes, 'x'))) << "a line of 1 MiB fits no file";
    EXPECT_TRUE(log.Append(line));
    EXPECT_EQ(os.FileText(kLog).size(), kLogLimitBytes - 1);
    EXPECT_TRUE(log.Append("z"));
    EXPECT_EQ(os.FileText(kLog), "z");
    EXPECT_EQ(os.FileText(kOlder).size(), kLogLimitBytes - 1);
    EXPECT_EQ(log.CurrentFile(), kLog);

    Fill(kLog, kLogLimitBytes - line.size());
    HANDLE const reader = os.CreateFileA(kLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(log.Append(line));
    os.CloseHandle(reader);
    EXPECT_TRUE(log.Append("more\r\n"));
    EXPECT_EQ(os.FileText(kLog).size(), kLogLimitBytes - line.size());
    EXPECT_EQ(os.FileText(kOlder).size(), kLogLimitBytes - 1);
    std::vector<std::string> const runs = Named(".run-");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(log.CurrentFile(), runs[0]);
    EXPECT_EQ(os.FileText(runs[0]), std::string(kLog) +
                                        " is full and cannot be turned over ((32) The process "
                                        "cannot access the file because it is being used by "
                                        "another process.): the lines of this run from here on "
                                        "are in " +
                                        runs[0] + "\r\n" + line + "more\r\n");
}

// A hard link or a symbolic link a user planted at the log's name is never
// written through: it goes aside (its target unchanged) and a new log
// begins. At the older log's name it goes aside too before the turn-over, so
// the rename never moves a linked file and never touches a target.
TEST_F(RecordFiles, PlantedLinksAreSetAsideAndTheirTargetsKept) {
    os.AddFile(kTarget);
    os.profileFiles[kTarget] = "eve's file";
    for (bool symbolic : {false, true}) {
        SCOPED_TRACE(symbolic ? "symbolic link" : "hard link");
        os.files.erase(kLog);
        if (symbolic)
            os.AddSymbolicLink(kLog, kTarget);
        else
            os.AddHardLink(kTarget, kLog);
        CRunLog log;
        EXPECT_TRUE(log.Append("line\r\n"));
        EXPECT_EQ(os.FileText(kTarget), "eve's file");
        EXPECT_EQ(os.FileText(kLog), "line\r\n");
        EXPECT_EQ(os.LinkCount(kLog), 1u);
        EXPECT_TRUE(os.files[kLog].linkTarget.empty());
        ASSERT_EQ(SetAside().size(), 1u);
        os.files.erase(SetAside()[0]);
    }

    // At the older log's name, during a turn-over.
    for (bool symbolic : {false, true}) {
        SCOPED_TRACE(symbolic ? "symbolic link at .1" : "hard link at .1");
        os.files.erase(kOlder);
        if (symbolic)
            os.AddSymbolicLink(kOlder, kTarget);
        else
            os.AddHardLink(kTarget, kOlder);
        Fill(kLog, kLogLimitBytes - 3);
        CRunLog log;
        EXPECT_TRUE(log.Append("new\r\n"));
        EXPECT_EQ(os.FileText(kTarget), "eve's file");
        EXPECT_EQ(os.FileText(kOlder).size(), kLogLimitBytes - 3);
        EXPECT_EQ(os.LinkCount(kOlder), 1u);
        EXPECT_EQ(os.FileText(kLog), "new\r\n");
        ASSERT_EQ(SetAside().size(), 1u);
        EXPECT_EQ(os.files[SetAside()[0]].linkTarget, symbolic ? kTarget : "");
        os.files.erase(SetAside()[0]);
    }
    EXPECT_EQ(os.LinkCount(kTarget), 1u);
}

// What takes the log's name once the folder is mended (a user quicker than
// the mending) is looked at again at every line: a link to an
// administrators' file, a folder, a user's file, one planted again the
// moment the new log is made, one whose set-aside name is taken. Each goes
// aside, the file a link names keeps its bytes, and the line goes to a new
// log of the administrators'. A log the running administrator's own account
// owns (as XP and Wine make them) is the program's and takes the line.
TEST_F(RecordFiles, WhatIsPlantedAtTheLogsNameLaterGoesAsideAtTheNextLine) {
    const char* const system = AdministratorsFile();
    CRunLog log;
    ASSERT_TRUE(log.Append("first\r\n"));
    os.files.at(kLog).owner = os.tokenUser;
    EXPECT_TRUE(log.Append("second\r\n"));
    EXPECT_EQ(os.FileText(kLog), "first\r\nsecond\r\n");
    EXPECT_TRUE(SetAside().empty());

    auto const usersFile = [&] {
        os.AddFile(kLog);
        os.files.at(kLog).owner = kUser;
        os.profileFiles[kLog] = "the user's lines\r\n";
    };
    int opens = 0;
    struct Plant {
        const char* what;
        std::function<void()> plant;
        std::size_t asides;
    };
    std::vector<Plant> const plants = {
        {"hard link", [&] { os.AddHardLink(system, kLog); }, 1},
        {"symbolic link", [&] { os.AddSymbolicLink(kLog, system); }, 1},
        {"folder", [&] { os.AddFolder(kLog); }, 1},
        {"user's file", usersFile, 1},
        {"user's file planted again",
         [&] {
             usersFile();
             opens = 0;
             os.onOpen = [&](const std::string& path) {
                 if (path == kLog && ++opens == 2) // making the new log
                     usersFile();
             };
         },
         2},
        {"set-aside name taken",
         [&] {
             usersFile();
             os.AddFile(NextStamped("aside"));
         },
         2},
    };
    for (const Plant& plant : plants) {
        SCOPED_TRACE(plant.what);
        Forget({kLog});
        plant.plant();
        EXPECT_TRUE(log.Append("line\r\n"));
        os.onOpen = nullptr;
        EXPECT_EQ(log.CurrentFile(), kLog);
        EXPECT_EQ(os.FileText(kLog), "line\r\n");
        EXPECT_EQ(os.files.at(kLog).owner, kSidAdministrators);
        EXPECT_EQ(os.FileText(system), "[fonts]\r\n");
        EXPECT_EQ(SetAside().size(), plant.asides);
        Forget(SetAside());
    }

    // One that another program holds without sharing its deletion cannot
    // be moved: the lines go to the run's own file, which says why.
    usersFile();
    HANDLE const held = os.CreateFileA(kLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(log.Append("held\r\n"));
    os.CloseHandle(held);
    EXPECT_EQ(os.FileText(kLog), "the user's lines\r\n");
    EXPECT_EQ(os.FileText(log.CurrentFile()).find(std::string(kLog) + " cannot be written ((32) "),
              0u)
        << os.FileText(log.CurrentFile());
}

// The same at the older log's name, met at a turn-over: a link there (to an
// administrators' file) and a folder go aside first, the full log becomes
// the older one and the link's target keeps its bytes.
TEST_F(RecordFiles, WhatIsPlantedAtTheOlderLogsNameLaterGoesAsideAtTheTurnOver) {
    const char* const system = AdministratorsFile();
    CRunLog log;
    ASSERT_TRUE(log.Append("first\r\n"));
    for (bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "folder" : "symbolic link");
        Forget({kOlder});
        if (folder)
            os.AddFolder(kOlder);
        else
            os.AddSymbolicLink(kOlder, system);
        Fill(kLog, kLogLimitBytes - 3);
        EXPECT_TRUE(log.Append("new\r\n"));
        EXPECT_EQ(log.CurrentFile(), kLog);
        EXPECT_EQ(os.FileText(kLog), "new\r\n");
        EXPECT_EQ(os.FileText(kOlder).size(), kLogLimitBytes - 3);
        EXPECT_EQ(os.FileText(system), "[fonts]\r\n");
        ASSERT_EQ(SetAside().size(), 1u);
        EXPECT_EQ(os.files.at(SetAside()[0]).linkTarget, folder ? "" : system);
        EXPECT_EQ(os.files.at(SetAside()[0]).directory, folder);
        Forget(SetAside());
    }
}

// Two processes log at once around a full log: the second looked at the
// full file, then, just before its rename, the first turns it over and
// writes to the new log. The second's rename must not put that new log over
// the older one: the older log keeps every line and both new lines are in
// the new log.
TEST_F(RecordFiles, TwoProcessesTurningTheLogOverLoseNoLine) {
    std::string const full(kLogLimitBytes - 4, 'x');
    os.AddFile(kLog);
    os.profileFiles[kLog] = full;
    os.AddFile(kOlder);
    os.profileFiles[kOlder] = "oldest\r\n";
    CRunLog service, logon;
    os.onRename = [&](const std::string&) {
        os.onRename = nullptr;
        os.processId = 4343;
        EXPECT_TRUE(logon.Append("logon\r\n"));
        os.processId = 4242;
    };
    EXPECT_TRUE(service.Append("service\r\n"));
    EXPECT_EQ(os.FileText(kOlder), full);
    EXPECT_EQ(os.FileText(kLog), "logon\r\nservice\r\n");
    EXPECT_TRUE(SetAside().empty());

    // Lines written through a handle opened before a turn-over stay in the
    // file they went to: writers share the file, deletion included.
    HANDLE const other = os.CreateFileA(kLog, FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    os.profileFiles[kLog] = full;
    EXPECT_TRUE(service.Append("after\r\n"));
    DWORD written = 0;
    EXPECT_TRUE(os.WriteFile(other, "late\r\n", 6, &written));
    os.CloseHandle(other);
    EXPECT_EQ(os.FileText(kOlder), full + "late\r\n");
    EXPECT_EQ(os.FileText(kLog), "after\r\n");
}

// The log's folder stays below its limit: of what was set aside and of the
// runs' own files the oldest (by the time in their names) go first, each as
// the entry itself (the folder a junction leads to and the file a link
// names stay as they are), until the rest is below it; the logs and an
// administrator's own file count but stay, and so does the newest run file.
TEST_F(RecordFiles, WhatWasSetAsideGoesOldestFirst) {
    std::size_t const kib = 1024;
    std::string const log = kLog;
    Fill(log, 1000 * kib);
    Fill(kOlder, 1000 * kib);
    Fill("C:\\ProgramData\\Norvane\\notes.txt", 1000 * kib);
    Fill(kTarget, 600 * kib);
    os.AddJunction(log + ".aside-20240101000000-9-1", "C:\\Users\\eve");
    Fill(log + ".run-20250101000000-7-1", 500 * kib);
    os.AddHardLink(kTarget, std::string(kOlder) + ".aside-20250201000000-9-2");
    Fill(log + ".run-20260101000000-8-1", 500 * kib);
    CRunLog record;
    EXPECT_TRUE(record.Append("line\r\n"));
    EXPECT_EQ(Named(".aside-"), std::vector<std::string>{});
    EXPECT_EQ(Named(".run-"), std::vector<std::string>{log + ".run-20260101000000-8-1"});
    EXPECT_EQ(os.FileText(kTarget).size(), 600 * kib);
    EXPECT_EQ(os.LinkCount(kTarget), 1u);
    EXPECT_TRUE(os.files.at("C:\\Users\\eve").directory);
    EXPECT_EQ(os.FileText("C:\\ProgramData\\Norvane\\notes.txt").size(), 1000 * kib);
    EXPECT_EQ(os.FileText(kOlder).size(), 1000 * kib);
    EXPECT_EQ(os.FileText(log).size(), 1000 * kib + 6);
}

// The folder at its limit exactly is over it. An entry that cannot be
// removed (another program holds it without sharing its deletion) stays and
// still counts: the next oldest goes in its place.
TEST_F(RecordFiles, AnEntryThatCannotBeRemovedStillCounts) {
    std::size_t const kib = 1024;
    std::string const log = kLog;
    std::string const held = log + ".aside-20240101000000-9-1";
    Fill(log, 1000 * kib);
    Fill(kOlder, 1000 * kib);
    Fill(held, 300 * kib);
    Fill(log + ".run-20250101000000-7-1", 200 * kib);
    Fill("C:\\ProgramData\\Norvane\\notes.txt", kLogFolderLimitBytes - 2500 * kib);
    HANDLE const reader = os.CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    CRunLog record;
    EXPECT_TRUE(record.Append("line\r\n"));
    os.CloseHandle(reader);
    EXPECT_EQ(Named(".aside-"), std::vector<std::string>{held});
    EXPECT_EQ(Named(".run-"), std::vector<std::string>{});
}

// Another program holds the log sharing its reading and deletion, not its
// writing: the log is no plant and stays where it is; the lines go to the
// run's own file. That file is a new one (a file already at the next name
// is left alone), nobody else may write or remove it while the run holds
// it, and before a line would make it 1 MiB the next one begins.
TEST_F(RecordFiles, TheRunsOwnFileIsNewHeldAndBelowOneMebibyte) {
    Fill(kLog, 8);
    HANDLE const reader = os.CreateFileA(kLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::string const taken = NextStamped("run");
    os.AddFile(taken);
    os.profileFiles[taken] = "someone's\r\n";
    CRunLog log;
    EXPECT_TRUE(log.Append("line\r\n"));
    EXPECT_EQ(os.FileText(kLog), std::string(8, 'x'));
    EXPECT_TRUE(SetAside().empty());
    EXPECT_EQ(os.FileText(taken), "someone's\r\n");
    std::string const run = log.CurrentFile();
    EXPECT_EQ(run.rfind(std::string(kLog) + ".run-", 0), 0u) << run;
    EXPECT_NE(run, taken);
    for (DWORD access : {DWORD{GENERIC_WRITE}, DWORD{DELETE}}) {
        HANDLE const other = os.CreateFileA(run.c_str(), access,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(other, INVALID_HANDLE_VALUE) << access;
        EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION) << access;
        if (other != INVALID_HANDLE_VALUE)
            os.CloseHandle(other);
    }

    // The folder is past its limit when the next file begins: the full one
    // is this run's and stays, whatever else has to go.
    Fill("C:\\ProgramData\\Norvane\\kept.dat", kLogFolderLimitBytes);
    std::size_t const size = os.FileText(run).size();
    std::string const fill = std::string(kLogLimitBytes - size - 2, 'y') + "\r\n";
    EXPECT_TRUE(log.Append(fill));
    os.CloseHandle(reader);
    ASSERT_EQ(os.files.count(run), 1u);
    EXPECT_EQ(os.FileText(run).size(), size);
    std::string const next = log.CurrentFile();
    EXPECT_EQ(os.FileText(next),
              run + " is full: the lines of this run from here on are in " + next + "\r\n" + fill);
}

// Another program (a user's, opened before the folder was closed to users)
// holds the log for reading and shares nothing: the copy's run writes every
// line, from its first to its "Finished" line, to a file of its own beside
// the log, says so in that file's first line and names it in "LogFile";
// the log is left as it was.
TEST_F(Record, ALogHeldWithoutSharingLosesNoLine) {
    AsPrepared();
    Notifying();
    os.AddFile(kLog);
    os.profileFiles[kLog] = "earlier\r\n";
    HANDLE const reader = os.CreateFileA(kLog, GENERIC_READ, 0, OPEN_EXISTING, 0);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(StartRegistered(), kExitDone);
    os.CloseHandle(reader);
    EXPECT_EQ(Log(), "earlier\r\n");
    std::string const file = Outcome("LogFile");
    EXPECT_EQ(file.rfind(std::string(kLog) + ".run-20261208093000-4242-", 0), 0u) << file;
    std::string const lines = os.FileText(file);
    EXPECT_EQ(lines.find("2026-12-08 09:30:00 MASTER01 4242 start: C:\\ProgramData\\Norvane\\"
                         "norvane.log cannot be written ((32) The process cannot access the file "
                         "because it is being used by another process.): the lines of this run "
                         "from here on are in " +
                         file + "\r\n"),
              0u)
        << lines;
    for (const char* line : {"start: Started on", "copy: GUID stored: ", "copy: Request sent: "})
        EXPECT_NE(lines.find(line), std::string::npos) << line;
    std::string const last = "copy: Finished with exit code 0: everything was done\r\n";
    EXPECT_EQ(lines.rfind(last), lines.size() - last.size()) << lines;
}

// Outcome values that cannot be written leave a line saying so.
TEST_F(Record, OutcomeValuesThatCannotBeWrittenAreLogged) {
    os.Key(HKEY_LOCAL_MACHINE, kOutcomeKey).valueWriteError = ERROR_ACCESS_DENIED;
    Master(*this);
    EXPECT_EQ(RunProgram(" /silent"), 0);
    EXPECT_NE(Log().find("prepare: The outcome values could not be written under "
                         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane: (5) Access is denied."),
              std::string::npos)
        << Log();
}
