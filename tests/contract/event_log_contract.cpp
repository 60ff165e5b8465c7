// The event log: any source name opens (registered or not), an event with
// its strings is taken, and a handle that is no source is refused.
#include "contract_test.h"

using namespace port;

namespace contract {
namespace {

using EventLogContract = ContractTest;

TEST_F(EventLogContract, AnUnregisteredSourceTakesAnEventWithItsStrings) {
    HANDLE const source = os.RegisterEventSourceA(nullptr, "Norvane contract test");
    ASSERT_NE(source, nullptr) << os.GetLastError();
    const char* strings[] = {"mode: copy", "exit code: 0", ""};
    EXPECT_TRUE(
        os.ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0x40000000u | 1000u, 3, strings));
    EXPECT_TRUE(os.ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0xC0000000u | 1001u, 0, nullptr));
    EXPECT_TRUE(os.DeregisterEventSource(source));
}

} // namespace
} // namespace contract
