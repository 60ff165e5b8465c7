// The boot-time service: the dispatcher, the control handler and the
// service's main function, around the application's run.
// The portable headers first: their constants share names with <windows.h>'s
// macros.
#include "app/norvane_app.h"
#include "app/service_win.h"
#include "common/report.h"
#include "reconfigure/boot_service.h"
#include "reconfigure/run_control.h"

#include <windows.h>

#include <string>

namespace {

CNorvaneApp* g_app = nullptr;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

void SetState(DWORD state, int exitCode) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? ServiceControlsAccepted() : 0;
    if (exitCode != 0) {
        status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
    }
    SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN)
        return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    // What the run owes the machine is decided in portable code; the run
    // then ends here, as the process does.
    int const code = EndRunForControl(control);
    SetState(SERVICE_STOPPED, code);
    ExitProcess(static_cast<UINT>(code));
}

void WINAPI ServiceMain(DWORD, char**) {
    g_statusHandle = RegisterServiceCtrlHandlerExA(kBootServiceName, &ControlHandler, nullptr);
    if (!g_statusHandle)
        return;
    SetState(SERVICE_RUNNING, 0);
    try {
        g_app->m_bRunAsService = true;
        g_app->InitInstance();
    } catch (...) {
        g_app->m_nExitCode = kExitUnexpectedError;
    }
    SetState(SERVICE_STOPPED, g_app->m_nExitCode);
}

} // namespace

bool RunAsBootService(CNorvaneApp& app) {
    g_app = &app;
    std::string name = kBootServiceName;
    SERVICE_TABLE_ENTRYA const table[] = {{name.data(), &ServiceMain}, {nullptr, nullptr}};
    // Returns once the service has stopped; fails at once in a process that
    // the service control manager did not start.
    return StartServiceCtrlDispatcherA(table) != FALSE;
}
