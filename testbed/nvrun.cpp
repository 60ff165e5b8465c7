// nvrun.exe: starts a program, answers its message boxes and logs them.
//
//   nvrun.exe [--timeout MS] [--log FILE] [--answer ID]...
//             [--dialog CAPTION [--dialog-answer ID] [--fill ID=TEXT]...]
//             -- PROGRAM [ARGS...]
//   nvrun.exe --watch-only NAME [--appear MS] [--timeout MS] [--log FILE] [--answer ID]...
//
// Every ~20 ms it looks for visible top-level "#32770" windows of the child.
// A message box (text static 0xFFFF, standard buttons; see IsMessageBox): its caption, text,
// buttons and whether it shows an icon are written as one JSON line to FILE, then it is
// answered with the next --answer (IDOK, IDCANCEL, IDYES, ... or a number) or,
// when the list is used up, with IDOK when the box has that button, else its
// first button. Other dialogs are logged once (kind "dialog") and left alone,
// unless its caption is the one --dialog CAPTION names: that one gets the
// texts of the --fill ID=TEXT options for the controls it has (the
// credential dialog's edits, say) and is answered with --dialog-answer ID.
// Every other visible top-level window of the child is logged once too (kind
// "window", with its class and caption): a run that must show nothing at all
// has no record of any of the three kinds.
// Exit code: the child's; 124 when the time limit (default 60000 ms) ran out
// and the child was terminated; 125 for a usage error; 127 when the program
// could not be started.
//
// --watch-only starts nothing: it watches the dialogs of every process of
// the Wine session (the same logging and answering) and the processes whose
// image is NAME, which something else starts (at logon, the Run key). Each
// such process is logged when first seen and when it ends (exit code, and
// its creation and exit times as Unix milliseconds from GetProcessTimes).
// It ends with 0 once every such process seen has ended, with 3 when none
// appeared within --appear MS (default 30000), with 124 at --timeout. It
// writes {"kind":"watching"} first, so a caller knows when to start NAME.
// Every record carries unix_ms, the wall clock, to line it up with events
// outside Wine. The started program's exit record also carries
// peak_working_set, its peak working set in bytes (GetProcessMemoryInfo).
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "json_out.h"

namespace {

constexpr int kExitTimeout = 124;
constexpr int kExitNotSeen = 3;
constexpr int kExitUsage = 125;
constexpr int kExitNoStart = 127;
constexpr int kTextControl = 0xFFFF;

struct NamedId {
    const char* name;
    int id;
};
constexpr NamedId kButtonIds[] = {
    {"IDOK", IDOK},       {"IDCANCEL", IDCANCEL},     {"IDABORT", IDABORT},
    {"IDRETRY", IDRETRY}, {"IDIGNORE", IDIGNORE},     {"IDYES", IDYES},
    {"IDNO", IDNO},       {"IDTRYAGAIN", IDTRYAGAIN}, {"IDCONTINUE", IDCONTINUE}};

int ParseAnswer(const char* text) {
    for (const auto& n : kButtonIds) {
        if (_stricmp(text, n.name) == 0) {
            return n.id;
        }
    }
    char* end = nullptr;
    long v = std::strtol(text, &end, 0);
    return (end && *end == '\0' && v > 0) ? static_cast<int>(v) : -1;
}

long long UnixMs(const FILETIME& ft) {
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    constexpr unsigned long long kEpochDiff = 116444736000000000ULL; // 1601 -> 1970, 100 ns
    return v.QuadPart < kEpochDiff ? 0 : static_cast<long long>((v.QuadPart - kEpochDiff) / 10000);
}

long long NowUnixMs() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return UnixMs(ft);
}

// Quotes one argument so that the child's runtime splits it back unchanged.
std::string QuoteArg(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        return arg;
    }
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

// The process's peak working set so far, 0 when it cannot be read. Wine
// reads it from the Unix process, which is gone once the program has ended,
// so the caller keeps the largest value seen while the program ran.
SIZE_T PeakWorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PeakWorkingSetSize
                                                                     : 0;
}

std::string WindowText(HWND h) {
    int len = GetWindowTextLengthA(h);
    std::string s(static_cast<size_t>(len > 0 ? len : 0) + 1, '\0');
    int got = GetWindowTextA(h, s.data(), static_cast<int>(s.size()));
    s.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return s;
}

std::string ItemText(HWND dlg, int id) {
    HWND item = GetDlgItem(dlg, id);
    if (!item) {
        return {};
    }
    int len = GetWindowTextLengthA(item);
    std::string s(static_cast<size_t>(len > 0 ? len : 0) + 1, '\0');
    UINT got = GetDlgItemTextA(dlg, id, s.data(), static_cast<int>(s.size()));
    s.resize(got);
    return s;
}

struct Button {
    int id;
    std::string text;
};

std::vector<Button> Buttons(HWND dlg) {
    std::vector<Button> out;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        if (_stricmp(cls, "Button") == 0 && IsWindowVisible(c)) {
            out.push_back({GetDlgCtrlID(c), WindowText(c)});
        }
    }
    return out;
}

// A message box has exactly one text static with id 0xFFFF, at most an icon
// static besides, and only buttons with the standard answer ids. Other
// dialogs (the progress dialog, an about box) often label with statics of id
// -1 too, so the id alone does not tell them apart.
bool IsMessageBox(HWND dlg) {
    int texts = 0;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        int id = GetDlgCtrlID(c) & 0xFFFF;
        bool icon = (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        if (_stricmp(cls, "Static") == 0) {
            if (id == kTextControl && !icon) {
                ++texts;
            } else if (!icon) {
                return false;
            } else if (id == kTextControl) {
                return false;
            }
        } else if (_stricmp(cls, "Button") == 0) {
            if (!(id >= IDOK && id <= IDCONTINUE) && id != IDHELP) {
                return false;
            }
        } else {
            return false;
        }
    }
    return texts == 1;
}

// Whether the box shows an icon: "shown" or "none". Which icon it is cannot
// be told from another process (Wine refuses GetIconInfo on a foreign icon,
// and system icon handles differ per process), so the kind is not reported.
std::string IconState(HWND box) {
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        if (_stricmp(cls, "Static") == 0 &&
            (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(c) &&
            SendMessageA(c, STM_GETICON, 0, 0) != 0) {
            return "shown";
        }
    }
    return "none";
}

struct Watched {
    DWORD pid;
    HANDLE process;
    bool ended;
};

struct Watcher {
    DWORD pid = 0;           // 0: dialogs of every process
    std::string processName; // --watch-only: the image to follow
    std::vector<Watched> watched;
    std::set<HWND> openDialogs; // dialogs (not boxes) logged as shown
    std::vector<int> answers;
    size_t nextAnswer = 0;
    std::string dialogCaption; // the dialog to fill and answer
    int dialogAnswer = IDOK;
    std::vector<std::pair<int, std::string>> fills; // control id, text
    std::set<HWND> seen;
    FILE* log = nullptr;
    std::chrono::steady_clock::time_point start;

    long long Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    void Write(std::string line) {
        // Every record ends with the wall clock, for lining up with the caller.
        line.pop_back();
        line += ",\"unix_ms\":" + std::to_string(NowUnixMs()) + "}";
        if (log) {
            std::fputs(line.c_str(), log);
            std::fputc('\n', log);
            std::fflush(log);
        }
    }

    void Visit(HWND h) {
        if (!IsWindowVisible(h)) {
            return;
        }
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (pid != 0 && owner != pid) {
            return;
        }
        char cls[64] = {};
        GetClassNameA(h, cls, sizeof cls);
        if (seen.count(h)) {
            return;
        }
        if (std::strcmp(cls, "#32770") != 0) {
            // Any other visible window of the program started, logged once
            // (a program that must show nothing at all is checked by it).
            if (pid != 0) {
                seen.insert(h);
                Write(testbed::Obj()
                          .Str("kind", "window")
                          .Str("class", cls)
                          .Str("caption", WindowText(h))
                          .Num("pid", owner)
                          .Num("t_ms", Elapsed())
                          .Done());
            }
            return;
        }
        seen.insert(h);
        // A followed program that started since the last look at the
        // processes is picked up before its dialog is answered: answered, it
        // may end before the next look and never be seen at all.
        if (!processName.empty() && !Known(owner)) {
            PollProcesses();
        }
        if (!IsMessageBox(h)) {
            openDialogs.insert(h);
            int filled = 0;
            bool const answered = !dialogCaption.empty() && WindowText(h) == dialogCaption;
            if (answered) {
                for (const auto& [id, text] : fills) {
                    if (GetDlgItem(h, id) && SetDlgItemTextA(h, id, text.c_str()))
                        ++filled;
                }
            }
            Write(testbed::Obj()
                      .Str("kind", "dialog")
                      .Str("caption", WindowText(h))
                      .Num("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(h)))
                      .Num("pid", owner)
                      .Num("filled", filled)
                      .Num("answer", answered ? dialogAnswer : 0)
                      .Num("t_ms", Elapsed())
                      .Done());
            if (answered) {
                PostMessageA(h, WM_COMMAND, MAKEWPARAM(dialogAnswer, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(h, dialogAnswer)));
            }
            return;
        }
        auto buttons = Buttons(h);
        int answer = -1;
        if (nextAnswer < answers.size()) {
            answer = answers[nextAnswer++];
        } else {
            for (const auto& b : buttons) {
                if (b.id == IDOK) {
                    answer = IDOK;
                }
            }
            if (answer < 0) {
                answer = buttons.empty() ? IDOK : buttons.front().id;
            }
        }
        std::string list = "[";
        for (const auto& b : buttons) {
            list += list.size() > 1 ? "," : "";
            list += testbed::Obj().Num("id", b.id).Str("text", b.text).Done();
        }
        list += "]";
        Write(testbed::Obj()
                  .Str("kind", "msgbox")
                  .Str("caption", WindowText(h))
                  .Str("text", ItemText(h, kTextControl))
                  .Str("icon", IconState(h))
                  .Raw("buttons", list)
                  .Num("answer", answer)
                  .Num("pid", owner)
                  .Num("t_ms", Elapsed())
                  .Done());
        // The same message a click on that button sends to the box.
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(h, answer)));
    }

    static BOOL CALLBACK Enum(HWND h, LPARAM self) {
        reinterpret_cast<Watcher*>(self)->Visit(h);
        return TRUE;
    }

    // Logs each dialog logged as shown once when it is hidden or destroyed.
    void CheckDialogsGone() {
        for (auto it = openDialogs.begin(); it != openDialogs.end();) {
            if (IsWindow(*it) && IsWindowVisible(*it)) {
                ++it;
                continue;
            }
            Write(testbed::Obj()
                      .Str("kind", "dialog_gone")
                      .Num("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(*it)))
                      .Num("t_ms", Elapsed())
                      .Done());
            it = openDialogs.erase(it);
        }
    }

    // Picks up new processes named processName and logs those that ended.
    void PollProcesses() {
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snap != INVALID_HANDLE_VALUE) {
            PROCESSENTRY32 entry{};
            entry.dwSize = sizeof entry;
            for (BOOL ok = Process32First(snap, &entry); ok; ok = Process32Next(snap, &entry)) {
                if (_stricmp(entry.szExeFile, processName.c_str()) != 0 ||
                    Known(entry.th32ProcessID)) {
                    continue;
                }
                HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       entry.th32ProcessID);
                if (!h) {
                    continue; // gone already, or not ours to watch
                }
                watched.push_back({entry.th32ProcessID, h, false});
                Write(testbed::Obj()
                          .Str("kind", "process")
                          .Str("name", entry.szExeFile)
                          .Num("pid", entry.th32ProcessID)
                          .Num("start_unix_ms", CreationUnixMs(h))
                          .Num("t_ms", Elapsed())
                          .Done());
            }
            CloseHandle(snap);
        }
        for (auto& w : watched) {
            if (w.ended || WaitForSingleObject(w.process, 0) != WAIT_OBJECT_0) {
                continue;
            }
            w.ended = true;
            DWORD code = 0;
            GetExitCodeProcess(w.process, &code);
            FILETIME created{}, exited{}, kernel{}, user{};
            GetProcessTimes(w.process, &created, &exited, &kernel, &user);
            Write(testbed::Obj()
                      .Str("kind", "process_exit")
                      .Num("pid", w.pid)
                      .Num("code", code)
                      .Num("start_unix_ms", UnixMs(created))
                      .Num("end_unix_ms", UnixMs(exited))
                      .Num("t_ms", Elapsed())
                      .Done());
        }
    }

    bool Known(DWORD processId) const {
        for (const auto& w : watched) {
            if (w.pid == processId) {
                return true;
            }
        }
        return false;
    }

    static long long CreationUnixMs(HANDLE h) {
        FILETIME created{}, exited{}, kernel{}, user{};
        return GetProcessTimes(h, &created, &exited, &kernel, &user) ? UnixMs(created) : 0;
    }

    bool AllEnded() const {
        for (const auto& w : watched) {
            if (!w.ended) {
                return false;
            }
        }
        return !watched.empty();
    }
};

// --watch-only: follows the processes named w.processName and every dialog
// of the session until they have ended or time runs out.
int WatchOnly(Watcher& w, DWORD appearMs, DWORD timeoutMs) {
    w.Write(testbed::Obj().Str("kind", "watching").Str("name", w.processName).Done());
    for (;;) {
        // Processes first: a program that started since the last pass and
        // already shows a box is then logged before its box.
        w.PollProcesses();
        EnumWindows(&Watcher::Enum, reinterpret_cast<LPARAM>(&w));
        w.CheckDialogsGone();
        if (w.AllEnded()) {
            // A last look: a box shown just before the end is still logged.
            EnumWindows(&Watcher::Enum, reinterpret_cast<LPARAM>(&w));
            w.CheckDialogsGone();
            return 0;
        }
        if (w.watched.empty() && w.Elapsed() >= appearMs) {
            w.Write(testbed::Obj()
                        .Str("kind", "not_seen")
                        .Num("limit_ms", appearMs)
                        .Num("t_ms", w.Elapsed())
                        .Done());
            return kExitNotSeen;
        }
        if (w.Elapsed() >= timeoutMs) {
            w.Write(testbed::Obj()
                        .Str("kind", "timeout")
                        .Num("limit_ms", timeoutMs)
                        .Num("t_ms", w.Elapsed())
                        .Done());
            return kExitTimeout;
        }
        Sleep(20);
    }
}

int Usage() {
    std::fputs("usage: nvrun.exe [--timeout MS] [--log FILE] [--answer ID]... [--dialog-answer ID "
               "[--fill ID=TEXT]...] -- PROGRAM [ARGS...]\n"
               "       nvrun.exe --watch-only NAME [--appear MS] [--timeout MS] [--log FILE] "
               "[--answer ID]...\n",
               stderr);
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    Watcher w;
    DWORD timeoutMs = 60000;
    DWORD appearMs = 30000;
    const char* logPath = nullptr;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (i + 1 >= argc) {
            return Usage();
        }
        if (a == "--watch-only") {
            w.processName = argv[++i];
        } else if (a == "--appear") {
            appearMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--timeout") {
            timeoutMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--log") {
            logPath = argv[++i];
        } else if (a == "--answer") {
            int id = ParseAnswer(argv[++i]);
            if (id < 0) {
                return Usage();
            }
            w.answers.push_back(id);
        } else if (a == "--dialog") {
            w.dialogCaption = argv[++i];
        } else if (a == "--dialog-answer") {
            w.dialogAnswer = ParseAnswer(argv[++i]);
            if (w.dialogAnswer < 0) {
                return Usage();
            }
        } else if (a == "--fill") {
            std::string fill = argv[++i];
            auto eq = fill.find('=');
            if (eq == std::string::npos) {
                return Usage();
            }
            w.fills.emplace_back(
                static_cast<int>(std::strtol(fill.substr(0, eq).c_str(), nullptr, 0)),
                fill.substr(eq + 1));
        } else {
            return Usage();
        }
    }
    if (w.processName.empty() == (i >= argc)) {
        return Usage(); // either a program to start or a process to watch
    }
    std::string cmd;
    for (int k = i; k < argc; ++k) {
        cmd += k > i ? " " : "";
        cmd += QuoteArg(argv[k]);
    }
    if (logPath) {
        w.log = std::fopen(logPath, "wb");
        if (!w.log) {
            std::fprintf(stderr, "nvrun: cannot write %s\n", logPath);
            return kExitUsage;
        }
    }

    if (!w.processName.empty()) {
        w.start = std::chrono::steady_clock::now();
        int rc = WatchOnly(w, appearMs, timeoutMs);
        for (auto& p : w.watched) {
            CloseHandle(p.process);
        }
        if (w.log) {
            std::fclose(w.log);
        }
        return rc;
    }

    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    w.start = std::chrono::steady_clock::now();
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        DWORD err = GetLastError();
        std::fprintf(stderr, "nvrun: cannot start %s: error %lu\n", cmd.c_str(), err);
        w.Write(testbed::Obj().Str("kind", "start_failed").Num("error", err).Done());
        return kExitNoStart;
    }
    CloseHandle(pi.hThread);
    w.pid = pi.dwProcessId;

    int rc = 0;
    SIZE_T peak = 0;
    for (;;) {
        EnumWindows(&Watcher::Enum, reinterpret_cast<LPARAM>(&w));
        peak = std::max(peak, PeakWorkingSet(pi.hProcess));
        if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(pi.hProcess, &code);
            rc = static_cast<int>(code);
            peak = std::max(peak, PeakWorkingSet(pi.hProcess));
            w.Write(testbed::Obj()
                        .Str("kind", "exit")
                        .Num("code", code)
                        .Num("t_ms", w.Elapsed())
                        .Num("peak_working_set", static_cast<long long>(peak))
                        .Done());
            break;
        }
        if (w.Elapsed() >= timeoutMs) {
            TerminateProcess(pi.hProcess, kExitTimeout);
            WaitForSingleObject(pi.hProcess, 5000);
            w.Write(testbed::Obj()
                        .Str("kind", "timeout")
                        .Num("limit_ms", timeoutMs)
                        .Num("t_ms", w.Elapsed())
                        .Done());
            rc = kExitTimeout;
            break;
        }
    }
    CloseHandle(pi.hProcess);
    if (w.log) {
        std::fclose(w.log);
    }
    return rc;
}
