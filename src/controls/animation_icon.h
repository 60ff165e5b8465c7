// CAnimationIcon: a bitmap static that shows a row of icons one after
// another on a timer, and tells its parent about each tick. Windows only.
#pragma once

#include "port/port.h"

#include <windows.h>

#include "controls/bitmap_static.h"
#include "controls/dib_layout.h"

class CAnimationIcon : public CBitmapStatic {
public:
    CAnimationIcon() : CAnimationIcon(nullptr, nullptr, controls::kUnscaled, 0, 0, 0) {}
    // Frame i is icon resource firstIcon + i; at most 20 frames are loaded.
    CAnimationIcon(CDib* bitmap, HPALETTE palette, int drawMode, WORD firstIcon, unsigned iconCount,
                   int periodMs);

    // Starts the frame timer on the control (after subclassing).
    void StartAnimation();
    // Stops it; done by the control itself when its window is destroyed.
    void StopAnimation();

    int CurrentFrame() const { return m_frames.Current(); }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnTimer();
    void OnPaint();

    controls::FrameCounter m_frames;
    int m_nPeriod;
    HICON m_hIcons[controls::FrameCounter::kMaxFrames] = {};
    UINT_PTR m_nTimer = 0;
};
