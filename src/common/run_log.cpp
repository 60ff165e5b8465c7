#include "common/run_log.h"

#include "common/handles.h"
#include "common/platform.h"
#include "common/secure_folder.h"
#include "common/settings.h"
#include "common/text.h"

using namespace port;

namespace {

// The common application data folder; empty where the shell has no lookup
// for it (Windows 95 and NT 4.0 without a later Internet Explorer) or where
// the lookup fails.
std::string CommonAppDataFolder() {
    Os& os = Sys();
    unique_hmodule shell(os.LoadLibraryA("shell32.dll"));
    if (!shell)
        return {};
    auto lookup =
        reinterpret_cast<PFN_SHGetFolderPathA>(os.GetProcAddress(shell.get(), "SHGetFolderPathA"));
    if (!lookup)
        return {};
    char path[MAX_PATH + 1] = {};
    if (lookup(nullptr, kCsidlCommonAppData, nullptr, 0, path) != S_OK)
        return {};
    path[MAX_PATH] = '\0';
    return path;
}

// A file of the log, open for appending; INVALID_HANDLE_VALUE when it cannot
// be opened (another process may hold it for a moment, so it is shared).
struct file_traits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer file) noexcept { Sys().CloseHandle(file); }
};
using unique_file = unique_resource<file_traits>;

unique_file OpenForAppending(const std::string& path) {
    return unique_file(Sys().CreateFileA(path.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL));
}

} // namespace

std::string LogFolder() {
    std::string base = CommonAppDataFolder();
    if (base.empty())
        base = GetWindowsFolder();
    return base.empty() ? std::string() : JoinPath(base, kLogFolderName);
}

std::string SecureLogFolder(std::string* note) {
    note->clear();
    // Windows 9x has no owners or DACLs: its folder is the plain one. A run
    // without administrator rights can neither make the folder Administrators'
    // nor mend it, and writes nothing its user could not write anyway: the
    // plain folder too (made on demand; the next administrator's run mends
    // what it made).
    if (GetPlatformId() != VER_PLATFORM_WIN32_NT || !IsAdministrator())
        return LogFolder();
    std::string const common = CommonAppDataFolder();
    if (!common.empty()) {
        std::string const folder = JoinPath(common, kLogFolderName);
        if (SecureFolder(folder, note))
            return folder;
    }
    std::string const windows = GetWindowsFolder();
    if (windows.empty())
        return {};
    std::string const fallback = JoinPath(windows, kLogFolderName);
    std::string why;
    if (!SecureFolder(fallback, &why))
        return {};
    if (!note->empty())
        *note += "; the log is written in " + fallback + " instead";
    else if (!why.empty())
        *note = why;
    return fallback;
}

std::string FormatLogLine(const SYSTEMTIME& time, const std::string& computer, DWORD processId,
                          const std::string& mode, const std::string& text) {
    std::string line = Format("%04u-%02u-%02u %02u:%02u:%02u %s %lu %s: ", unsigned{time.wYear},
                              unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour},
                              unsigned{time.wMinute}, unsigned{time.wSecond}, computer.c_str(),
                              static_cast<unsigned long>(processId), mode.c_str());
    // One event, one line: a text's own line breaks (a message of two
    // lines, a server's text) become a blank, and so does any other control
    // character that Notepad would show as a box.
    bool blank = false;
    for (char c : text) {
        bool const control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        if (control) {
            if (!blank)
                line += ' ';
            blank = true;
            continue;
        }
        line += c;
        blank = false;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line + "\r\n";
}

const std::string& CRunLog::Path() {
    if (!m_resolved) {
        m_resolved = true;
        m_folder = SecureLogFolder(&m_note);
        if (!m_folder.empty())
            m_path = JoinPath(m_folder, kLogFileName);
    }
    return m_path;
}

bool CRunLog::Append(const std::string& line) {
    Os& os = Sys();
    std::string const& path = Path();
    if (path.empty() || line.size() >= kLogLimitBytes)
        return false;
    unique_file file = OpenForAppending(path);
    if (!file) {
        // The folder is made when a line finds it missing.
        os.CreateDirectoryA(m_folder.c_str());
        file = OpenForAppending(path);
        if (!file)
            return false;
    }
    DWORD const size = os.GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE)
        return false;
    if (size > 0 && size + line.size() >= kLogLimitBytes) {
        // The full file becomes the older one; the one before that goes.
        file.reset();
        std::string const older = path + ".1";
        os.DeleteFileA(older.c_str());
        if (!os.MoveFileA(path.c_str(), older.c_str()))
            return false; // held by another program: no line rather than past the limit
        file = OpenForAppending(path);
        if (!file)
            return false;
    }
    if (os.SetFilePointer(file.get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER)
        return false;
    DWORD written = 0;
    return os.WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written) &&
           written == line.size();
}
