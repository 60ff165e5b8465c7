// The worker thread's sequence.
#include "app/worker.h"

void RunReconfigurationSteps(ProgressView& /*view*/, ReconfigurationData& /*data*/) {}

unsigned RunWorkerSequence(ProgressView* view, ReconfigurationData& data,
                           const WorkerSteps& steps) {
    if (!view)
        return 0;
    try {
        if (steps)
            steps(*view, data);
    } catch (...) {
        // The steps report their own failures; whatever still escapes must
        // not keep the dialog open for ever.
    }
    view->Done();
    return 0;
}
