// CDib: loading, palette and drawing of a "DIB" resource.
#include "port/port.h"

#include <windows.h>

#include <vector>

#include "controls/dib.h"

namespace {

RECT ClientRectOfDc(HDC dc) {
    RECT rc{};
    if (HWND const wnd = WindowFromDC(dc))
        GetClientRect(wnd, &rc);
    return rc;
}

} // namespace

CDib::CDib(UINT id) {
    HMODULE const module = GetModuleHandleA(nullptr);
    HRSRC const info = FindResourceA(module, MAKEINTRESOURCEA(LOWORD(id)), "DIB");
    m_hResource = info ? LoadResource(module, info) : nullptr;
    if (!m_hResource)
        throw CDIBException(CDIBException::resourceMissing);
    auto* const data = static_cast<const std::uint8_t*>(LockResource(m_hResource));
    DWORD const size = SizeofResource(module, info);
    auto layout = data && size > controls::kFileHeaderSize
                      ? controls::ReadDibHeader(data + controls::kFileHeaderSize,
                                                size - controls::kFileHeaderSize)
                      : std::nullopt;
    if (!layout)
        throw CDIBException(CDIBException::resourceMissing);
    m_layout = *layout;
    m_pHeader =
        reinterpret_cast<BITMAPINFO*>(const_cast<std::uint8_t*>(data) + controls::kFileHeaderSize);
    m_pBits = reinterpret_cast<const std::uint8_t*>(m_pHeader) + m_layout.bitsOffset;
    m_bFromResource = TRUE;
    m_bOwnsMemory = FALSE;
}

HPALETTE CDib::CreatePalette() const {
    unsigned const entries = controls::PaletteEntryCount(m_layout.bitCount);
    if (entries == 0)
        return nullptr;
    // LOGPALETTE ends in a one-entry array: allocate room for all entries.
    std::vector<std::uint8_t> block(sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY));
    auto* const pal = reinterpret_cast<LOGPALETTE*>(block.data());
    pal->palVersion = 0x300;
    pal->palNumEntries = static_cast<WORD>(entries);
    auto const* table = reinterpret_cast<const std::uint8_t*>(m_pHeader) + m_layout.headerSize;
    bool const info = m_layout.headerSize == controls::kInfoHeaderSize;
    std::size_t const stride = info ? sizeof(RGBQUAD) : sizeof(RGBTRIPLE);
    for (unsigned i = 0; i < entries; ++i) {
        // RGBQUAD and RGBTRIPLE both store blue, green, red.
        const std::uint8_t* const c = table + i * stride;
        pal->palPalEntry[i].peBlue = c[0];
        pal->palPalEntry[i].peGreen = c[1];
        pal->palPalEntry[i].peRed = c[2];
        pal->palPalEntry[i].peFlags = 0;
    }
    return ::CreatePalette(pal);
}

void CDib::Stretch(HDC dc) const {
    RECT const rc = ClientRectOfDc(dc);
    StretchDIBits(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, 0, 0, Width(),
                  Height(), m_pBits, m_pHeader, DIB_RGB_COLORS, SRCCOPY);
}

void CDib::Tile(HDC dc) const {
    RECT const rc = ClientRectOfDc(dc);
    for (auto const& copy :
         controls::TileGrid(rc.right - rc.left, rc.bottom - rc.top, Width(), Height())) {
        CopyPixels(dc, copy.x, copy.y, 0, 0, copy.width, copy.height);
    }
}

void CDib::CopyPixels(HDC dc, int dx, int dy, int sx, int sy, int width, int height) const {
    SetDIBitsToDevice(dc, dx, dy, static_cast<DWORD>(width), static_cast<DWORD>(height), sx, sy, 0,
                      static_cast<UINT>(Height()), m_pBits, m_pHeader, DIB_RGB_COLORS);
}
