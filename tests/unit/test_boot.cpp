// Windows Vista and later: a filtered administrator token starts the program
// again through the consent prompt; and the boot-time service, installed by
// a preparation with /service, that finishes a copy before anyone logs on.
#include "client_machine.h"
#include "reconfigure/boot_service.h"

using namespace port;

namespace {

const char* const kServiceCommand =
    "\"C:\\Program Files\\Norvane\\norvane.exe\" \"/000c293a4b5c\" -HideWindow /service";

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
    EXPECT_EQ(Outcome("LastMode"), "refused");

    // A full token, and Windows before Vista (no such class), go on as ever.
    os.elevationType = TokenElevationTypeFull;
    os.adminDenyOnly = false;
    EXPECT_EQ(RunProgram(" /silent"), kExitDone);
    EXPECT_EQ(os.shellExecutes.size(), 2u);
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

    // A copy, started without a logon.
    os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}};
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

// On the master itself (restarted before its disk is imaged) the service
// restores and removes itself. Early in a start the adapters may not be
// reported yet: the run waits for them rather than take the master for a
// copy, and without them leaves the job to the next logon.
TEST_F(Boot, AtBootTheMasterWaitsForItsAdaptersBeforeItDecides) {
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
    std::string const master = Guid();
    os.Reboot();
    auto const adapters = os.lanas;
    os.lanas.clear();
    os.onSleep = [&](DWORD) {
        if (os.sleeps.size() == 3)
            os.lanas = adapters; // reported after the third pause
    };
    os.services[kBootServiceName].state = SERVICE_RUNNING;
    EXPECT_EQ(StartService(), kExitDone);
    EXPECT_EQ(Outcome("LastMode"), "same host");
    EXPECT_EQ(Guid(), master);
    EXPECT_TRUE(net.sent.empty());
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_TRUE(os.services[kBootServiceName].deletePending);

    // None at all: nothing is changed, the job waits for a logon.
    os.onSleep = nullptr;
    os.services.erase(kBootServiceName);
    os.Reboot();
    EXPECT_EQ(RunProgram(" /service /quiet"), kExitDone);
    os.Reboot();
    os.lanas.clear();
    std::string const before = RunValue(kOwnRunValue) + RunValue(kClientRunValue);
    os.services[kBootServiceName].state = SERVICE_RUNNING;
    EXPECT_EQ(StartService(), kExitCopyNotFinished);
    EXPECT_EQ(RunValue(kOwnRunValue) + RunValue(kClientRunValue), before);
    EXPECT_EQ(os.services.count(kBootServiceName), 1u);
    EXPECT_EQ(os.sleeps.back(), 2000u);
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
