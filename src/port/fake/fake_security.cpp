// FakeOs: owners and DACLs of files and folders, reparse points in a
// folder's place, copies of files, and the token's user.
#include "port/fake/fake_os.h"

#include <cstring>

namespace port {

namespace {

constexpr const char* kCreatorOwner = "S-1-3-0";
constexpr BYTE kBothInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr DWORD kTakeOwnership = 9; // SeTakeOwnershipPrivilege
constexpr DWORD kBackup = 17;       // SeBackupPrivilege
constexpr DWORD kRestore = 18;      // SeRestorePrivilege

std::string ParentPath(const std::string& path) {
    auto slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsDrive(const std::string& path) {
    return path.size() == 2 && path[1] == ':';
}

bool SameText(const std::string& a, const std::string& b) {
    return !CaseLess{}(a, b) && !CaseLess{}(b, a);
}
bool SameSid(const std::string& a, const std::string& b) {
    return SameText(a, b);
}

// A drive's root is "C:" in `files`; the calls name it "C:\\".
std::string EntryName(const char* path) {
    std::string name = path ? path : "";
    if (name.size() == 3 && name[1] == ':' && name[2] == '\\')
        name.pop_back();
    return name;
}

// An inherited entry holds the file rights its generic ones stand for.
DWORD MappedRights(DWORD mask) {
    DWORD const generic = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;
    DWORD mapped = mask & ~generic;
    if (mask & GENERIC_READ)
        mapped |= FILE_GENERIC_READ;
    if (mask & GENERIC_WRITE)
        mapped |= FILE_GENERIC_WRITE;
    if (mask & GENERIC_EXECUTE)
        mapped |= FILE_GENERIC_EXECUTE;
    if (mask & GENERIC_ALL)
        mapped |= FILE_ALL_ACCESS;
    return mapped;
}

} // namespace

// A missing entry's folder is there: ERROR_FILE_NOT_FOUND, not
// ERROR_PATH_NOT_FOUND.
bool FakeOs::FolderThere(const char* path) const {
    std::string const parent = ParentPath(path ? path : "");
    return IsDrive(parent) || files.count(parent) != 0;
}

std::vector<AccessEntry> FakeFile::DefaultFakeDacl() {
    return {{ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidLocalSystem},
            {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidAdministrators},
            {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE,
             kSidUsers}};
}

FakeFile FakeFile::CommonAppDataFolder() {
    FakeFile folder{true};
    folder.owner = kSidLocalSystem;
    folder.dacl = DefaultFakeDacl();
    folder.dacl.push_back(
        {ACCESS_ALLOWED_ACE_TYPE, kBothInherit | INHERIT_ONLY_ACE, FILE_ALL_ACCESS, kCreatorOwner});
    folder.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE,
                           FILE_WRITE_DATA | FILE_APPEND_DATA | 0x100 /* write attributes */,
                           kSidUsers});
    return folder;
}

FakeFile FakeFile::SystemDriveRoot() {
    FakeFile root{true};
    root.owner = kSidTrustedInstaller;
    root.daclProtected = true;
    root.dacl = {{ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidAdministrators},
                 {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidLocalSystem},
                 {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE,
                  kSidUsers},
                 {ACCESS_ALLOWED_ACE_TYPE, kBothInherit | INHERIT_ONLY_ACE,
                  DELETE | GENERIC_EXECUTE | GENERIC_WRITE | GENERIC_READ, kSidAuthenticatedUsers},
                 {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_APPEND_DATA, kSidAuthenticatedUsers}};
    return root;
}

FakeFile FakeOs::NewEntry(const std::string& path, bool directory) const {
    FakeFile entry{directory};
    // A filtered token makes its files its user's, as any standard user's.
    std::string const creator = FullAdministrator() ? kSidAdministrators : tokenUser;
    entry.owner = creator;
    entry.dacl.clear();
    auto parent = files.find(ParentPath(path));
    if (parent == files.end())
        return FakeFile{directory};
    BYTE const applies = directory ? CONTAINER_INHERIT_ACE : OBJECT_INHERIT_ACE;
    for (const auto& ace : parent->second.dacl) {
        if (!(ace.flags & applies))
            continue;
        AccessEntry inherited = ace;
        if (SameSid(inherited.sid, kCreatorOwner))
            inherited.sid = creator;
        inherited.mask = MappedRights(ace.mask);
        // A folder passes the entry on to its own children; a file does not.
        inherited.flags =
            static_cast<BYTE>((directory ? ace.flags & kBothInherit : 0) | INHERITED_ACE);
        entry.dacl.push_back(inherited);
    }
    return entry;
}

void FakeOs::AddUserFolder(const std::string& path, const std::string& user) {
    bool const wasAdministrator = isAdministrator;
    std::string const wasUser = tokenUser;
    isAdministrator = false;
    tokenUser = user;
    files[path] = NewEntry(path, true);
    isAdministrator = wasAdministrator;
    tokenUser = wasUser;
}

BOOL FakeOs::TokenUserInformation(void* buffer, DWORD size, DWORD* returned) {
    std::vector<BYTE> const sid = SidBytes(tokenUser);
    DWORD const needed = static_cast<DWORD>(sizeof(SID_AND_ATTRIBUTES) + sid.size());
    *returned = needed;
    if (!buffer || size < needed) {
        m_lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    auto* block = static_cast<BYTE*>(buffer);
    std::memcpy(block + sizeof(SID_AND_ATTRIBUTES), sid.data(), sid.size());
    SID_AND_ATTRIBUTES user{block + sizeof(SID_AND_ATTRIBUTES), 0};
    std::memcpy(block, &user, sizeof user);
    return TRUE;
}

BOOL FakeOs::GetFileSecurityA(const char* path, DWORD info, void* descriptor, DWORD size,
                              DWORD* needed) {
    auto file = files.find(Follow(EntryName(path), true));
    if (file == files.end()) {
        m_lastError = FolderThere(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    return GiveDescriptor(file->second, info, descriptor, size, needed);
}

BOOL FakeOs::SetFileSecurityA(const char* path, DWORD info, const void* descriptor) {
    auto file = files.find(Follow(EntryName(path), true));
    if (file == files.end()) {
        m_lastError = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    SecurityDescriptor sd;
    // The fake's descriptors are never longer than this.
    if (!DecodeSecurityDescriptor(descriptor, 4096, &sd)) {
        m_lastError = ERROR_INVALID_SECURITY_DESCR;
        return FALSE;
    }
    FakeFile& entry = file->second;
    // The owner may always change the DACL; anyone else needs the rights
    // the DACL gives. Taking ownership needs WRITE_OWNER or, for an
    // administrator, the privilege; nobody gives a file to an account that
    // is not in the token.
    DWORD const rights = GrantedRights(entry, 0);
    bool const daclAllowed = !(info & DACL_SECURITY_INFORMATION) || (rights & WRITE_DAC);
    bool const takeAllowed = !(info & OWNER_SECURITY_INFORMATION) || (rights & WRITE_OWNER);
    bool const ownerAllowed =
        !(info & OWNER_SECURITY_INFORMATION) || SameSid(sd.owner, tokenUser) ||
        (isAdministrator &&
         (SameSid(sd.owner, kSidAdministrators) || SameSid(sd.owner, kSidLocalSystem)));
    if (!daclAllowed || !takeAllowed || !ownerAllowed || entry.setSecurityError) {
        m_lastError = entry.setSecurityError ? entry.setSecurityError : ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (!BeginStateChange("SetFileSecurityA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    TakeDescriptor(entry, info, sd);
    return TRUE;
}

BOOL FakeOs::CreateDirectoryWithSecurityA(const char* path, const void* descriptor) {
    SecurityDescriptor sd;
    if (!DecodeSecurityDescriptor(descriptor, 4096, &sd)) {
        m_lastError = ERROR_INVALID_SECURITY_DESCR;
        return FALSE;
    }
    if (!CreateDirectoryA(path))
        return FALSE;
    FakeFile& entry = files[Follow(path, false)];
    if (!sd.owner.empty() && (SameSid(sd.owner, tokenUser) ||
                              (isAdministrator && (SameSid(sd.owner, kSidAdministrators) ||
                                                   SameSid(sd.owner, kSidLocalSystem)))))
        entry.owner = sd.owner;
    if (sd.daclPresent) {
        std::vector<AccessEntry> dacl = sd.dacl;
        entry.daclProtected = (sd.control & SE_DACL_PROTECTED) != 0;
        entry.nullDacl = sd.nullDacl;
        if (!entry.daclProtected)
            for (const auto& inherited : entry.dacl)
                dacl.push_back(inherited);
        entry.dacl = dacl;
    }
    return TRUE;
}

DWORD FakeOs::GetFileAttributesA(const char* path) {
    // A character no name may hold (after a "\\?\" or "\\.\" prefix) names
    // nothing.
    std::string const name = EntryName(path);
    bool const prefixed = name.rfind("\\\\?\\", 0) == 0 || name.rfind("\\\\.\\", 0) == 0;
    if (name.find_first_of("|<>\"*?", prefixed ? 4 : 0) != std::string::npos) {
        m_lastError = ERROR_INVALID_NAME;
        return INVALID_FILE_ATTRIBUTES;
    }
    auto file = files.find(Follow(name, false));
    if (file == files.end()) {
        m_lastError = FolderThere(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return INVALID_FILE_ATTRIBUTES;
    }
    // A symbolic link is a reparse point too: the entry's own attributes.
    return (file->second.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL) |
           (file->second.IsReparsePoint() ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
}

BOOL FakeOs::CopyFileA(const char* existing, const char* newName, BOOL failIfExists) {
    std::string const from = Follow(existing ? existing : "", true);
    std::string const to = Follow(newName ? newName : "", false);
    auto source = files.find(from);
    if (source == files.end() || source->second.directory) {
        m_lastError = source == files.end() ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
        return FALSE;
    }
    auto error = fileErrors.find(to);
    if (error != fileErrors.end()) {
        m_lastError = error->second;
        return FALSE;
    }
    auto target = files.find(to);
    if (target != files.end() && (failIfExists || target->second.directory)) {
        m_lastError = target->second.directory ? ERROR_ACCESS_DENIED : ERROR_FILE_EXISTS;
        return FALSE;
    }
    std::string const folder = ParentPath(to);
    auto parent = files.find(folder);
    if (!IsDrive(folder) && (parent == files.end() || !parent->second.directory)) {
        m_lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (!BeginStateChange("CopyFileA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    // A file that was there keeps its security; a new one gets its folder's.
    if (target == files.end())
        files[to] = NewEntry(to, false);
    auto bytes = profileFiles.find(from);
    if (bytes != profileFiles.end())
        profileFiles[to] = bytes->second;
    else
        profileFiles.erase(to);
    return TRUE;
}

// A junction goes as the entry it is; a folder held open without shared
// deletion stays.
BOOL FakeOs::RemoveDirectoryA(const char* path) {
    std::string const p = Follow(path ? path : "", false);
    auto folder = files.find(p);
    if (folder == files.end() || !folder->second.directory) {
        m_lastError = folder == files.end() ? ERROR_FILE_NOT_FOUND : ERROR_DIRECTORY;
        return FALSE;
    }
    if (!MayDelete(p)) {
        m_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (IsOpenFile(p)) {
        m_lastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    for (const auto& [name, entry] : files)
        if (SameText(ParentPath(name), p)) {
            m_lastError = ERROR_DIR_NOT_EMPTY;
            return FALSE;
        }
    if (!BeginStateChange("RemoveDirectoryA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    files.erase(folder);
    return TRUE;
}

BOOL FakeOs::LookupPrivilegeValueA(const char* name, LUID* luid) {
    std::string const n = name ? name : "";
    DWORD const value = SameText(n, "SeTakeOwnershipPrivilege") ? kTakeOwnership
                        : SameText(n, "SeBackupPrivilege")      ? kBackup
                        : SameText(n, "SeRestorePrivilege")     ? kRestore
                                                                : 0;
    if (!value) {
        m_lastError = ERROR_NO_SUCH_PRIVILEGE;
        return FALSE;
    }
    *luid = LUID{value, 0};
    return TRUE;
}

BOOL FakeOs::AdjustTokenPrivilege(HANDLE token, const LUID& luid, DWORD attributes) {
    if (!m_tokens.count(reinterpret_cast<std::uintptr_t>(token))) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!FullAdministrator() ||
        (luid.LowPart != kTakeOwnership && luid.LowPart != kBackup && luid.LowPart != kRestore)) {
        m_lastError = ERROR_NOT_ALL_ASSIGNED;
        return TRUE;
    }
    if (attributes & SE_PRIVILEGE_ENABLED)
        enabledPrivileges.insert(luid.LowPart);
    else
        enabledPrivileges.erase(luid.LowPart);
    m_lastError = ERROR_SUCCESS;
    return TRUE;
}

} // namespace port
