// FakeOs: profile (INI) files held as text, a file tree for searches, and the
// system message table.
#include "port/fake/fake_os.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace port {

namespace {

std::string Trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

bool SameText(const std::string& a, const std::string& b) {
    return !CaseLess{}(a, b) && !CaseLess{}(b, a);
}

// The section's name when line is a section header.
bool SectionHeader(const std::string& line, std::string* name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    auto close = t.find(']');
    if (close == std::string::npos)
        return false;
    *name = Trim(t.substr(1, close - 1));
    return true;
}

// One line of a section: a key with its value, or a line without "=" (listed
// as it stands by GetPrivateProfileSectionA; as a key it has no value, so a
// lookup gives the default).
struct Entry {
    std::string key;
    std::string value;
    bool hasValue = true;
};

// Entries of one section with the profile functions' trimming. Of a section
// that appears more than once only the first counts.
bool ReadSection(const std::string& text, const std::string& section, std::vector<Entry>* entries) {
    bool found = false, inside = false;
    for (const auto& line : Lines(text)) {
        std::string name;
        if (SectionHeader(line, &name)) {
            inside = !found && SameText(name, section);
            found = found || inside;
            continue;
        }
        if (!inside)
            continue;
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';')
            continue;
        auto eq = t.find('=');
        if (eq == std::string::npos)
            entries->push_back({t, std::string(), false});
        else
            entries->push_back({Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)), true});
    }
    return found;
}

bool WildcardMatch(const char* pattern, const char* name) {
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*')
        return WildcardMatch(pattern + 1, name) || (*name && WildcardMatch(pattern, name + 1));
    if (*name == '\0')
        return false;
    if (*pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                               std::tolower(static_cast<unsigned char>(*name)))
        return WildcardMatch(pattern + 1, name + 1);
    return false;
}

std::string ParentOf(const std::string& path) {
    auto slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

// ---------------------------------------------------------------- profiles

namespace {
std::string ProfilePath(const std::string& windowsFolder, const char* file) {
    std::string f = file ? file : "";
    if (f.find('\\') == std::string::npos)
        return windowsFolder + "\\" + f;
    return f;
}
} // namespace

DWORD FakeOs::GetPrivateProfileStringA(const char* section, const char* key,
                                       const char* defaultValue, char* buffer, DWORD size,
                                       const char* file) {
    if (size == 0)
        return 0;
    std::string result = defaultValue ? defaultValue : "";
    result.erase(result.find_last_not_of(' ') + 1); // trailing blanks of the default go
    auto it = profileFiles.find(ProfilePath(windowsFolder, file));
    if (it == profileFiles.end())
        m_lastError = ERROR_FILE_NOT_FOUND;
    if (it != profileFiles.end() && section && key) {
        std::vector<Entry> entries;
        ReadSection(it->second, section, &entries);
        for (const auto& [k, v, hasValue] : entries) {
            if (SameText(k, key)) {
                if (!hasValue)
                    break;
                result = v;
                if (result.size() >= 2 && (result.front() == '"' || result.front() == '\'') &&
                    result.back() == result.front())
                    result = result.substr(1, result.size() - 2);
                break;
            }
        }
    }
    DWORD n = std::min<DWORD>(static_cast<DWORD>(result.size()), size - 1);
    std::memcpy(buffer, result.data(), n);
    buffer[n] = '\0';
    return n;
}

DWORD FakeOs::GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size,
                                        const char* file) {
    if (size < 2) {
        if (size)
            buffer[0] = '\0';
        return 0;
    }
    std::string list;
    auto it = profileFiles.find(ProfilePath(windowsFolder, file));
    if (it != profileFiles.end()) {
        std::vector<Entry> entries;
        ReadSection(it->second, section ? section : "", &entries);
        for (const auto& [k, v, hasValue] : entries) {
            list += hasValue ? k + "=" + v : k;
            list += '\0';
        }
    }
    if (list.size() + 1 > size) {
        // Cut to what fits, ending with two zero bytes, as the system does.
        std::memcpy(buffer, list.data(), size - 2);
        buffer[size - 2] = '\0';
        buffer[size - 1] = '\0';
        return size - 2;
    }
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    if (list.empty())
        buffer[1] = '\0';
    return static_cast<DWORD>(list.size());
}

BOOL FakeOs::WritePrivateProfileSectionA(const char* section, const char* data, const char* file) {
    if (!BeginStateChange("WritePrivateProfileSectionA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    if (!section || !file) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::string& text = profileFiles[ProfilePath(windowsFolder, file)];
    std::string body;
    for (const char* p = data; p && *p; p += std::strlen(p) + 1)
        body += std::string(p) + "\r\n";
    // The first section of the name gets the entries; a later one of the
    // same name keeps its header and loses its entries.
    std::string out;
    bool inside = false, written = false;
    for (const auto& line : Lines(text)) {
        std::string name;
        if (SectionHeader(line, &name)) {
            inside = SameText(name, section);
            if (inside) {
                out += line + "\r\n" + (written ? std::string() : body);
                written = true;
                continue;
            }
        }
        if (!inside)
            out += line + "\r\n";
    }
    if (!written) {
        out += '[';
        out += section;
        out += "]\r\n";
        out += body;
    }
    text = out;
    return TRUE;
}

// ---------------------------------------------------------------- files

void FakeOs::AddFile(const std::string& path) {
    files[path] = FakeFile{false};
    for (std::string p = ParentOf(path); p.size() > 2; p = ParentOf(p))
        files.try_emplace(p, FakeFile{true});
}

void FakeOs::AddFolder(const std::string& path) {
    files[path] = FakeFile{true};
    for (std::string p = ParentOf(path); p.size() > 2; p = ParentOf(p))
        files.try_emplace(p, FakeFile{true});
}

std::intptr_t FakeOs::FindFirstEntry(const char* spec, FIND_ENTRY* entry, int* error) {
    // The runtime maps the system's errors: a name the system rejects
    // (ERROR_INVALID_NAME: "|" anywhere, a wildcard in a folder's name) gives
    // EINVAL, a folder or file that is not there ENOENT.
    std::string s = spec ? spec : "";
    std::string folder = Follow(ParentOf(s), true);
    std::string pattern = s.substr(s.rfind('\\') + 1);
    if (s.find('|') != std::string::npos || folder.find_first_of("*?<>\"") != std::string::npos) {
        *error = EINVAL;
        return -1;
    }
    if (s.empty()) {
        *error = ENOENT;
        return -1;
    }
    if (pattern == "*.*")
        pattern = "*";
    bool root = folder.size() == 2 && folder[1] == ':';
    auto dir = files.find(folder);
    if (!root && (dir == files.end() || !dir->second.directory)) {
        *error = ENOENT;
        return -1;
    }
    Search search;
    auto add = [&search](const std::string& name, bool directory) {
        FIND_ENTRY e{};
        e.attrib = directory ? FILE_ATTRIBUTE_DIRECTORY : 0x20 /* archive */;
        std::snprintf(e.name, sizeof e.name, "%s", name.c_str());
        search.entries.push_back(e);
    };
    if (!root) {
        if (WildcardMatch(pattern.c_str(), "."))
            add(".", true);
        if (WildcardMatch(pattern.c_str(), ".."))
            add("..", true);
    }
    for (const auto& [path, file] : files) {
        if (!SameText(ParentOf(path), folder))
            continue;
        std::string name = path.substr(path.rfind('\\') + 1);
        if (WildcardMatch(pattern.c_str(), name.c_str()))
            add(name, file.directory);
    }
    if (search.entries.empty()) {
        *error = ENOENT;
        return -1;
    }
    *entry = search.entries[0];
    search.next = 1;
    auto h = static_cast<std::intptr_t>(NextHandle());
    m_searches[h] = std::move(search);
    return h;
}

int FakeOs::FindNextEntry(std::intptr_t handle, FIND_ENTRY* entry) {
    auto it = m_searches.find(handle);
    if (it == m_searches.end() || it->second.next >= it->second.entries.size())
        return -1;
    *entry = it->second.entries[it->second.next++];
    return 0;
}

int FakeOs::FindCloseEntry(std::intptr_t handle) {
    return m_searches.erase(handle) ? 0 : -1;
}

// ---------------------------------------------------------------- messages

DWORD FakeOs::FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD,
                             char** allocatedText) {
    *allocatedText = nullptr;
    auto it = systemMessages.find(messageId);
    const std::string* text =
        (flags & FORMAT_MESSAGE_FROM_SYSTEM) && it != systemMessages.end() ? &it->second : nullptr;
    // A module's own table comes first when both are asked for.
    if (const auto* table =
            (flags & FORMAT_MESSAGE_FROM_HMODULE) ? ModuleMessages(source) : nullptr;
        table && table->count(messageId))
        text = &table->at(messageId);
    if (!text) {
        m_lastError = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    auto* block = new char[text->size() + 1];
    std::memcpy(block, text->c_str(), text->size() + 1);
    m_localBlocks.insert(block);
    *allocatedText = block;
    return static_cast<DWORD>(text->size());
}

void FakeOs::LocalFree(void* memory) {
    if (m_localBlocks.erase(memory))
        delete[] static_cast<char*>(memory);
}

// ---------------------------------------------------------------- FileCalls

namespace {
// A drive's root ("C:") always exists.
bool IsDriveRoot(const std::string& path) {
    return path.size() == 2 && path[1] == ':';
}

// Whether a file or folder can be made at path: its folder is there.
bool FolderOfExists(const std::map<std::string, FakeFile, CaseLess>& files,
                    const std::string& path) {
    std::string const parent = ParentOf(path);
    auto folder = files.find(parent);
    return !path.empty() &&
           (IsDriveRoot(parent) || (folder != files.end() && folder->second.directory));
}
} // namespace

HANDLE FakeOs::CreateFileA(const char* name, DWORD access, DWORD share, DWORD creation,
                           DWORD flags) {
    std::string path = name ? name : "";
    if (auto const hook = onOpen) // a copy: the hook may clear itself
        hook(path);
    auto error = fileErrors.find(path);
    if (error != fileErrors.end()) {
        m_lastError = error->second;
        return INVALID_HANDLE_VALUE;
    }
    // Junctions and links are followed, the last one unless the opening
    // asks for the entry itself.
    path = Follow(path, !(flags & FILE_FLAG_OPEN_REPARSE_POINT));
    auto file = files.find(path);
    // A folder opens only for its handle (backup semantics); what the
    // opening asks for must be granted.
    if (file != files.end() && ((file->second.directory && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) ||
                                (FileRights(access) & ~GrantedRights(file->second, flags)))) {
        m_lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    // A creation fails on a name that is taken before any sharing is weighed.
    if (file != files.end() && creation == CREATE_NEW) {
        m_lastError = ERROR_FILE_EXISTS;
        return INVALID_HANDLE_VALUE;
    }
    if (file != files.end() && !SharingAllows(path, access, share)) {
        m_lastError = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    if (file == files.end()) {
        if (creation == OPEN_EXISTING) {
            m_lastError = FolderOfExists(files, path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
            return INVALID_HANDLE_VALUE;
        }
        if (!FolderOfExists(files, path)) {
            m_lastError = ERROR_PATH_NOT_FOUND;
            return INVALID_HANDLE_VALUE;
        }
        if (!MayAdd(path, false)) {
            m_lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        if (!BeginStateChange("CreateFileA")) {
            m_lastError = kPoweredOff;
            return INVALID_HANDLE_VALUE;
        }
        files[path] = NewEntry(path, false);
        profileFiles[path];
        m_lastError = 0;
    } else {
        // OPEN_ALWAYS on a file that is there says so.
        m_lastError = creation == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : 0;
    }
    auto const h = NextHandle();
    m_files[h] = OpenFile{path, access, 0, share};
    return reinterpret_cast<HANDLE>(h);
}

DWORD FakeOs::GetFileSize(HANDLE file, DWORD* high) {
    auto it = m_files.find(reinterpret_cast<std::uintptr_t>(file));
    if (it == m_files.end() || !files.count(it->second.path)) {
        m_lastError = ERROR_INVALID_HANDLE;
        return INVALID_FILE_SIZE;
    }
    if (high)
        *high = 0;
    m_lastError = 0;
    return static_cast<DWORD>(profileFiles[it->second.path].size());
}

DWORD FakeOs::SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) {
    auto it = m_files.find(reinterpret_cast<std::uintptr_t>(file));
    if (it == m_files.end() || (high && *high != 0) ||
        (method != FILE_BEGIN && method != FILE_END)) {
        m_lastError = it == m_files.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
        return INVALID_SET_FILE_POINTER;
    }
    long long const base =
        method == FILE_END ? static_cast<long long>(profileFiles[it->second.path].size()) : 0;
    if (base + distance < 0) {
        m_lastError = ERROR_INVALID_PARAMETER; // ERROR_NEGATIVE_SEEK on the system
        return INVALID_SET_FILE_POINTER;
    }
    it->second.position = static_cast<std::size_t>(base + distance);
    m_lastError = 0;
    return static_cast<DWORD>(it->second.position);
}

BOOL FakeOs::WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) {
    if (written)
        *written = 0;
    auto it = m_files.find(reinterpret_cast<std::uintptr_t>(file));
    if (it == m_files.end() || !files.count(it->second.path)) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DWORD const writeData = GENERIC_WRITE | FILE_WRITE_DATA;
    if (!(it->second.access & (writeData | FILE_APPEND_DATA))) {
        m_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (!BeginStateChange("WriteFile")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    std::string& bytes = profileFiles[it->second.path];
    // A handle that may only append writes at the end, wherever it points.
    if (!(it->second.access & writeData))
        it->second.position = bytes.size();
    if (bytes.size() < it->second.position)
        bytes.resize(it->second.position, '\0');
    bytes.replace(it->second.position,
                  std::min<std::size_t>(size, bytes.size() - it->second.position),
                  static_cast<const char*>(data), size);
    it->second.position += size;
    SyncLinks(it->second.path);
    if (written)
        *written = size;
    return TRUE;
}

BOOL FakeOs::CreateDirectoryA(const char* path) {
    std::string p = path ? path : "";
    auto error = fileErrors.find(p);
    if (error != fileErrors.end()) {
        m_lastError = error->second;
        return FALSE;
    }
    p = Follow(p, false);
    if (files.count(p) || IsDriveRoot(p)) {
        m_lastError = ERROR_ALREADY_EXISTS;
        return FALSE;
    }
    if (!FolderOfExists(files, p)) {
        m_lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (!MayAdd(p, true)) {
        m_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (!BeginStateChange("CreateDirectoryA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    files[p] = NewEntry(p, true);
    return TRUE;
}

// A file open through a handle is deleted or renamed only when every
// opening shares deletion.
bool FakeOs::IsOpenFile(const std::string& path) const {
    return !SharingAllows(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

BOOL FakeOs::DeleteFileA(const char* path) {
    std::string const p = Follow(path ? path : "", false);
    auto file = files.find(p);
    if (file == files.end() || file->second.directory || !MayDelete(p)) {
        m_lastError = file == files.end() ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (IsOpenFile(p)) {
        m_lastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    if (!BeginStateChange("DeleteFileA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    files.erase(file);
    profileFiles.erase(p);
    return TRUE;
}

BOOL FakeOs::MoveFileA(const char* existing, const char* newName) {
    return RenameFile(existing ? existing : "", newName ? newName : "", false, "MoveFileA");
}

DWORD FakeOs::GetCurrentProcessId() {
    return processId;
}

HANDLE FakeOs::CreateMutexA(BOOL, const char* name) {
    return MakeMutex(name, nullptr);
}

std::string FakeOs::FileText(const std::string& path) const {
    auto file = profileFiles.find(path);
    return file == profileFiles.end() ? std::string() : file->second;
}

} // namespace port
