// ProgressView: what the worker thread may do to the progress dialog. The
// dialog implements it with window calls that its own thread serves; tests
// implement it with a recorder. Portable.
#pragma once

#include "port/port.h"

#include <string>
#include <vector>

class ProgressView {
public:
    virtual ~ProgressView() = default;

    // Writes text into the status line (control 1000).
    virtual void SetStatusText(const char* text) = 0;
    // Repaints the status line at once (before a pause, so the text shows).
    virtual void RepaintStatus() = 0;
    // A message box owned by the dialog; returns the button chosen. A NULL
    // caption gives the system's default caption.
    virtual int ShowMessageBox(const char* text, const char* caption, port::UINT type) = 0;
    // Hides the dialog (once the client's main program has been launched).
    virtual void Hide() = 0;
    // Tells the dialog that the worker has finished (posts WM_NORVANE_DONE);
    // after this the worker must not use the view again.
    virtual void Done() = 0;
};

// The dialog's data that the reconfiguration steps share: written before the
// worker starts (the host flag) or only by the worker (the rest).
struct ReconfigurationData {
    port::BOOL m_bSameHost = 0;
    // The boot-time run: nobody is logged on, no program of the client is
    // started (its Run value starts it at the next logon).
    bool m_bNoLogon = false;
    std::string m_strClientFolder;
    std::string m_strMainProgramFile;
    std::string m_strMainProgramPath;
    // What the run has done to the client so far: the services it asked to
    // stop (the listener first when it was one of them), whether the new
    // GUID is stored and whether the client was started again.
    std::vector<std::string> m_stoppedServices;
    std::string m_listenerService;
    bool m_bGuidStored = false;
    bool m_bClientStarted = false;
};
