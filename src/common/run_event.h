// The run's one event in the Windows Application log, from the source
// "Norvane": what fleets collect (event forwarding, rules by source and
// ID). Its number says how the run ended (1000 + the exit code; 1100 an
// undecided start; 1101 a fault nothing caught), its type how grave that
// is, and its strings say what they are ("mode: copy", "exit code: 0 (...)",
// "reason: ...", "GUID: ..."), so that the event still reads whole where the
// message file is gone (a copy removes the program) or was never there (a
// forwarded event, a machine where the source is not registered).
// Portable; the texts of the message table are src/res/norvane_events.mc.
#pragma once

#include "common/run_outcome.h"
#include "port/port.h"

#include <string>
#include <vector>

inline constexpr const char* kEventSource = "Norvane";
inline constexpr port::DWORD kEventFirst = 1000; // + the exit code
inline constexpr port::DWORD kEventUndecidedStart = 1100;
inline constexpr port::DWORD kEventUncaughtFault = 1101;

// What the event tells of a run's end.
struct RunEnd {
    RunMode mode = RunMode::Start;
    // The text the mode string gives instead of the mode's name (a fault
    // that left the record unreadable); empty: the mode's name.
    std::string modeText;
    int exitCode = kExitDone;
    // Ended at a fault that nothing caught.
    bool fault = false;
    // The exit code was given, not made by failures (another instance's,
    // the one this run started with full rights; the usage): the run knew
    // what it did, whatever its mode.
    bool decided = false;
    // Why, as the record's last message gives it (already masked where it
    // was made); empty: none.
    std::string reason;
    // A copy's new client GUID; empty: none stored.
    std::string guid;
};

// The event's number (its low 16 bits, as Event Viewer shows it).
port::DWORD RunEventNumber(const RunEnd& end);
// EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE or EVENTLOG_ERROR_TYPE.
port::WORD RunEventType(port::DWORD number);
// The full identifier, with the severity bits the message table gives it.
port::DWORD RunEventId(port::DWORD number);
// %1 to %4 of the event's text.
std::vector<std::string> RunEventStrings(const RunEnd& end);

// Reports the event (through a source opened by name, registered or not);
// false when the log did not take it. Never raises, never shows anything.
bool ReportRunEnd(const RunEnd& end) noexcept;
