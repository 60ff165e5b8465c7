// Service control manager: handles, the missing-service error, a service
// marked for deletion, a real stand-in service taken through stop, start
// and a start-type change, and what a standard user's token may open.
#include "contract_test.h"

using namespace port;

namespace contract {
namespace {

class ServiceContract : public ContractTest {
protected:
    // Polls (through the port's Sleep, virtual on the fake) until the service
    // reports the state; returns the last state seen.
    DWORD WaitForState(SC_HANDLE service, DWORD wanted) {
        SERVICE_STATUS status{};
        for (int i = 0; i < 100; ++i) {
            if (!os.QueryServiceStatus(service, &status)) {
                ADD_FAILURE() << "QueryServiceStatus failed: " << os.GetLastError();
                return 0;
            }
            if (status.dwCurrentState == wanted)
                break;
            os.Sleep(100);
        }
        return status.dwCurrentState;
    }
};

TEST_F(ServiceContract, MissingServiceFailsWithDoesNotExist) {
    SC_HANDLE manager = os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr) << os.GetLastError();
    os.SetLastError(0);
    EXPECT_EQ(os.OpenServiceA(manager, "NorvaneNoSuchService", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_TRUE(os.CloseServiceHandle(manager));
}

TEST_F(ServiceContract, StandinStopsStartsAndChangesOnlyItsStartType) {
    std::string name = env->StandinService();
    if (name.empty())
        GTEST_SKIP() << "no stand-in service installed (NORVANE_STANDIN_SERVICE)";
    SC_HANDLE manager = os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service = os.OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
    ASSERT_NE(service, nullptr) << os.GetLastError();

    SERVICE_STATUS status{};
    ASSERT_TRUE(os.QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);

    // Stopping a stopped service is refused.
    EXPECT_FALSE(os.ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(os.GetLastError(), ERROR_SERVICE_NOT_ACTIVE);

    EXPECT_FALSE(os.ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
    EXPECT_EQ(os.GetLastError(), ERROR_SERVICE_NOT_ACTIVE);

    ASSERT_TRUE(os.StartServiceA(service, 0, nullptr)) << os.GetLastError();
    EXPECT_FALSE(os.StartServiceA(service, 0, nullptr));
    EXPECT_EQ(os.GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);
    EXPECT_EQ(WaitForState(service, SERVICE_RUNNING), SERVICE_RUNNING);
    status = SERVICE_STATUS{};
    EXPECT_TRUE(os.ControlService(service, SERVICE_CONTROL_INTERROGATE, &status))
        << os.GetLastError();
    EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);

    ASSERT_TRUE(os.ControlService(service, SERVICE_CONTROL_STOP, &status)) << os.GetLastError();
    EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING ||
                status.dwCurrentState == SERVICE_STOPPED)
        << status.dwCurrentState;
    EXPECT_EQ(WaitForState(service, SERVICE_STOPPED), SERVICE_STOPPED);
    EXPECT_FALSE(os.ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(os.GetLastError(), ERROR_SERVICE_NOT_ACTIVE);

    const auto before = env->ServiceConfiguration(name);
    ASSERT_EQ(before.startType, SERVICE_DEMAND_START);
    EXPECT_FALSE(before.binaryPath.empty());
    EXPECT_TRUE(os.ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_DISABLED,
                                        SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr))
        << os.GetLastError();
    auto disabled = before;
    disabled.startType = SERVICE_DISABLED;
    EXPECT_EQ(env->ServiceConfiguration(name), disabled) << "only the start type changes";
    EXPECT_FALSE(os.StartServiceA(service, 0, nullptr));
    EXPECT_EQ(os.GetLastError(), ERROR_SERVICE_DISABLED);
    EXPECT_TRUE(os.ChangeServiceConfigA(service, SERVICE_NO_CHANGE, before.startType,
                                        SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr));
    EXPECT_EQ(env->ServiceConfiguration(name), before);

    EXPECT_TRUE(os.CloseServiceHandle(service));
    EXPECT_TRUE(os.CloseServiceHandle(manager));
}

TEST_F(ServiceContract, HandleCarriesOnlyTheRightsAskedFor) {
    std::string name = env->StandinService();
    if (name.empty())
        GTEST_SKIP() << "no stand-in service installed (NORVANE_STANDIN_SERVICE)";
    SC_HANDLE manager = os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service = os.OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
    ASSERT_NE(service, nullptr) << os.GetLastError();
    SERVICE_STATUS status{};
    EXPECT_TRUE(os.QueryServiceStatus(service, &status));
    EXPECT_FALSE(os.StartServiceA(service, 0, nullptr));
    EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(os.ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                                         SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr));
    EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(os.CloseServiceHandle(service));
    EXPECT_TRUE(os.CloseServiceHandle(manager));

    // A standard user's token (on the side that can make one) may connect
    // and ask about a service, and ask for no more.
    if (env->UseStandardUserToken()) {
        EXPECT_EQ(os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
        EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
        manager = os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        ASSERT_NE(manager, nullptr) << os.GetLastError();
        EXPECT_EQ(os.OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS), nullptr);
        EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
        service = os.OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
        ASSERT_NE(service, nullptr) << os.GetLastError();
        EXPECT_TRUE(os.CloseServiceHandle(service));
        EXPECT_TRUE(os.CloseServiceHandle(manager));
    }
}

// A service marked for deletion still opens while a handle holds it; only
// deleting it again says so. It goes with its last handle.
TEST_F(ServiceContract, AServiceMarkedForDeletionOpensUntilItsLastHandleCloses) {
    const char* const name = "NorvaneContractDeleted";
    SC_HANDLE manager = os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE created = os.CreateServiceA(manager, name, "Norvane contract", SERVICE_ALL_ACCESS,
                                          SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                          SERVICE_ERROR_NORMAL, "C:\\nowhere\\none.exe", nullptr);
    ASSERT_NE(created, nullptr) << os.GetLastError();
    EXPECT_TRUE(os.DeleteService(created)) << os.GetLastError();
    SC_HANDLE again = os.OpenServiceA(manager, name, DELETE);
    ASSERT_NE(again, nullptr) << os.GetLastError();
    EXPECT_FALSE(os.DeleteService(again));
    EXPECT_EQ(os.GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_TRUE(os.CloseServiceHandle(again));
    EXPECT_TRUE(os.CloseServiceHandle(created));
    os.SetLastError(0);
    EXPECT_EQ(os.OpenServiceA(manager, name, DELETE), nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_TRUE(os.CloseServiceHandle(manager));
}

TEST_F(ServiceContract, ClosedHandleIsNoLongerValid) {
    SC_HANDLE manager = os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    EXPECT_TRUE(os.CloseServiceHandle(manager));
    EXPECT_FALSE(os.CloseServiceHandle(manager));
    EXPECT_EQ(os.GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
} // namespace contract
