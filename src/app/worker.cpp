// The worker thread's sequence.
#include "app/worker.h"

#include "common/message_box.h"
#include "common/report.h"
#include "common/syserror.h"
#include "reconfigure/reconfiguration.h"

#include <atomic>

void RunReconfigurationSteps(ProgressView& view, ReconfigurationData& data) {
    CReconfiguration(view, data).Run();
}

namespace {
std::atomic<unsigned> g_sequencesBegun{0};

// Each step shows its own failures; this is for what no step expected. The
// administrator learns that the copy was not finished, and the utility stays
// registered unless its restore had already run.
void ReportUnexpectedFailure(ProgressView& view) noexcept {
    try {
        std::string const text = "The reconfiguration stopped because of an unexpected error:\n" +
                                 DescribeCurrentException();
        Report().Fail(kExitUnexpectedError);
        (void)ViewMessageBox(view, text, AfxGetAppName(), port::MB_ICONERROR);
    } catch (...) {
        // Not even the box could be shown; the dialog still has to end.
    }
}
} // namespace

unsigned RunWorkerSequence(ProgressView* view, ReconfigurationData& data,
                           const WorkerSteps& steps) {
    if (!view)
        return 0;
    ++g_sequencesBegun;
    try {
        if (steps)
            steps(*view, data);
    } catch (...) {
        ReportUnexpectedFailure(*view);
    }
    view->Done();
    return 0;
}

unsigned WorkerSequencesBegun() {
    return g_sequencesBegun.load();
}
