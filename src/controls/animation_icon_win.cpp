// CAnimationIcon: frame timer and painting.
#include "port/port.h"

#include <windows.h>

#include "controls/animation_icon.h"

namespace {
constexpr UINT_PTR kFrameTimerId = 1;
} // namespace

CAnimationIcon::CAnimationIcon(CDib* bitmap, HPALETTE palette, int drawMode, WORD firstIcon,
                               unsigned iconCount, int periodMs)
    : CBitmapStatic(bitmap, palette, drawMode), m_frames(iconCount), m_nPeriod(periodMs) {
    HINSTANCE const module = GetModuleHandleA(nullptr);
    for (unsigned i = 0; i < m_frames.Count(); ++i) {
        // A missing icon leaves NULL: that frame draws nothing.
        m_hIcons[i] = LoadIconA(module, MAKEINTRESOURCEA(firstIcon + i));
    }
}

void CAnimationIcon::StartAnimation() {
    if (m_hWnd && !m_nTimer)
        m_nTimer = SetTimer(m_hWnd, kFrameTimerId, static_cast<UINT>(m_nPeriod), nullptr);
}

void CAnimationIcon::StopAnimation() {
    if (m_nTimer && m_hWnd && IsWindow(m_hWnd)) {
        KillTimer(m_hWnd, m_nTimer);
        m_nTimer = 0;
    }
}

LRESULT CAnimationIcon::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIMER:
        OnTimer();
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_DESTROY:
        StopAnimation();
        break;
    default:
        break;
    }
    return CBitmapStatic::WindowProc(msg, wParam, lParam);
}

void CAnimationIcon::OnTimer() {
    m_frames.Tick();
    InvalidateRect(m_hWnd, nullptr, TRUE);
    UpdateWindow(m_hWnd);
    // The parent hears of every tick as a timer message with id -1.
    if (HWND const parent = GetParent(m_hWnd))
        SendMessageA(parent, WM_TIMER, static_cast<WPARAM>(-1), 0);
}

void CAnimationIcon::OnPaint() {
    // The bitmap (or, without one, the static's own icon) first.
    CBitmapStatic::WindowProc(WM_PAINT, 0, 0);
    int const frame = m_frames.Current();
    if (frame < 0 || !m_hIcons[frame])
        return;
    if (HDC const dc = GetDC(m_hWnd)) {
        DrawIconEx(dc, 0, 0, m_hIcons[frame], 32, 32, 0, nullptr, DI_NORMAL);
        ReleaseDC(m_hWnd, dc);
    }
}
