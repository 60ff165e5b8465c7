// What a run can come to: its mode, as the log and "LastMode" name it, and
// the exit codes of norvane.exe with their gravity and their few words.
// Portable, no state.
#pragma once

// What a run is doing, as the log and "LastMode" name it.
enum class RunMode { Start, Prepare, Copy, SameHost, Refused };
// "start" (before the mode is known), "prepare", "copy", "same host",
// "refused".
const char* RunModeName(RunMode mode);

// The exit codes of norvane.exe (docs/ADMIN.md has the table). A run that
// failed in more than one way ends with the gravest, ranked by
// ExitCodeGravity.
enum ExitCode : int {
    kExitDone = 0,
    kExitUnexpectedError = 1,
    kExitRefused = 2, // NT before 4.0, not an administrator, no Windows sockets
    kExitClientNotInstalled = 3,
    kExitPreparationFailed = 4, // nothing registered
    kExitCopyNotFinished = 5,   // still registered: the next logon tries again
    kExitServerNotTold = 6,     // the copy is finished, the server does not know it
    kExitCopyIncomplete = 7,    // finished, but part of the client did not stop or start
    kExitAlreadyRunning = 8,    // another instance is doing the job
    kExitUsage = 9,             // usage shown or an argument refused: nothing changed
    kExitAlreadyPrepared = 10,  // this computer is the prepared master: nothing done
};
// The highest code there is.
inline constexpr int kExitCodeLast = kExitAlreadyPrepared;
int ExitCodeGravity(ExitCode code);
// A few words for the code, as the log's last line gives them; "unknown"
// for a number that is no code of this program.
const char* ExitCodeMeaning(ExitCode code);
