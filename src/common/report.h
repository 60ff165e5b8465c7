// The run's record: the one path by which the program tells the
// administrator anything. Every text for the administrator (message_box.h
// shows it, or in a quiet run only records it) and every line worth finding
// afterwards goes through it: the log line of each step, error, GUID,
// request and answer, and at the end the outcome values under
// HKEY_LOCAL_MACHINE\SOFTWARE\Norvane (outcome_values.h), the run's event in
// the Application log (run_event.h) and the exit code. Process-wide, used
// from both threads; nothing it fails to record changes what the run does.
// It shows nothing itself.
#pragma once

#include "common/outcome_values.h"
#include "common/run_outcome.h"
#include "port/port.h"

#include <string>

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
    // A text for the administrator, recorded ("LastMessage", the log);
    // true when it is to be shown (the run is not quiet). message_box.h
    // shows it.
    [[nodiscard]] bool Message(const std::string& text);

    // The run did not keep a promise of this kind; the gravest one counts.
    void Fail(ExitCode code);
    // This system or this user cannot run the program: mode "refused",
    // exit code 2 (the caller shows why).
    void Refuse();
    // Another instance does the job: this one ends at once, changes nothing
    // and leaves the outcome values to that one; why goes to the log and
    // the event.
    void EndForAnother(const std::string& why);
    // The run's exit code is this one, whatever the run failed at: another
    // instance's (the one this run started to do its job), or that of a
    // run with nothing to do (the usage, the prepared master).
    void EndWith(int code);
    // Why the run ends as it does, for its event, where no message says it
    // (a later message does); also a line of the log.
    void EndBecause(const std::string& why);
    int Outcome() const;
    // A copy's steps begin: the values of an earlier run that say what a
    // copy did ("Guid", "ServerStatus") go, so that none outlives its run.
    void CopyBegins();
    // The copy's client GUID: the one it had and the one now stored.
    void GuidStored(const std::string& oldGuid, const std::string& newGuid);
    // The notification's request goes out now.
    void RequestSent();
    // What came of the request: the HTTP status, or the library's error
    // code when no answer came. Kept only once a request went out (an error
    // before it says nothing of a server).
    void ServerStatus(port::DWORD status);
    // An instance that did nothing (another one does the job) leaves the
    // outcome values of the run that did it.
    void LeaveOutcomeValues();

    // The outcome values, the log's last line and the run's event; returns
    // the exit code.
    int Finish();
    // The end of a run at a fault that nothing caught: what it was, then as
    // Finish with the outcome kExitUnexpectedError and the fault's event.
    // Safe on the thread that holds the record (the fault may come from
    // inside it): the record is then left as it is, and only the event goes
    // out. Returns kExitUnexpectedError.
    int FinishAfterFault(const std::string& fault);

    // The log's full path (empty when no folder is known).
    std::string LogPath();

private:
    CRunReport() = default;
    friend CRunReport& Report();
};

// The record of this process's run.
CRunReport& Report();
