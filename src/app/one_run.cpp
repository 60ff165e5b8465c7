#include "app/one_run.h"

#include "common/platform.h"
#include "common/report.h"
#include "common/syserror.h"

#include <string>

using namespace port;

namespace {

// Only the system and the administrators get in, and the Administrators
// group owns it, whoever of them made it. A token that may not name the
// group as owner makes it without the owner part.
constexpr const char* kLockSecurity = "O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";
constexpr const char* kLockSecurityOwnerless = "D:P(A;;GA;;;SY)(A;;GA;;;BA)";

// A security descriptor made from text; released with LocalFree.
struct descriptor_traits {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer block) noexcept { Sys().LocalFree(block); }
};
using unique_descriptor = unique_resource<descriptor_traits>;

struct boundary_traits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer boundary) noexcept { Sys().DeleteBoundaryDescriptor(boundary); }
};
using unique_boundary = unique_resource<boundary_traits>;

bool MakeSid(DWORD count, DWORD sub0, DWORD sub1, unique_sid& sid) {
    return Sys().AllocateAndInitializeSid(&SECURITY_NT_AUTHORITY, static_cast<BYTE>(count), sub0,
                                          sub1, 0, 0, 0, 0, 0, 0, sid.put()) != FALSE;
}

// Whether the system or the Administrators group owns the object; false also
// when its owner cannot be read (then nothing shows it is a run's).
bool OwnedByTheSystemOrAdministrators(HANDLE object) {
    Os& os = Sys();
    PSID owner = nullptr;
    unique_descriptor descriptor;
    if (os.GetKernelObjectOwner(object, &owner, descriptor.put()) != ERROR_SUCCESS || !owner)
        return false;
    unique_sid system, admins;
    return (MakeSid(1, SECURITY_LOCAL_SYSTEM_RID, 0, system) && os.EqualSid(owner, system.get())) ||
           (MakeSid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, admins) &&
            os.EqualSid(owner, admins.get()));
}

} // namespace

bool COneRunGuard::Acquire() {
    for (auto scheme : {&COneRunGuard::InPrivateNamespace, &COneRunGuard::AsGuardedMutex,
                        &COneRunGuard::AsPlainMutex}) {
        switch ((this->*scheme)()) {
        case Result::Mine:
            return true;
        case Result::Another:
            return false;
        case Result::NoLock:
            break;
        }
    }
    Report().Event("No lock could be made to keep other instances out (" +
                   ErrorLine(Sys().GetLastError()) + "); the run goes on");
    return true;
}

COneRunGuard::Result COneRunGuard::InPrivateNamespace() {
    Os& os = Sys();
    unique_boundary boundary(os.CreateBoundaryDescriptorA(kOneRunNamespace, 0));
    if (!boundary)
        return Result::NoLock; // before Windows Vista
    unique_sid admins;
    unique_descriptor security;
    HANDLE slot = boundary.release();
    bool const added = MakeSid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, admins) &&
                       os.AddSIDToBoundaryDescriptor(&slot, admins.get());
    boundary.reset(slot); // the call may move the descriptor
    if (!added || !os.ConvertStringSecurityDescriptorToSecurityDescriptorA(kLockSecurityOwnerless,
                                                                           security.put())) {
        Report().Event("The private namespace of the lock could not be described: " +
                       ErrorLine(os.GetLastError()));
        return Result::NoLock;
    }
    m_namespace.reset(os.CreatePrivateNamespaceA(security.get(), boundary.get(), kOneRunNamespace));
    if (!m_namespace && os.GetLastError() == ERROR_ALREADY_EXISTS)
        m_namespace.reset(os.OpenPrivateNamespaceA(boundary.get(), kOneRunNamespace));
    if (!m_namespace) {
        DWORD const error = os.GetLastError();
        // Another instance's namespace that this one may not open: a run
        // all the same, never a lock of this one's.
        if (error == ERROR_ACCESS_DENIED)
            return Result::Another;
        Report().Event("The private namespace of the lock could not be made or opened: " +
                       ErrorLine(error));
        return Result::NoLock;
    }
    std::string const name = std::string(kOneRunNamespace) + "\\" + kOneRunMutexName;
    m_mutex.reset(os.CreateMutexSecuredA(security.get(), FALSE, name.c_str()));
    DWORD const error = os.GetLastError();
    if (m_mutex && error != ERROR_ALREADY_EXISTS)
        return Result::Mine;
    m_mutex.reset();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED)
        return Result::Another;
    m_namespace.reset();
    Report().Event("The lock could not be made in its private namespace: " + ErrorLine(error));
    return Result::NoLock;
}

COneRunGuard::Result COneRunGuard::AsGuardedMutex() {
    Os& os = Sys();
    std::string const name = std::string("Global\\") + kOneRunMutexName;
    DWORD error = 0;
    for (const char* text : {kLockSecurity, kLockSecurityOwnerless}) {
        unique_descriptor security;
        if (!os.ConvertStringSecurityDescriptorToSecurityDescriptorA(text, security.put()))
            return Result::NoLock; // before Windows 2000
        m_mutex.reset(os.CreateMutexSecuredA(security.get(), FALSE, name.c_str()));
        error = os.GetLastError();
        if (m_mutex || error != ERROR_INVALID_OWNER)
            break;
    }
    if (m_mutex && error != ERROR_ALREADY_EXISTS)
        return Result::Mine;
    if (m_mutex && OwnedByTheSystemOrAdministrators(m_mutex.get())) {
        m_mutex.reset();
        return Result::Another;
    }
    // The lock of a run lets every administrator and the system in; one
    // that refuses an administrator, or that another user owns, was made
    // by a user to keep the runs out.
    if (m_mutex || (error == ERROR_ACCESS_DENIED && IsAdministrator())) {
        m_mutex.reset();
        Report().Event("The lock \"" + name +
                       "\" was made by a user without administrator rights: it is not obeyed, "
                       "and the run goes on without a lock");
        return Result::Mine;
    }
    if (error == ERROR_ACCESS_DENIED)
        return Result::Another;
    return Result::NoLock;
}

COneRunGuard::Result COneRunGuard::AsPlainMutex() {
    Os& os = Sys();
    // In the "Global\" namespace, so that every session sees it; a system
    // without that namespace (before Windows 2000) refuses the name, and
    // the plain one is then machine-wide anyway.
    std::string const global = std::string("Global\\") + kOneRunMutexName;
    for (const std::string& name : {global, std::string(kOneRunMutexName)}) {
        m_mutex.reset(os.CreateMutexA(FALSE, name.c_str()));
        DWORD const error = os.GetLastError();
        if (m_mutex) {
            if (error != ERROR_ALREADY_EXISTS)
                return Result::Mine;
            m_mutex.reset();
            return Result::Another;
        }
        // Held in another session by an account whose mutex this one may
        // not open: another instance all the same.
        if (error == ERROR_ACCESS_DENIED)
            return Result::Another;
    }
    return Result::NoLock;
}
