#include "common/report.h"

#include "common/platform.h"
#include "common/run_event.h"
#include "common/run_log.h"
#include "common/secure_folder.h"
#include "common/syserror.h"
#include "common/text.h"

#include <atomic>

using namespace port;

namespace {

// Everything a run has recorded so far. Both threads report; the lock is
// held only while the state changes, a line is written or the run ends,
// never while a box is shown.
struct RunState {
    bool quiet = false;
    OutcomeValues values;
    // Why the run ended, for its event: its last message, or why another
    // instance has its job.
    std::string reason;
    // The exit code was given (EndWith), not made by the run's failures.
    bool decided = false;
    bool requestSent = false;
    bool leaveOutcomeValues = false;
    bool eventReported = false;
    bool identified = false;
    std::string computer;
    DWORD processId = 0;
    CRunLog log;
};

// Never destroyed: what the run holds (its log's file) is let go by Reset or
// by the end of the process, never by destructors at exit, when the port
// may be gone.
RunState& g_state = *new RunState;
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

class Lock {
public:
    Lock() {
        while (g_lock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Lock() { g_lock.clear(std::memory_order_release); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

// Writes one line; the caller holds the lock.
void WriteLine(const std::string& text) {
    Os& os = Sys();
    if (!g_state.identified) {
        g_state.identified = true;
        g_state.computer = GetComputerNameString();
        g_state.processId = os.GetCurrentProcessId();
    }
    SYSTEMTIME now{};
    os.GetLocalTime(&now);
    const char* const mode = RunModeName(g_state.values.mode);
    // Why the log is where it is comes first, once.
    (void)g_state.log.Path();
    std::string const note = g_state.log.TakeNote();
    if (!note.empty())
        (void)g_state.log.Append(
            FormatLogLine(now, g_state.computer, g_state.processId, mode, note));
    // The log's own failures go nowhere: the run is the same without it.
    (void)g_state.log.Append(FormatLogLine(now, g_state.computer, g_state.processId, mode, text));
}

// A registry failure in the log's words; the caller holds the lock.
void WriteFailure(const char* what, LONG result) {
    std::string const text = CSystemError(static_cast<DWORD>(result)).GetErrorText();
    WriteLine(Format("%s under HKEY_LOCAL_MACHINE\\%s: ", what, kOutcomeKey) +
              (text.empty() ? Format("error %ld", static_cast<long>(result)) : text));
}

// The run's event, once; the caller holds the lock.
void ReportEventOnce(bool fault) {
    if (g_state.eventReported)
        return;
    g_state.eventReported = true;
    // Windows 9x keeps no event log.
    if (!IsNT())
        return;
    RunEnd end;
    end.mode = g_state.values.mode;
    end.exitCode = g_state.values.result;
    end.fault = fault;
    end.decided = g_state.decided;
    end.reason = g_state.reason;
    end.guid = g_state.values.guidStored ? g_state.values.guid : std::string();
    if (!ReportRunEnd(end))
        WriteLine(Format("The run's event could not be reported to the Application log: %s",
                         ErrorLine(Sys().GetLastError()).c_str()));
}

// Finish's work; the caller holds the lock.
int FinishLocked(bool fault) {
    if (!g_state.leaveOutcomeValues) {
        g_state.values.logFile = g_state.log.CurrentFile();
        LONG const result = WriteOutcomeValues(g_state.values);
        if (result != ERROR_SUCCESS)
            WriteFailure("The outcome values could not be written", result);
    }
    int const outcome = g_state.values.result;
    WriteLine(Format("Finished with exit code %d: %s", outcome,
                     ExitCodeMeaning(static_cast<ExitCode>(outcome))));
    // Last: an account that may write nothing else still leaves it.
    ReportEventOnce(fault);
    return outcome;
}

} // namespace

CRunReport& Report() {
    static CRunReport report;
    return report;
}

void CRunReport::Reset() {
    Lock lock;
    // What the run before held (its log's folder, its own file) goes with it.
    g_state = RunState{};
    ReleaseSecuredFolders();
}

void CRunReport::SetQuiet(bool quiet) {
    Lock lock;
    g_state.quiet = quiet;
}

bool CRunReport::IsQuiet() const {
    Lock lock;
    return g_state.quiet;
}

void CRunReport::SetMode(RunMode mode) {
    Lock lock;
    g_state.values.mode = mode;
}

RunMode CRunReport::Mode() const {
    Lock lock;
    return g_state.values.mode;
}

void CRunReport::Event(const std::string& text) {
    Lock lock;
    WriteLine(text);
}

bool CRunReport::Message(const std::string& text) {
    Lock lock;
    // As reg query shows it: without the line break that ends a system's text.
    std::size_t const end = text.find_last_not_of(" \r\n");
    g_state.values.lastMessage = end == std::string::npos ? std::string() : text.substr(0, end + 1);
    g_state.reason = g_state.values.lastMessage;
    WriteLine(std::string(g_state.quiet ? "Message (not shown): " : "Message: ") + text);
    return !g_state.quiet;
}

void CRunReport::Fail(ExitCode code) {
    Lock lock;
    if (ExitCodeGravity(code) > ExitCodeGravity(static_cast<ExitCode>(g_state.values.result)))
        g_state.values.result = code;
}

void CRunReport::Refuse() {
    SetMode(RunMode::Refused);
    Fail(kExitRefused);
}

void CRunReport::EndForAnother(const std::string& why) {
    Fail(kExitAlreadyRunning);
    LeaveOutcomeValues();
    Lock lock;
    g_state.reason = why;
    WriteLine(why);
}

void CRunReport::EndWith(int code) {
    Lock lock;
    g_state.values.result = code;
    g_state.decided = true;
}

void CRunReport::EndBecause(const std::string& why) {
    Lock lock;
    g_state.reason = why;
    WriteLine(why);
}

int CRunReport::Outcome() const {
    Lock lock;
    return g_state.values.result;
}

void CRunReport::CopyBegins() {
    Lock lock;
    g_state.values.guidStored = false;
    g_state.values.requestSent = false;
    g_state.requestSent = false;
    LONG const result = ClearCopyValues();
    if (result != ERROR_SUCCESS)
        WriteFailure("The last run's Guid and ServerStatus could not be cleared", result);
}

void CRunReport::GuidStored(const std::string& oldGuid, const std::string& newGuid) {
    Lock lock;
    g_state.values.guidStored = true;
    g_state.values.guid = newGuid;
    WriteLine("GUID stored: " + newGuid + " (was " + (oldGuid.empty() ? "none" : oldGuid) + ")");
}

void CRunReport::RequestSent() {
    Lock lock;
    g_state.requestSent = true;
}

void CRunReport::ServerStatus(DWORD status) {
    Lock lock;
    if (!g_state.requestSent)
        return;
    g_state.values.requestSent = true;
    g_state.values.serverStatus = status;
}

void CRunReport::LeaveOutcomeValues() {
    Lock lock;
    g_state.leaveOutcomeValues = true;
}

std::string CRunReport::LogPath() {
    Lock lock;
    return g_state.log.Path();
}

int CRunReport::Finish() {
    Lock lock;
    return FinishLocked(false);
}

int CRunReport::FinishAfterFault(const std::string& fault) {
    // A bounded wait: the thread that holds the lock may be this one, or
    // one that will never let go of it.
    bool locked = false;
    for (int spin = 0; spin < (1 << 20) && !locked; ++spin)
        locked = !g_lock.test_and_set(std::memory_order_acquire);
    if (!locked) {
        // The record is in the middle of a change: only the event goes out,
        // from what this fault knows.
        RunEnd end;
        end.modeText = "unknown";
        end.exitCode = kExitUnexpectedError;
        end.fault = true;
        end.reason = "The program ended at an unexpected error: " + fault;
        (void)ReportRunEnd(end);
        return kExitUnexpectedError;
    }
    try {
        g_state.values.result = kExitUnexpectedError;
        g_state.values.lastMessage = "The program ended at an unexpected error: " + fault;
        g_state.reason = g_state.values.lastMessage;
        WriteLine(g_state.values.lastMessage);
        (void)FinishLocked(true);
    } catch (...) {
        // What cannot be recorded now is lost; the exit code and the event
        // still tell.
        ReportEventOnce(true);
    }
    g_lock.clear(std::memory_order_release);
    return kExitUnexpectedError;
}
