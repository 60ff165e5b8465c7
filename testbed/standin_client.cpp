// standin_client.exe: stands in for the client's programs that the utility
// stops by window messages and launches at the end of a reconfiguration.
//
//   standin_client.exe [--role main|update|monitor|main9x] [--stubborn] [--log FILE]
//
// Roles and the message that ends them:
//   main     window class "STVNTClassName", WM_COMMAND with wParam 0x8038
//   update   window class "STVNT_UPDATE32", message WM_USER+102 (1126)
//   monitor  window class "StvNTMonClass",  message WM_USER+1201 (2225)
//   main9x   publishes its window handle and process id in the 4-byte shared
//            values "WardlineCorp_MemoryMappedFile_MainWnd" and
//            "WardlineCorp_MemoryMappedFile_ProcessID"; ends on WM_USER+1000
//            (2024) or WM_QUIT
// Without --role the role follows the file name: stvmon.exe is the monitor,
// wardline.exe the 9x main program, anything else the main program (the
// utility launches the program without arguments). --stubborn ignores the
// ending message. Every start, received ending message and exit is appended
// as a JSON line to FILE, by default this program's path plus ".log".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "json_out.h"

namespace {

constexpr UINT kMainCommand = 0x8038;
constexpr UINT kUpdateClose = WM_USER + 102;
constexpr UINT kMonitorClose = WM_USER + 1201;
constexpr UINT k9xClose = WM_USER + 1000;

struct Role {
    const char* name;
    const char* windowClass;
};
constexpr Role kRoles[] = {{"main", "STVNTClassName"},
                           {"update", "STVNT_UPDATE32"},
                           {"monitor", "StvNTMonClass"},
                           {"main9x", "WardlineCorpMainClass"}};

const Role* g_role = &kRoles[0];
bool g_stubborn = false;
bool g_ending = false; // the window is being destroyed by the program itself
std::string g_logPath;

void Log(const std::string& event, long long value = 0) {
    FILE* f = std::fopen(g_logPath.c_str(), "ab");
    if (!f) {
        return;
    }
    std::string line = testbed::Obj()
                           .Str("event", event)
                           .Str("role", g_role->name)
                           .Num("pid", GetCurrentProcessId())
                           .Num("value", value)
                           .Str("command_line", GetCommandLineA())
                           .Done();
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

bool IsEndingMessage(UINT msg, WPARAM wp) {
    const std::string role = g_role->name;
    return (role == "main" && msg == WM_COMMAND && LOWORD(wp) == kMainCommand) ||
           (role == "update" && msg == kUpdateClose) ||
           (role == "monitor" && msg == kMonitorClose) || (role == "main9x" && msg == k9xClose);
}

LRESULT CALLBACK WndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (IsEndingMessage(msg, wp)) {
        Log("message", msg);
        if (!g_stubborn) {
            DestroyWindow(h);
        }
        return 0;
    }
    if (msg == WM_DESTROY) {
        g_ending = true;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

// A named 4-byte mapping holding value; it lives as long as the handle.
HANDLE Publish(const char* name, DWORD value) {
    HANDLE m = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, name);
    if (m) {
        if (void* view = MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 4)) {
            std::memcpy(view, &value, 4);
            UnmapViewOfFile(view);
        }
    }
    return m;
}

std::string OwnBaseName(const std::string& path) {
    std::string s = path.substr(path.find_last_of("\\/") + 1);
    return s.substr(0, s.rfind('.'));
}

} // namespace

int main(int argc, char** argv) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    g_logPath = std::string(self) + ".log";
    std::string base = OwnBaseName(self);
    if (_stricmp(base.c_str(), "stvmon") == 0) {
        g_role = &kRoles[2];
    } else if (_stricmp(base.c_str(), "wardline") == 0) {
        g_role = &kRoles[3];
    }
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--stubborn") {
            g_stubborn = true;
        } else if (a == "--role" && i + 1 < argc) {
            std::string r = argv[++i];
            for (const auto& role : kRoles) {
                if (r == role.name) {
                    g_role = &role;
                }
            }
        } else if (a == "--log" && i + 1 < argc) {
            g_logPath = argv[++i];
        }
    }

    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = g_role->windowClass;
    RegisterClassA(&wc);
    // Hidden top-level window: FindWindowA finds it, nothing is drawn.
    HWND h = CreateWindowA(g_role->windowClass, g_role->name, WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                           nullptr, wc.hInstance, nullptr);
    if (!h) {
        return 1;
    }
    HANDLE sharedWnd = nullptr, sharedPid = nullptr;
    if (std::strcmp(g_role->name, "main9x") == 0) {
        sharedWnd = Publish("WardlineCorp_MemoryMappedFile_MainWnd",
                            static_cast<DWORD>(reinterpret_cast<UINT_PTR>(h)));
        sharedPid = Publish("WardlineCorp_MemoryMappedFile_ProcessID", GetCurrentProcessId());
    }
    Log("started");

    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 && g_stubborn && std::strcmp(g_role->name, "main9x") == 0) {
            Log("message", WM_QUIT);
            continue;
        }
        if (got <= 0) {
            if (got == 0 && !g_ending && std::strcmp(g_role->name, "main9x") == 0) {
                Log("message", WM_QUIT);
            }
            break;
        }
        // Thread messages (a WM_QUIT posted to the window arrives as one).
        if (!msg.hwnd && IsEndingMessage(msg.message, msg.wParam)) {
            WndProc(h, msg.message, msg.wParam, msg.lParam);
            continue;
        }
        DispatchMessageA(&msg);
    }
    if (sharedWnd) {
        CloseHandle(sharedWnd);
    }
    if (sharedPid) {
        CloseHandle(sharedPid);
    }
    Log("exited");
    return 0;
}
