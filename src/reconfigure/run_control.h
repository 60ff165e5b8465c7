// The boot-time service's run as the service's control handler sees it. A
// stop in the middle of a copy's run would cut it between stopping the
// client's services and starting them again, so while it runs the service
// accepts only the system's shutdown; a stop that comes all the same starts
// the client's services again before the run ends. Portable: the handler
// (app/service_win.cpp) forwards every control here.
#pragma once

#include "common/progress_view.h"
#include "port/port.h"

// The controls the service accepts while it runs (SERVICE_ACCEPT_*).
port::DWORD ServiceControlsAccepted();

// While one lives, the copy's steps of this process run with data; the
// control handler reads it to learn what the run has done to the client.
class CActiveRun {
public:
    explicit CActiveRun(const ReconfigurationData& data);
    ~CActiveRun();
    CActiveRun(const CActiveRun&) = delete;
    CActiveRun& operator=(const CActiveRun&) = delete;
};

// The answer to a stop or to the shutdown (SERVICE_CONTROL_*): records why
// the run ends here and, unless the machine is shutting down, first starts
// again the client's services this run stopped, as a run that ends before
// its restore does. Waits for nobody. Returns the exit code the service
// ends with; the caller ends the process.
int EndRunForControl(port::DWORD control);
