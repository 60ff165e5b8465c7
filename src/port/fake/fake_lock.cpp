// FakeOs: the machine-wide lock's objects. Mutexes made with a descriptor
// written as text, who may open them and who owns them, boundary
// descriptors and private namespaces, as Windows has them since 2000 and
// Vista; a squatter's mutex or namespace and a lock that cannot be made are
// set up by the tests.
#include "port/fake/fake_os.h"

#include <algorithm>
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

// The SID an entry of a descriptor's text names.
std::string SidOfAlias(const std::string& alias) {
    static const std::pair<const char*, const char*> kAliases[] = {
        {"SY", kSidLocalSystem},        {"BA", kSidAdministrators}, {"BU", kSidUsers},
        {"AU", kSidAuthenticatedUsers}, {"WD", kSidEveryone},       {"IU", kSidInteractive},
        {"BG", "S-1-5-32-546"}};
    for (const auto& [name, sid] : kAliases)
        if (alias == name)
            return sid;
    return alias;
}

// Whom the DACL of a descriptor's text lets in: the SIDs of its allowing
// entries. No DACL at all: nullptr (the creator's default DACL applies).
bool DaclAllows(const std::string& sddl, std::vector<std::string>* sids) {
    std::size_t const at = sddl.find("D:");
    if (at == std::string::npos)
        return false;
    std::size_t const end = std::min(sddl.find("S:", at), sddl.size());
    for (std::size_t open = sddl.find('(', at); open < end; open = sddl.find('(', open + 1)) {
        std::size_t const close = sddl.find(')', open);
        std::string const entry = sddl.substr(open + 1, close - open - 1);
        if (entry.rfind("A;", 0) == 0)
            sids->push_back(SidOfAlias(entry.substr(entry.rfind(';') + 1)));
    }
    return true;
}

} // namespace

std::string FakeOs::NamespaceKey(const std::string& boundary, std::vector<std::string> sids) {
    std::sort(sids.begin(), sids.end(), CaseLess{});
    std::string key = boundary;
    for (const auto& sid : sids)
        key += "|" + sid;
    return key;
}

std::vector<std::string> FakeOs::TokenSids() const {
    std::vector<std::string> sids = {tokenUser, kSidEveryone, "S-1-5-21-1111-2222-3333-513",
                                     kSidUsers, kSidAuthenticatedUsers};
    if (FullAdministrator())
        sids.push_back(kSidAdministrators);
    return sids;
}

std::vector<std::string> FakeOs::AllowedBy(const std::string* security) const {
    std::vector<std::string> allowed;
    if (security && DaclAllows(*security, &allowed))
        return allowed;
    // The token's default DACL: its user (or, for an administrator, the
    // Administrators group) and the system.
    return {kSidLocalSystem, FullAdministrator() ? kSidAdministrators : tokenUser};
}

bool FakeOs::MayOpen(const std::vector<std::string>& allowed) const {
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return true; // Windows 9x keeps no security on its objects
    for (const auto& sid : TokenSids())
        for (const auto& granted : allowed)
            if (SameText(sid, granted))
                return true;
    return false;
}

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
    std::string const given = name ? name : "";
    std::string n = given;
    std::string const prefix = Prefix(given);
    if (!globalNamespace && !prefix.empty()) {
        m_lastError = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    if (auto error = lockErrors.find(given); error != lockErrors.end()) {
        m_lastError = error->second;
        return nullptr;
    }
    if (!prefix.empty() && !SameText(prefix, "Global") && !SameText(prefix, "Local")) {
        // An alias: only through a private namespace this process opened,
        // and it names that namespace's object, not one of another
        // namespace of the same name.
        auto const space = std::find_if(
            m_namespaceHandles.begin(), m_namespaceHandles.end(),
            [&prefix](const auto& open) { return SameText(open.second.second, prefix); });
        if (space == m_namespaceHandles.end()) {
            m_lastError = ERROR_PATH_NOT_FOUND;
            return nullptr;
        }
        n = space->second.first + given.substr(prefix.size());
    }
    auto existing = mutexes.find(n);
    if (existing != mutexes.end() && existing->second > 0) {
        // Opened with every right: the DACL it was made with must let this
        // token in (one a test put there has its owner's default DACL).
        auto const access = m_mutexAccess.find(n);
        auto const owner = mutexOwners.find(n);
        bool const usersOwn = owner != mutexOwners.end() && owner->second == FakeOwner::User;
        std::vector<std::string> const defaults = {kSidLocalSystem,
                                                   usersOwn ? kSquatter : kSidAdministrators};
        if (!MayOpen(access != m_mutexAccess.end() ? access->second : defaults)) {
            m_lastError = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        ++existing->second;
        m_lastError = ERROR_ALREADY_EXISTS;
    } else {
        // The owner a descriptor names must be one the token may name; none
        // named, the token's default owner: the Administrators group for
        // an administrator before Vista, the creator's own account since.
        FakeOwner owner = FullAdministrator() && !HasVersion(version, 6) ? FakeOwner::Administrators
                                                                         : FakeOwner::User;
        if (security && security->find("O:BA") != std::string::npos) {
            if (!FullAdministrator()) {
                m_lastError = ERROR_INVALID_OWNER;
                return nullptr;
            }
            owner = FakeOwner::Administrators;
        }
        mutexes[n] = 1;
        mutexOwners[n] = owner;
        m_mutexAccess[n] = AllowedBy(security);
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
    m_boundaries[h] = {name ? name : "", {}};
    return reinterpret_cast<HANDLE>(h);
}

BOOL FakeOs::AddSIDToBoundaryDescriptor(HANDLE* boundary, PSID sid) {
    auto const found = boundary ? m_boundaries.find(reinterpret_cast<std::uintptr_t>(*boundary))
                                : m_boundaries.end();
    std::string const text =
        sid ? SidText(static_cast<const BYTE*>(sid), 8 + 4 * static_cast<const BYTE*>(sid)[1]) : "";
    if (found == m_boundaries.end() || text.empty() || boundarySidError) {
        m_lastError = boundarySidError ? boundarySidError : ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    found->second.sids.push_back(text);
    return TRUE;
}

void FakeOs::DeleteBoundaryDescriptor(HANDLE boundary) {
    m_boundaries.erase(reinterpret_cast<std::uintptr_t>(boundary));
}

const FakeOs::Boundary* FakeOs::NamespaceBoundary(HANDLE boundary, const char* alias) {
    auto const found = m_boundaries.find(reinterpret_cast<std::uintptr_t>(boundary));
    if (found == m_boundaries.end() || !alias) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (auto error = lockErrors.find(found->second.name); error != lockErrors.end()) {
        m_lastError = error->second;
        return nullptr;
    }
    return &found->second;
}

HANDLE FakeOs::CreatePrivateNamespaceA(void* descriptor, HANDLE boundary, const char* alias) {
    const Boundary* const bounds = NamespaceBoundary(boundary, alias);
    if (!bounds)
        return nullptr;
    // Only a token within the boundary makes the namespace: every SID of
    // it enabled in the token (a filtered token's Administrators group is
    // for deny only). A boundary without SIDs bounds nothing.
    for (const auto& sid : bounds->sids) {
        if (!MayOpen({sid})) {
            m_lastError = ERROR_ACCESS_DENIED;
            return nullptr;
        }
    }
    if (descriptor && !m_localBlocks.count(descriptor)) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    // Namespaces of one name with other boundaries are other namespaces.
    std::string const key = NamespaceKey(bounds->name, bounds->sids);
    auto const existing = privateNamespaces.find(key);
    if (existing != privateNamespaces.end() && existing->second > 0) {
        m_lastError = ERROR_ALREADY_EXISTS;
        return nullptr;
    }
    std::string const sddl = descriptor ? static_cast<const char*>(descriptor) : "";
    privateNamespaces[key] = 1;
    m_namespaceAccess[key] = AllowedBy(descriptor ? &sddl : nullptr);
    auto const h = NextHandle();
    m_namespaceHandles[h] = {key, alias};
    m_lastError = 0;
    return reinterpret_cast<HANDLE>(h);
}

HANDLE FakeOs::OpenPrivateNamespaceA(HANDLE boundary, const char* alias) {
    const Boundary* const bounds = NamespaceBoundary(boundary, alias);
    if (!bounds)
        return nullptr;
    std::string const key = NamespaceKey(bounds->name, bounds->sids);
    auto const existing = privateNamespaces.find(key);
    if (existing == privateNamespaces.end() || existing->second <= 0) {
        m_lastError = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    // Anyone who names the boundary may open it, unless the descriptor it
    // was made with keeps them out (one a test put there: the system's
    // and the administrators').
    auto const access = m_namespaceAccess.find(key);
    if (!MayOpen(access != m_namespaceAccess.end()
                     ? access->second
                     : std::vector<std::string>{kSidLocalSystem, kSidAdministrators})) {
        m_lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    ++existing->second;
    auto const h = NextHandle();
    m_namespaceHandles[h] = {key, alias};
    return reinterpret_cast<HANDLE>(h);
}

BOOL FakeOs::ClosePrivateNamespace(HANDLE privateNamespace, DWORD) {
    auto const found = m_namespaceHandles.find(reinterpret_cast<std::uintptr_t>(privateNamespace));
    if (found == m_namespaceHandles.end()) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto const space = privateNamespaces.find(found->second.first);
    if (space != privateNamespaces.end() && --space->second <= 0) {
        m_namespaceAccess.erase(space->first);
        privateNamespaces.erase(space);
    }
    m_namespaceHandles.erase(found);
    return TRUE;
}

} // namespace port
