// A copy's client services on a slow machine: a start that runs past the
// service manager's limit is made again, a long start that shows progress
// is waited for, and only a service that never runs makes the run end with
// 7, its last error in the log.
#include "client_machine.h"

using namespace port;

namespace {

class SlowStarts : public ClientMachine {
protected:
    SlowStarts() {
        AsPrepared();
        // A copy: its adapter is not the master's.
        os.lanas = {{0, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}, true}};
        os.adapters = {{kIfTypeEthernet, {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01}}};
    }
    bool Logged(const std::string& text) { return Log().find(text) != std::string::npos; }
};

} // namespace

TEST_F(SlowStarts, AStartPastTheLimitIsMadeAgainAndTheCopyIsFinished) {
    os.services["hxlisten"].startTimeouts = 1;
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_EQ(os.services["hxlisten"].state, SERVICE_RUNNING);
    EXPECT_EQ(os.services["hxlisten"].startRequests, 2);
    EXPECT_TRUE(Logged("The client's service \"hxlisten\" did not start: (1053) ")) << Log();
    EXPECT_TRUE(Logged("The client's service \"hxlisten\" is running (started again)")) << Log();
}

TEST_F(SlowStarts, ALongStartThatShowsProgressIsWaitedForWithOneStart) {
    // 40 s of START_PENDING, its checkpoint up every 2 s within a 5 s hint:
    // far past the 20 attempts of a fixed wait.
    FakeService& listener = os.services["hxlisten"];
    listener.startDelayMs = 40000;
    listener.checkpointEveryMs = 2000;
    listener.waitHintMs = 5000;
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_EQ(listener.state, SERVICE_RUNNING);
    EXPECT_EQ(listener.startRequests, 1);

    // A longer start fits where the service manager's own limit is longer.
    os.SetString(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "ServicesPipeTimeout",
                 "120000");
    AsPrepared();
    listener.startDelayMs = 100000;
    EXPECT_EQ(StartRegistered(), kExitDone);
    EXPECT_EQ(listener.startRequests, 2);
}

TEST_F(SlowStarts, AServiceThatNeverStartsEndsTheRunWithItsLastError) {
    os.services["hxlisten"].startTimeouts = 100;
    DWORD const before = os.now;
    EXPECT_EQ(StartRegistered(), kExitCopyIncomplete);
    EXPECT_EQ(os.services["hxlisten"].startRequests, 3) << "a bounded number of starts";
    EXPECT_EQ(os.services["hxlisten"].state, SERVICE_STOPPED);
    EXPECT_TRUE(Logged("The client's service \"hxlisten\" did not start: (1053) ")) << Log();
    EXPECT_LT(os.now - before, 10u * 60 * 1000) << "bounded";
    EXPECT_EQ(os.services["rtguard"].state, SERVICE_RUNNING) << "the next one is started still";
}

TEST_F(SlowStarts, ADisabledServiceIsNotStartedAgain) {
    os.services["rtguard"].startType = SERVICE_DISABLED;
    EXPECT_EQ(StartRegistered(), kExitCopyIncomplete);
    EXPECT_EQ(os.services["rtguard"].startRequests, 1);
    EXPECT_TRUE(Logged("The client's service \"rtguard\" did not start: (1058) ")) << Log();
    EXPECT_EQ(Outcome("LastResult"), "7");
}
