// FakeOs: what a user can plant where the program writes (hard links,
// symbolic links), the sharing of one file by several openings, renames
// that replace, and a file's identity as GetFileInformationByHandle tells it.
#include "port/fake/fake_os.h"

#include <type_traits>

namespace port {

namespace {

// File indexes handed out; they only need to differ between files.
DWORD g_lastNode = 0x100;

bool SamePath(const std::string& a, const std::string& b) {
    return !CaseLess{}(a, b) && !CaseLess{}(b, a);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

void FakeOs::AddHardLink(const std::string& existing, const std::string& link) {
    FakeFile& file = files.at(existing);
    if (!file.node)
        file.node = ++g_lastNode;
    FakeFile const copy = file;
    AddFile(link);
    files[link] = copy;
    profileFiles[link] = profileFiles[existing];
}

void FakeOs::AddSymbolicLink(const std::string& link, const std::string& target) {
    AddFile(link);
    files[link].linkTarget = target;
}

DWORD FakeOs::LinkCount(const std::string& path) const {
    auto file = files.find(path);
    if (file == files.end())
        return 0;
    if (!file->second.node)
        return 1;
    DWORD count = 0;
    for (const auto& [name, entry] : files)
        count += entry.node == file->second.node ? 1 : 0;
    return count;
}

bool FakeOs::SameFile(const std::string& a, const std::string& b) const {
    if (SamePath(a, b))
        return true;
    auto first = files.find(a);
    auto second = files.find(b);
    return first != files.end() && second != files.end() && first->second.node &&
           first->second.node == second->second.node;
}

// Only openings that read, write or delete take part: one that only reads
// attributes or security neither is refused nor refuses others.
bool FakeOs::SharingAllows(const std::string& path, DWORD access, DWORD share) const {
    auto const rights = [](DWORD a) {
        a = FileRights(a);
        DWORD r = 0;
        if (a & (FILE_READ_DATA | 0x20 /* FILE_EXECUTE */))
            r |= FILE_SHARE_READ;
        if (a & (FILE_WRITE_DATA | FILE_APPEND_DATA))
            r |= FILE_SHARE_WRITE;
        if (a & DELETE)
            r |= FILE_SHARE_DELETE;
        return r;
    };
    if (!rights(access))
        return true;
    for (const auto& [handle, open] : m_files) {
        if (!SameFile(open.path, path) || !rights(open.access))
            continue;
        // Each side must share what the other does with the file.
        if ((rights(access) & ~open.share) || (rights(open.access) & ~share))
            return false;
    }
    return true;
}

void FakeOs::SyncLinks(const std::string& path) {
    auto file = files.find(path);
    if (file == files.end() || !file->second.node)
        return;
    std::string const bytes = profileFiles[path];
    for (const auto& [name, entry] : files)
        if (entry.node == file->second.node && !SamePath(name, path))
            profileFiles[name] = bytes;
}

// A rename changes directory entries only: a hard link or a symbolic link is
// moved as the link, and a replaced name that was a link leaves its target
// as it was. The openings of the file follow it to its new name.
BOOL FakeOs::RenameFile(const std::string& fromPath, const std::string& toPath, bool replace,
                        const char* call) {
    if (auto const hook = onRename) // a copy: the hook may clear itself
        hook(fromPath);
    std::string const from = Follow(fromPath, false);
    std::string const to = Follow(toPath, false);
    auto source = files.find(from);
    if (source == files.end()) {
        m_lastError = FolderThere(from.c_str()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (!MayDelete(from) || !MayAdd(to, source->second.directory)) {
        m_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    auto target = files.find(to);
    if (target != files.end() && !SamePath(from, to)) {
        if (!replace) {
            m_lastError = ERROR_ALREADY_EXISTS;
            return FALSE;
        }
        // A folder, or a file that is open, is never replaced.
        bool open = false;
        for (const auto& [handle, o] : m_files)
            open = open || SamePath(o.path, to);
        if (target->second.directory || open) {
            m_lastError = ERROR_ACCESS_DENIED;
            return FALSE;
        }
    }
    if (!SharingAllows(from, DELETE, kShareAll)) {
        m_lastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    if (!BeginStateChange(call)) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    if (SamePath(from, to))
        return TRUE;
    profileFiles.erase(to);
    // A folder takes what it holds along (a junction holds nothing).
    bool const folder = source->second.directory;
    auto const moves = [&](const std::string& path) {
        return SamePath(path, from) ||
               (folder && path.size() > from.size() && path[from.size()] == '\\' &&
                SamePath(path.substr(0, from.size()), from));
    };
    auto const renamed = [&](const std::string& path) { return to + path.substr(from.size()); };
    auto const move = [&](auto& table) {
        std::vector<std::pair<std::string, typename std::decay_t<decltype(table)>::mapped_type>>
            moved;
        for (auto it = table.begin(); it != table.end();)
            if (moves(it->first)) {
                moved.emplace_back(renamed(it->first), std::move(it->second));
                it = table.erase(it);
            } else {
                ++it;
            }
        for (auto& [path, value] : moved)
            table[path] = std::move(value);
    };
    move(files);
    move(profileFiles);
    for (auto& [handle, open] : m_files)
        if (moves(open.path))
            open.path = renamed(open.path);
    return TRUE;
}

BOOL FakeOs::GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info) {
    auto it = m_files.find(reinterpret_cast<std::uintptr_t>(handle));
    auto file = it == m_files.end() ? files.end() : files.find(it->second.path);
    if (file == files.end() || !info) {
        m_lastError = file == files.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!file->second.node)
        file->second.node = ++g_lastNode;
    *info = BY_HANDLE_FILE_INFORMATION{};
    info->dwFileAttributes =
        (file->second.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE) |
        (file->second.IsReparsePoint() ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    info->dwVolumeSerialNumber = 0x4E560001;
    auto const bytes = profileFiles.find(it->second.path);
    info->nFileSizeLow =
        bytes == profileFiles.end() ? 0u : static_cast<DWORD>(bytes->second.size());
    info->nNumberOfLinks = LinkCount(it->second.path);
    info->nFileIndexLow = file->second.node;
    m_lastError = 0;
    return TRUE;
}

} // namespace port
