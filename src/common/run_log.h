// The log every run leaves on the machine: Norvane\norvane.log in the common
// application data folder (the Windows folder where the system has none),
// one CRLF-ended ANSI line per event, kept below 1 MiB by turning the full
// file into norvane.log.1. Several processes may write at once, and any user
// may plant files in the folder: a line is appended whole, and never through
// a link (what is found in place of a plain file is set aside). Writing never
// raises and never shows anything: a log that cannot be written changes
// nothing else.
#pragma once

#include "port/port.h"

#include <string>
#include <utility>

inline constexpr const char* kLogFolderName = "Norvane";
inline constexpr const char* kLogFileName = "norvane.log";
// The file never reaches this size: a line that would make it so first turns
// the file into the older one.
inline constexpr port::DWORD kLogLimitBytes = 1024 * 1024;

// The folder of the log: "Norvane" under the common application data folder
// (SHGetFolderPathA, found at run time), or under the Windows folder where
// that lookup does not exist or fails. Empty when neither is known.
std::string LogFolder();

// The folder the log is written in, made or mended before anything is
// written in it (NT): "Norvane" under the common application data folder as
// a folder only administrators and the system can change; where that cannot
// be had (a junction or link in its place, a file, security that cannot be
// set right) the Windows folder's, never the one a user prepared. *note
// says what was mended or why the log went elsewhere. Empty when neither
// will do. On Windows 9x and without administrator rights: LogFolder().
std::string SecureLogFolder(std::string* note);

// One line of the log, CRLF included: local date and time, computer name,
// process id, the run's mode, then text with its line breaks and other
// control characters made blanks.
std::string FormatLogLine(const port::SYSTEMTIME& time, const std::string& computer,
                          port::DWORD processId, const std::string& mode, const std::string& text);

class CRunLog {
public:
    // Appends line (already formatted) to the log; false when it could not
    // be written. The folder is made when missing.
    bool Append(const std::string& line);
    // The log's full path; empty when no folder is known. Its folder is
    // made or mended (SecureLogFolder) at the first call.
    const std::string& Path();
    // What making or mending the folder had to say, once; empty after.
    std::string TakeNote() { return std::exchange(m_note, std::string()); }

private:
    bool m_resolved = false;
    std::string m_folder;
    std::string m_path;
    std::string m_note;
};
