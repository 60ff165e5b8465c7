// CSubclassedWindow: attaches a C++ object to an existing control by
// replacing its window procedure, in the way of a framework's
// SubclassDlgItem. Windows only.
#pragma once

#include "port/port.h"

#include <windows.h>

class CSubclassedWindow {
public:
    CSubclassedWindow() = default;
    virtual ~CSubclassedWindow();
    CSubclassedWindow(const CSubclassedWindow&) = delete;
    CSubclassedWindow& operator=(const CSubclassedWindow&) = delete;

    // Takes over control `id` of `parent`. FALSE when there is no such control
    // or this object is already attached.
    BOOL SubclassDlgItem(UINT id, HWND parent);
    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    // Messages of the control; the default passes them to its own procedure.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK StaticWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Detach();

    WNDPROC m_oldProc = nullptr;
};
