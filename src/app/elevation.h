// Elevation on Windows Vista and later: a program started from the Run key
// by an administrator gets the filtered token of User Account Control, with
// which no change to the machine succeeds. It starts itself again through
// the system's consent prompt and ends with that instance's exit code.
#pragma once

#include "app/command_line.h"

#include <string>

// Whether this run has an administrator's filtered token.
[[nodiscard]] bool HasFilteredToken();

// Starts this program again with the verb "runas" and the same arguments,
// waits for that instance and takes its exit code for this run's. A quiet
// run asks nobody: it is refused, as a declined prompt is (message 102 and
// its exit code). This instance changes nothing and leaves the outcome
// values to the elevated one.
void RunElevated(const std::string& commandLine, const CNorvaneCommandLineInfo& cmdInfo);
