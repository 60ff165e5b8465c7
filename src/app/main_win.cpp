// The program's entry point on Windows: installs the real port, creates the
// application object and runs its start-up.
#include "app/norvane_app.h"
#include "app/norvane_dlg.h"
#include "port/win32/win32_internet.h"
#include "port/win32/win32_os.h"

#include <windows.h>
#include <commctrl.h>

namespace {
port::Win32Os g_os;
port::Win32Internet g_net;
} // namespace

// The single application object.
CNorvaneApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    port::SetSys(&g_os);
    port::SetNet(&g_net);
    InitCommonControls();
    try {
        theApp.m_commandLine = GetCommandLineA();
        theApp.m_runProgressDialog = [](port::BOOL sameHost) { RunProgressDialog(sameHost); };
        theApp.InitInstance();
    } catch (...) {
        // Nothing may escape the entry point unreported.
        MessageBoxA(nullptr, "An unexpected error ended the program.", theApp.m_pszAppName,
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    return 0;
}
