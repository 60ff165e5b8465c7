#include "common/secure_folder.h"

#include "common/handles.h"
#include "common/platform.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"
#include "port/security_descriptor.h"

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

// The token's user, when it is an administrator: what such a one owns no
// standard user can have made (where Windows makes an administrator's
// files its own, as XP does, and under Wine, whose every file is the
// user's).
std::string AdministratorUser() {
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

bool Trusted(const std::string& sid, const std::string& administrator) {
    return sid == kSidLocalSystem || sid == kSidAdministrators || sid == kSidTrustedInstaller ||
           (!administrator.empty() && sid == administrator);
}

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

bool ReadDescriptor(const std::string& path, SecurityDescriptor* sd, DWORD* error) {
    Os& os = Sys();
    DWORD const info = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    std::vector<BYTE> buffer(512, 0);
    if (!os.GetFileSecurityA(path.c_str(), info, buffer.data(), static_cast<DWORD>(buffer.size()),
                             &needed)) {
        if (os.GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            *error = os.GetLastError();
            return false;
        }
        buffer.assign(needed, 0);
        if (!os.GetFileSecurityA(path.c_str(), info, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), &needed)) {
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

// Enables SeTakeOwnershipPrivilege for the life of the object, where the
// token holds it.
class TakeOwnershipPrivilege {
public:
    TakeOwnershipPrivilege() {
        Os& os = Sys();
        if (!os.LookupPrivilegeValueA("SeTakeOwnershipPrivilege", &m_luid) ||
            !os.OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, m_token.put()))
            return;
        m_enabled = os.AdjustTokenPrivilege(m_token.get(), m_luid, SE_PRIVILEGE_ENABLED) &&
                    os.GetLastError() == ERROR_SUCCESS;
    }
    // The error of the call made with the privilege outlives it.
    ~TakeOwnershipPrivilege() {
        if (!m_enabled)
            return;
        Os& os = Sys();
        DWORD const error = os.GetLastError();
        (void)os.AdjustTokenPrivilege(m_token.get(), m_luid, 0);
        os.SetLastError(error);
    }
    TakeOwnershipPrivilege(const TakeOwnershipPrivilege&) = delete;
    TakeOwnershipPrivilege& operator=(const TakeOwnershipPrivilege&) = delete;
    bool Enabled() const { return m_enabled; }

private:
    LUID m_luid{};
    unique_handle m_token;
    bool m_enabled = false;
};

// The owner first: as the owner the program may then set any DACL, whatever
// the old one let Administrators do. Where the old DACL shuts them out the
// owner is taken with the privilege for it, enabled only for that call.
bool SetOwnerAndDacl(const std::string& path, const std::vector<BYTE>& descriptor) {
    Os& os = Sys();
    if (!os.SetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, descriptor.data())) {
        if (os.GetLastError() != ERROR_ACCESS_DENIED)
            return false;
        TakeOwnershipPrivilege privilege;
        if (!privilege.Enabled()) {
            os.SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        if (!os.SetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, descriptor.data()))
            return false;
    }
    return os.SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data());
}

} // namespace

std::vector<BYTE> ProtectedFolderDescriptor() {
    SecurityDescriptor sd;
    sd.control = SE_DACL_PROTECTED;
    sd.owner = kSidAdministrators;
    sd.daclPresent = true;
    sd.dacl = {{ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidLocalSystem},
               {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_ALL_ACCESS, kSidAdministrators},
               {ACCESS_ALLOWED_ACE_TYPE, kBothInherit, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE,
                kSidUsers}};
    return EncodeSecurityDescriptor(sd);
}

bool OthersMayChange(const std::string& path, std::string* why) {
    bool const folder = KindOf(path) == EntryKind::Folder;
    return OthersHoldRights(path, folder ? kFolderChangeRights : kFileChangeRights, why);
}

bool OthersHoldRights(const std::string& path, DWORD rights, std::string* why) {
    std::string reason;
    SecurityDescriptor sd;
    DWORD error = 0;
    std::string const administrator = AdministratorUser();
    if (!ReadDescriptor(path, &sd, &error)) {
        reason = "its security cannot be read: " + CSystemError(error).GetErrorText();
    } else if (sd.owner.empty() || !Trusted(sd.owner, administrator)) {
        reason = "it is owned by " + (sd.owner.empty() ? std::string("nobody") : sd.owner);
    } else if (!sd.daclPresent || sd.nullDacl) {
        reason = "it has no DACL: everyone may change it";
    } else {
        // Deny entries are not weighed: an allowed right counts even where
        // a denial may come first, so that no order of entries hides one.
        for (const auto& ace : sd.dacl) {
            if (ace.type == ACCESS_DENIED_ACE_TYPE || (ace.flags & INHERIT_ONLY_ACE) ||
                !(ace.mask & rights))
                continue;
            if (ace.type == ACCESS_ALLOWED_ACE_TYPE &&
                (Trusted(ace.sid, administrator) || ace.sid == kOwnerRights ||
                 ace.sid == kCreatorOwner))
                continue;
            reason = Who(ace.sid) + " may change it";
            break;
        }
    }
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

bool SecureFolder(const std::string& path, std::string* note) {
    Os& os = Sys();
    note->clear();
    std::vector<BYTE> const descriptor = ProtectedFolderDescriptor();
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
        *note = path + " cannot be made: " + CSystemError(error).GetErrorText();
        return false;
    }
    std::string why;
    if (!OthersMayChange(path, &why))
        return true;
    if (!SetOwnerAndDacl(path, descriptor)) {
        *note = path + " may be changed by others (" + why +
                ") and its security cannot be set right: " +
                CSystemError(os.GetLastError()).GetErrorText();
        return false;
    }
    std::string still;
    if (OthersMayChange(path, &still)) {
        *note = path + " may be changed by others (" + why +
                ") and still is after its security "
                "was set: " +
                still;
        return false;
    }
    *note = path + " could be changed by others (" + why + "): its owner and DACL are set right";
    return true;
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
