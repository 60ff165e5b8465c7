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
    if (!Report().Message(text))
        return port::IDOK;
    return port::Sys().MessageBoxA(g_mainWnd, text.c_str(), g_appName, type);
}

int AfxMessageBox(port::UINT stringId, port::UINT type, port::UINT helpId) {
    return AfxMessageBox(LoadResString(stringId), type, helpId);
}

int ViewMessageBox(ProgressView& view, const std::string& text, const char* caption,
                   port::UINT type) {
    if (!Report().Message(text))
        return port::IDOK;
    return view.ShowMessageBox(text.c_str(), caption, type);
}

void ShowSystemError(const CSystemError& error) {
    CSystemError const copy = error;
    AfxMessageBox(copy.GetErrorText(), port::MB_ICONERROR);
}

void ShowLastError() {
    ShowSystemError(CSystemError(port::Sys().GetLastError(), {}, 0));
}
