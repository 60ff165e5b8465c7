// CDialog: a modal dialog from a resource template, with one dialog
// procedure for every dialog of the program. It forwards each message to a
// named virtual handler and is the one place where exceptions stop: nothing
// unwinds through the system's dispatcher. Windows only.
#pragma once

#include "port/port.h"

#include <windows.h>

class CDialog {
public:
    CDialog(UINT templateId, HWND parent) : m_nTemplate(templateId), m_hParent(parent) {}
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; returns what EndDialog was given, or -1 when
    // the dialog could not be created.
    INT_PTR DoModal();
    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    void EndDialog(int result);

    // Handlers. Each returns what the dialog procedure returns: TRUE for a
    // message handled here, FALSE for the system's default processing.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnTimer(UINT_PTR /*id*/) {}
    virtual BOOL OnSysCommand(UINT /*id*/, LPARAM /*lParam*/) { return FALSE; }
    virtual BOOL OnPaint() { return FALSE; }
    virtual HCURSOR OnQueryDragIcon() { return nullptr; }
    virtual void OnDestroy() {}
    // Enter, and the default button (IDOK).
    virtual void OnOK() { EndDialog(IDOK); }
    // Escape, Alt+F4, the caption's close button and WM_CLOSE (IDCANCEL).
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Messages without a handler of their own (private messages).
    virtual BOOL OnMessage(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return FALSE; }
    // An exception reached the dialog procedure. The default shows it in an
    // error box owned by the dialog and ends the dialog with IDABORT.
    virtual void OnUnexpectedException(const char* description);

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_nTemplate;
    HWND m_hParent;
};

// The about box (template 100): the program's name, version and copyright.
class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND parent);
};

// Centres a dialog over its owner, or over the work area of the screen when
// it has none, as application frameworks do for a template at 0,0.
void CenterDialog(HWND dialog);
