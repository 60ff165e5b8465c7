// CBitmapStatic: a static control that paints a device-independent bitmap,
// tiled, stretched, unscaled or chosen automatically. Windows only.
#pragma once

#include "port/port.h"

#include <windows.h>

#include "controls/dib.h"
#include "controls/subclassed_window.h"

class CBitmapStatic : public CSubclassedWindow {
public:
    CBitmapStatic() = default;
    // Neither the bitmap nor the palette is owned; the owner keeps them alive
    // while the control exists. No bitmap: the control paints as a plain static.
    CBitmapStatic(CDib* bitmap, HPALETTE palette, int drawMode)
        : m_nDrawMode(drawMode), m_pBitmap(bitmap), m_hPalette(palette) {}

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnPaint();

    int m_nDrawMode = controls::kUnscaled;
    CDib* m_pBitmap = nullptr;
    HPALETTE m_hPalette = nullptr;
};
