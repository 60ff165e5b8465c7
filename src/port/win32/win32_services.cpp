// Win32Os: the service control manager's calls.
#include "port/win32/win32_os.h"

#include <windows.h>

namespace port {

SC_HANDLE Win32Os::OpenSCManagerA(const char* machine, const char* database, DWORD access) {
    return As<SC_HANDLE>(::OpenSCManagerA(machine, database, access));
}

SC_HANDLE Win32Os::OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) {
    return As<SC_HANDLE>(::OpenServiceA(As<::SC_HANDLE>(manager), name, access));
}

BOOL Win32Os::QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
    return ::QueryServiceStatus(As<::SC_HANDLE>(service), As<::SERVICE_STATUS*>(status));
}

BOOL Win32Os::ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
    ::SERVICE_STATUS scratch;
    return ::ControlService(As<::SC_HANDLE>(service), control,
                            status ? As<::SERVICE_STATUS*>(status) : &scratch);
}

BOOL Win32Os::StartServiceA(SC_HANDLE service, DWORD argc, const char** argv) {
    return ::StartServiceA(As<::SC_HANDLE>(service), argc, const_cast<LPCSTR*>(argv));
}

BOOL Win32Os::ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                   DWORD errorControl, const char* binaryPath,
                                   const char* loadOrderGroup, DWORD* tagId,
                                   const char* dependencies, const char* account,
                                   const char* password, const char* displayName) {
    return ::ChangeServiceConfigA(As<::SC_HANDLE>(service), serviceType, startType, errorControl,
                                  binaryPath, loadOrderGroup, As<LPDWORD>(tagId), dependencies,
                                  account, password, displayName);
}

BOOL Win32Os::CloseServiceHandle(SC_HANDLE handle) {
    return ::CloseServiceHandle(As<::SC_HANDLE>(handle));
}

} // namespace port
