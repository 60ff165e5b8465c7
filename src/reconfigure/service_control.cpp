#include "reconfigure/service_control.h"

#include "common/handles.h"
#include "common/registry.h"
#include "common/report.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"

#include <algorithm>
#include <cstdlib>

using namespace port;

namespace {
constexpr int kAttempts = 20;
constexpr DWORD kPause = 1000;
// A start's wait beyond the service manager's start limit, and the least a
// starting service is given to show progress: the 20 attempts of old.
constexpr DWORD kRunningWaitMs = kAttempts * kPause;
constexpr int kStarts = 3;
constexpr DWORD kDefaultStartLimitMs = 30000;
constexpr DWORD kLeastStartLimitMs = 1000;
constexpr DWORD kMostStartLimitMs = 600000;
constexpr DWORD kNeverStarted = 1077; // the exit code of a service not started since boot
constexpr const char* kControlKey = "SYSTEM\\CurrentControlSet\\Control";

// Errors a second StartServiceA cannot mend.
bool IsFinalStartError(DWORD error) {
    return error == ERROR_SERVICE_DISABLED || error == ERROR_SERVICE_DOES_NOT_EXIST ||
           error == ERROR_SERVICE_MARKED_FOR_DELETE || error == ERROR_ACCESS_DENIED;
}
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
        // A failing query pauses like any other attempt: the service manager
        // of a starved machine may answer the next one.
        if (!os.QueryServiceStatus(service.get(), &status)) {
            os.Sleep(kPause);
            continue;
        }
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

DWORD ServiceStartLimitMs() {
    unique_hkey key;
    if (Sys().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kControlKey, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return kDefaultStartLimitMs;
    DWORD type = 0;
    DWORD size = 0;
    if (Sys().RegQueryValueExA(key.get(), "ServicesPipeTimeout", nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return kDefaultStartLimitMs;
    unsigned long limit = 0;
    if (type == REG_DWORD) {
        limit = ReadRegDword(key.get(), "ServicesPipeTimeout");
    } else {
        std::string const text = ReadRegString(key.get(), "ServicesPipeTimeout");
        char* end = nullptr;
        limit = std::strtoul(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0')
            return kDefaultStartLimitMs;
    }
    if (limit == 0)
        return kDefaultStartLimitMs;
    return static_cast<DWORD>(
        std::clamp<unsigned long>(limit, kLeastStartLimitMs, kMostStartLimitMs));
}

StartWait WaitServiceRunning(const ScopedServiceHandle& service, DWORD startedAt, DWORD limitMs,
                             std::string* why) {
    auto& os = Sys();
    DWORD progressAt = os.GetTickCount();
    DWORD state = 0;
    DWORD checkpoint = 0;
    DWORD hint = 0;
    for (;;) {
        SERVICE_STATUS status{};
        if (os.QueryServiceStatus(service.get(), &status)) {
            if (status.dwCurrentState == SERVICE_RUNNING)
                return StartWait::Running;
            if (status.dwCurrentState == SERVICE_STOPPED) {
                DWORD const code = status.dwWin32ExitCode;
                *why = code != 0 && code != kNeverStarted ? "it stopped: " + ErrorLine(code)
                                                          : "it is stopped";
                return StartWait::Stopped;
            }
            // A state change or an advanced checkpoint is progress.
            if (status.dwCurrentState != state || status.dwCheckPoint != checkpoint)
                progressAt = os.GetTickCount();
            state = status.dwCurrentState;
            checkpoint = status.dwCheckPoint;
            hint = status.dwWaitHint;
            *why =
                Format("it is still starting (state %lu, checkpoint %lu)",
                       static_cast<unsigned long>(state), static_cast<unsigned long>(checkpoint));
        } else {
            *why = "its state cannot be read: " + ErrorLine(os.GetLastError());
        }
        DWORD const now = os.GetTickCount();
        if (now - startedAt >= limitMs + kRunningWaitMs ||
            now - progressAt >= std::max(hint, kRunningWaitMs))
            return StartWait::GaveUp;
        os.Sleep(kPause);
    }
}

ServiceStartOutcome StartServiceAndWait(const ScopedServiceHandle& service, const std::string& name,
                                        const std::function<void()>& afterFirstStart) {
    auto& os = Sys();
    DWORD const limit = ServiceStartLimitMs();
    ServiceStartOutcome outcome;
    std::string const quoted = "The client's service \"" + name + "\"";
    for (;;) {
        DWORD const startedAt = os.GetTickCount();
        bool const accepted = os.StartServiceA(service.get(), 0, nullptr) != FALSE;
        DWORD const error = accepted ? 0 : os.GetLastError();
        ++outcome.starts;
        if (outcome.starts == 1 && afterFirstStart)
            afterFirstStart();
        if (!accepted && error != ERROR_SERVICE_ALREADY_RUNNING) {
            outcome.why = ErrorLine(error);
            Report().Event(quoted + " did not start: " + outcome.why);
            if (IsFinalStartError(error))
                return outcome;
        }
        std::string why;
        StartWait const wait = WaitServiceRunning(service, startedAt, limit, &why);
        if (wait == StartWait::Running) {
            outcome.running = true;
            return outcome;
        }
        // After a failed start the service's own state says no more than
        // the error did.
        if (accepted || error == ERROR_SERVICE_ALREADY_RUNNING || wait != StartWait::Stopped)
            outcome.why = why;
        if (wait == StartWait::GaveUp || outcome.starts >= kStarts)
            return outcome;
        Report().Event(quoted + " is not running (" + why + "): it is started again");
    }
}
