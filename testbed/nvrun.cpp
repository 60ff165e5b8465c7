// nvrun.exe: starts a program, answers its message boxes and logs them.
//
//   nvrun.exe [--timeout MS] [--log FILE] [--answer ID]... -- PROGRAM [ARGS...]
//
// Every ~20 ms it looks for visible top-level "#32770" windows of the child.
// A message box (text static 0xFFFF, standard buttons; see IsMessageBox): its caption, text,
// buttons and whether it shows an icon are written as one JSON line to FILE, then it is
// answered with the next --answer (IDOK, IDCANCEL, IDYES, ... or a number) or,
// when the list is used up, with IDOK when the box has that button, else its
// first button. Other dialogs are logged once (kind "dialog") and left alone.
// Exit code: the child's; 124 when the time limit (default 60000 ms) ran out
// and the child was terminated; 125 for a usage error; 127 when the program
// could not be started.
#include <windows.h>

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

struct Watcher {
    DWORD pid = 0;
    std::vector<int> answers;
    size_t nextAnswer = 0;
    std::set<HWND> seen;
    FILE* log = nullptr;
    std::chrono::steady_clock::time_point start;

    long long Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    void Write(const std::string& line) {
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
        if (owner != pid) {
            return;
        }
        char cls[16] = {};
        GetClassNameA(h, cls, sizeof cls);
        if (std::strcmp(cls, "#32770") != 0 || seen.count(h)) {
            return;
        }
        seen.insert(h);
        if (!IsMessageBox(h)) {
            Write(testbed::Obj()
                      .Str("kind", "dialog")
                      .Str("caption", WindowText(h))
                      .Num("t_ms", Elapsed())
                      .Done());
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
};

int Usage() {
    std::fputs(
        "usage: nvrun.exe [--timeout MS] [--log FILE] [--answer ID]... -- PROGRAM [ARGS...]\n",
        stderr);
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    Watcher w;
    DWORD timeoutMs = 60000;
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
        if (a == "--timeout") {
            timeoutMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--log") {
            logPath = argv[++i];
        } else if (a == "--answer") {
            int id = ParseAnswer(argv[++i]);
            if (id < 0) {
                return Usage();
            }
            w.answers.push_back(id);
        } else {
            return Usage();
        }
    }
    if (i >= argc) {
        return Usage();
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
    for (;;) {
        EnumWindows(&Watcher::Enum, reinterpret_cast<LPARAM>(&w));
        if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(pi.hProcess, &code);
            rc = static_cast<int>(code);
            w.Write(testbed::Obj()
                        .Str("kind", "exit")
                        .Num("code", code)
                        .Num("t_ms", w.Elapsed())
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
