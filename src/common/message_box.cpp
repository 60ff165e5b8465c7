#include "common/message_box.h"

#include "common/report.h"
#include "common/syserror.h"
#include "common/text.h"

#include <atomic>

namespace {
// The dialog's thread sets them before the worker starts and clears them
// after it has ended; the worker only reads them.
std::atomic<const char*> g_appName{nullptr};
std::atomic<port::HWND> g_mainWnd{nullptr};
} // namespace

void AfxSetAppName(const char* name) {
    g_appName = name;
}

const char* AfxGetAppName() {
    return g_appName;
}

void AfxSetMainWnd(port::HWND window) {
    g_mainWnd = window;
}

port::HWND AfxGetMainWnd() {
    return g_mainWnd;
}

int AfxMessageBox(const std::string& text, port::UINT type, port::UINT /*helpId*/) {
    return Report().Message(text, g_appName, type);
}

int AfxMessageBox(port::UINT stringId, port::UINT type, port::UINT helpId) {
    return AfxMessageBox(LoadResString(stringId), type, helpId);
}

void ShowSystemError(const CSystemError& error) {
    CSystemError const copy = error;
    AfxMessageBox(copy.GetErrorText(), port::MB_ICONERROR);
}

void ShowLastError() {
    ShowSystemError(CSystemError(port::Sys().GetLastError(), {}, 0));
}
