#include "common/secure_folder.h"

#include "common/folder_entries.h"
#include "common/handles.h"
#include "common/platform.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"

#include <cstring>

using namespace port;

namespace {

// Owner rights and CREATOR OWNER stand for the owner, which is checked on
// its own.
constexpr const char* kOwnerRights = "S-1-3-4";
constexpr const char* kCreatorOwner = "S-1-3-0";
constexpr BYTE kBothInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// Rights that let their holder change what a file holds or who may use it,
// delete it or (on a folder) put or remove entries in it.
constexpr DWORD kFileChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC |
                                    WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
constexpr DWORD kFolderChangeRights = kFileChangeRights | FILE_DELETE_CHILD;

// The folder opened as itself: listing it (an opening that reads takes
// part in sharing, so that one without shared deletion keeps the folder
// where it is), its attributes, and its owner and DACL.
constexpr DWORD kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC | WRITE_OWNER;
constexpr DWORD kFolderFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

std::string Who(const std::string& sid) {
    if (sid == kSidEveryone)
        return "Everyone";
    if (sid == kSidUsers)
        return "Users";
    if (sid == kSidAuthenticatedUsers)
        return "Authenticated Users";
    if (sid == kSidInteractive)
        return "INTERACTIVE";
    return sid.empty() ? std::string("an account in a conditional entry") : sid;
}

constexpr DWORD kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The owner and DACL of a path, or of what a handle is open on.
BOOL ReadByPath(const void* path, void* buffer, DWORD size, DWORD* needed) {
    return Sys().GetFileSecurityA(static_cast<const char*>(path), kOwnerAndDacl, buffer, size,
                                  needed);
}
BOOL ReadByHandle(const void* object, void* buffer, DWORD size, DWORD* needed) {
    return Sys().GetKernelObjectSecurity(const_cast<void*>(object), kOwnerAndDacl, buffer, size,
                                         needed);
}

// A descriptor read with a size query, then again with a buffer of that size.
bool ReadDescriptor(BOOL (*read)(const void*, void*, DWORD, DWORD*), const void* source,
                    SecurityDescriptor* sd, DWORD* error) {
    Os& os = Sys();
    DWORD needed = 0;
    std::vector<BYTE> buffer(512, 0);
    if (!read(source, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
        if (os.GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            *error = os.GetLastError();
            return false;
        }
        buffer.assign(needed, 0);
        if (!read(source, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
            *error = os.GetLastError();
            return false;
        }
    }
    if (!DecodeSecurityDescriptor(buffer.data(), buffer.size(), sd)) {
        *error = ERROR_INVALID_SECURITY_DESCR;
        return false;
    }
    return true;
}

// Privileges enabled, where the token holds them, for the life of the
// object; the error of the call made with them outlives it.
class EnabledPrivileges {
public:
    explicit EnabledPrivileges(std::initializer_list<const char*> names) {
        Os& os = Sys();
        if (!os.OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, m_token.put()))
            return;
        for (const char* name : names) {
            LUID luid{};
            if (os.LookupPrivilegeValueA(name, &luid) &&
                os.AdjustTokenPrivilege(m_token.get(), luid, SE_PRIVILEGE_ENABLED) &&
                os.GetLastError() == ERROR_SUCCESS)
                m_enabled.push_back(luid);
        }
    }
    ~EnabledPrivileges() {
        Os& os = Sys();
        DWORD const error = os.GetLastError();
        for (const LUID& luid : m_enabled)
            (void)os.AdjustTokenPrivilege(m_token.get(), luid, 0);
        os.SetLastError(error);
    }
    EnabledPrivileges(const EnabledPrivileges&) = delete;
    EnabledPrivileges& operator=(const EnabledPrivileges&) = delete;
    bool Any() const { return !m_enabled.empty(); }

private:
    unique_handle m_token;
    std::vector<LUID> m_enabled;
};

// The folder itself, never what a junction in its place leads to. Where its
// DACL shuts Administrators out, the backup and restore privileges open it
// all the same: they count only when the handle is opened, so they are
// enabled for that call alone.
unique_file OpenFolder(const std::string& path) {
    Os& os = Sys();
    DWORD const share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    unique_file folder(
        os.CreateFileA(path.c_str(), kFolderAccess, share, OPEN_EXISTING, kFolderFlags));
    if (folder || os.GetLastError() != ERROR_ACCESS_DENIED)
        return folder;
    EnabledPrivileges const privileges({"SeBackupPrivilege", "SeRestorePrivilege"});
    if (!privileges.Any()) {
        os.SetLastError(ERROR_ACCESS_DENIED);
        return folder;
    }
    folder.reset(os.CreateFileA(path.c_str(), kFolderAccess, share, OPEN_EXISTING, kFolderFlags));
    return folder;
}

// The owner first, then the DACL, both on the folder alone: nothing below it
// (whatever a user planted there) is touched.
bool SetOwnerAndDacl(HANDLE folder, const std::vector<BYTE>& descriptor) {
    Os& os = Sys();
    return os.SetKernelObjectSecurity(folder, OWNER_SECURITY_INFORMATION, descriptor.data()) &&
           os.SetKernelObjectSecurity(folder, DACL_SECURITY_INFORMATION, descriptor.data());
}

// The folders secured in this run, held until it ends: the system lets them
// go with the process (never destroyed at exit, when the port may be gone).
// Secured from one thread at a time: the log's under the record's lock, the
// program's before any other thread runs.
std::vector<unique_file>& HeldFolders() {
    static auto* const held = new std::vector<unique_file>;
    return *held;
}

} // namespace

std::vector<BYTE> ProtectedFolderDescriptor(FolderUse use) {
    SecurityDescriptor sd;
    sd.control = SE_DACL_PROTECTED;
    sd.owner = kSidAdministrators;
    sd.daclPresent = true;
    sd.dacl = {{ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidLocalSystem},
               {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidAdministrators}};
    if (use == FolderUse::Program)
        sd.dacl.push_back({ACCESS_ALLOWED_ACE_TYPE, kBothInherit,
                           FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, kSidUsers});
    return EncodeSecurityDescriptor(sd);
}

bool TrustedAccount(const std::string& sid, const std::string& administrator) {
    return sid == kSidLocalSystem || sid == kSidAdministrators || sid == kSidTrustedInstaller ||
           (!administrator.empty() && sid == administrator);
}

// What such a one owns no standard user can have made (where Windows makes
// an administrator's files its own, as XP does, and under Wine, whose every
// file is the user's).
std::string RunningAdministrator() {
    if (!IsAdministrator())
        return {};
    Os& os = Sys();
    unique_handle token;
    if (!os.OpenProcessToken(TOKEN_QUERY, token.put()))
        return {};
    DWORD size = 0;
    os.GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(SID_AND_ATTRIBUTES))
        return {};
    std::vector<BYTE> block(size, 0);
    if (!os.GetTokenInformation(token.get(), TokenUser, block.data(), size, &size))
        return {};
    SID_AND_ATTRIBUTES user{};
    std::memcpy(&user, block.data(), sizeof user);
    auto const* sid = static_cast<const BYTE*>(user.Sid);
    if (sid < block.data() || sid >= block.data() + block.size())
        return {};
    return SidText(sid, static_cast<std::size_t>(block.data() + block.size() - sid));
}

bool ReadObjectSecurity(HANDLE object, SecurityDescriptor* sd, DWORD* error) {
    return ReadDescriptor(&ReadByHandle, object, sd, error);
}

namespace {

// What lets anyone but the trusted accounts hold one of rights on an object
// of this descriptor: its owner, a missing DACL or an allowed entry (a few
// words; empty when nothing does). An entry that holds one of change says
// "may change", any other "may read" (*onlyRead true).
std::string ExposureTo(const SecurityDescriptor& sd, DWORD rights, DWORD change,
                       const std::string& administrator, bool* onlyRead) {
    if (onlyRead)
        *onlyRead = false;
    if (sd.owner.empty() || !TrustedAccount(sd.owner, administrator))
        return "it is owned by " + (sd.owner.empty() ? std::string("nobody") : sd.owner);
    if (!sd.daclPresent || sd.nullDacl)
        return "it has no DACL: everyone may change it";
    // Deny entries are not weighed: an allowed right counts even where a
    // denial may come first, so that no order of entries hides one.
    for (const auto& ace : sd.dacl) {
        if (ace.type == ACCESS_DENIED_ACE_TYPE || (ace.flags & INHERIT_ONLY_ACE) ||
            !(ace.mask & rights))
            continue;
        if (ace.type == ACCESS_ALLOWED_ACE_TYPE &&
            (TrustedAccount(ace.sid, administrator) || ace.sid == kOwnerRights ||
             ace.sid == kCreatorOwner))
            continue;
        if (onlyRead)
            *onlyRead = !(ace.mask & change);
        return Who(ace.sid) + ((ace.mask & change) ? " may change it" : " may read it");
    }
    return {};
}

} // namespace

std::string Exposure(const SecurityDescriptor& sd, bool folder, FolderUse use,
                     const std::string& administrator, bool* onlyRead) {
    DWORD const change = folder ? kFolderChangeRights : kFileChangeRights;
    // The record is for administrators alone: any right at all counts there.
    return ExposureTo(sd, use == FolderUse::Record ? ~DWORD{0} : change, change, administrator,
                      onlyRead);
}

bool OthersMayChange(const std::string& path, std::string* why) {
    bool const folder = KindOf(path) == EntryKind::Folder;
    return OthersHoldRights(path, folder ? kFolderChangeRights : kFileChangeRights, why);
}

bool OthersHoldRights(const std::string& path, DWORD rights, std::string* why) {
    std::string reason;
    SecurityDescriptor sd;
    DWORD error = 0;
    if (!ReadDescriptor(&ReadByPath, path.c_str(), &sd, &error))
        reason = "its security cannot be read: " + ErrorLine(error);
    else
        reason = ExposureTo(sd, rights, rights, RunningAdministrator(), nullptr);
    if (why)
        *why = reason;
    return !reason.empty();
}

EntryKind KindOf(const std::string& path, DWORD* error) {
    Os& os = Sys();
    DWORD const attributes = os.GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD const code = os.GetLastError();
        if (error)
            *error = code;
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? EntryKind::Missing
                                                                            : EntryKind::Unknown;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EntryKind::ReparsePoint;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
}

bool SecureFolder(const std::string& path, std::string* note, FolderUse use) {
    Os& os = Sys();
    note->clear();
    std::vector<BYTE> const descriptor = ProtectedFolderDescriptor(use);
    DWORD error = 0;
    EntryKind kind = KindOf(path, &error);
    if (kind == EntryKind::Missing) {
        if (os.CreateDirectoryWithSecurityA(path.c_str(), descriptor.data()))
            kind = EntryKind::Folder;
        else if (os.GetLastError() == ERROR_ALREADY_EXISTS)
            kind = KindOf(path, &error); // made by another program meanwhile
        else
            error = os.GetLastError();
    }
    // What the path named a moment ago may be something else by now: the
    // handle tells what was opened, and holds it from here on.
    unique_file folder;
    BY_HANDLE_FILE_INFORMATION info{};
    if (kind == EntryKind::Folder) {
        folder = OpenFolder(path);
        if (!folder || !os.GetFileInformationByHandle(folder.get(), &info)) {
            error = os.GetLastError();
            kind = EntryKind::Unknown;
        } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            kind = EntryKind::ReparsePoint;
        } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            kind = EntryKind::File;
        }
    }
    switch (kind) {
    case EntryKind::Folder:
        break;
    case EntryKind::ReparsePoint:
        *note = path + " is a junction or link: it is not followed";
        return false;
    case EntryKind::File:
        *note = path + " is a file, not a folder";
        return false;
    case EntryKind::Missing:
    case EntryKind::Unknown:
        *note =
            path + " cannot be " + (folder ? "looked at: " : "made or opened: ") + ErrorLine(error);
        return false;
    }
    std::string const administrator = RunningAdministrator();
    SecurityDescriptor sd;
    bool onlyRead = false;
    std::string const why = ReadObjectSecurity(folder.get(), &sd, &error)
                                ? Exposure(sd, true, use, administrator, &onlyRead)
                                : "its security cannot be read: " + ErrorLine(error);
    char const* const exposed = onlyRead ? "read" : "changed";
    if (!why.empty()) {
        if (!SetOwnerAndDacl(folder.get(), descriptor)) {
            *note = path + " may be " + exposed + " by others (" + why +
                    ") and its security cannot be set right: " + ErrorLine(os.GetLastError());
            return false;
        }
        std::string const still = ReadObjectSecurity(folder.get(), &sd, &error)
                                      ? Exposure(sd, true, use, administrator)
                                      : "its security cannot be read";
        if (!still.empty()) {
            *note = path + " may be " + exposed + " by others (" + why +
                    ") and still is after its security was set: " + still;
            return false;
        }
        *note = path + " could be " + exposed + " by others (" + why +
                "): its owner and DACL are set right";
    }
    // Only now that no user may add or remove anything in it.
    SetAsideForeignEntries(path, use == FolderUse::Record, administrator);
    HeldFolders().push_back(std::move(folder));
    return true;
}

void ReleaseSecuredFolders() {
    HeldFolders().clear();
}

std::string InstalledProgramFolder() {
    std::string const programFiles = GetProgramFilesFolder();
    return programFiles.empty() ? std::string() : JoinPath(programFiles, "Norvane");
}

std::string InstalledProgramPath() {
    std::string const folder = InstalledProgramFolder();
    return folder.empty() ? std::string() : JoinPath(folder, "norvane.exe");
}

bool SamePath(const std::string& a, const std::string& b) {
    return !a.empty() && MbsICmp(a, b) == 0;
}
