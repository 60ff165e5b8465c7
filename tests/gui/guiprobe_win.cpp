// norvane_guiprobe.exe: looks at and drives the progress dialog of another
// process for the GUI tests. One command per run; results on stdout as
// "key=value" lines; exit code 0 on success, 1 on failure, 2 on bad usage.
//
//   find CAPTION TIMEOUT_MS      wait for a visible dialog with that caption:
//                                hwnd, window and control rectangles (screen)
//   text HWND ID                 text of control ID
//   window HWND                  exists / visible / caption
//   post HWND MSG WPARAM LPARAM  PostMessageA (numbers in decimal or 0x hex)
//   input HWND KEYS              bring HWND to the front and type KEYS with
//                                SendInput: "escape", "enter" or "altf4"
//   clickclose HWND              click the caption's close button (SendInput)
//   sysmenu HWND                 the items of the window's system menu
//   statics CAPTION TIMEOUT_MS   wait for a dialog with that caption and list
//                                the texts of its static controls
//   state                        the test build's shared counters
//   finish HWND TIMEOUT_MS       let the test worker finish; how long the
//                                dialog took to go away afterwards
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "guitest_protocol.h"

namespace {

long long Number(const char* text) {
    return std::strtoll(text, nullptr, 0);
}

HWND Handle(const char* text) {
    return reinterpret_cast<HWND>(static_cast<INT_PTR>(Number(text)));
}

void PrintRect(const char* name, HWND wnd) {
    RECT rc{};
    GetClientRect(wnd, &rc);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    std::printf("%s=%ld,%ld,%ld,%ld\n", name, origin.x, origin.y, rc.right - rc.left,
                rc.bottom - rc.top);
}

HWND WaitForDialog(const char* caption, DWORD timeoutMs) {
    DWORD const start = GetTickCount();
    for (;;) {
        HWND const wnd = FindWindowA("#32770", caption);
        if (wnd && IsWindowVisible(wnd))
            return wnd;
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(20);
    }
}

int Find(const char* caption, DWORD timeoutMs) {
    HWND const wnd = WaitForDialog(caption, timeoutMs);
    if (!wnd) {
        std::printf("error=no visible dialog \"%s\"\n", caption);
        return 1;
    }
    std::printf("hwnd=%lld\n", static_cast<long long>(reinterpret_cast<INT_PTR>(wnd)));
    RECT wr{};
    GetWindowRect(wnd, &wr);
    std::printf("window=%ld,%ld,%ld,%ld\n", wr.left, wr.top, wr.right - wr.left,
                wr.bottom - wr.top);
    PrintRect("client", wnd);
    for (int id : {1000, 1001, 1005, 1007}) {
        if (HWND const item = GetDlgItem(wnd, id)) {
            char name[32];
            std::snprintf(name, sizeof name, "control%d", id);
            PrintRect(name, item);
        }
    }
    return 0;
}

int Text(HWND wnd, int id) {
    char buffer[1024] = {};
    if (!GetDlgItem(wnd, id)) {
        std::printf("error=no control %d\n", id);
        return 1;
    }
    GetDlgItemTextA(wnd, id, buffer, sizeof buffer);
    std::printf("text=%s\n", buffer);
    return 0;
}

int Window(HWND wnd) {
    char caption[256] = {};
    bool const exists = IsWindow(wnd) != FALSE;
    if (exists)
        GetWindowTextA(wnd, caption, sizeof caption);
    std::printf("exists=%d\nvisible=%d\ncaption=%s\n", exists ? 1 : 0,
                exists && IsWindowVisible(wnd) ? 1 : 0, caption);
    return 0;
}

void Key(WORD vk, bool up, INPUT& in) {
    in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
}

int Input(HWND wnd, const char* keys) {
    SetForegroundWindow(wnd);
    Sleep(100);
    INPUT in[4];
    UINT n = 0;
    if (std::strcmp(keys, "escape") == 0) {
        Key(VK_ESCAPE, false, in[n++]);
        Key(VK_ESCAPE, true, in[n++]);
    } else if (std::strcmp(keys, "enter") == 0) {
        Key(VK_RETURN, false, in[n++]);
        Key(VK_RETURN, true, in[n++]);
    } else if (std::strcmp(keys, "altf4") == 0) {
        Key(VK_MENU, false, in[n++]);
        Key(VK_F4, false, in[n++]);
        Key(VK_F4, true, in[n++]);
        Key(VK_MENU, true, in[n++]);
    } else {
        std::printf("error=unknown keys %s\n", keys);
        return 2;
    }
    UINT const sent = SendInput(n, in, sizeof(INPUT));
    std::printf("sent=%u\nforeground=%d\n", sent, GetForegroundWindow() == wnd ? 1 : 0);
    return sent == n ? 0 : 1;
}

NorvaneGuiTestState* MapState();

// Another process's menu cannot be read on Wine: when GetSystemMenu fails,
// the test build of the dialog copies its menu into the shared block.
int SysMenuFromTestBuild(HWND wnd) {
    NorvaneGuiTestState* const state = MapState();
    if (!state) {
        std::printf("error=no shared state (%lu)\n", GetLastError());
        return 1;
    }
    UINT const dump = RegisterWindowMessageA(NORVANE_GUITEST_DUMP_MENU_MESSAGE);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(wnd, dump, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) || !result) {
        std::printf("error=the dialog did not copy its menu\n");
        return 1;
    }
    std::printf("source=test-build\ncount=%ld\n", state->menuCount);
    for (long i = 0; i < state->menuCount && i < 16; ++i) {
        std::printf("item%ld=%u|%s|%s\n", i, state->menu[i].id,
                    state->menu[i].separator ? "separator" : "string", state->menu[i].text);
    }
    return state->menuCount >= 0 ? 0 : 1;
}

// Clicks the caption's close button with the mouse: finds a point over it by
// asking the window (WM_NCHITTEST), then sends a real click there.
int ClickClose(HWND wnd) {
    SetForegroundWindow(wnd);
    Sleep(100);
    RECT wr{};
    GetWindowRect(wnd, &wr);
    POINT target{-1, -1};
    for (int y = wr.top; y < wr.top + 40 && target.x < 0; ++y) {
        for (int x = wr.right - 1; x > wr.right - 80; --x) {
            DWORD_PTR hit = 0;
            if (SendMessageTimeoutA(wnd, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000,
                                    &hit) &&
                hit == HTCLOSE) {
                target = {x - 2, y + 2}; // inside, not on the edge
                break;
            }
        }
    }
    if (target.x < 0) {
        std::printf("error=no close button found\n");
        return 1;
    }
    int const cx = GetSystemMetrics(SM_CXSCREEN) - 1;
    int const cy = GetSystemMetrics(SM_CYSCREEN) - 1;
    INPUT in[3] = {};
    for (INPUT& i : in) {
        i.type = INPUT_MOUSE;
        i.mi.dx = target.x * 65535 / cx;
        i.mi.dy = target.y * 65535 / cy;
    }
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    UINT sent = SendInput(1, &in[0], sizeof(INPUT));
    Sleep(50);
    sent += SendInput(1, &in[1], sizeof(INPUT));
    Sleep(50);
    sent += SendInput(1, &in[2], sizeof(INPUT));
    std::printf("clicked=%ld,%ld\nsent=%u\n", target.x, target.y, sent);
    return sent == 3 ? 0 : 1;
}

int SysMenu(HWND wnd) {
    HMENU const menu = GetSystemMenu(wnd, FALSE);
    if (!menu)
        return SysMenuFromTestBuild(wnd);
    std::printf("source=GetSystemMenu\n");
    int const count = GetMenuItemCount(menu);
    std::printf("count=%d\n", count);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOA info{};
        char text[256] = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info))
            continue;
        std::printf("item%d=%u|%s|%s\n", i, info.wID,
                    (info.fType & MFT_SEPARATOR) ? "separator" : "string", text);
    }
    return 0;
}

int Statics(const char* caption, DWORD timeoutMs) {
    HWND const wnd = WaitForDialog(caption, timeoutMs);
    if (!wnd) {
        std::printf("error=no visible dialog \"%s\"\n", caption);
        return 1;
    }
    std::printf("hwnd=%lld\n", static_cast<long long>(reinterpret_cast<INT_PTR>(wnd)));
    HWND owner = GetWindow(wnd, GW_OWNER);
    std::printf("owner=%lld\n", static_cast<long long>(reinterpret_cast<INT_PTR>(owner)));
    int n = 0;
    for (HWND child = GetWindow(wnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = {}, text[256] = {};
        GetClassNameA(child, cls, sizeof cls);
        GetWindowTextA(child, text, sizeof text);
        std::printf("child%d=%d|%s|%s\n", n++, GetDlgCtrlID(child), cls, text);
    }
    return 0;
}

NorvaneGuiTestState* MapState() {
    HANDLE const mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, NORVANE_GUITEST_STATE_MAPPING);
    if (!mapping)
        return nullptr;
    return static_cast<NorvaneGuiTestState*>(
        MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(NorvaneGuiTestState)));
}

int State() {
    NorvaneGuiTestState* const state = MapState();
    if (!state) {
        std::printf("error=no shared state (%lu)\n", GetLastError());
        return 1;
    }
    std::printf("workerStarts=%ld\nworkerFinished=%ld\n", state->workerStarts,
                state->workerFinished);
    return 0;
}

int Finish(HWND wnd, DWORD timeoutMs) {
    HANDLE const finish = OpenEventA(EVENT_MODIFY_STATE, FALSE, NORVANE_GUITEST_FINISH_EVENT);
    if (!finish) {
        std::printf("error=no finish event (%lu)\n", GetLastError());
        return 1;
    }
    NorvaneGuiTestState* const state = MapState();
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    SetEvent(finish);
    QueryPerformanceCounter(&start);
    LARGE_INTEGER const signalled = start;
    // Time from the worker's last message, when it can be seen; else from the
    // event.
    bool sawFinished = false;
    for (;;) {
        QueryPerformanceCounter(&now);
        if (!sawFinished && state && state->workerFinished) {
            sawFinished = true;
            start = now;
        }
        double const ms =
            1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
        if (!IsWindow(wnd)) {
            double const total = 1000.0 * static_cast<double>(now.QuadPart - signalled.QuadPart) /
                                 frequency.QuadPart;
            std::printf("closed=1\nmilliseconds=%.0f\nfrom=%s\nsinceEvent=%.0f\n", ms,
                        sawFinished ? "worker-end" : "event", total);
            return 0;
        }
        if (ms > timeoutMs) {
            std::printf("closed=0\nmilliseconds=%.0f\n", ms);
            return 1;
        }
        Sleep(5);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2)
        return 2;
    std::string const cmd = argv[1];
    if (cmd == "find" && argc == 4)
        return Find(argv[2], static_cast<DWORD>(Number(argv[3])));
    if (cmd == "text" && argc == 4)
        return Text(Handle(argv[2]), static_cast<int>(Number(argv[3])));
    if (cmd == "window" && argc == 3)
        return Window(Handle(argv[2]));
    if (cmd == "post" && argc == 6) {
        BOOL const ok = PostMessageA(Handle(argv[2]), static_cast<UINT>(Number(argv[3])),
                                     static_cast<WPARAM>(Number(argv[4])),
                                     static_cast<LPARAM>(Number(argv[5])));
        std::printf("posted=%d\n", ok ? 1 : 0);
        return ok ? 0 : 1;
    }
    if (cmd == "input" && argc == 4)
        return Input(Handle(argv[2]), argv[3]);
    if (cmd == "clickclose" && argc == 3)
        return ClickClose(Handle(argv[2]));
    if (cmd == "sysmenu" && argc == 3)
        return SysMenu(Handle(argv[2]));
    if (cmd == "statics" && argc == 4)
        return Statics(argv[2], static_cast<DWORD>(Number(argv[3])));
    if (cmd == "state" && argc == 2)
        return State();
    if (cmd == "finish" && argc == 4)
        return Finish(Handle(argv[2]), static_cast<DWORD>(Number(argv[3])));
    std::fprintf(stderr, "usage: see the head of guiprobe_win.cpp\n");
    return 2;
}
