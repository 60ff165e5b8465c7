// The log every run leaves on the machine: Norvane\norvane.log in the common
// application data folder (the Windows folder where the system has none),
// one CRLF-ended ANSI line per event, kept below 1 MiB by turning the full
// file into norvane.log.1. Several processes may write at once, and a user
// may have planted files in the folder before it was the administrators'
// alone: a line is appended whole, and never through a link or into a file
// a user made (what is found in place of a plain file of the program's is
// set aside). A run that finds the log held by another program writes its
// lines to a file of its own beside it (norvane.log.run-<time>-<pid>-<n>).
// Writing never raises and never shows anything: a log that cannot be
// written changes nothing else.
#pragma once

#include "common/handles.h"
#include "port/port.h"

#include <cstdint>
#include <string>
#include <utility>

inline constexpr const char* kLogFolderName = "Norvane";
inline constexpr const char* kLogFileName = "norvane.log";
// The file never reaches this size: a line that would make it so first turns
// the file into the older one.
inline constexpr port::DWORD kLogLimitBytes = 1024 * 1024;
// What the log's folder holds is kept below this: the log, the older one,
// the runs' own files and what was set aside (the oldest of the last two go
// first).
inline constexpr std::uint64_t kLogFolderLimitBytes = 4 * 1024 * 1024;

// The folder of the log: "Norvane" under the common application data folder
// (SHGetFolderPathA, found at run time), or under the Windows folder where
// that lookup does not exist or fails. Empty when neither is known.
std::string LogFolder();

// The folder the log is written in, made or mended before anything is
// written in it (NT): "Norvane" under the common application data folder as
// a folder only administrators and the system may change or read
// (SecureFolder, held open until the run ends); where that cannot be had (a
// junction or link in its place, a file, security that cannot be set right)
// the Windows folder's, never the one a user prepared. *note says what was
// mended or why the log went elsewhere; *secured whether the folder is such
// a one. Empty when neither will do. On Windows 9x and without administrator
// rights: LogFolder().
std::string SecureLogFolder(std::string* note, bool* secured = nullptr);

// One line of the log, CRLF included: local date and time, computer name,
// process id, the run's mode, then text with its line breaks and other
// control characters made blanks.
std::string FormatLogLine(const port::SYSTEMTIME& time, const std::string& computer,
                          port::DWORD processId, const std::string& mode, const std::string& text);

class CRunLog {
public:
    // Appends line (formatted by FormatLogLine) to the log, or where the
    // log cannot take it to the run's own file beside it (from then on the
    // rest of the run's lines too); false when it could be written to
    // neither. The folder is made when missing.
    bool Append(const std::string& line);
    // The log's full path; empty when no folder is known. Its folder is
    // made or mended (SecureLogFolder) at the first call, and kept below
    // kLogFolderLimitBytes.
    const std::string& Path();
    // What making or mending the folder had to say, once; empty after.
    std::string TakeNote() { return std::exchange(m_note, std::string()); }
    // The file that took the last line; empty before any did.
    const std::string& CurrentFile() const { return m_current; }

private:
    bool AppendToRunFile(const std::string& line, std::string why);

    bool m_resolved = false;
    bool m_secured = false;
    std::string m_administrator; // the trusted owner of files in a secured folder
    std::string m_folder;
    std::string m_path;
    std::string m_note;
    std::string m_current;
    unique_file m_run; // the run's own file, once the log could not be written
    std::uint64_t m_runSize = 0;
};
