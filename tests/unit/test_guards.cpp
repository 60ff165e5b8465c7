// What keeps a copy from failing silently, from running twice and from
// leaving the client unprotected: one instance at a time, an administrator
// test that sees a filtered token, the client's services started again after
// a run that could not finish, a notification that cannot hold the stopped
// client for long, and no start-up entry that names a folder.
#include "app/one_run.h"
#include "client_machine.h"
#include "notify/notification.h"

#include <stdexcept>

using namespace port;

namespace {

class Guards : public ClientMachine {
protected:
    // A copy of a prepared master, on hardware of its own.
    Guards() {
        AsPrepared();
        Notifying();
        os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}};
    }
    // Everything a run could change, as text.
    std::string Machine() {
        std::string text = RunValue(kOwnRunValue) + "|" + RunValue(kClientRunValue) + "|" + Guid();
        for (const auto& [name, service] : os.services)
            text += "|" + name + " " + std::to_string(service.startType) + " " +
                    std::to_string(service.state);
        return text + "|" + std::to_string(net.sent.size());
    }
};

FakeHttpAnswer Slow(DWORD status, DWORD headerDelayMs) {
    FakeHttpAnswer a;
    a.status = status;
    a.headerDelayMs = headerDelayMs;
    return a;
}

// Headers after headerDelayMs, then a body of 400 bytes at one a second.
FakeHttpAnswer Trickle(DWORD headerDelayMs) {
    FakeHttpAnswer a = Slow(200, headerDelayMs);
    a.generatedBytes = 400;
    a.headers = {{"Content-Length", "400"}};
    a.arrivalBytes = 1;
    a.arrivalDelayMs = 1000;
    return a;
}

} // namespace

// Two instances started together: the one that finds the machine-wide mutex
// held (in any session) ends at once and touches nothing, leaving the
// outcome values to the run that does the job. So does an instance of the
// registered command that finds the registration already gone.
TEST_F(Guards, OnlyOneInstanceRuns) {
    os.mutexes["Global\\Norvane.Run"] = 1; // another session's instance
    std::string const before = Machine();
    EXPECT_EQ(StartRegistered(), kExitAlreadyRunning);
    EXPECT_EQ(Machine(), before);
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_EQ(Outcome("LastResult"), "<missing>");
    EXPECT_NE(Log().find("Another instance of this program is running"), std::string::npos);

    // Systems without descriptors in text: NT 4.0's Terminal Server, whose
    // "Global\" name every session sees (held, or held by an account this
    // one may not open), plain NT 4.0 and Windows 9x with the plain name.
    struct Held {
        DWORD platform;
        bool global;
        const char* name;
        DWORD error; // the lock refuses this instance with it
    };
    for (const Held& held :
         {Held{VER_PLATFORM_WIN32_NT, true, "Global\\Norvane.Run", 0},
          Held{VER_PLATFORM_WIN32_NT, true, "Global\\Norvane.Run", ERROR_ACCESS_DENIED},
          Held{VER_PLATFORM_WIN32_NT, false, "Norvane.Run", 0},
          Held{VER_PLATFORM_WIN32_WINDOWS, false, "Norvane.Run", 0}}) {
        os.mutexes.clear();
        os.lockErrors.clear();
        os.version.dwPlatformId = held.platform;
        os.version.dwMajorVersion = 4;
        os.globalNamespace = held.global;
        if (held.error)
            os.lockErrors[held.name] = held.error;
        else
            os.mutexes[held.name] = 1;
        EXPECT_EQ(StartRegistered(), kExitAlreadyRunning) << held.name << " " << held.platform;
        EXPECT_NE(Log().find("Another instance of this program is running"), std::string::npos);
        EXPECT_EQ(Machine(), before);
    }

    os.mutexes.clear();
    os.lockErrors.clear();
    os.version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    os.version.dwMajorVersion = 5;
    os.globalNamespace = true;
    std::string const command = RunValue(kOwnRunValue);
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(os.mutexes.size(), 0u) << "held for the run only";
    // The second logon's instance, started with the same command.
    std::string const done = Machine();
    EXPECT_EQ(RunProgram(command.substr(command.find("\" ") + 1)), kExitAlreadyRunning);
    EXPECT_EQ(Machine(), done) << "no preparation of a finished copy";
    EXPECT_EQ(Outcome("LastResult"), "0");
    // So on Windows 9x, which has no administrators to refuse.
    os.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    os.version.dwMajorVersion = 4;
    EXPECT_EQ(RunProgram(command.substr(command.find("\" ") + 1)), kExitAlreadyRunning);
}

// A user without rights who makes the lock's name first keeps no copy from
// its run. Before Vista the lock is a "Global\\" mutex that only the system
// and the administrators may open and that their group owns: one that
// another user owns is recorded and not obeyed. Since Vista the lock lives
// in a private namespace whose boundary is the Administrators group: the
// squatted name is never looked at, nor are namespaces of the lock's name
// that a user made with a boundary of their own (none, or a group of
// theirs). Where the boundary cannot be described, the lock is the guarded
// mutex, never a namespace without the group.
TEST_F(Guards, ASquattedLockIsNotObeyed) {
    // The squatter's program holds a mutex that lets everyone in, so that
    // a run finds it there.
    os.isAdministrator = false;
    void* everyone = nullptr;
    ASSERT_TRUE(
        os.ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;GA;;;WD)", &everyone));
    HANDLE squat = os.CreateMutexSecuredA(everyone, FALSE, "Global\\Norvane.Run");
    os.LocalFree(everyone);
    os.isAdministrator = true;
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_EQ(net.sent.size(), 1u);
    EXPECT_NE(Log().find("was made by a user without administrator rights: it is not obeyed"),
              std::string::npos);
    EXPECT_TRUE(os.CloseHandle(squat));

    // A squatter's mutex that refuses administrators is another user's too.
    os.Reboot();
    AsPrepared();
    os.mutexes["Global\\Norvane.Run"] = 1;
    os.mutexOwners["Global\\Norvane.Run"] = FakeOs::FakeOwner::User;
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_EQ(net.sent.size(), 2u);

    std::string const lock = FakeOs::NamespaceKey("Norvane", {kSidAdministrators});
    for (bool described : {true, false}) {
        os.Reboot();
        AsPrepared();
        os.version.dwMajorVersion = 10;
        os.mutexes["Global\\Norvane.Run"] = 1;
        os.mutexOwners["Global\\Norvane.Run"] = FakeOs::FakeOwner::User;
        for (const auto& squat :
             {FakeOs::NamespaceKey("Norvane", {}), FakeOs::NamespaceKey("Norvane", {kSidUsers})}) {
            os.privateNamespaces[squat] = 1;
            os.mutexes[squat + "\\Norvane.Run"] = 1;
            os.mutexOwners[squat + "\\Norvane.Run"] = FakeOs::FakeOwner::User;
        }
        os.boundarySidError = described ? 0 : ERROR_NOT_ENOUGH_MEMORY;
        os.onSleep = [&](DWORD) {
            EXPECT_EQ(os.privateNamespaces.count(lock), described ? 1u : 0u) << "held for the run";
            EXPECT_EQ(os.mutexes.size(), described ? 4u : 3u) << "the run's and the squatters'";
        };
        EXPECT_EQ(StartRegistered(), kExitDone) << described;
        EXPECT_EQ(os.privateNamespaces.count(lock), 0u);
        EXPECT_EQ(os.mutexes.size(), 3u) << "only the squatters' are left";
    }
    EXPECT_EQ(net.sent.size(), 4u);
    os.boundarySidError = 0;
}

// The lock of a run lets no user in, so that none can hold it open and keep
// every later run out: before Vista its mutex refuses them, since Vista its
// namespace does. Another administrator's instance finds it taken (where no
// namespace can be made, by the mutex's owner, whatever owner new objects
// get); a user's instance is told what it lacks.
TEST_F(Guards, NoUserReachesTheLockOfARun) {
    struct System {
        DWORD major;
        bool namespaces;
    };
    for (const System& system : {System{5, false}, System{10, true}, System{10, false}}) {
        os.version.dwMajorVersion = system.major;
        os.lockErrors.clear();
        if (!system.namespaces)
            os.lockErrors["Norvane"] = ERROR_NOT_ENOUGH_MEMORY; // none can be made
        COneRunGuard run;                                       // an administrator's run
        ASSERT_TRUE(run.Acquire());
        EXPECT_FALSE(COneRunGuard().Acquire()) << system.major << system.namespaces;

        os.isAdministrator = false;
        if (system.namespaces) {
            HANDLE boundary = os.CreateBoundaryDescriptorA(kOneRunNamespace, 0);
            PSID admins = nullptr;
            ASSERT_TRUE(
                os.AllocateAndInitializeSid(&SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                            DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
            ASSERT_TRUE(os.AddSIDToBoundaryDescriptor(&boundary, admins));
            EXPECT_EQ(os.OpenPrivateNamespaceA(boundary, "Squat"), nullptr);
            EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
            os.FreeSid(admins);
            os.DeleteBoundaryDescriptor(boundary);
        } else {
            EXPECT_EQ(os.CreateMutexA(FALSE, "Global\\Norvane.Run"), nullptr);
            EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
        }
        EXPECT_EQ(StartRegistered(), kExitRefused) << system.major << system.namespaces;
        EXPECT_NE(Log().find("This account may not open the lock of a run"), std::string::npos);
        os.isAdministrator = true;
    }
}

// Where no lock can be made at all (not in a namespace, not as a mutex of
// any name), a copy runs rather than end with 8 at every logon for ever;
// its log says so.
TEST_F(Guards, WithoutAnyLockACopyStillRuns) {
    os.version.dwMajorVersion = 10;
    for (const char* name : {"Norvane", "Global\\Norvane.Run", "Norvane.Run"})
        os.lockErrors[name] = ERROR_NOT_ENOUGH_MEMORY;
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_NE(Log().find("No lock could be made to keep other instances out"), std::string::npos);
}

// A progress dialog that cannot be made, or whose worker cannot start, runs
// none of the steps: the run ends with 1 and says why, never with 0.
TEST_F(Guards, ADialogThatRunsNoStepsEndsWithOne) {
    CNorvaneApp app;
    std::string const command = RunValue(kOwnRunValue);
    app.m_commandLine = command;
    app.m_runProgressDialog = [this](BOOL) { ++dialogs; }; // the worker never starts
    std::string const before = Machine();
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(app.m_nExitCode, kExitUnexpectedError);
    EXPECT_EQ(Machine(), before);
    EXPECT_EQ(Outcome("LastResult"), "1");
    EXPECT_NE(Log().find("The copy's steps did not run"), std::string::npos);
}

// A filtered administrator token (User Account Control, or a restricted
// one before Vista) holds the Administrators group for deny only: the
// preparation and a copy's run are refused with message 102 before they
// change anything. Such a token may write no outcome value: the refusal is
// in the log.
TEST_F(Guards, AFilteredTokenIsNoAdministrator) {
    os.adminDenyOnly = true;
    std::string const before = Machine();
    EXPECT_EQ(StartRegistered(), kExitRefused);
    EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(kTitle) +
                                                ": You do not have administrator privileges. "
                                                "Only administrators can install this program."});
    EXPECT_EQ(Machine(), before);
    EXPECT_TRUE(os.postedMessages.empty()) << "the client's programs were not told to close";
    EXPECT_EQ(Outcome("LastMode"), "<missing>");
    EXPECT_NE(Log().find(" refused: Finished with exit code 2"), std::string::npos);
}

// A copy whose run stopped the client and then could not store its GUID
// starts the real-time service again; the listener stays stopped while the
// client has the master's GUID. The next logon tries again.
TEST_F(Guards, AnUnfinishedCopyStartsTheClientsServicesAgain) {
    os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT).valueWriteError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(StartRegistered(), kExitCopyNotFinished);
    EXPECT_EQ(os.services["rtguard"].state, SERVICE_RUNNING);
    EXPECT_EQ(os.services["hxlisten"].state, SERVICE_STOPPED);
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");
    EXPECT_NE(Log().find("\"hxlisten\" stays stopped: the client still has the master's GUID"),
              std::string::npos);

    // The GUID stored, the restore failed: the listener (running at the
    // start this time) speaks with the new GUID, so it starts too.
    os.Key(HKEY_LOCAL_MACHINE, kClientKeyNT).valueWriteError = 0;
    os.Reboot();
    os.services["hxlisten"].state = SERVICE_RUNNING;
    os.services["hxlisten"].changeConfigError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(StartRegistered(), kExitCopyNotFinished);
    EXPECT_EQ(os.services["hxlisten"].state, SERVICE_RUNNING);
    EXPECT_EQ(os.services["rtguard"].state, SERVICE_RUNNING);

    // An unexpected error does the same.
    os.Reboot();
    os.services["hxlisten"].changeConfigError = 0;
    os.onQueryValue = [](const std::string& name, bool data) {
        if (name == "GUID" && data)
            throw std::runtime_error("the registry is on fire");
    };
    EXPECT_EQ(StartRegistered(), kExitUnexpectedError);
    EXPECT_EQ(os.services["rtguard"].state, SERVICE_RUNNING);
    EXPECT_NE(RunValue(kOwnRunValue), "<missing>");
}

// An unfinished copy starts again only what its run stopped: a service the
// administrator had left stopped stays so.
TEST_F(Guards, AnUnfinishedCopyLeavesStoppedWhatItFoundStopped) {
    os.services["rtguard"].state = SERVICE_STOPPED;
    os.services["hxlisten"].changeConfigError = ERROR_ACCESS_DENIED; // the restore fails
    EXPECT_EQ(StartRegistered(), kExitCopyNotFinished);
    EXPECT_EQ(os.services["hxlisten"].state, SERVICE_RUNNING);
    EXPECT_EQ(os.services["rtguard"].state, SERVICE_STOPPED);
    EXPECT_EQ(os.services["rtguard"].startRequests, 0);
}

// The notification waits at most 290 s in all while the client is stopped:
// every wait of the library is given only what is left. Time a person spends
// in the credential dialog does not count.
TEST_F(Guards, TheNotificationEndsWithinFiveMinutes) {
    // Headers after 80 s, then one byte a second for 400 s: the body's own
    // limit (five minutes) alone would let it run to 380 s.
    net.answers = {Trickle(80000)};
    DWORD start = os.now;
    EXPECT_FALSE(::NotifyServer(view, Guid()));
    EXPECT_LE(os.now - start, 290000u);

    // A server that never answers: the send ends within its third.
    net.answers = {Slow(200, kFakeNever)};
    start = os.now;
    EXPECT_FALSE(::NotifyServer(view, Guid()));
    EXPECT_LE(os.now - start, 290000u / 3 + 1);

    // 90 s for a challenge, ten minutes in the dialog, 60 s for the answer
    // to the typed credentials: 150 s of waiting, in time.
    net.answers = {Slow(HTTP_STATUS_DENIED, 90000), Slow(200, 60000)};
    net.dialogs = {{ERROR_INTERNET_FORCE_RETRY, "admin", "pw", 600000}};
    view.statuses.clear();
    os.messageBoxes.clear();
    EXPECT_TRUE(::NotifyServer(view, Guid())) << Boxes()[0];
}

// A client whose settings name no program file gets no start-up entry: one
// naming its folder would be started at every logon and refused.
TEST_F(Guards, NoStartupEntryNamesAFolder) {
    os.profileFiles[kIni] = "[INI_CLIENT_SETUP_SECTION]\r\n"
                            "NT_RUN_KEY=Sentova NT Monitor\r\n";
    EXPECT_EQ(StartRegistered(), kExitCopyIncomplete);
    EXPECT_EQ(RunValue(kClientRunValue), "<missing>");
    EXPECT_EQ(RunValue(kOwnRunValue), "<missing>");
    EXPECT_NE(Log().find("\"Sentova NT Monitor\" is not written back: its settings name no "
                         "program file"),
              std::string::npos);
}

// The client's downtime: at most five minutes more than a person keeps the
// credential dialog open. Credentials typed after ten minutes get what is
// left of the notification's 290 s, not 290 s of their own.
TEST_F(Guards, LateCredentialsKeepTheClientStoppedNoLongerThanTheDialogAndFiveMinutes) {
    net.answers = {Slow(HTTP_STATUS_DENIED, 90000), Trickle(60000)};
    net.dialogs = {{ERROR_INTERNET_FORCE_RETRY, "admin", "pw", 600000}};
    DWORD stoppedAt = kFakeNever, startedAt = kFakeNever;
    os.onSleep = [&](DWORD now) {
        DWORD const state = os.services["hxlisten"].state;
        if (stoppedAt == kFakeNever && state == SERVICE_STOPPED)
            stoppedAt = now;
        else if (stoppedAt != kFakeNever && startedAt == kFakeNever && state == SERVICE_RUNNING)
            startedAt = now;
    };
    EXPECT_EQ(StartRegistered(), kExitServerNotTold);
    ASSERT_NE(startedAt, kFakeNever);
    EXPECT_LE(startedAt - stoppedAt, 600000u + 300000u);
    EXPECT_GT(startedAt - stoppedAt, 600000u + 200000u) << "the typed credentials were tried";
}
