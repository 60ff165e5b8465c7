// A DLL planted beside norvane.exe under a system DLL's name (NETAPI32.dll,
// wininet.dll ...): it only proves that a process loaded it. On being
// loaded it appends the loading program's path to the file named after
// itself plus ".loaded" in its own folder, and refuses to load, so that none
// of its code can be called and the process never runs with it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char marker[MAX_PATH + 8];
    DWORD const length = GetModuleFileNameA(self, marker, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    lstrcatA(marker, ".loaded");
    char program[MAX_PATH + 2];
    DWORD const programLength = GetModuleFileNameA(nullptr, program, MAX_PATH);
    program[programLength] = '\0';
    lstrcatA(program, "\r\n");
    HANDLE const file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, program, static_cast<DWORD>(lstrlenA(program)), &written, nullptr);
        CloseHandle(file);
    }
    return FALSE;
}
