// CBitmapStatic painting.
#include "port/port.h"

#include <windows.h>

#include "controls/bitmap_static.h"

LRESULT CBitmapStatic::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT && m_pBitmap) {
        OnPaint();
        return 0;
    }
    return Default(msg, wParam, lParam);
}

void CBitmapStatic::OnPaint() {
    PAINTSTRUCT ps;
    HDC const dc = BeginPaint(m_hWnd, &ps);
    if (!dc)
        return;
    HPALETTE oldPalette = nullptr;
    if (m_hPalette) {
        oldPalette = SelectPalette(dc, m_hPalette, FALSE);
        RealizePalette(dc);
    }
    RECT client{};
    GetClientRect(m_hWnd, &client);
    int const mode = controls::ResolveDrawMode(m_nDrawMode, m_pBitmap->Width(), m_pBitmap->Height(),
                                               client.right, client.bottom);
    switch (mode) {
    case controls::kTile:
        m_pBitmap->Tile(dc);
        break;
    case controls::kStretch:
        SetStretchBltMode(dc, HALFTONE);
        m_pBitmap->Stretch(dc);
        break;
    default:
        // The top of a bottom-up bitmap: its last scan lines.
        m_pBitmap->CopyPixels(dc, 0, 0, 0, m_pBitmap->Height() - client.bottom, client.right,
                              client.bottom);
        break;
    }
    if (m_hPalette) {
        SelectPalette(dc, oldPalette, FALSE);
        RealizePalette(dc);
    }
    EndPaint(m_hWnd, &ps);
}
