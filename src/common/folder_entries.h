// What lies in a folder of the program's own that the program did not put
// there: set aside under a name of its own, never followed, and removed
// (oldest first, each as the entry itself) once the folder grows too large.
#pragma once

#include "port/port.h"

#include <cstdint>
#include <string>

// A file with this one name and no reparse point: writing to it, moving it
// or removing it reaches nothing else.
bool IsPlainFile(const port::BY_HANDLE_FILE_INFORMATION& info);

// A new name beside path for an entry set aside or a file of this run:
// path + "." + kind + "-<yyyymmddhhmmss>-<process id>-<n>" (local time, n
// counting up within the process), so that such names tell their age.
std::string StampedName(const std::string& path, const char* kind);

// Moves what lies at path (a link a user planted, a folder in a file's
// place) to StampedName(path, "aside"), where an administrator can look at
// it. Renaming a hard link, a symbolic link or a junction renames that
// directory entry, not what it leads to: the target keeps its bytes and its
// other names. A rename that finds the new name taken fails rather than
// replacing anything; the next name is tried.
bool SetAside(const std::string& path);

// Every entry of folder that is not a plain file owned by a trusted
// account (TrustedAccount, with administrator) goes aside; entries set
// aside before stay as they are. With closeKept, a file kept that lets
// others read or change it is given a DACL for the system and
// Administrators alone, on that file only.
void SetAsideForeignEntries(const std::string& folder, bool closeKept,
                            const std::string& administrator);

// Keeps folder below limit bytes: what every entry holds counts (a link or
// a folder as the entry itself, nothing it leads to or holds), and entries
// set aside and run files ("<name>.aside-<time>…", "<name>.run-<time>…")
// are removed, oldest first, until the rest is below the limit. Each goes
// as the entry itself (a link, never its target; a folder only when it is
// empty). keep (the file of this run) never goes.
void KeepFolderWithin(const std::string& folder, std::uint64_t limit, const std::string& keep);
