#include "common/folder_entries.h"

#include "common/handles.h"
#include "common/secure_folder.h"
#include "common/settings.h"
#include "common/text.h"

#include <algorithm>
#include <vector>

using namespace port;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kAsItself = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

// The names in folder, "." and ".." left out.
std::vector<std::string> EntriesOf(const std::string& folder) {
    Os& os = Sys();
    std::vector<std::string> names;
    FIND_ENTRY entry{};
    int error = 0;
    std::intptr_t const search = os.FindFirstEntry((folder + "\\*").c_str(), &entry, &error);
    if (search == -1)
        return names;
    do {
        std::string const name = entry.name;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (os.FindNextEntry(search, &entry) == 0);
    os.FindCloseEntry(search);
    return names;
}

// The entry at path opened as itself, only to be looked at (and with
// extra rights, changed).
unique_file OpenEntry(const std::string& path, DWORD extra = 0) {
    return unique_file(Sys().CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL | extra,
                                         kShareAll, OPEN_EXISTING, kAsItself));
}

// The time in a stamped name (after its last marker), "" where it has none:
// such an entry counts as the oldest.
bool Stamped(const std::string& name, std::string* time) {
    std::size_t const aside = name.rfind(".aside-");
    std::size_t const run = name.rfind(".run-");
    std::size_t at = std::string::npos;
    if (aside != std::string::npos)
        at = aside + 7;
    if (run != std::string::npos && (at == std::string::npos || run + 5 > at))
        at = run + 5;
    if (at == std::string::npos)
        return false;
    std::size_t end = at;
    while (end < name.size() && end - at < 14 && name[end] >= '0' && name[end] <= '9')
        ++end;
    *time = end - at == 14 ? name.substr(at, 14) : std::string();
    return true;
}

// The DACL of a file of the record: the system and Administrators alone.
std::vector<BYTE> RecordFileDescriptor() {
    SecurityDescriptor sd;
    sd.control = SE_DACL_PROTECTED;
    sd.daclPresent = true;
    sd.dacl = {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, kSidLocalSystem},
               {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, kSidAdministrators}};
    return EncodeSecurityDescriptor(sd);
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

} // namespace

bool IsPlainFile(const BY_HANDLE_FILE_INFORMATION& info) {
    return !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
           info.nNumberOfLinks == 1;
}

std::string StampedName(const std::string& path, const char* kind) {
    static unsigned counter = 0;
    Os& os = Sys();
    SYSTEMTIME now{};
    os.GetLocalTime(&now);
    return path + Format(".%s-%04u%02u%02u%02u%02u%02u-%lu-%u", kind, unsigned{now.wYear},
                         unsigned{now.wMonth}, unsigned{now.wDay}, unsigned{now.wHour},
                         unsigned{now.wMinute}, unsigned{now.wSecond},
                         static_cast<unsigned long>(os.GetCurrentProcessId()), ++counter);
}

bool SetAside(const std::string& path) {
    Os& os = Sys();
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (os.MoveFileExA(path.c_str(), StampedName(path, "aside").c_str(), 0))
            return true;
        DWORD const error = os.GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

void SetAsideForeignEntries(const std::string& folder, bool closeKept,
                            const std::string& administrator) {
    Os& os = Sys();
    for (const std::string& name : EntriesOf(folder)) {
        if (name.find(".aside-") != std::string::npos)
            continue;
        std::string const path = JoinPath(folder, name);
        BY_HANDLE_FILE_INFORMATION info{};
        SecurityDescriptor sd;
        DWORD error = 0;
        unique_file entry = OpenEntry(path);
        bool const plain = entry && os.GetFileInformationByHandle(entry.get(), &info) &&
                           IsPlainFile(info) && ReadObjectSecurity(entry.get(), &sd, &error) &&
                           TrustedAccount(sd.owner, administrator);
        entry.reset();
        if (!plain) {
            (void)SetAside(path);
            continue;
        }
        if (!closeKept || Exposure(sd, false, FolderUse::Record, administrator).empty())
            continue;
        // Made before the folder was the administrators' alone: what it
        // inherited then still lets others in.
        BY_HANDLE_FILE_INFORMATION again{};
        unique_file const file = OpenEntry(path, WRITE_DAC);
        if (file && os.GetFileInformationByHandle(file.get(), &again) && SameFile(info, again) &&
            IsPlainFile(again))
            (void)os.SetKernelObjectSecurity(file.get(), DACL_SECURITY_INFORMATION,
                                             RecordFileDescriptor().data());
    }
}

void KeepFolderWithin(const std::string& folder, std::uint64_t limit, const std::string& keep) {
    Os& os = Sys();
    struct Entry {
        std::string time, path;
        std::uint64_t size;
        bool directory;
    };
    std::vector<Entry> removable;
    std::uint64_t total = 0;
    for (const std::string& name : EntriesOf(folder)) {
        std::string const path = JoinPath(folder, name);
        BY_HANDLE_FILE_INFORMATION info{};
        unique_file const entry = OpenEntry(path);
        bool const known = entry && os.GetFileInformationByHandle(entry.get(), &info);
        bool const directory = known && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        std::uint64_t const size = known && !directory ? (std::uint64_t{info.nFileSizeHigh} << 32) |
                                                             std::uint64_t{info.nFileSizeLow}
                                                       : 0;
        total += size;
        std::string time;
        if (Stamped(name, &time) && !SamePath(path, keep))
            removable.push_back({time, path, size, directory});
    }
    while (total >= limit && !removable.empty()) {
        auto const oldest = std::min_element(
            removable.begin(), removable.end(), [](const Entry& a, const Entry& b) {
                return a.time != b.time ? a.time < b.time : a.path < b.path;
            });
        // Both act on the entry itself: a link goes, never its target, and a
        // folder only when there is nothing in it.
        bool const removed = oldest->directory ? os.RemoveDirectoryA(oldest->path.c_str())
                                               : os.DeleteFileA(oldest->path.c_str());
        if (removed)
            total -= oldest->size;
        removable.erase(oldest);
    }
}
