// The outcome values: what an administrator reads with one `reg query`
// under HKEY_LOCAL_MACHINE\SOFTWARE\Norvane once a run has ended. Portable;
// the caller decides when (the record at a run's end, a copy as its steps
// begin).
#pragma once

#include "common/run_outcome.h"
#include "port/port.h"

#include <string>

inline constexpr const char* kOutcomeKey = "SOFTWARE\\Norvane";

struct OutcomeValues {
    int result = kExitDone;
    RunMode mode = RunMode::Start;
    std::string lastMessage;
    // "Guid", only once a copy stored one.
    bool guidStored = false;
    std::string guid;
    // "ServerStatus", only once a request went out and something came of
    // it: the HTTP status, or the library's error code when no answer came.
    bool requestSent = false;
    port::DWORD serverStatus = 0;
    std::string logFile;
};

// "LastResult", "LastRun" (local time now), "LastMode", "LastMessage",
// "LogFile", and "Guid" and "ServerStatus" where the run has them. Returns
// the first failure (ERROR_SUCCESS when all were written).
port::LONG WriteOutcomeValues(const OutcomeValues& values);

// "Guid" and "ServerStatus" gone, so that what a copy's run leaves is its
// own. Returns the first failure other than a value or key not there.
port::LONG ClearCopyValues();
