// The application's message boxes (AfxMessageBox): every box raised on the
// application's behalf carries the application's title as its caption and
// is owned by the application's main window, which is the progress dialog
// for as long as that runs; the steps of a copy show theirs through the
// progress view. Each is recorded first (report.h), and a quiet run only
// records it. Portable; used from both threads.
#pragma once

#include "common/progress_view.h"
#include "port/port.h"

#include <string>

// Caption of the application's boxes. The text is not copied: its owner (the
// application object) keeps it alive until it names another one.
void AfxSetAppName(const char* name);
const char* AfxGetAppName();

// Owner of the application's boxes: the progress dialog from its creation to
// its end, none otherwise. A box owned by the dialog stays in front of it.
void AfxSetMainWnd(port::HWND window);
port::HWND AfxGetMainWnd();

// The default type is MB_OK (spelt as its value: this header is also read
// after <windows.h>, whose MB_OK is a macro).
int AfxMessageBox(const std::string& text, port::UINT type = 0, port::UINT helpId = 0);
int AfxMessageBox(port::UINT stringId, port::UINT type = 0,
                  port::UINT helpId = static_cast<port::UINT>(-1));

// A box owned by the progress dialog (view), recorded first as every box
// is; IDOK without a box in a quiet run.
int ViewMessageBox(ProgressView& view, const std::string& text, const char* caption,
                   port::UINT type);

class CSystemError;
// The error's line ("(code) text") in an error box, from a copy of it, as
// every step that catches one shows it.
void ShowSystemError(const CSystemError& error);
// The same for the thread's last error, where a call reports failure.
void ShowLastError();
