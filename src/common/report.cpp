#include "common/report.h"

#include "common/handles.h"
#include "common/message_box.h"
#include "common/platform.h"
#include "common/run_log.h"
#include "common/secure_folder.h"
#include "common/syserror.h"
#include "common/text.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <exception>

using namespace port;

namespace {

// Everything a run has recorded so far. Both threads report; the lock is
// held only while the state changes or a line is written, never while a box
// is shown.
struct RunState {
    bool quiet = false;
    RunMode mode = RunMode::Start;
    int outcome = kExitDone;
    std::string lastMessage;
    bool guidStored = false;
    std::string guid;
    DWORD serverStatus = 0;
    bool leaveOutcomeValues = false;
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
    // Why the log is where it is comes first, once.
    (void)g_state.log.Path();
    std::string const note = g_state.log.TakeNote();
    if (!note.empty())
        (void)g_state.log.Append(FormatLogLine(now, g_state.computer, g_state.processId,
                                               RunModeName(g_state.mode), note));
    // The log's own failures go nowhere: the run is the same without it.
    (void)g_state.log.Append(
        FormatLogLine(now, g_state.computer, g_state.processId, RunModeName(g_state.mode), text));
}

std::string LocalTimeText() {
    SYSTEMTIME now{};
    Sys().GetLocalTime(&now);
    return Format("%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.wYear}, unsigned{now.wMonth},
                  unsigned{now.wDay}, unsigned{now.wHour}, unsigned{now.wMinute},
                  unsigned{now.wSecond});
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
    return Sys().RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>(text.size() + 1));
}

LONG SetNumber(HKEY key, const char* name, DWORD value) {
    return Sys().RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                sizeof value);
}

// The values an administrator reads with one `reg query`; the first failure
// is returned (0 when all were written).
LONG WriteOutcomeValues(const RunState& state) {
    unique_hkey key;
    LONG result =
        Sys().RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOutcomeKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, key.put(), nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    LONG const none = ERROR_SUCCESS;
    LONG const results[] = {
        SetNumber(key.get(), "LastResult", static_cast<DWORD>(state.outcome)),
        SetString(key.get(), "LastRun", LocalTimeText()),
        SetString(key.get(), "LastMode", RunModeName(state.mode)),
        SetString(key.get(), "LastMessage", state.lastMessage),
        state.guidStored ? SetString(key.get(), "Guid", state.guid) : none,
        state.guidStored ? SetNumber(key.get(), "ServerStatus", state.serverStatus) : none,
        // Where this run's lines are: the log, or the run's own file beside
        // a log that another program held.
        SetString(key.get(), "LogFile", state.log.CurrentFile()),
    };
    for (LONG r : results)
        if (r != ERROR_SUCCESS)
            return r;
    return ERROR_SUCCESS;
}

} // namespace

const char* RunModeName(RunMode mode) {
    switch (mode) {
    case RunMode::Prepare:
        return "prepare";
    case RunMode::Copy:
        return "copy";
    case RunMode::SameHost:
        return "same host";
    case RunMode::Refused:
        return "refused";
    case RunMode::Start:
        break;
    }
    return "start";
}

int ExitCodeGravity(ExitCode code) {
    switch (code) {
    case kExitDone:
        return 0;
    case kExitCopyIncomplete:
        return 1;
    case kExitServerNotTold:
        return 2;
    case kExitCopyNotFinished:
        return 3;
    case kExitPreparationFailed:
        return 4;
    case kExitClientNotInstalled:
        return 5;
    case kExitAlreadyRunning:
    case kExitUsage:
    case kExitAlreadyPrepared:
        return 6;
    case kExitRefused:
        return 7;
    case kExitUnexpectedError:
        return 8;
    }
    return 8;
}

const char* ExitCodeMeaning(ExitCode code) {
    switch (code) {
    case kExitDone:
        return "everything was done";
    case kExitUnexpectedError:
        return "an unexpected error stopped the run";
    case kExitRefused:
        return "refused on this system or for this user";
    case kExitClientNotInstalled:
        return "the client is not installed";
    case kExitPreparationFailed:
        return "the preparation failed, nothing is registered";
    case kExitCopyNotFinished:
        return "the copy is not finished, the next logon tries again";
    case kExitServerNotTold:
        return "the copy is finished, the server was not told";
    case kExitCopyIncomplete:
        return "the copy is finished, part of the client did not stop or start";
    case kExitAlreadyRunning:
        return "another instance does the job";
    case kExitUsage:
        return "the usage was shown or an argument refused, nothing is changed";
    case kExitAlreadyPrepared:
        return "this computer is the prepared master, nothing is done";
    }
    return "unknown";
}

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
    g_state.mode = mode;
}

RunMode CRunReport::Mode() const {
    Lock lock;
    return g_state.mode;
}

void CRunReport::Event(const std::string& text) {
    Lock lock;
    WriteLine(text);
}

int CRunReport::Message(const std::string& text, const char* caption, UINT type,
                        ProgressView* view) {
    bool quiet = false;
    {
        Lock lock;
        quiet = g_state.quiet;
        // As reg query shows it: without the line break that ends a system's text.
        std::size_t const end = text.find_last_not_of(" \r\n");
        g_state.lastMessage = end == std::string::npos ? std::string() : text.substr(0, end + 1);
        WriteLine(std::string(quiet ? "Message (not shown): " : "Message: ") + text);
    }
    if (quiet)
        return IDOK;
    if (view)
        return view->ShowMessageBox(text.c_str(), caption, type);
    return Sys().MessageBoxA(AfxGetMainWnd(), text.c_str(), caption, type);
}

void CRunReport::Fail(ExitCode code) {
    Lock lock;
    if (ExitCodeGravity(code) > ExitCodeGravity(static_cast<ExitCode>(g_state.outcome)))
        g_state.outcome = code;
}

void CRunReport::Refuse() {
    SetMode(RunMode::Refused);
    Fail(kExitRefused);
}

void CRunReport::EndForAnother(const std::string& why) {
    Fail(kExitAlreadyRunning);
    LeaveOutcomeValues();
    Event(why);
}

void CRunReport::EndWith(int code) {
    Lock lock;
    g_state.outcome = code;
}

int CRunReport::Outcome() const {
    Lock lock;
    return g_state.outcome;
}

void CRunReport::GuidStored(const std::string& oldGuid, const std::string& newGuid) {
    Lock lock;
    g_state.guidStored = true;
    g_state.guid = newGuid;
    WriteLine("GUID stored: " + newGuid + " (was " + (oldGuid.empty() ? "none" : oldGuid) + ")");
}

void CRunReport::ServerStatus(DWORD status) {
    Lock lock;
    g_state.serverStatus = status;
}

void CRunReport::LeaveOutcomeValues() {
    Lock lock;
    g_state.leaveOutcomeValues = true;
}

std::string CRunReport::LogPath() {
    Lock lock;
    return g_state.log.Path();
}

namespace {

// Finish's work; the caller holds the lock.
int FinishLocked() {
    if (!g_state.leaveOutcomeValues) {
        LONG const result = WriteOutcomeValues(g_state);
        if (result != ERROR_SUCCESS) {
            std::string text = CSystemError(static_cast<DWORD>(result)).GetErrorText();
            WriteLine(
                Format("The outcome values could not be written under HKEY_LOCAL_MACHINE\\%s: ",
                       kOutcomeKey) +
                (text.empty() ? Format("error %ld", static_cast<long>(result)) : text));
        }
    }
    WriteLine(Format("Finished with exit code %d: %s", g_state.outcome,
                     ExitCodeMeaning(static_cast<ExitCode>(g_state.outcome))));
    return g_state.outcome;
}

} // namespace

int CRunReport::Finish() {
    Lock lock;
    return FinishLocked();
}

int CRunReport::FinishAfterFault(const std::string& fault) {
    // A bounded wait: the thread that holds the lock may be this one, or
    // one that will never let go of it.
    bool locked = false;
    for (int spin = 0; spin < (1 << 20) && !locked; ++spin)
        locked = !g_lock.test_and_set(std::memory_order_acquire);
    if (!locked)
        return kExitUnexpectedError;
    try {
        g_state.outcome = kExitUnexpectedError;
        g_state.lastMessage = "The program ended at an unexpected error: " + fault;
        WriteLine(g_state.lastMessage);
        (void)FinishLocked();
    } catch (...) {
        // What cannot be recorded now is lost; the exit code still tells.
    }
    g_lock.clear(std::memory_order_release);
    return kExitUnexpectedError;
}

void EndRunAtUncaughtFault() {
    std::set_terminate([] {
        std::string fault = "an error that nothing caught";
        if (std::current_exception()) {
            try {
                fault = DescribeCurrentException();
            } catch (...) {
            }
        }
        std::_Exit(Report().FinishAfterFault(fault));
    });
    // The runtime's abort (its own, or a library's) asks nobody either.
    std::signal(SIGABRT, [](int) { std::_Exit(Report().FinishAfterFault("the program aborted")); });
}
