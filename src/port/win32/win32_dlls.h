// Where the program's DLLs come from: the system folder, never the folder
// the program was started from (anyone may be able to write there, and the
// program runs with the highest rights). Windows only.
#pragma once

#include <windows.h>

namespace port {

// The first call of the program, before anything else is loaded: DLLs
// loaded from now on by bare name come from the system folder only
// (SetDefaultDllDirectories where the system has it; elsewhere the current
// folder is at least taken off the search and every library the program
// loads itself is loaded by its full path).
void LimitDllSearchToSystemFolder();

// A DLL the program loads itself: a bare name ("mpr.dll", "MPR") is loaded
// by its full path in the system folder, whatever the system's search
// order; a name with a path is loaded as given. NULL with the system's last
// error when it is not there.
::HMODULE LoadSystemLibrary(const char* name);

} // namespace port
