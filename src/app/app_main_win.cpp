#include "app/app_main_win.h"

#include "common/message_box.h"
#include "app/host_identity.h"
#include "app/norvane_app.h"
#include "app/service_win.h"
#include "common/report.h"
#include "common/run_fault.h"
#include "common/syserror.h"
#include "port/win32/win32_dlls.h"
#include "port/win32/win32_internet.h"
#include "port/win32/win32_os.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace {
port::Win32Os g_os;
port::Win32Internet g_net;
} // namespace

// The single application object.
CNorvaneApp theApp;

namespace {

// A crash (an access violation, a DLL that a delay import cannot find) ends
// the run with exit code 1 on the record, never at the system's crash box
// or with a debugger's question to whoever is logged on.
LONG WINAPI EndAtCrash(EXCEPTION_POINTERS* info) {
    char text[96];
    std::snprintf(text, sizeof text, "exception 0x%08lX at %p",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                  info->ExceptionRecord->ExceptionAddress);
    ExitProcess(static_cast<UINT>(Report().FinishAfterFault(text)));
}

} // namespace

int NorvaneMain(std::function<void(port::BOOL sameHost)> runProgressDialog) {
    // Before anything else is loaded: no DLL from the program's folder.
    port::LimitDllSearchToSystemFolder();
    port::SetSys(&g_os);
    port::SetNet(&g_net);
    theApp.m_commandLine = GetCommandLineA();
    theApp.SetUnattendedErrorMode();
    EndRunAtUncaughtFault();
    SetUnhandledExceptionFilter(&EndAtCrash);
    InitCommonControls();
    try {
        theApp.m_runProgressDialog = std::move(runProgressDialog);
        // The service's command starts the boot-time run; the same command
        // started by hand is an ordinary run.
        CNorvaneCommandLineInfo cmdInfo;
        ParseCommandLine(SplitCommandLine(theApp.m_commandLine), cmdInfo);
        bool const service = cmdInfo.m_bService && IsHostIdentity(cmdInfo.m_strHostArg);
        if (!service || !RunAsBootService(theApp))
            theApp.InitInstance();
    } catch (...) {
        // InitInstance reports what its run raises; this is the last guard
        // for what escapes the report itself. A quiet run shows nothing.
        if (!Report().IsQuiet()) {
            std::string const text =
                "An unexpected error ended the program:\n" + DescribeCurrentException();
            MessageBoxA(nullptr, text.c_str(), AfxGetAppName(), MB_OK | MB_ICONERROR);
        }
        return kExitUnexpectedError;
    }
    return theApp.m_nExitCode;
}
