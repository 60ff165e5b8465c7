// The run's record: the one path by which the program tells the
// administrator anything. Every message box of every step goes through it
// (shown as before, or only recorded in a quiet run), and so does every event
// worth finding afterwards: the log line of each step, error, GUID, request
// and answer, and at the end the outcome values under
// HKEY_LOCAL_MACHINE\SOFTWARE\Norvane and the exit code. Process-wide, used
// from both threads; nothing it fails to record changes what the run does.
#pragma once

#include "common/progress_view.h"
#include "port/port.h"

#include <string>

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
int ExitCodeGravity(ExitCode code);
// A few words for the code, as the log's last line gives them.
const char* ExitCodeMeaning(ExitCode code);

inline constexpr const char* kOutcomeKey = "SOFTWARE\\Norvane";

class CRunReport {
public:
    // A new run: nothing recorded, interactive, mode "start", outcome done.
    void Reset();

    // A quiet run shows nothing: every message is only recorded.
    void SetQuiet(bool quiet);
    bool IsQuiet() const;
    void SetMode(RunMode mode);
    RunMode Mode() const;

    // One line of the log.
    void Event(const std::string& text);
    // A text for the administrator: recorded, and unless the run is quiet
    // shown in a box owned by the progress dialog (view) or by the
    // application's main window (no view). Returns the button chosen (IDOK
    // in a quiet run).
    int Message(const std::string& text, const char* caption, port::UINT type,
                ProgressView* view = nullptr);

    // The run did not keep a promise of this kind; the gravest one counts.
    void Fail(ExitCode code);
    // This system or this user cannot run the program: mode "refused",
    // exit code 2 (the caller shows why).
    void Refuse();
    // Another instance does the job: this one ends at once, changes nothing
    // and leaves the outcome values to that one; why goes to the log.
    void EndForAnother(const std::string& why);
    // The run's exit code is another instance's (the one this run started
    // to do its job), whatever it is.
    void EndWith(int code);
    int Outcome() const;
    // The copy's client GUID: the one it had and the one now stored.
    void GuidStored(const std::string& oldGuid, const std::string& newGuid);
    // What came of the notification: the HTTP status, or the library's error
    // code when no answer came.
    void ServerStatus(port::DWORD status);
    // An instance that did nothing (another one does the job) leaves the
    // outcome values of the run that did it.
    void LeaveOutcomeValues();

    // The outcome values and the log's last line; returns the exit code.
    int Finish();
    // The end of a run at a fault that nothing caught: what it was, then as
    // Finish with the outcome kExitUnexpectedError. Safe on the thread that
    // holds the record (the fault may come from inside it): the record is
    // then left as it is. Returns kExitUnexpectedError.
    int FinishAfterFault(const std::string& fault);

    // The log's full path (empty when no folder is known).
    std::string LogPath();

private:
    CRunReport() = default;
    friend CRunReport& Report();
};

// The record of this process's run.
CRunReport& Report();

// From now on std::terminate (an exception that nothing caught, one thrown
// through a noexcept function) and the runtime's abort record the fault and
// end the process with kExitUnexpectedError at once, instead of the
// runtime's box.
void EndRunAtUncaughtFault();
