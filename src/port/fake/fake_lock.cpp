// FakeOs: the machine-wide lock's objects. Mutexes made with a descriptor
// written as text, their owners, boundary descriptors and private
// namespaces, as Windows has them since 2000 and Vista; a squatter's mutex
// and a lock that cannot be made are set up by the tests.
#include "port/fake/fake_os.h"

#include <cstring>

namespace port {

namespace {

bool HasVersion(const OSVERSIONINFOA& version, DWORD major) {
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= major;
}

bool SameText(const std::string& a, const std::string& b) {
    return CaseLess{}(a, b) == CaseLess{}(b, a);
}

// The part of a mutex name before its first backslash; "" when there is none.
std::string Prefix(const std::string& name) {
    std::size_t const slash = name.find('\\');
    return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

// Lets only the system and the administrators in: a protected DACL that
// names nobody else.
bool Guarded(const std::string& sddl) {
    if (sddl.find("D:P") == std::string::npos)
        return false;
    for (const char* other : {";;;WD)", ";;;AU)", ";;;BU)", ";;;IU)", ";;;BG)"})
        if (sddl.find(other) != std::string::npos)
            return false;
    return true;
}

} // namespace

BOOL FakeOs::ConvertStringSecurityDescriptorToSecurityDescriptorA(const char* text,
                                                                  void** descriptor) {
    if (!HasVersion(version, 5)) {
        m_lastError = ERROR_PROC_NOT_FOUND;
        return FALSE;
    }
    std::string const sddl = text ? text : "";
    if (!descriptor ||
        (sddl.find("O:") == std::string::npos && sddl.find("D:") == std::string::npos)) {
        m_lastError = 1336; // ERROR_INVALID_ACL
        return FALSE;
    }
    // The fake's descriptor is its text.
    auto* block = new char[sddl.size() + 1];
    std::memcpy(block, sddl.c_str(), sddl.size() + 1);
    m_localBlocks.insert(block);
    *descriptor = block;
    return TRUE;
}

HANDLE FakeOs::CreateMutexSecuredA(void* descriptor, BOOL, const char* name) {
    if (!descriptor)
        return MakeMutex(name, nullptr);
    if (!m_localBlocks.count(descriptor)) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    std::string const sddl = static_cast<const char*>(descriptor);
    return MakeMutex(name, &sddl);
}

HANDLE FakeOs::MakeMutex(const char* name, const std::string* security) {
    std::string const n = name ? name : "";
    std::string const prefix = Prefix(n);
    if (!globalNamespace && !prefix.empty()) {
        m_lastError = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    if (auto error = lockErrors.find(n); error != lockErrors.end()) {
        m_lastError = error->second;
        return nullptr;
    }
    if (!prefix.empty() && !SameText(prefix, "Global") && !SameText(prefix, "Local")) {
        // An alias: only through a private namespace this process opened.
        bool open = false;
        for (const auto& [handle, space] : m_namespaceHandles)
            open = open || SameText(space.second, prefix);
        if (!open) {
            m_lastError = ERROR_PATH_NOT_FOUND;
            return nullptr;
        }
    }
    auto existing = mutexes.find(n);
    if (existing != mutexes.end() && existing->second > 0) {
        if (guardedMutexes.count(n) && !FullAdministrator()) {
            m_lastError = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        ++existing->second;
        m_lastError = ERROR_ALREADY_EXISTS;
    } else {
        FakeOwner owner = FullAdministrator() ? FakeOwner::Administrators : FakeOwner::User;
        if (security && security->find("O:BA") != std::string::npos) {
            if (!FullAdministrator()) {
                m_lastError = ERROR_INVALID_OWNER;
                return nullptr;
            }
            owner = FakeOwner::Administrators;
        }
        mutexes[n] = 1;
        mutexOwners[n] = owner;
        if (security && Guarded(*security))
            guardedMutexes.insert(n);
        m_lastError = 0;
    }
    auto const h = NextHandle();
    m_mutexHandles[h] = n;
    return reinterpret_cast<HANDLE>(h);
}

DWORD FakeOs::GetKernelObjectOwner(HANDLE object, PSID* owner, void** descriptor) {
    auto const mutex = m_mutexHandles.find(reinterpret_cast<std::uintptr_t>(object));
    if (mutex == m_mutexHandles.end() || !owner || !descriptor)
        return ERROR_INVALID_HANDLE;
    auto const known = mutexOwners.find(mutex->second);
    FakeOwner const kind = known == mutexOwners.end() ? FakeOwner::Administrators : known->second;
    std::vector<DWORD> const subs = kind == FakeOwner::System ? std::vector<DWORD>{18}
                                    : kind == FakeOwner::Administrators
                                        ? std::vector<DWORD>{32, 544}
                                        : std::vector<DWORD>{21, 1111, 2222, 3333, 1001};
    auto* block = new char[8 + 4 * subs.size()];
    block[0] = 1;
    block[1] = static_cast<char>(subs.size());
    std::memcpy(block + 2, SECURITY_NT_AUTHORITY.Value, 6);
    std::memcpy(block + 8, subs.data(), 4 * subs.size());
    m_localBlocks.insert(block);
    *descriptor = block;
    *owner = block;
    return 0;
}

HANDLE FakeOs::CreateBoundaryDescriptorA(const char* name, DWORD) {
    if (!HasVersion(version, 6)) {
        m_lastError = ERROR_PROC_NOT_FOUND;
        return nullptr;
    }
    auto const h = NextHandle();
    m_boundaries[h] = {name ? name : "", 0};
    return reinterpret_cast<HANDLE>(h);
}

BOOL FakeOs::AddSIDToBoundaryDescriptor(HANDLE* boundary, PSID sid) {
    auto const found = boundary ? m_boundaries.find(reinterpret_cast<std::uintptr_t>(*boundary))
                                : m_boundaries.end();
    if (found == m_boundaries.end() || !sid) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    ++found->second.sids;
    return TRUE;
}

void FakeOs::DeleteBoundaryDescriptor(HANDLE boundary) {
    m_boundaries.erase(reinterpret_cast<std::uintptr_t>(boundary));
}

const std::string* FakeOs::NamespaceBoundary(HANDLE boundary, const char* alias) {
    auto const found = m_boundaries.find(reinterpret_cast<std::uintptr_t>(boundary));
    if (found == m_boundaries.end() || !alias) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (auto error = lockErrors.find(found->second.name); error != lockErrors.end()) {
        m_lastError = error->second;
        return nullptr;
    }
    // The boundary holds the Administrators group: a token without it
    // enabled neither makes nor opens such a namespace.
    if (!FullAdministrator()) {
        m_lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return &found->second.name;
}

HANDLE FakeOs::CreatePrivateNamespaceA(void*, HANDLE boundary, const char* alias) {
    const std::string* const boundaryName = NamespaceBoundary(boundary, alias);
    if (!boundaryName)
        return nullptr;
    std::string const name = *boundaryName;
    auto const existing = privateNamespaces.find(name);
    if (existing != privateNamespaces.end() && existing->second > 0) {
        m_lastError = ERROR_ALREADY_EXISTS;
        return nullptr;
    }
    privateNamespaces[name] = 1;
    auto const h = NextHandle();
    m_namespaceHandles[h] = {name, alias};
    m_lastError = 0;
    return reinterpret_cast<HANDLE>(h);
}

HANDLE FakeOs::OpenPrivateNamespaceA(HANDLE boundary, const char* alias) {
    const std::string* const boundaryName = NamespaceBoundary(boundary, alias);
    if (!boundaryName)
        return nullptr;
    std::string const name = *boundaryName;
    auto const existing = privateNamespaces.find(name);
    if (existing == privateNamespaces.end() || existing->second <= 0) {
        m_lastError = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    ++existing->second;
    auto const h = NextHandle();
    m_namespaceHandles[h] = {name, alias};
    return reinterpret_cast<HANDLE>(h);
}

BOOL FakeOs::ClosePrivateNamespace(HANDLE privateNamespace, DWORD) {
    auto const found = m_namespaceHandles.find(reinterpret_cast<std::uintptr_t>(privateNamespace));
    if (found == m_namespaceHandles.end()) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto const space = privateNamespaces.find(found->second.first);
    if (space != privateNamespaces.end() && --space->second <= 0)
        privateNamespaces.erase(space);
    m_namespaceHandles.erase(found);
    return TRUE;
}

} // namespace port
