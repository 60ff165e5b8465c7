// Elevation on Windows Vista and later: a program started from the Run key
// by an administrator gets the filtered token of User Account Control, with
// which no change to the machine succeeds. It starts itself again through
// the system's consent prompt and ends with that instance's exit code.
#pragma once

#include "app/command_line.h"

#include <string>

// Whether this run has an administrator's filtered token.
[[nodiscard]] bool HasFilteredToken();

// Whether the job of an instance with a filtered token is another's, so
// that nobody is asked for consent only to see it end with 8: started by its
// registration and the registration is gone (the job is done), or the
// boot-time service is installed and runs now, or is installed at all for a
// quiet instance (it does the job before or beside the logon). Then the run
// ends at once, changes nothing and records it (exit code 8).
[[nodiscard]] bool LeftToAnotherInstance(const CNorvaneCommandLineInfo& cmdInfo);

// Starts this program again with the verb "runas" and the same arguments,
// waits for that instance and takes its exit code for this run's. A quiet
// run asks nobody: it is refused, as a declined prompt is (message 102 and
// its exit code). This instance changes nothing and leaves the outcome
// values to the elevated one.
void RunElevated(const std::string& commandLine, const CNorvaneCommandLineInfo& cmdInfo);
