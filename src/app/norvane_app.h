// The application object: start-up and the mode decision.
#pragma once

#include "app/command_line.h"
#include "app/program_file.h"
#include "port/port.h"

#include <functional>
#include <string>

class CNorvaneApp {
public:
    CNorvaneApp();
    ~CNorvaneApp();

    // The whole program; always FALSE (there is no message loop to enter).
    // The run's exit code is in m_nExitCode afterwards.
    port::BOOL InitInstance();

    // The full command line (set by the program's entry point).
    std::string m_commandLine;
    // Runs the modal progress dialog of reconfiguration mode.
    std::function<void(port::BOOL sameHost)> m_runProgressDialog;
    // What WinMain returns: the run's exit code (common/report.h).
    int m_nExitCode = 0;
    // Started by the service control manager as the boot-time service:
    // a quiet run before anyone has logged on.
    bool m_bRunAsService = false;

    std::string m_strTitle;
    // Caption of every message box raised through the application
    // (AfxMessageBox): the program's name until the title string is loaded,
    // then that title.
    const char* m_pszAppName;

    // A run that nobody watches (quiet, or the boot-time service) never
    // waits at a box of the system's own: the error mode that turns them
    // off is set before anything else the run does. The entry point calls
    // this as soon as it has the command line; InitInstance again first.
    void SetUnattendedErrorMode() const;

private:
    // The mode's work; may raise, InitInstance reports what escapes.
    // program: this program's own file, held since the run began.
    void Run(const CProgramFile& program);
    // Reconfiguration mode without a window: the steps on this thread.
    void RunQuietly(port::BOOL sameHost);

    std::string m_defaultAppName;
};

// The error mode of a run that nobody watches: no box for a drive without a
// disk, a file that cannot be opened, or a crash.
inline constexpr port::UINT kUnattendedErrorMode =
    port::SEM_FAILCRITICALERRORS | port::SEM_NOGPFAULTERRORBOX | port::SEM_NOOPENFILEERRORBOX;

// TRUE on NT releases before 4.0.
[[nodiscard]] port::BOOL IsOldNT();
