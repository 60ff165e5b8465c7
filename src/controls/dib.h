// CDib: a device-independent bitmap held in place inside a loaded "DIB"
// resource, with palette creation and stretched, tiled and 1:1 drawing.
// Windows only.
#pragma once

#include "port/port.h"

#include <windows.h>

#include "common/handles.h"
#include "controls/dib_exception.h"
#include "controls/dib_layout.h"

struct hpalette_traits {
    using pointer = HPALETTE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer palette) noexcept { DeleteObject(palette); }
};
using unique_hpalette = unique_resource<hpalette_traits>;

class CDib {
public:
    // Points into resource `id` (low 16 bits) of type "DIB" in the program's
    // module. Throws CDIBException(resourceMissing) when it cannot be found or
    // loaded.
    explicit CDib(UINT id);
    // A resource bitmap frees nothing: the resource stays loaded with the module.
    ~CDib() = default;
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;

    int Width() const { return m_layout.width; }
    int Height() const { return m_layout.height; }
    unsigned BitCount() const { return m_layout.bitCount; }

    // A new logical palette made from the colour table, owned by the caller;
    // NULL above 8 bits per pixel.
    HPALETTE CreatePalette() const;

    // The whole bitmap onto the whole client rectangle of the DC's window.
    // Selects no palette: the caller has selected one.
    void Stretch(HDC dc) const;
    // Covers the client rectangle of the DC's window with copies.
    void Tile(HDC dc) const;
    // SetDIBitsToDevice from source (sx, sy) to (dx, dy), all scan lines.
    void CopyPixels(HDC dc, int dx, int dy, int sx, int sy, int width, int height) const;

private:
    BOOL m_bFromResource = FALSE;
    BOOL m_bOwnsMemory = FALSE;
    BITMAPINFO* m_pHeader = nullptr;
    const void* m_pBits = nullptr;
    HGLOBAL m_hResource = nullptr;
    controls::DibHeader m_layout;
};
