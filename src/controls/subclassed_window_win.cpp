// Window-procedure subclassing of dialog controls.
#include "port/port.h"

#include <windows.h>

#include "controls/subclassed_window.h"

namespace {
// The object is kept in a window property rather than GWLP_USERDATA, which
// belongs to the control's own class.
constexpr const char* kObjectProperty = "Norvane.Object";
} // namespace

CSubclassedWindow::~CSubclassedWindow() {
    Detach();
}

BOOL CSubclassedWindow::SubclassDlgItem(UINT id, HWND parent) {
    if (m_hWnd)
        return FALSE;
    HWND const wnd = GetDlgItem(parent, static_cast<int>(id));
    if (!wnd)
        return FALSE;
    if (!SetPropA(wnd, kObjectProperty, this))
        return FALSE;
    m_hWnd = wnd;
    m_oldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSubclassedWindow::StaticWindowProc)));
    if (!m_oldProc) {
        RemovePropA(wnd, kObjectProperty);
        m_hWnd = nullptr;
        return FALSE;
    }
    return TRUE;
}

LRESULT CSubclassedWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return Default(msg, wParam, lParam);
}

LRESULT CSubclassedWindow::Default(UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(m_oldProc, m_hWnd, msg, wParam, lParam);
}

void CSubclassedWindow::Detach() {
    if (!m_hWnd)
        return;
    if (IsWindow(m_hWnd)) {
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
        RemovePropA(m_hWnd, kObjectProperty);
    }
    m_hWnd = nullptr;
}

LRESULT CALLBACK CSubclassedWindow::StaticWindowProc(HWND wnd, UINT msg, WPARAM wParam,
                                                     LPARAM lParam) {
    auto* const self = static_cast<CSubclassedWindow*>(GetPropA(wnd, kObjectProperty));
    if (!self)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->WindowProc(msg, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's dispatcher.
        result = 0;
    }
    if (msg == WM_NCDESTROY)
        self->Detach();
    return result;
}
