// FakeOs: the service control manager. A stop or start moves a service into
// its pending state; the state completes once the virtual clock has passed
// the service's scripted delay, as a real service reports it.
#include "port/fake/fake_os.h"

namespace port {

void FakeOs::SettleService(FakeService& s) {
    if (now < s.pendingUntil)
        return;
    if (s.state == SERVICE_STOP_PENDING)
        s.state = SERVICE_STOPPED;
    else if (s.state == SERVICE_START_PENDING)
        s.state = SERVICE_RUNNING;
}

FakeService* FakeOs::ServiceOf(SC_HANDLE handle, DWORD right, DWORD* error) {
    auto it = m_services.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_services.end() || it->second.manager) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if ((it->second.access & right) != right) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    auto s = services.find(it->second.name);
    if (s == services.end()) {
        *error = ERROR_SERVICE_DOES_NOT_EXIST;
        return nullptr;
    }
    SettleService(s->second);
    return &s->second;
}

SC_HANDLE FakeOs::OpenSCManagerA(const char*, const char*, DWORD access) {
    // A token without full administrator rights may connect, list the
    // services and ask about the lock (and read the manager's security).
    constexpr DWORD kAnyUser = SC_MANAGER_CONNECT | 0x0004 /* ENUMERATE_SERVICE */ |
                               0x0010 /* QUERY_LOCK_STATUS */ | 0x20000 /* READ_CONTROL */;
    if (scmAccessDenied || (!FullAdministrator() && (access & ~kAnyUser))) {
        m_lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    auto h = NextHandle();
    m_services[h] = {true, {}, SC_MANAGER_ALL_ACCESS};
    return reinterpret_cast<SC_HANDLE>(h);
}

SC_HANDLE FakeOs::OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) {
    auto m = m_services.find(reinterpret_cast<std::uintptr_t>(manager));
    if (m == m_services.end() || !m->second.manager) {
        m_lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    auto s = services.find(name ? name : "");
    if (s == services.end()) {
        m_lastError = ERROR_SERVICE_DOES_NOT_EXIST;
        return nullptr;
    }
    // A service marked for deletion still opens, as on Windows and Wine:
    // DeleteService and CreateServiceA say so.
    // The default DACL of a service lets any user ask about it, nothing more.
    constexpr DWORD kAnyUser = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                               0x0008 /* ENUMERATE_DEPENDENTS */ | 0x0080 /* INTERROGATE */ |
                               0x0100 /* USER_DEFINED_CONTROL */ | 0x20000 /* READ_CONTROL */;
    if (s->second.openDenied || (!FullAdministrator() && (access & ~kAnyUser))) {
        m_lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    auto h = NextHandle();
    m_services[h] = {false, s->first, access};
    return reinterpret_cast<SC_HANDLE>(h);
}

BOOL FakeOs::QueryServiceStatus(SC_HANDLE handle, SERVICE_STATUS* status) {
    DWORD error = 0;
    FakeService* s = ServiceOf(handle, SERVICE_QUERY_STATUS, &error);
    if (!s) {
        m_lastError = error;
        return FALSE;
    }
    ++s->queries;
    if (s->failingQueries != 0) {
        if (s->failingQueries > 0)
            --s->failingQueries;
        m_lastError = s->queryError;
        return FALSE;
    }
    *status = SERVICE_STATUS{};
    status->dwServiceType = s->serviceType;
    status->dwCurrentState = s->state;
    status->dwControlsAccepted = s->state == SERVICE_RUNNING ? 1u /*ACCEPT_STOP*/ : 0u;
    if (s->state == SERVICE_START_PENDING) {
        status->dwWaitHint = s->waitHintMs;
        if (s->checkpointEveryMs != 0)
            status->dwCheckPoint = (now - s->pendingSince) / s->checkpointEveryMs;
    }
    return TRUE;
}

BOOL FakeOs::ControlService(SC_HANDLE handle, DWORD control, SERVICE_STATUS* status) {
    if (control == SERVICE_CONTROL_STOP && !BeginStateChange("ControlService")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    DWORD error = 0;
    constexpr DWORD kInterrogateRight = 0x0080; // SERVICE_INTERROGATE
    DWORD right = control == SERVICE_CONTROL_STOP          ? SERVICE_STOP
                  : control == SERVICE_CONTROL_INTERROGATE ? kInterrogateRight
                                                           : 0;
    FakeService* s = ServiceOf(handle, right, &error);
    if (!s) {
        m_lastError = error;
        return FALSE;
    }
    if (control == SERVICE_CONTROL_INTERROGATE) {
        // Asks the running service for its state; a stopped one cannot answer.
        if (s->state == SERVICE_STOPPED) {
            m_lastError = ERROR_SERVICE_NOT_ACTIVE;
            return FALSE;
        }
        if (status) {
            *status = SERVICE_STATUS{};
            status->dwServiceType = s->serviceType;
            status->dwCurrentState = s->state;
            status->dwControlsAccepted = s->state == SERVICE_RUNNING ? 1u /*ACCEPT_STOP*/ : 0u;
        }
        return TRUE;
    }
    if (control != SERVICE_CONTROL_STOP) {
        m_lastError = ERROR_INVALID_SERVICE_CONTROL;
        return FALSE;
    }
    ++s->stopRequests;
    if (s->state == SERVICE_STOPPED) {
        m_lastError = ERROR_SERVICE_NOT_ACTIVE;
        return FALSE;
    }
    if (s->state != SERVICE_RUNNING) {
        m_lastError = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        return FALSE;
    }
    if (!s->ignoresStop) {
        s->state = SERVICE_STOP_PENDING;
        s->pendingUntil = now + s->stopDelayMs;
        SettleService(*s);
    }
    if (status) {
        *status = SERVICE_STATUS{};
        status->dwServiceType = s->serviceType;
        status->dwCurrentState = s->state;
    }
    return TRUE;
}

BOOL FakeOs::StartServiceA(SC_HANDLE handle, DWORD, const char**) {
    if (!BeginStateChange("StartServiceA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    DWORD error = 0;
    FakeService* s = ServiceOf(handle, SERVICE_START, &error);
    if (!s) {
        m_lastError = error;
        return FALSE;
    }
    ++s->startRequests;
    if (s->startType == SERVICE_DISABLED) {
        m_lastError = ERROR_SERVICE_DISABLED;
        return FALSE;
    }
    if (s->state != SERVICE_STOPPED) {
        m_lastError = ERROR_SERVICE_ALREADY_RUNNING;
        return FALSE;
    }
    if (s->startTimeouts > 0) {
        --s->startTimeouts;
        now += serviceStartLimitMs;
        m_lastError = ERROR_SERVICE_REQUEST_TIMEOUT;
        return FALSE;
    }
    s->state = SERVICE_START_PENDING;
    s->pendingSince = now;
    s->pendingUntil = now + s->startDelayMs;
    SettleService(*s);
    return TRUE;
}

BOOL FakeOs::ChangeServiceConfigA(SC_HANDLE handle, DWORD serviceType, DWORD startType,
                                  DWORD errorControl, const char* binaryPath,
                                  const char* loadOrderGroup, DWORD*, const char* dependencies,
                                  const char* account, const char*, const char* displayName) {
    if (!BeginStateChange("ChangeServiceConfigA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    DWORD error = 0;
    FakeService* s = ServiceOf(handle, SERVICE_CHANGE_CONFIG, &error);
    if (!s) {
        m_lastError = error;
        return FALSE;
    }
    if (s->changeConfigError) {
        m_lastError = s->changeConfigError;
        return FALSE;
    }
    if (startType != SERVICE_NO_CHANGE && startType > SERVICE_DISABLED) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    ++s->configChanges;
    if (serviceType != SERVICE_NO_CHANGE)
        s->serviceType = serviceType;
    if (startType != SERVICE_NO_CHANGE)
        s->startType = startType;
    if (errorControl != SERVICE_NO_CHANGE)
        s->errorControl = errorControl;
    if (binaryPath)
        s->binaryPath = binaryPath;
    if (loadOrderGroup)
        s->loadOrderGroup = loadOrderGroup;
    if (dependencies) {
        // A double-NUL list.
        const char* end = dependencies;
        while (*end)
            end += std::char_traits<char>::length(end) + 1;
        s->dependencies.assign(dependencies, end + 1);
    }
    if (account)
        s->account = account;
    if (displayName)
        s->displayName = displayName;
    return TRUE;
}

BOOL FakeOs::CloseServiceHandle(SC_HANDLE handle) {
    auto it = m_services.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_services.end()) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    std::string const name = it->second.manager ? std::string() : it->second.name;
    m_services.erase(it);
    // A service marked for deletion goes with its last handle once it is
    // stopped (a running one at the restart).
    auto s = services.find(name);
    if (s == services.end() || !s->second.deletePending || s->second.state != SERVICE_STOPPED)
        return TRUE;
    for (const auto& [h, open] : m_services)
        if (!open.manager && !CaseLess{}(open.name, name) && !CaseLess{}(name, open.name))
            return TRUE;
    services.erase(s);
    return TRUE;
}

SC_HANDLE FakeOs::CreateServiceA(SC_HANDLE manager, const char* name, const char* displayName,
                                 DWORD access, DWORD serviceType, DWORD startType,
                                 DWORD errorControl, const char* binaryPath, const char* account) {
    auto m = m_services.find(reinterpret_cast<std::uintptr_t>(manager));
    if (m == m_services.end() || !m->second.manager || !name || !*name) {
        m_lastError = m == m_services.end() || !m->second.manager ? ERROR_INVALID_HANDLE
                                                                  : ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (services.count(name)) {
        m_lastError =
            services[name].deletePending ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
        return nullptr;
    }
    if (!BeginStateChange("CreateServiceA")) {
        m_lastError = kPoweredOff;
        return nullptr;
    }
    FakeService& s = services[name];
    s.displayName = displayName ? displayName : "";
    s.binaryPath = binaryPath ? binaryPath : "";
    s.account = account ? account : "LocalSystem";
    s.serviceType = serviceType;
    s.startType = startType;
    s.errorControl = errorControl;
    s.state = SERVICE_STOPPED;
    auto h = NextHandle();
    m_services[h] = {false, name, access};
    return reinterpret_cast<SC_HANDLE>(h);
}

BOOL FakeOs::DeleteService(SC_HANDLE handle) {
    DWORD error = 0;
    FakeService* s = ServiceOf(handle, DELETE, &error);
    if (!s) {
        m_lastError = error;
        return FALSE;
    }
    if (s->deletePending || s->deleteError) {
        m_lastError = s->deletePending ? ERROR_SERVICE_MARKED_FOR_DELETE : s->deleteError;
        return FALSE;
    }
    if (!BeginStateChange("DeleteService")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    s->deletePending = true;
    return TRUE;
}

} // namespace port
