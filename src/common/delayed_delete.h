// Deletion of files at the next start of Windows: a running program cannot
// delete its own executable.
#pragma once

#include <string>
#include <vector>

// NT: a delayed move with no destination per file. Windows 9x: a "NUL=" line
// per file (its short path) in the "Rename" section of "wininit.ini", after
// the entries other programs put there. Never raises, reports nothing; a
// file that cannot be scheduled simply stays.
void DeleteFilesAtRestart(const std::vector<std::string>& files);
