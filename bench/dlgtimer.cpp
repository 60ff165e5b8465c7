// dlgtimer: how long programs take from their start to their first visible
// dialog, under a warm Wine session.
//
//   dlgtimer.exe RUNS COMMAND_LINE...
//
// Starts each COMMAND_LINE (one string each, the way the Run key holds one)
// RUNS times, taking turns, so that whatever else loads the machine weighs
// on every program alike. A run looks every millisecond for a visible
// top-level "#32770" window of the new process and ends the process as soon
// as one shows: what it would do next is not part of the figure. Prints one
// line per run, "INDEX MS": the command's index (0 for the first) and the
// milliseconds from just before CreateProcessA to the dialog seen. Exit
// status 1 when a dialog did not show within 10 s or a program did not start.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kLimitMs = 10000;

struct Search {
    DWORD processId;
    bool found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char cls[16] = {};
    if (owner == search->processId && IsWindowVisible(window) &&
        GetClassNameA(window, cls, sizeof cls) && std::string(cls) == "#32770") {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

double Ms(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// One run of command; the milliseconds to its dialog, or a negative number.
double TimeToDialog(const char* commandLine, LARGE_INTEGER frequency) {
    std::string command = commandLine;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        std::fprintf(stderr, "dlgtimer: cannot start %s: error %lu\n", commandLine, GetLastError());
        return -1;
    }
    Search search{pi.dwProcessId, false};
    do {
        EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
        QueryPerformanceCounter(&now);
    } while (!search.found && Ms(start, now, frequency) < kLimitMs &&
             WaitForSingleObject(pi.hProcess, 1) == WAIT_TIMEOUT);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (!search.found) {
        std::fprintf(stderr, "dlgtimer: no dialog of %s within %lu ms\n", commandLine, kLimitMs);
        return -1;
    }
    return Ms(start, now, frequency);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || std::atoi(argv[1]) <= 0) {
        std::fputs("usage: dlgtimer.exe RUNS COMMAND_LINE...\n", stderr);
        return 2;
    }
    int const runs = std::atoi(argv[1]);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int run = 0; run < runs; ++run) {
        for (int index = 2; index < argc; ++index) {
            double const ms = TimeToDialog(argv[index], frequency);
            if (ms < 0)
                return 1;
            std::printf("%d %.1f\n", index - 2, ms);
            std::fflush(stdout);
            Sleep(200); // let the session settle between runs
        }
    }
    return 0;
}
