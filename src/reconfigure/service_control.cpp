#include "reconfigure/service_control.h"

#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"

using namespace port;

namespace {
constexpr int kAttempts = 20;
constexpr DWORD kPause = 1000;
} // namespace

std::vector<std::string> ReadClientServiceFiles(const std::string& iniPath) {
    return {
        ReadIniString(kClientIniSection, kIniListenerServiceFile, kDefaultListenerServiceFile,
                      iniPath),
        ReadIniString(kClientIniSection, kIniRealTimeServiceFile, kDefaultRealTimeServiceFile,
                      iniPath),
    };
}

std::string ServiceNameFromFile(const std::string& file) {
    return SplitPath(file).fname;
}

ScopedServiceHandle OpenServiceManager() {
    ScopedServiceHandle manager(Sys().OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        ThrowLastError();
    return manager;
}

ScopedServiceHandle OpenClientService(const ScopedServiceHandle& manager, const std::string& name) {
    ScopedServiceHandle service(
        Sys().OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service)
        ThrowLastError();
    return service;
}

void SetServiceStartType(const ScopedServiceHandle& service, DWORD startType) {
    if (!Sys().ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        ThrowLastError();
}

ServiceStop StopServiceAndWait(const ScopedServiceHandle& service) {
    auto& os = Sys();
    bool requested = false;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        SERVICE_STATUS status{};
        if (!os.QueryServiceStatus(service.get(), &status))
            continue;
        if (status.dwCurrentState == SERVICE_STOPPED)
            return requested ? ServiceStop::Stopped : ServiceStop::AlreadyStopped;
        os.ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        requested = true;
        os.Sleep(kPause);
    }
    return ServiceStop::NotStopped;
}

void WaitServiceQueryable(const ScopedServiceHandle& service) {
    auto& os = Sys();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        SERVICE_STATUS status{};
        if (os.QueryServiceStatus(service.get(), &status))
            return;
        os.Sleep(kPause);
    }
}

bool WaitServiceRunning(const ScopedServiceHandle& service) {
    auto& os = Sys();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        SERVICE_STATUS status{};
        if (os.QueryServiceStatus(service.get(), &status) &&
            status.dwCurrentState == SERVICE_RUNNING)
            return true;
        os.Sleep(kPause);
    }
    return false;
}
