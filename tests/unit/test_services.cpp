// Service control: naming, opening, bounded waits in virtual time, and
// handles released on every path.
#include "common/syserror.h"
#include "fake_system.h"
#include "reconfigure/service_control.h"

using namespace port;

class Services : public FakeSystemTest {
protected:
    Services() {
        os.services["hxlisten"].displayName = "Sentova Listener";
        os.services["hxlisten"].binaryPath = "C:\\Sentova NT\\hxlisten.exe";
        os.services["hxlisten"].account = ".\\svc_sentova";
        os.services["hxlisten"].dependencies = std::string("rtguard\0\0", 9);
    }
    DWORD SleptMs() const {
        DWORD total = 0;
        for (DWORD s : os.sleeps)
            total += s;
        return total;
    }
    template <class F> void WithService(const char* name, F action) {
        ScopedServiceHandle manager = OpenServiceManager();
        ScopedServiceHandle service = OpenClientService(manager, name);
        action(service);
    }
};

TEST(ServiceNames, AreTheBareFileNames) {
    // Splitting asks the code page for lead bytes: a bare port answers.
    FakeOs os;
    SetSys(&os);
    EXPECT_EQ(ServiceNameFromFile("hxlisten.exe"), "hxlisten");
    EXPECT_EQ(ServiceNameFromFile("C:\\Program Files\\Halvex\\Sentova NT\\hxlisten.exe"),
              "hxlisten");
    EXPECT_EQ(ServiceNameFromFile("D:/x.y/rtguard"), "rtguard");
    EXPECT_EQ(ServiceNameFromFile("svc.v2.exe"), "svc.v2");
    SetSys(nullptr);
}

TEST_F(Services, ServiceFilesComeFromTheIniFileOrTheDefaults) {
    EXPECT_EQ(ReadClientServiceFiles("C:\\none\\Wdlscan.ini"),
              (std::vector<std::string>{"hxlisten.exe", "rtguard.exe"}));
    os.profileFiles["C:\\c\\Wdlscan.ini"] =
        "[INI_CLIENT_SETUP_SECTION]\r\nNT_REAL_TIME_SERVICE_FILENAME=rt2.exe\r\n";
    EXPECT_EQ(ReadClientServiceFiles("C:\\c\\Wdlscan.ini"),
              (std::vector<std::string>{"hxlisten.exe", "rt2.exe"}));
}

TEST_F(Services, MissingServiceRaisesItsCodeAndClosesTheManager) {
    try {
        WithService("absent", [](auto&) {});
        FAIL() << "no exception";
    } catch (const CSystemError& e) {
        EXPECT_EQ(e.Code(), ERROR_SERVICE_DOES_NOT_EXIST);
    }
    os.scmAccessDenied = true;
    try {
        OpenServiceManager();
        FAIL() << "no exception";
    } catch (const CSystemError& e) {
        EXPECT_EQ(e.Code(), ERROR_ACCESS_DENIED);
    }
}

TEST_F(Services, StartTypeChangeTouchesNothingElse) {
    FakeService before = os.services["hxlisten"];
    WithService("hxlisten", [](auto& s) { SetServiceStartType(s, SERVICE_DEMAND_START); });
    const FakeService& after = os.services["hxlisten"];
    EXPECT_EQ(after.startType, SERVICE_DEMAND_START);
    EXPECT_EQ(after.binaryPath, before.binaryPath);
    EXPECT_EQ(after.account, before.account);
    EXPECT_EQ(after.dependencies, before.dependencies);
    EXPECT_EQ(after.displayName, before.displayName);
    EXPECT_EQ(after.errorControl, before.errorControl);
    EXPECT_EQ(after.serviceType, before.serviceType);
    EXPECT_EQ(after.state, before.state);
}

TEST_F(Services, FailedStartTypeChangeRaisesAndReleasesBothHandles) {
    os.services["hxlisten"].changeConfigError = ERROR_ACCESS_DENIED;
    EXPECT_THROW(
        WithService("hxlisten", [](auto& s) { SetServiceStartType(s, SERVICE_AUTO_START); }),
        CSystemError);
    // TearDown checks that nothing is left open.
}

TEST_F(Services, StopIsRepeatedUntilTheServiceReportsStopped) {
    os.services["hxlisten"].stopDelayMs = 2500;
    WithService("hxlisten", [](auto& s) { StopServiceAndWait(s); });
    EXPECT_EQ(os.services["hxlisten"].state, SERVICE_STOPPED);
    EXPECT_EQ(os.services["hxlisten"].stopRequests, 3);
    EXPECT_EQ(SleptMs(), 3000u);
}

TEST_F(Services, AStoppedServiceGetsNoStopRequest) {
    os.services["hxlisten"].state = SERVICE_STOPPED;
    WithService("hxlisten", [](auto& s) { StopServiceAndWait(s); });
    EXPECT_EQ(os.services["hxlisten"].stopRequests, 0);
    EXPECT_TRUE(os.sleeps.empty());
}

TEST_F(Services, StopGivesUpAfterTwentyAttempts) {
    os.services["hxlisten"].ignoresStop = true;
    WithService("hxlisten", [](auto& s) { StopServiceAndWait(s); });
    EXPECT_EQ(os.services["hxlisten"].stopRequests, 20);
    EXPECT_EQ(SleptMs(), 20000u);
    EXPECT_EQ(os.services["hxlisten"].state, SERVICE_RUNNING);
}

// The service manager of a starved machine may answer the next query.
TEST_F(Services, AFailingStatusQueryPausesLikeAnyOtherStopAttempt) {
    os.services["hxlisten"].failingQueries = -1;
    WithService("hxlisten",
                [](auto& s) { EXPECT_EQ(StopServiceAndWait(s), ServiceStop::NotStopped); });
    EXPECT_EQ(os.services["hxlisten"].queries, 20);
    EXPECT_EQ(os.services["hxlisten"].stopRequests, 0);
    EXPECT_EQ(SleptMs(), 20000u);

    os.sleeps.clear();
    os.services["hxlisten"].failingQueries = 3;
    WithService("hxlisten",
                [](auto& s) { EXPECT_EQ(StopServiceAndWait(s), ServiceStop::Stopped); });
    EXPECT_EQ(os.services["hxlisten"].state, SERVICE_STOPPED);
    EXPECT_EQ(SleptMs(), 4000u);
}

TEST_F(Services, WaitsForQueryableAndRunningAreBounded) {
    os.services["hxlisten"].failingQueries = -1;
    WithService("hxlisten", [](auto& s) { WaitServiceQueryable(s); });
    EXPECT_EQ(SleptMs(), 20000u);
    os.sleeps.clear();
    WithService("hxlisten", [this](auto& s) {
        std::string why;
        EXPECT_EQ(WaitServiceRunning(s, os.GetTickCount(), 30000, &why), StartWait::GaveUp);
        EXPECT_NE(why.find("(6) "), std::string::npos) << why;
    });
    EXPECT_EQ(SleptMs(), 20000u);

    os.sleeps.clear();
    os.services["hxlisten"].failingQueries = 2;
    WithService("hxlisten", [](auto& s) { WaitServiceQueryable(s); });
    EXPECT_EQ(SleptMs(), 2000u);
}

TEST_F(Services, WaitRunningReturnsOnceTheStartCompletes) {
    auto& svc = os.services["hxlisten"];
    svc.state = SERVICE_STOPPED;
    svc.startDelayMs = 4500;
    WithService("hxlisten", [this](auto& s) {
        DWORD const startedAt = os.GetTickCount();
        ASSERT_TRUE(os.StartServiceA(s.get(), 0, nullptr));
        std::string why;
        EXPECT_EQ(WaitServiceRunning(s, startedAt, 30000, &why), StartWait::Running);
    });
    EXPECT_EQ(svc.state, SERVICE_RUNNING);
    EXPECT_EQ(SleptMs(), 5000u);
}

// Windows keeps the start limit as a number, Wine as a text; anything else
// is the default.
TEST_F(Services, TheStartLimitIsTheServiceManagersOwn) {
    const char* control = "SYSTEM\\CurrentControlSet\\Control";
    EXPECT_EQ(ServiceStartLimitMs(), 30000u);
    os.SetDword(HKEY_LOCAL_MACHINE, control, "ServicesPipeTimeout", 60000);
    EXPECT_EQ(ServiceStartLimitMs(), 60000u);
    os.SetString(HKEY_LOCAL_MACHINE, control, "ServicesPipeTimeout", "45000");
    EXPECT_EQ(ServiceStartLimitMs(), 45000u);
    os.SetString(HKEY_LOCAL_MACHINE, control, "ServicesPipeTimeout", "45 s");
    EXPECT_EQ(ServiceStartLimitMs(), 30000u);
    os.SetDword(HKEY_LOCAL_MACHINE, control, "ServicesPipeTimeout", 0xFFFFFFFF);
    EXPECT_EQ(ServiceStartLimitMs(), 600000u) << "every wait stays bounded";
}
