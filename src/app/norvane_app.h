// The application object: start-up and the mode decision.
#pragma once

#include "app/command_line.h"
#include "port/port.h"

#include <functional>
#include <string>

class CNorvaneApp {
public:
    CNorvaneApp();
    ~CNorvaneApp();

    // The whole program; always FALSE (there is no message loop to enter).
    port::BOOL InitInstance();

    // The full command line (set by the program's entry point).
    std::string m_commandLine;
    // Runs the modal progress dialog of reconfiguration mode.
    std::function<void(port::BOOL sameHost)> m_runProgressDialog;

    std::string m_strTitle;
    // Caption of every message box raised through the application
    // (AfxMessageBox): the program's name until the title string is loaded,
    // then that title.
    const char* m_pszAppName;

private:
    std::string m_defaultAppName;
};

// TRUE on NT releases before 4.0.
[[nodiscard]] port::BOOL IsOldNT();

// The client's "Application Path" into a 260-byte buffer; FALSE (buffer
// unchanged) when the key or the value cannot be read.
[[nodiscard]] port::BOOL ReadApplicationPath(char* buffer);
