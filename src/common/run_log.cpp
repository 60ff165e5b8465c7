#include "common/run_log.h"

#include "common/folder_entries.h"
#include "common/handles.h"
#include "common/platform.h"
#include "common/secure_folder.h"
#include "common/settings.h"
#include "common/syserror.h"
#include "common/text.h"

#include <cstdint>

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

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The log open for appending. (Windows 9x has no links, no other users, no
// append-only access and no sharing of deletion: there the log is opened
// and turned over as it always was.) Every writer (a service's run and a logon's
// at once) opens it for appending only and shares everything, deletion
// included, so that a rotation may rename it under the others' handles; the
// system then puts each WriteFile whole at the end, whoever else writes.
// A link at the name is opened as the link itself, never followed; its
// owner is read through the same handle.
unique_file OpenForAppending(const std::string& path, DWORD creation, DWORD share = kShareAll) {
    Os& os = Sys();
    if (!IsNT())
        return unique_file(os.CreateFileA(path.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, creation,
                                          FILE_ATTRIBUTE_NORMAL));
    return unique_file(
        os.CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL, share,
                       creation, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT));
}

// What lies at path, opened only to be looked at (never followed).
unique_file OpenToLookAt(const std::string& path) {
    return unique_file(Sys().CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                         kShareAll, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT));
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// Whether path names the file described by ours.
bool IsAt(const std::string& path, const BY_HANDLE_FILE_INFORMATION& ours) {
    unique_file const there = OpenToLookAt(path);
    BY_HANDLE_FILE_INFORMATION info{};
    return there && Sys().GetFileInformationByHandle(there.get(), &info) && SameFile(info, ours);
}

// A plain file that may take the record's lines. In the administrators'
// own folder, also one that a trusted account owns: a file a user made
// there before the folder was theirs is set aside, not written into.
bool MayTakeLines(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info,
                  const std::string* administrator) {
    if (!IsPlainFile(info))
        return false;
    SecurityDescriptor sd;
    DWORD error = 0;
    return !administrator ||
           (ReadObjectSecurity(file, &sd, &error) && TrustedAccount(sd.owner, *administrator));
}

// The log open for appending, with what it is; never a file reached through
// a link. Whatever else lies at the name goes aside and a new file is made
// in its place (CREATE_NEW: a link planted again in the meantime is refused,
// not followed). Invalid, with *error, when the log cannot be had.
unique_file OpenPlainLog(const std::string& path, const std::string& folder,
                         const std::string* administrator, BY_HANDLE_FILE_INFORMATION* info,
                         DWORD* error) {
    Os& os = Sys();
    unique_file file = OpenForAppending(path, OPEN_ALWAYS);
    if (!file) {
        // The folder is made when a line finds it missing.
        os.CreateDirectoryA(folder.c_str());
        file = OpenForAppending(path, OPEN_ALWAYS);
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (file) {
            if (!os.GetFileInformationByHandle(file.get(), info))
                break;
            if (MayTakeLines(file.get(), *info, administrator))
                return file;
            file.reset();
        } else if (DWORD const code = os.GetLastError();
                   !IsNT() || (code != ERROR_ACCESS_DENIED && code != ERROR_FILE_EXISTS)) {
            break; // held by another program, a full disk
        }
        // A link, a user's file, or a name that refuses to be a file (a
        // folder or junction).
        if (!SetAside(path))
            break;
        file = OpenForAppending(path, CREATE_NEW);
    }
    *error = os.GetLastError();
    return {};
}

// The older log is replaced only by a plain file of the program's: what else
// lies there goes aside first (a replacing rename would only drop the
// entry, but the planted thing is kept for whoever looks into it, and a
// folder there could never be replaced).
void ClearOlder(const std::string& older, const std::string* administrator) {
    unique_file there = OpenToLookAt(older);
    BY_HANDLE_FILE_INFORMATION info{};
    if (there && Sys().GetFileInformationByHandle(there.get(), &info) &&
        MayTakeLines(there.get(), info, administrator))
        return;
    if (!there && Sys().GetLastError() != ERROR_ACCESS_DENIED)
        return; // nothing there
    there.reset();
    SetAside(older);
}

// Turns the full log, open through file, into the older one. True when the
// log may be opened again (turned over, by this process or another one).
bool TurnOver(unique_file& file, const std::string& path, const BY_HANDLE_FILE_INFORMATION& ours,
              const std::string* administrator) {
    Os& os = Sys();
    std::string const older = path + ".1";
    if (!IsNT()) {
        file.reset();
        os.DeleteFileA(older.c_str());
        return os.MoveFileA(path.c_str(), older.c_str()) != FALSE;
    }
    // Another writer may have turned it over already: the name then holds
    // its new log, which must not replace the one it has just made older.
    if (!IsAt(path, ours))
        return true;
    ClearOlder(older, administrator);
    // One replacing rename: at no moment is there no older log, and every
    // line written through any handle stays in the file it was written to.
    // The file stays open meanwhile: should another writer have turned it
    // over between the look and the rename, it now is the older log, and
    // the system does not replace a file that is open.
    if (os.MoveFileExA(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    // Held by another program: the log stays below the limit.
    DWORD const error = os.GetLastError();
    bool const turned = !IsAt(path, ours);
    os.SetLastError(error);
    return turned;
}

bool WriteLine(HANDLE file, const std::string& line) {
    Os& os = Sys();
    if (!IsNT() && os.SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER)
        return false;
    DWORD written = 0;
    return os.WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written) &&
           written == line.size();
}

// A line of the log made like line (its time, computer, process and mode)
// with another text.
std::string LineLike(const std::string& line, const std::string& text) {
    std::size_t const head = line.find(": ");
    return (head == std::string::npos ? std::string() : line.substr(0, head + 2)) + text + "\r\n";
}

} // namespace

std::string LogFolder() {
    std::string base = CommonAppDataFolder();
    if (base.empty())
        base = GetWindowsFolder();
    return base.empty() ? std::string() : JoinPath(base, kLogFolderName);
}

std::string SecureLogFolder(std::string* note, bool* secured) {
    note->clear();
    if (secured)
        *secured = false;
    // Windows 9x has no owners or DACLs: its folder is the plain one. A run
    // without administrator rights can neither make the folder Administrators'
    // nor mend it, and writes nothing its user could not write anyway: the
    // plain folder too (made on demand; the next administrator's run mends
    // what it made).
    if (!IsNT() || !IsAdministrator())
        return LogFolder();
    std::string const common = CommonAppDataFolder();
    if (secured)
        *secured = true;
    if (!common.empty()) {
        std::string const folder = JoinPath(common, kLogFolderName);
        if (SecureFolder(folder, note, FolderUse::Record))
            return folder;
    }
    std::string const windows = GetWindowsFolder();
    std::string const fallback = windows.empty() ? windows : JoinPath(windows, kLogFolderName);
    std::string why;
    if (fallback.empty() || !SecureFolder(fallback, &why, FolderUse::Record)) {
        if (secured)
            *secured = false;
        return {};
    }
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
        bool secured = false;
        m_folder = SecureLogFolder(&m_note, &secured);
        if (secured) {
            m_administrator = RunningAdministrator();
            KeepFolderWithin(m_folder, kLogFolderLimitBytes, std::string());
        }
        m_secured = secured;
        if (!m_folder.empty())
            m_path = JoinPath(m_folder, kLogFileName);
    }
    return m_path;
}

bool CRunLog::Append(const std::string& line) {
    std::string const& path = Path();
    if (path.empty() || line.size() >= kLogLimitBytes)
        return false;
    if (m_run)
        return AppendToRunFile(line, std::string());
    Os& os = Sys();
    std::string const* const administrator = m_secured ? &m_administrator : nullptr;
    DWORD error = 0;
    std::string why;
    // A few rounds: each one that turns the log over (or finds that another
    // writer did) opens the new log and looks at its size again.
    for (int round = 0; round < 4 && why.empty(); ++round) {
        BY_HANDLE_FILE_INFORMATION info{};
        unique_file file = OpenPlainLog(path, m_folder, administrator, &info, &error);
        if (!file) {
            why = path + " cannot be written (" + ErrorLine(error) + ")";
            break;
        }
        std::uint64_t const size =
            (std::uint64_t{info.nFileSizeHigh} << 32) | std::uint64_t{info.nFileSizeLow};
        if (size == 0 || size + line.size() < kLogLimitBytes) {
            bool const written = WriteLine(file.get(), line);
            if (written)
                m_current = path;
            return written;
        }
        if (!TurnOver(file, path, info, administrator))
            why =
                path + " is full and cannot be turned over (" + ErrorLine(os.GetLastError()) + ")";
    }
    if (why.empty())
        why = path + " is turned over again and again by other writers";
    return AppendToRunFile(line, why);
}

// The run's lines in a file of its own beside the log, when the log cannot
// take them (another program holds it, or the older log, without sharing):
// a new file (CREATE_NEW, never one that was there), held open without
// shared writing or deletion until the run ends, whose first line says why.
// A full one is followed by the next.
bool CRunLog::AppendToRunFile(const std::string& line, std::string why) {
    Os& os = Sys();
    if (m_run && m_runSize + line.size() >= kLogLimitBytes) {
        m_run.reset();
        why = m_current + " is full";
    }
    for (int attempt = 0; !m_run && attempt < 3; ++attempt) {
        // The file this run just filled holds its lines: it never goes to
        // make room for the next.
        if (m_secured)
            KeepFolderWithin(m_folder, kLogFolderLimitBytes, m_current);
        std::string const name = StampedName(m_path, "run");
        m_run = OpenForAppending(name, CREATE_NEW, FILE_SHARE_READ);
        if (!m_run && os.GetLastError() == ERROR_FILE_EXISTS)
            continue;
        if (!m_run)
            return false;
        std::string const first =
            LineLike(line, why + ": the lines of this run from here on are in " + name);
        m_runSize = first.size();
        m_current = name;
        (void)WriteLine(m_run.get(), first);
    }
    if (!m_run || !WriteLine(m_run.get(), line))
        return false;
    m_runSize += line.size();
    return true;
}
