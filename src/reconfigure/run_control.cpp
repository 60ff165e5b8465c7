#include "reconfigure/run_control.h"

#include "common/report.h"
#include "reconfigure/reconfiguration.h"

#include <atomic>

using namespace port;

namespace {

std::atomic<const ReconfigurationData*> g_activeRun{nullptr};

} // namespace

DWORD ServiceControlsAccepted() {
    return SERVICE_ACCEPT_SHUTDOWN;
}

CActiveRun::CActiveRun(const ReconfigurationData& data) {
    g_activeRun = &data;
}

CActiveRun::~CActiveRun() {
    g_activeRun = nullptr;
}

int EndRunForControl(DWORD control) {
    bool const shutdown = control == SERVICE_CONTROL_SHUTDOWN;
    const ReconfigurationData* const run = g_activeRun.load();
    bool const changed = run && !run->m_stoppedServices.empty() && !run->m_bClientStarted;
    try {
        if (shutdown) {
            // The machine stops anyway; what the run has written so far is
            // where the next start goes on from, as after a power cut.
            Report().Event("Windows shuts down: the run ends here; the next start goes on");
        } else if (!changed) {
            Report().Event("The service is asked to stop while no client service is stopped "
                           "by this run: the run ends here");
        } else {
            // The service does not accept a stop while it runs: one that got
            // here was sent as the service started. The listener keeps the
            // rule of an unfinished run (not while the client has the
            // master's GUID).
            Report().Event("The service is asked to stop during the run: the client's services "
                           "start again first");
            ProtectClientAfter(*run);
        }
        Report().Fail(kExitCopyNotFinished);
        return Report().Finish();
    } catch (...) {
        return kExitCopyNotFinished;
    }
}
