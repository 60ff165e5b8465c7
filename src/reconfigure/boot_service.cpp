#include "reconfigure/boot_service.h"

#include "common/handles.h"
#include "common/platform.h"
#include "common/report.h"
#include "common/syserror.h"
#include "common/text.h"
#include "reconfigure/service_control.h"

using namespace port;

std::string BootServiceCommand(const std::string& program, const std::string& identity) {
    return Format("\"%s\" \"/%s\" -HideWindow %s", program.c_str(), identity.c_str(),
                  kServiceOption);
}

void InstallBootService(const std::string& command) {
    Os& os = Sys();
    ScopedServiceHandle manager = OpenServiceManager();
    ScopedServiceHandle service(os.CreateServiceA(manager.get(), kBootServiceName,
                                                  kBootServiceDisplayName, SERVICE_ALL_ACCESS,
                                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                                  SERVICE_ERROR_NORMAL, command.c_str(), nullptr));
    if (!service) {
        if (os.GetLastError() != ERROR_SERVICE_EXISTS)
            ThrowLastError();
        // Left by an earlier preparation of this disk: made to run this one.
        service = OpenClientService(manager, kBootServiceName);
        if (!os.ChangeServiceConfigA(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                     SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr, kBootServiceDisplayName))
            ThrowLastError();
    }
    Report().Event(std::string("The service \"") + kBootServiceName +
                   "\" runs a copy's steps at its next start: " + command);
}

bool RemoveBootService() {
    Os& os = Sys();
    try {
        ScopedServiceHandle manager = OpenServiceManager();
        ScopedServiceHandle service(os.OpenServiceA(manager.get(), kBootServiceName, DELETE));
        if (!service) {
            DWORD const error = os.GetLastError();
            if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_SERVICE_MARKED_FOR_DELETE)
                return true;
            throw CSystemError(error);
        }
        if (!os.DeleteService(service.get()) &&
            os.GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
            ThrowLastError();
        Report().Event(std::string("The service \"") + kBootServiceName + "\" is removed");
        return true;
    } catch (const CSystemError& error) {
        Report().Event(std::string("The service \"") + kBootServiceName +
                       "\" could not be removed: " + error.GetErrorText());
        return false;
    }
}

BootServiceState QueryBootService() {
    Os& os = Sys();
    BootServiceState state;
    unique_schandle manager(os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return state;
    unique_schandle service(os.OpenServiceA(manager.get(), kBootServiceName, SERVICE_QUERY_STATUS));
    if (!service)
        return state;
    state.installed = true;
    SERVICE_STATUS status{};
    state.running =
        os.QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED;
    return state;
}
