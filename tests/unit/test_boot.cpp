// Windows Vista and later: a filtered administrator token starts the program
// again through the consent prompt; and the boot-time service, installed by
// a preparation with /service, that finishes a copy before anyone logs on.
#include "client_machine.h"
#include "reconfigure/boot_service.h"
#include "reconfigure/run_control.h"

using namespace port;

namespace {

const char* const kServiceCommand =
    "\"C:\\Program Files\\Norvane\\norvane.exe\" \"/000c293a4b5c\" -HideWindow /service";

// SMBIOS 2.8: the system information (type 1) with the UUID
// 00112233-4455-6677-8899-010203040506 (byte 31 is its last but four), then
// the end of the table.
std::vector<BYTE> Smbios() {
    return {0, 2,    8,    0,    35, 0,    0,    0,    1,    27,   1,    0, 1, 0, 0,
            0, 0x33, 0x22, 0x11, 0,  0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 1, 2, 3, 4,
            5, 6,    6,    0,    0,  0,    0,    127,  4,    2,    0,    0, 0};
}

class Boot : public ClientMachine {
protected:
    Boot() { os.version.dwMajorVersion = 10; }
    // The service control manager starting the installed service's command.
    int StartService() {
        CNorvaneApp app;
        app.m_commandLine = os.services.at(kBootServiceName).binaryPath;
        app.m_bRunAsService = true;
        app.m_runProgressDialog = [this](BOOL) { ++dialogs; };
        EXPECT_FALSE(app.InitInstance());
        return app.m_nExitCode;
    }
};

} // namespace

// A filtered token: the program starts itself again with "runas" and the
// same arguments, holds no lock meanwhile, changes nothing and ends with
// that instance's exit code, whose outcome values stay.
TEST_F(Boot, AFilteredTokenStartsTheProgramAgainWithFullRights) {
    AsPrepared();
    os.elevationType = TokenElevationTypeLimited;
    os.adminDenyOnly = true;
    os.onShellExecute = [this](const FakeShellExecute&) {
        EXPECT_TRUE(os.mutexes.empty()) << "the waiting instance holds the lock";
        os.SetDword(HKEY_LOCAL_MACHINE, kOutcomeKey, "LastResult", kExitServerNotTold);
        return DWORD{kExitServerNotTold};
    };
    std::string const before = RunValue(kOwnRunValue) + Guid();
    EXPECT_EQ(StartRegistered(), kExitServerNotTold);
    ASSERT_EQ(os.shellExecutes.size(), 1u);
    EXPECT_EQ(os.shellExecutes[0].verb, "runas");
    EXPECT_EQ(os.shellExecutes[0].file, os.modulePath);
    EXPECT_EQ(os.shellExecutes[0].parameters, "\"/000c293a4b5c\" -HideWindow");
    // Its process to wait for, and no box of the shell's own.
    EXPECT_EQ(os.shellExecutes[0].mask, SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI);
    EXPECT_EQ(RunValue(kOwnRunValue) + Guid(), before);
    EXPECT_EQ(Outcome("LastResult"), "6") << "the elevated instance's";
    EXPECT_TRUE(os.messageBoxes.empty());

    // Declined: the message and its exit code. Quiet: nobody is asked.
    os.shellExecuteError = ERROR_CANCELLED;
    EXPECT_EQ(RunProgram(" /silent"), kExitRefused);
    EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(kTitle) +
                                                ": You do not have administrator privileges. "
                                                "Only administrators can install this program."});
    os.messageBoxes.clear();
    EXPECT_EQ(RunProgram(" /quiet"), kExitRefused);
    EXPECT_EQ(os.shellExecutes.size(), 2u);
    EXPECT_TRUE(os.messageBoxes.empty());
    // A filtered token writes no outcome value: the refusal is in the log.
    EXPECT_EQ(Outcome("LastMode"), "<missing>");
    EXPECT_NE(Log().find("a quiet run asks nobody for consent"), std::string::npos);

    // A full token, one without a split (User Account Control off), and
    // Windows before Vista (no such class) go on as ever.
    os.adminDenyOnly = false;
    for (DWORD type : {TokenElevationTypeFull, TokenElevationTypeDefault, DWORD{0}}) {
        os.elevationType = type;
        os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
        EXPECT_EQ(RunProgram(" /silent"), kExitDone);
    }
    EXPECT_EQ(os.shellExecutes.size(), 2u);
}

// On a machine not prepared yet the consent prompt is asked for the
// preparation, also beside a boot-time service an earlier preparation left
// running: without the registration it has no job.
TEST_F(Boot, AFilteredTokenAsksForConsentToPrepare) {
    os.elevationType = TokenElevationTypeLimited;
    os.adminDenyOnly = true;
    EXPECT_EQ(RunProgram(""), kExitDone);
    FakeService& left = os.services[kBootServiceName];
    left.binaryPath = kServiceCommand;
    left.state = SERVICE_RUNNING;
    EXPECT_EQ(RunProgram(" /service"), kExitDone);
    ASSERT_EQ(os.shellExecutes.size(), 2u);
    EXPECT_EQ(os.shellExecutes[1].parameters, "/service");
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>") << "the waiting instance prepares nothing";
}

// The waiting instance writes none of the outcome values: they are the
// elevated run's, every one of them, whatever the waiting one saw.
TEST_F(Boot, TheWaitingInstanceLeavesTheElevatedRunsOutcomeValues) {
    AsPrepared();
    os.elevationType = TokenElevationTypeLimited;
    os.adminDenyOnly = true;
    std::map<std::string, std::string> written;
    os.onShellExecute = [&](const FakeShellExecute&) {
        os.SetDword(HKEY_LOCAL_MACHINE, kOutcomeKey, "LastResult", kExitDone);
        os.SetString(HKEY_LOCAL_MACHINE, kOutcomeKey, "LastMode", "copy");
        os.SetString(HKEY_LOCAL_MACHINE, kOutcomeKey, "LastRun", "2026-12-08 09:30:05");
        os.SetString(HKEY_LOCAL_MACHINE, kOutcomeKey, "LastMessage", "");
        os.SetString(HKEY_LOCAL_MACHINE, kOutcomeKey, "Guid", "elevated");
        for (const char* name : {"LastResult", "LastMode", "LastRun", "LastMessage", "Guid"})
            written[name] = Outcome(name);
        return DWORD{kExitDone};
    };
    EXPECT_EQ(StartRegistered(), kExitDone);
    ASSERT_EQ(written.size(), 5u);
    for (const auto& [name, value] : written)
        EXPECT_EQ(Outcome(name.c_str()), value) << name;
    EXPECT_EQ(Outcome("ServerStatus"), "<missing>");
    EXPECT_EQ(Log().find("The outcome values could not be written"), std::string::npos)
        << "it tries none (its token may write none)";
}

// The service's lock refuses an administrator's logon instance (it may not
// open the service's namespace, or its mutex): that answer means a run is
// going on, never that the lock is this instance's. It ends with 8 and
// changes nothing.
TEST_F(Boot, ALockThisInstanceMayNotOpenIsAnothersRun) {
    AsPrepared();
    std::string const before = RunValue(kOwnRunValue) + Guid();
    os.lockErrors["Norvane"] = ERROR_ACCESS_DENIED;
    EXPECT_EQ(StartRegistered(), kExitAlreadyRunning);
    os.lockErrors.clear();
    std::string const lock = FakeOs::NamespaceKey("Norvane", {kSidAdministrators});
    os.privateNamespaces[lock] = 1; // the service's, with its mutex
    os.mutexes[lock + "\\Norvane.Run"] = 1;
    EXPECT_EQ(StartRegistered(), kExitAlreadyRunning);
    os.lockErrors["Norvane\\Norvane.Run"] = ERROR_ACCESS_DENIED;
    EXPECT_EQ(StartRegistered(), kExitAlreadyRunning);
    EXPECT_EQ(RunValue(kOwnRunValue) + Guid(), before);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(Outcome("LastResult"), "<missing>");
}

// A logon instance with a filtered token asks for consent only when it has
// a job: none beside the boot-time service's run, none for a quiet one
// where the service is installed, none once the registration is gone. It
// ends with 8 and records why.
TEST_F(Boot, AFilteredLogonAsksForConsentOnlyWithAJob) {
    AsPrepared();
    os.elevationType = TokenElevationTypeLimited;
    os.adminDenyOnly = true;
    FakeService& service = os.services[kBootServiceName];
    service.binaryPath = kServiceCommand;
    service.state = SERVICE_RUNNING;
    std::string const before = RunValue(kOwnRunValue) + Guid();
    EXPECT_EQ(StartRegistered(), kExitAlreadyRunning);
    service.state = SERVICE_START_PENDING;
    service.pendingUntil = kFakeNever;
    EXPECT_EQ(StartRegistered(), kExitAlreadyRunning) << "starting is running";
    service.state = SERVICE_STOPPED;
    EXPECT_EQ(RunProgram(" \"/000c293a4b5c\" -HideWindow /quiet"), kExitAlreadyRunning);
    EXPECT_TRUE(os.shellExecutes.empty());
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_EQ(RunValue(kOwnRunValue) + Guid(), before);
    EXPECT_NE(Log().find("The boot-time service does the job; this instance with a filtered "
                         "token ends and changes nothing"),
              std::string::npos);

    // The service stopped without finishing, or in a state nobody can
    // read: the logon has the job.
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_EQ(os.shellExecutes.size(), 1u);
    service.failingQueries = -1;
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_EQ(os.shellExecutes.size(), 2u);
    // The job is done: nothing to ask for.
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
    EXPECT_EQ(RunProgram(" \"/000c293a4b5c\" -HideWindow"), kExitAlreadyRunning);
    EXPECT_EQ(os.shellExecutes.size(), 2u);
}

// `sc stop` during a copy's boot-time run: the service does not accept it
// while it runs, and one that comes all the same starts the client's
// services again before the run ends (the listener stays stopped while the
// client has the master's GUID), so the real-time service keeps running.
// Windows shutting down ends the run as it stands.
TEST_F(Boot, AStopDuringTheServicesRunLeavesTheRealTimeServiceRunning) {
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
    os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}};
    EXPECT_EQ(ServiceControlsAccepted() & SERVICE_ACCEPT_STOP, 0u);
    EXPECT_NE(ServiceControlsAccepted() & SERVICE_ACCEPT_SHUTDOWN, 0u);
    for (DWORD control : {SERVICE_CONTROL_STOP, SERVICE_CONTROL_SHUTDOWN}) {
        os.Reboot();
        os.services[kBootServiceName].state = SERVICE_RUNNING;
        int ended = -1;
        os.onSleep = [&](DWORD) {
            if (ended != -1 || os.services["rtguard"].state != SERVICE_STOPPED)
                return;
            ended = EndRunForControl(control);
            os.powerCutAt = os.stateChanges; // the process ends here
        };
        try {
            (void)StartService();
        } catch (const FakePowerCut&) {
        }
        EXPECT_EQ(ended, kExitCopyNotFinished);
        EXPECT_EQ(Outcome("LastResult"), "5") << "the run's end is on the record";
        EXPECT_EQ(os.services["rtguard"].state,
                  control == SERVICE_CONTROL_STOP ? SERVICE_RUNNING : SERVICE_STOPPED);
        EXPECT_EQ(os.services["hxlisten"].state, SERVICE_STOPPED);
        EXPECT_NE(RunValue(kOwnRunValue), "<missing>") << "the next start tries again";
    }
    EXPECT_NE(Log().find("The service is asked to stop during the run: the client's services "
                         "start again first"),
              std::string::npos);
    EXPECT_NE(Log().find("Windows shuts down: the run ends here"), std::string::npos);
}

// A stop that comes once the copy's steps have ended acts on none of their
// data: what they had stopped, their own end dealt with.
TEST_F(Boot, AStopAfterTheStepsEndedStartsNothing) {
    ReconfigurationData data;
    data.m_stoppedServices = {"rtguard"};
    os.services["rtguard"].state = SERVICE_STOPPED;
    { CActiveRun const steps(data); }
    EXPECT_EQ(EndRunForControl(SERVICE_CONTROL_STOP), kExitCopyNotFinished);
    EXPECT_EQ(os.services["rtguard"].startRequests, 0);
    EXPECT_NE(Log().find("while no client service is stopped by this run"), std::string::npos);
}

// A preparation with /service installs the boot-time service beside the Run
// value (or sets up the one an earlier preparation left); at the copy's
// next start the service finishes it alone, with no window and without
// starting the client's program (nobody is logged on), and takes itself and
// the Run value away.
TEST_F(Boot, TheBootTimeServiceFinishesACopyBeforeAnyLogon) {
    Notifying();
    // One left by an earlier preparation of this disk is made to run this one.
    FakeService& leftOver = os.services[kBootServiceName];
    leftOver.binaryPath = "C:\\Old\\norvane.exe /service";
    leftOver.displayName = "Old";
    leftOver.startType = SERVICE_DEMAND_START;
    leftOver.state = SERVICE_STOPPED;
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
    ASSERT_EQ(os.services.count(kBootServiceName), 1u);
    const FakeService& service = os.services.at(kBootServiceName);
    EXPECT_EQ(service.binaryPath, kServiceCommand);
    EXPECT_EQ(service.displayName, "Norvane Utility");
    EXPECT_EQ(service.startType, SERVICE_AUTO_START);
    EXPECT_EQ(service.serviceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(service.account, "LocalSystem");
    EXPECT_EQ(RunValue(kOwnRunValue),
              "\"" + os.modulePath + "\" \"/000c293a4b5c\" -HideWindow /quiet");

    // A copy whose adapters are all new, started without a logon.
    os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}};
    os.adapters = {{kIfTypeEthernet, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}}};
    os.Reboot();
    os.services[kBootServiceName].state = SERVICE_RUNNING; // the program is the service
    EXPECT_EQ(StartService(), kExitDone);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_TRUE(os.launches.empty()) << "the client's program starts at the next logon";
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_NE(net.sent[0].object.find("UID=" + Guid()), std::string::npos);
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(RunValue(kClientRunValue), "\"" + std::string(kMonitor) + "\" -HideWindow");
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);
    os.services[kBootServiceName].state = SERVICE_STOPPED;
    os.Reboot();
    EXPECT_EQ(os.services.count(kBootServiceName), 0u) << "gone once it stopped";
    EXPECT_EQ(os.files.count(os.modulePath), 0u);
}

// The master restarted before its disk is imaged stays prepared: the image
// must carry the registration. Early in a start no adapter may be reported
// yet: the run waits at least the 30 s the guide promises, and without one
// leaves the job to the next start.
TEST_F(Boot, AtBootTheMasterWaitsForItsAdaptersAndStaysPrepared) {
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
    std::string const master = Guid() + RunValue(kOwnRunValue);
    auto const adapters = os.lanas;
    // Reported after 30 s, or after 4 s: the wait ends with the pause that
    // finds them.
    for (DWORD after : {30000u, 4000u}) {
        os.Reboot();
        os.lanas.clear();
        DWORD const start = os.now;
        os.onSleep = [&](DWORD now) {
            if (now - start >= after)
                os.lanas = adapters;
        };
        os.services[kBootServiceName].state = SERVICE_RUNNING;
        EXPECT_EQ(StartService(), kExitDone);
        EXPECT_EQ(os.now - start, after) << "waited no longer";
        EXPECT_EQ(Outcome("LastMode"), "same host");
        EXPECT_EQ(Guid() + RunValue(kOwnRunValue), master);
        EXPECT_TRUE(net.sent.empty());
        EXPECT_FALSE(os.services[kBootServiceName].deletePending);
        EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_DEMAND_START);
    }

    // None at all: nothing is changed, the job waits for the next start.
    os.onSleep = nullptr;
    os.Reboot();
    os.lanas.clear();
    DWORD const start = os.now;
    os.services[kBootServiceName].state = SERVICE_RUNNING;
    EXPECT_EQ(StartService(), kExitCopyNotFinished);
    EXPECT_EQ(Guid() + RunValue(kOwnRunValue), master);
    EXPECT_EQ(os.services.count(kBootServiceName), 1u);
    EXPECT_GE(os.now - start, 30000u);
    EXPECT_LT(os.now - start, 31000u) << "not a pause more";
}

// Prepared with two adapters, the master restarts with one of them not
// reported yet; or with NetBIOS silent while the IP helper lists one more
// (a wireless adapter), or only the one that only the IP helper listed at
// its preparation: it is the master every way, and stays prepared.
TEST_F(Boot, TheMasterMissingAnAdapterOrShowingAnotherIsStillTheMaster) {
    os.lanas = {{0, {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c}, true},
                {1, {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08}, true}};
    os.adapters = {{kIfTypeEthernet, {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c}},
                   {kIfTypeEthernet, {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08}},
                   {kIfTypeWireless, {0x3c, 0xa9, 0xf4, 0x00, 0x00, 0x01}}};
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
    std::string const master = Guid() + RunValue(kOwnRunValue);
    auto const prepared = os.adapters;
    for (int variant = 0; variant < 3; ++variant) {
        os.Reboot();
        os.adapters = prepared;
        if (variant == 0) {
            os.lanas.pop_back();
        } else if (variant == 1) {
            os.lanas.clear();
            os.adapters.push_back({kIfTypeWireless, {0x3c, 0xa9, 0xf4, 0x11, 0x22, 0x33}});
        } else {
            // Only the adapter that NetBIOS never reported: the master's by
            // the record of its preparation.
            os.lanas.clear();
            os.adapters.erase(os.adapters.begin(), os.adapters.begin() + 2);
        }
        os.services[kBootServiceName].state = SERVICE_RUNNING;
        EXPECT_EQ(StartService(), kExitDone) << variant;
        EXPECT_EQ(Outcome("LastMode"), "same host") << variant;
        EXPECT_EQ(Guid() + RunValue(kOwnRunValue), master) << variant;
        EXPECT_EQ(os.services.count(kBootServiceName), 1u);
        EXPECT_FALSE(os.services[kBootServiceName].deletePending);
    }
    EXPECT_TRUE(net.sent.empty());
    EXPECT_TRUE(os.sleeps.empty()) << "decided at once";
}

// A clone of a virtual machine that kept one of the master's adapter
// addresses but has a system UUID of its own is a copy.
TEST_F(Boot, ACopyThatKeptAnAddressButHasAnotherUuidIsACopy) {
    os.smbios = Smbios();
    Notifying();
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
    EXPECT_EQ(Outcome("MasterSystemUuid"), "00112233-4455-6677-8899-010203040506");
    os.Reboot();
    os.smbios[31] = 0x07; // another machine's UUID, the same adapter
    // A first start that cannot finish keeps the master's record: the next
    // one still tells the clone from the master.
    os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT).valueWriteError = ERROR_ACCESS_DENIED;
    os.services[kBootServiceName].state = SERVICE_RUNNING;
    EXPECT_EQ(StartService(), kExitCopyNotFinished);
    os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT).valueWriteError = 0;
    os.Reboot();
    os.services[kBootServiceName].state = SERVICE_RUNNING;
    EXPECT_EQ(StartService(), kExitDone);
    EXPECT_EQ(Outcome("LastMode"), "copy");
    EXPECT_NE(Guid(), kMasterGuid);
    EXPECT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    for (const char* value :
         {"MasterIdentity", "MasterNetbiosAddresses", "MasterAdapterAddresses", "MasterSystemUuid"})
        EXPECT_EQ(Outcome(value), "<missing>") << "the master's record goes with it: " << value;
}

// The UUIDs decide only where both are known: the master whose firmware
// gives none at a restart, or gave none at its preparation (a UUID an
// earlier preparation recorded goes then), is the master by its address.
TEST_F(Boot, TheUuidsDecideOnlyWhereBothAreKnown) {
    for (bool atPreparation : {true, false}) {
        // An unprepared master (again), with a UUID an earlier one recorded.
        os.Reboot();
        os.Key(HKEY_LOCAL_MACHINE, kRunKey).values.erase(kOwnRunValue);
        os.SetString(HKEY_LOCAL_MACHINE, kRunKey, kClientRunValue,
                     "\"" + std::string(kMonitor) + "\" -HideWindow");
        os.services["hxlisten"].startType = SERVICE_AUTO_START;
        os.SetString(HKEY_LOCAL_MACHINE, kOutcomeKey, "MasterSystemUuid", "stale");
        os.smbios = atPreparation ? Smbios() : std::vector<BYTE>{};
        EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
        EXPECT_EQ(Outcome("MasterSystemUuid"),
                  atPreparation ? "00112233-4455-6677-8899-010203040506" : "<missing>");
        std::string const master = Guid() + RunValue(kOwnRunValue);
        os.Reboot();
        os.smbios = atPreparation ? std::vector<BYTE>{} : Smbios();
        os.services[kBootServiceName].state = SERVICE_RUNNING;
        EXPECT_EQ(StartService(), kExitDone) << atPreparation;
        EXPECT_EQ(Outcome("LastMode"), "same host") << atPreparation;
        EXPECT_EQ(Guid() + RunValue(kOwnRunValue), master);
    }
}

// A copy started before its network, on firmware (or a hypervisor) that gives
// every machine the master's UUID: the UUID alone decides nothing, the run
// waits and leaves the job to the next start.
TEST_F(Boot, AMatchingUuidAloneDecidesNothing) {
    os.smbios = Smbios();
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
    std::string const before = Guid() + RunValue(kOwnRunValue);
    os.Reboot();
    os.lanas.clear();
    os.services[kBootServiceName].state = SERVICE_RUNNING;
    EXPECT_EQ(StartService(), kExitCopyNotFinished);
    EXPECT_EQ(Outcome("LastMode"), "start") << "neither master nor copy";
    EXPECT_EQ(Guid() + RunValue(kOwnRunValue), before);
}

// Prepared with /service from a folder only administrators can change: the
// program holds its file from its start, so that nobody (an administrator's
// program either) renames or rewrites it while the run goes on; the service
// and the Run value name a byte-identical copy in %ProgramFiles%\Norvane made
// from that file, and the copy's run queues the copy, its folder after it.
TEST_F(Boot, AServicePreparedFromASafeFolderRunsACopyOfTheHeldFile) {
    Notifying();
    std::string const copy = "C:\\Program Files\\Norvane\\norvane.exe";
    std::string const started = "C:\\Program Files\\Deploy\\norvane.exe";
    os.SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                 "ProgramFilesDir", "C:\\Program Files");
    os.files.erase(copy);
    os.files.erase("C:\\Program Files\\Norvane");
    os.modulePath = started;
    os.AddFile(started);
    os.profileFiles[started] = "MZ the program";
    std::vector<DWORD> refused; // the rename's error, the writer's
    os.onQueryValue = [&](const std::string& name, bool) {
        if (name != "ProgramFilesDir" || !refused.empty())
            return;
        refused.push_back(
            os.MoveFileA(started.c_str(), (started + ".old").c_str()) ? 0 : os.GetLastError());
        HANDLE const writer =
            os.CreateFileA(started.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
        refused.push_back(writer == INVALID_HANDLE_VALUE ? os.GetLastError() : 0);
        if (writer != INVALID_HANDLE_VALUE)
            os.CloseHandle(writer);
    };
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
    EXPECT_EQ(refused, (std::vector<DWORD>{ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION}));
    EXPECT_EQ(os.services.at(kBootServiceName).binaryPath, kServiceCommand);
    EXPECT_EQ(RunValue(kOwnRunValue), "\"" + copy + "\" \"/000c293a4b5c\" -HideWindow /quiet");
    EXPECT_EQ(os.FileText(copy), "MZ the program");
    EXPECT_NE(Log().find("The program registered is C:\\Program Files\\Norvane\\norvane.exe (14 "
                         "bytes), a copy of C:\\Program Files\\Deploy\\norvane.exe made from the "
                         "file this run was started from"),
              std::string::npos)
        << Log();

    // The copy's first start, without a logon: the service runs the copy.
    os.onQueryValue = nullptr;
    os.modulePath = copy;
    os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}};
    os.Reboot();
    os.services[kBootServiceName].state = SERVICE_RUNNING;
    EXPECT_EQ(StartService(), kExitDone);
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_EQ(os.PendingDeletes(), (std::vector<std::string>{copy, "C:\\Program Files\\Norvane"}));
    EXPECT_EQ(os.FileText(started), "MZ the program") << "the original stays";
}

// A boot-time service left on a finished copy (its removal failed there)
// takes itself away at the next start and changes nothing else.
TEST_F(Boot, AServiceLeftOnAFinishedCopyTakesItselfAway) {
    os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}};
    FakeService& left = os.services[kBootServiceName];
    left.binaryPath = kServiceCommand;
    left.state = SERVICE_RUNNING; // the program is the service
    std::string const before = RunValue(kClientRunValue) + Guid();
    EXPECT_EQ(StartService(), kExitAlreadyRunning);
    EXPECT_EQ(RunValue(kClientRunValue) + Guid(), before);
    EXPECT_TRUE(net.sent.empty());
    EXPECT_TRUE(os.services.at(kBootServiceName).deletePending);
    os.services[kBootServiceName].state = SERVICE_STOPPED;
    os.Reboot();
    EXPECT_EQ(os.services.count(kBootServiceName), 0u);
}

// A /service preparation whose Run value cannot be written takes its
// service away again (exit code 4: nothing registered); where the service
// cannot be removed, the exit code does not say that nothing is.
TEST_F(Boot, AFailedServicePreparationUndoesItsServiceOrSaysSo) {
    os.Key(HKEY_LOCAL_MACHINE, kRunKey).valueWriteError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitPreparationFailed);
    EXPECT_EQ(os.services.count(kBootServiceName), 0u);
    EXPECT_EQ(os.services["hxlisten"].startType, SERVICE_AUTO_START);

    // One left by an earlier preparation is made to run this one, and stays.
    os.services[kBootServiceName].deleteError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitUnexpectedError);
    EXPECT_EQ(os.services.at(kBootServiceName).binaryPath, kServiceCommand);
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
}
