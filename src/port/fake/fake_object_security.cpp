// FakeOs: junctions followed by path where Windows follows them, the access
// check of an opening, and the security of what a handle is open on.
#include "port/fake/fake_os.h"

#include <cstring>

namespace port {

namespace {

constexpr DWORD kTakeOwnership = 9; // SeTakeOwnershipPrivilege
constexpr DWORD kBackup = 17;       // SeBackupPrivilege
constexpr DWORD kRestore = 18;      // SeRestorePrivilege
constexpr DWORD kAddFileAndFolder = FILE_WRITE_DATA | FILE_APPEND_DATA;

bool SameSid(const std::string& a, const std::string& b) {
    return !CaseLess{}(a, b) && !CaseLess{}(b, a);
}

std::string ParentPath(const std::string& path) {
    auto slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

void FakeOs::AddJunction(const std::string& path, const std::string& target) {
    AddFolder(path);
    files[path].reparsePoint = true;
    files[path].linkTarget = target;
}

std::string FakeOs::Follow(const std::string& path, bool last) const {
    std::string resolved;
    std::size_t start = 0;
    int hops = 0;
    while (start <= path.size()) {
        std::size_t const end = std::min(path.find('\\', start), path.size());
        resolved += (start ? "\\" : "") + path.substr(start, end - start);
        bool const final = end == path.size();
        for (auto entry = files.find(resolved); (!final || last) && entry != files.end() &&
                                                !entry->second.linkTarget.empty() && hops < 16;
             entry = files.find(resolved), ++hops)
            resolved = Follow(entry->second.linkTarget, false);
        start = end + 1;
    }
    return resolved;
}

DWORD FakeOs::FileRights(DWORD access) {
    DWORD rights = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (access & GENERIC_READ)
        rights |= FILE_GENERIC_READ;
    if (access & GENERIC_WRITE)
        rights |= FILE_GENERIC_WRITE;
    if (access & GENERIC_EXECUTE)
        rights |= FILE_GENERIC_EXECUTE;
    if (access & GENERIC_ALL)
        rights |= FILE_ALL_ACCESS;
    return rights;
}

DWORD FakeOs::GrantedRights(const FakeFile& entry, DWORD flags) const {
    // Who the token is: its user, the groups every logged-on user has, and
    // Administrators (in a filtered token for deny entries only).
    auto const member = [&](const std::string& sid, bool allow) {
        if (SameSid(sid, tokenUser) || SameSid(sid, kSidEveryone) || SameSid(sid, kSidUsers) ||
            SameSid(sid, kSidAuthenticatedUsers) || SameSid(sid, kSidInteractive))
            return true;
        return SameSid(sid, kSidAdministrators) && (allow ? FullAdministrator() : isAdministrator);
    };
    DWORD granted = 0;
    if (entry.nullDacl) {
        granted = FILE_ALL_ACCESS;
    } else {
        DWORD denied = 0;
        for (const auto& ace : entry.dacl) {
            if ((ace.flags & INHERIT_ONLY_ACE) ||
                !member(ace.sid, ace.type == ACCESS_ALLOWED_ACE_TYPE))
                continue;
            DWORD const mask = FileRights(ace.mask);
            if (ace.type == ACCESS_ALLOWED_ACE_TYPE)
                granted |= mask & ~denied;
            else if (ace.type == ACCESS_DENIED_ACE_TYPE)
                denied |= mask & ~granted;
        }
    }
    if (SameSid(entry.owner, tokenUser) ||
        (FullAdministrator() && SameSid(entry.owner, kSidAdministrators)))
        granted |= READ_CONTROL | WRITE_DAC;
    // A filtered token has none of an administrator's privileges.
    if (FullAdministrator()) {
        if (enabledPrivileges.count(kTakeOwnership))
            granted |= WRITE_OWNER;
        if ((flags & FILE_FLAG_BACKUP_SEMANTICS) && enabledPrivileges.count(kBackup))
            granted |= FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
        if ((flags & FILE_FLAG_BACKUP_SEMANTICS) && enabledPrivileges.count(kRestore))
            granted |= WRITE_DAC | WRITE_OWNER | DELETE | FILE_GENERIC_WRITE | kAddFileAndFolder;
    }
    // What the fake does not model: reading attributes, waiting on a handle.
    return granted | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
}

bool FakeOs::MayDelete(const std::string& path) const {
    auto const entry = files.find(path);
    auto const folder = files.find(ParentPath(path));
    return (entry != files.end() && (GrantedRights(entry->second, 0) & DELETE)) ||
           folder == files.end() || (GrantedRights(folder->second, 0) & FILE_DELETE_CHILD);
}

bool FakeOs::MayAdd(const std::string& path, bool directory) const {
    auto const folder = files.find(ParentPath(path));
    return folder == files.end() ||
           (GrantedRights(folder->second, 0) & (directory ? FILE_APPEND_DATA : FILE_WRITE_DATA));
}

BOOL FakeOs::GetKernelObjectSecurity(HANDLE object, DWORD info, void* descriptor, DWORD size,
                                     DWORD* needed) {
    auto open = m_files.find(reinterpret_cast<std::uintptr_t>(object));
    if (open == m_files.end() || !files.count(open->second.path)) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!(FileRights(open->second.access) & READ_CONTROL)) {
        m_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    return GiveDescriptor(files.at(open->second.path), info, descriptor, size, needed);
}

BOOL FakeOs::GiveDescriptor(const FakeFile& entry, DWORD info, void* descriptor, DWORD size,
                            DWORD* needed) {
    SecurityDescriptor sd;
    if (info & OWNER_SECURITY_INFORMATION)
        sd.owner = entry.owner;
    if (info & DACL_SECURITY_INFORMATION) {
        sd.daclPresent = true;
        sd.nullDacl = entry.nullDacl;
        sd.dacl = entry.dacl;
        if (entry.daclProtected)
            sd.control |= SE_DACL_PROTECTED;
    }
    std::vector<BYTE> const bytes = EncodeSecurityDescriptor(sd);
    if (needed)
        *needed = static_cast<DWORD>(bytes.size());
    if (!descriptor || size < bytes.size()) {
        m_lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    std::memcpy(descriptor, bytes.data(), bytes.size());
    return TRUE;
}

void FakeOs::TakeDescriptor(FakeFile& entry, DWORD info, const SecurityDescriptor& sd) {
    if (info & OWNER_SECURITY_INFORMATION)
        entry.owner = sd.owner;
    if (info & DACL_SECURITY_INFORMATION) {
        entry.nullDacl = sd.nullDacl || !sd.daclPresent;
        entry.daclProtected = (sd.control & SE_DACL_PROTECTED) != 0;
        entry.dacl = sd.dacl;
    }
}

// What the opening was granted decides; nobody gives an entry to an account
// that is not in the token (the restore privilege aside, which the program
// never needs for that).
BOOL FakeOs::SetKernelObjectSecurity(HANDLE object, DWORD info, const void* descriptor) {
    auto open = m_files.find(reinterpret_cast<std::uintptr_t>(object));
    if (open == m_files.end() || !files.count(open->second.path)) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    SecurityDescriptor sd;
    if (!DecodeSecurityDescriptor(descriptor, 4096, &sd)) {
        m_lastError = ERROR_INVALID_SECURITY_DESCR;
        return FALSE;
    }
    const FakeFile& entry = files.at(open->second.path);
    DWORD const access = FileRights(open->second.access);
    bool const owner = (info & OWNER_SECURITY_INFORMATION) != 0;
    bool const dacl = (info & DACL_SECURITY_INFORMATION) != 0;
    bool const rights = (!owner || (access & WRITE_OWNER)) && (!dacl || (access & WRITE_DAC));
    bool const assignable = !owner || SameSid(sd.owner, tokenUser) ||
                            (FullAdministrator() && (SameSid(sd.owner, kSidAdministrators) ||
                                                     SameSid(sd.owner, kSidLocalSystem)));
    if (entry.setSecurityError || !rights || !assignable) {
        m_lastError = entry.setSecurityError ? entry.setSecurityError
                      : !rights              ? ERROR_ACCESS_DENIED
                                             : ERROR_INVALID_OWNER;
        return FALSE;
    }
    if (!BeginStateChange("SetKernelObjectSecurity")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    // The handle's object, wherever another process moved it meanwhile.
    TakeDescriptor(files.at(open->second.path), info, sd);
    return TRUE;
}

} // namespace port
