#include "common/run_event.h"

#include "common/text.h"

using namespace port;

namespace {
// A reason past this is cut: the event is for finding the run, the log
// has the whole of it.
constexpr std::size_t kReasonLimit = 2000;
} // namespace

DWORD RunEventNumber(const RunEnd& end) {
    if (end.fault)
        return kEventUncaughtFault;
    int const code = end.exitCode;
    // A run that ends before its mode is known, for no reason that needs
    // none (another instance, usage, the master), was stopped undecided.
    if (end.mode == RunMode::Start && !end.decided && code != kExitAlreadyRunning &&
        code != kExitUsage && code != kExitAlreadyPrepared)
        return kEventUndecidedStart;
    // A code of no meaning here (an elevated instance that crashed) is
    // an unexpected error; its number is in the strings.
    if (code < kExitDone || code > kExitCodeLast)
        return kEventFirst + kExitUnexpectedError;
    return kEventFirst + static_cast<DWORD>(code);
}

WORD RunEventType(DWORD number) {
    switch (number) {
    case kEventFirst + kExitDone:
    case kEventFirst + kExitAlreadyRunning:
    case kEventFirst + kExitAlreadyPrepared:
        return EVENTLOG_INFORMATION_TYPE;
    case kEventFirst + kExitServerNotTold:
    case kEventFirst + kExitCopyIncomplete:
    case kEventFirst + kExitUsage:
        return EVENTLOG_WARNING_TYPE;
    default:
        return EVENTLOG_ERROR_TYPE;
    }
}

DWORD RunEventId(DWORD number) {
    // The severity of the message table: 1 informational, 2 warning, 3 error.
    WORD const type = RunEventType(number);
    DWORD const severity = type == EVENTLOG_INFORMATION_TYPE ? 1u
                           : type == EVENTLOG_WARNING_TYPE   ? 2u
                                                             : 3u;
    return severity << 30 | (number & 0xFFFFu);
}

std::vector<std::string> RunEventStrings(const RunEnd& end) {
    std::string reason = end.reason.empty() ? std::string("none") : end.reason;
    if (reason.size() > kReasonLimit)
        reason = reason.substr(0, kReasonLimit) + "...";
    return {
        "mode: " + (end.modeText.empty() ? std::string(RunModeName(end.mode)) : end.modeText),
        Format("exit code: %d (%s)", end.exitCode,
               ExitCodeMeaning(static_cast<ExitCode>(end.exitCode))),
        "reason: " + reason,
        end.guid.empty() ? std::string() : "GUID: " + end.guid,
    };
}

bool ReportRunEnd(const RunEnd& end) noexcept {
    try {
        Os& os = Sys();
        std::vector<std::string> const strings = RunEventStrings(end);
        const char* texts[4] = {};
        for (std::size_t i = 0; i < strings.size() && i < 4; ++i)
            texts[i] = strings[i].c_str();
        DWORD const number = RunEventNumber(end);
        // A name that no source is registered under opens too: Windows then
        // shows the strings alone.
        HANDLE const source = os.RegisterEventSourceA(nullptr, kEventSource);
        if (!source)
            return false;
        bool const reported =
            os.ReportEventA(source, RunEventType(number), 0, RunEventId(number), 4, texts) != FALSE;
        (void)os.DeregisterEventSource(source);
        return reported;
    } catch (...) {
        return false;
    }
}
