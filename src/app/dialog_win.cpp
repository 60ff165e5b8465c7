// The dialog procedure shared by every dialog, and the about box.
#include "port/port.h"

#include <windows.h>

#include "app/dialog_win.h"
#include "common/syserror.h"
#include "res/resource.h"

INT_PTR CDialog::DoModal() {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplate), m_hParent,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int result) {
    ::EndDialog(m_hWnd, result);
}

void CDialog::OnUnexpectedException(const char* description) {
    MessageBoxA(m_hWnd, description, nullptr, MB_OK | MB_ICONERROR);
    EndDialog(IDABORT);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(wnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = wnd;
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(wnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    try {
        return self->Dispatch(msg, wParam, lParam);
    } catch (...) {
        try {
            self->OnUnexpectedException(DescribeCurrentException().c_str());
        } catch (...) {
            // Not even the report worked; the dialog must still end.
            ::EndDialog(wnd, IDABORT);
        }
        return FALSE;
    }
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        CenterDialog(m_hWnd);
        return OnInitDialog();
    case WM_TIMER:
        OnTimer(wParam);
        return FALSE;
    case WM_SYSCOMMAND:
        if (!OnSysCommand(static_cast<UINT>(wParam), lParam))
            return FALSE;
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_COMMAND:
        // The dialog manager turns Enter into IDOK, and Escape, Alt+F4, the
        // close button and WM_CLOSE into IDCANCEL.
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return OnMessage(msg, wParam, lParam);
    }
}

void CenterDialog(HWND dialog) {
    RECT area{};
    HWND const owner = GetWindow(dialog, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT rc{};
    GetWindowRect(dialog, &rc);
    int const width = rc.right - rc.left;
    int const height = rc.bottom - rc.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    // Keep the caption on the screen.
    RECT screen{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
    if (x + width > screen.right)
        x = screen.right - width;
    if (y + height > screen.bottom)
        y = screen.bottom - height;
    if (x < screen.left)
        x = screen.left;
    if (y < screen.top)
        y = screen.top;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------- CAboutDlg

CAboutDlg::CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent) {}
