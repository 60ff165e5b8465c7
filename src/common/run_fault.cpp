#include "common/run_fault.h"

#include "common/report.h"
#include "common/syserror.h"

#include <csignal>
#include <cstdlib>
#include <exception>
#include <string>

void EndRunAtUncaughtFault() {
    std::set_terminate([] {
        std::string fault = "an error that nothing caught";
        if (std::current_exception()) {
            try {
                fault = DescribeCurrentException();
            } catch (...) {
            }
        }
        std::_Exit(Report().FinishAfterFault(fault));
    });
    // The runtime's abort (its own, or a library's) asks nobody either.
    std::signal(SIGABRT, [](int) { std::_Exit(Report().FinishAfterFault("the program aborted")); });
}
