// mindialog: the smallest dialog program, built with the product's
// toolchain and flags, that the benchmarks set beside norvane.exe (start to
// dialog, memory). OK or Cancel (or their WM_COMMAND) ends it.
//
// Built with NORVANE_BENCH_IMPORTS (mindialog_imports.exe) it also imports
// the DLLs norvane.exe imports (those it loads at their first call, the same
// way) and carries its manifest, and does nothing more: the difference to the
// plain build is what Wine charges for those DLLs, the rest of norvane.exe's
// figure is the program's own.
#ifdef NORVANE_BENCH_IMPORTS
#include <winsock2.h>
#endif
#include <windows.h>
#ifdef NORVANE_BENCH_IMPORTS
#include <commctrl.h>
#include <nb30.h>
#include <objbase.h>
#include <wininet.h>
#endif

namespace {

#ifdef NORVANE_BENCH_IMPORTS
// Taken, never called: each keeps its DLL among the imports.
void* volatile const kImports[] = {
    reinterpret_cast<void*>(&InitCommonControls), reinterpret_cast<void*>(&Netbios),
    reinterpret_cast<void*>(&CoCreateGuid),       reinterpret_cast<void*>(&InternetOpenA),
    reinterpret_cast<void*>(&WSAStartup),         reinterpret_cast<void*>(&RegOpenKeyExA)};
#endif

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, &DialogProc, 0));
}
