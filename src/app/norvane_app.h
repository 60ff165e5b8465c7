// The application object: start-up, mode decision and the message boxes
// raised on its behalf.
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
    // Owner of application message boxes while the dialog is up.
    port::HWND m_hMainWnd = nullptr;

    std::string m_strTitle;
    // Caption of every message box raised through the application: the
    // program's name until the title string is loaded, then that title.
    const char* m_pszAppName;

private:
    std::string m_defaultAppName;
};

// The application object of the running program (the most recently
// constructed one).
CNorvaneApp* AfxGetApp();

// A message box with the application's caption.
int AfxMessageBox(const std::string& text, port::UINT type = port::MB_OK, port::UINT helpId = 0);
int AfxMessageBox(port::UINT stringId, port::UINT type = port::MB_OK, port::UINT helpId = -1);

// TRUE on NT releases before 4.0.
port::BOOL IsOldNT();

// The client's "Application Path" into a 260-byte buffer; FALSE (buffer
// unchanged) when the key or the value cannot be read.
port::BOOL ReadApplicationPath(char* buffer);
