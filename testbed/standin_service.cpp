// standin_service.exe: a real Windows service that stands in for each of the
// client's services (copied as hxlisten.exe and rtguard.exe). It registers
// under the name given as its first argument, or else under its own file name
// without the extension; it runs until the service control manager stops it.
// Started outside the service control manager it exits at once with code 1.
// A file "<name>.slow-start" beside it makes its next start slow: it is
// removed, and the process waits the milliseconds the file holds before it
// connects to the service control manager (a service starting on a starved
// machine).
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string g_name;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};
HANDLE g_stopEvent = nullptr;

void Report(DWORD state, DWORD waitHintMs = 0) {
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_status.dwWin32ExitCode = NO_ERROR;
    g_status.dwWaitHint = waitHintMs;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) {
        g_status.dwCheckPoint = 0;
    } else {
        ++g_status.dwCheckPoint;
    }
    SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Report(SERVICE_STOP_PENDING, 2000);
        SetEvent(g_stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        SetServiceStatus(g_statusHandle, &g_status);
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, char**) {
    g_statusHandle = RegisterServiceCtrlHandlerExA(g_name.c_str(), Handler, nullptr);
    if (!g_statusHandle) {
        return;
    }
    Report(SERVICE_START_PENDING, 2000);
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!g_stopEvent) {
        Report(SERVICE_STOPPED);
        return;
    }
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stopEvent, INFINITE);
    CloseHandle(g_stopEvent);
    Report(SERVICE_STOPPED);
}

std::string OwnBaseName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    size_t slash = s.find_last_of("\\/:");
    if (slash != std::string::npos) {
        s.erase(0, slash + 1);
    }
    size_t dot = s.rfind('.');
    if (dot != std::string::npos) {
        s.erase(dot);
    }
    return s;
}

// Past the service control manager's start limit, the start fails with 1053
// and the manager ends this process; the file is gone by then.
void SlowStartOnce() {
    char path[MAX_PATH] = {};
    DWORD const length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    std::string file = path;
    size_t const dot = file.rfind('.');
    if (dot != std::string::npos && dot > file.find_last_of("\\/")) {
        file.erase(dot);
    }
    file += ".slow-start";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    char text[16] = {};
    DWORD read = 0;
    ReadFile(h, text, sizeof text - 1, &read, nullptr);
    CloseHandle(h);
    DeleteFileA(file.c_str());
    Sleep(static_cast<DWORD>(strtoul(text, nullptr, 10)));
}

} // namespace

int main(int argc, char** argv) {
    g_name = argc > 1 ? argv[1] : OwnBaseName();
    SlowStartOnce();
    SERVICE_TABLE_ENTRYA table[] = {{g_name.data(), ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
