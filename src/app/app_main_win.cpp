#include "app/app_main_win.h"

#include "app/message_box.h"
#include "app/norvane_app.h"
#include "common/syserror.h"
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

int NorvaneMain(std::function<void(port::BOOL sameHost)> runProgressDialog) {
    port::SetSys(&g_os);
    port::SetNet(&g_net);
    InitCommonControls();
    try {
        theApp.m_commandLine = GetCommandLineA();
        theApp.m_runProgressDialog = std::move(runProgressDialog);
        theApp.InitInstance();
    } catch (...) {
        // Nothing may leave the program unreported.
        std::string const text =
            "An unexpected error ended the program:\n" + DescribeCurrentException();
        MessageBoxA(nullptr, text.c_str(), AfxGetAppName(), MB_OK | MB_ICONERROR);
        return 1;
    }
    return 0;
}
