// The boot-time service: the dispatcher, the control handler and the
// service's main function, around the application's run.
// The portable headers first: their constants share names with <windows.h>'s
// macros.
#include "app/norvane_app.h"
#include "app/service_win.h"
#include "common/report.h"
#include "reconfigure/boot_service.h"

#include <windows.h>

#include <string>

namespace {

CNorvaneApp* g_app = nullptr;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

void SetState(DWORD state, int exitCode) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    if (exitCode != 0) {
        status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
    }
    SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN)
        return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    // The run is cut here, as by a power cut: what it has written so far is
    // where the next start (or the next logon) goes on from.
    try {
        Report().Event(control == SERVICE_CONTROL_STOP
                           ? "The service is asked to stop: the run ends here"
                           : "Windows shuts down: the run ends here");
    } catch (...) {
    }
    SetState(SERVICE_STOPPED, kExitCopyNotFinished);
    ExitProcess(kExitCopyNotFinished);
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
