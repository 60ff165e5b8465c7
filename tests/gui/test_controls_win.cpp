// CDib and CAnimationIcon on the real system (run under Wine, no display
// needed): bitmaps from "DIB" resources of both header kinds, their palettes,
// the missing-resource exception, 1:1 pixel copies, and frame loading.
#include "port/port.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "controls/animation_icon.h"
#include "controls/dib.h"
#include "res/resource.h"

namespace {

// Resources of this test program's own .rc (besides those of gui.rc).
constexpr UINT kCore8 = 300;
constexpr UINT kInfo4 = 301;
constexpr UINT kInfo24 = 302;
constexpr UINT kMissing = 399;

// The raw bytes of a "DIB" resource (a bitmap file).
const std::uint8_t* ResourceBytes(UINT id) {
    HMODULE const module = GetModuleHandleA(nullptr);
    HRSRC const info = FindResourceA(module, MAKEINTRESOURCEA(id), "DIB");
    return info ? static_cast<const std::uint8_t*>(LockResource(LoadResource(module, info)))
                : nullptr;
}

std::vector<PALETTEENTRY> Entries(HPALETTE palette) {
    std::vector<PALETTEENTRY> entries(GetPaletteEntries(palette, 0, 0, nullptr));
    GetPaletteEntries(palette, 0, static_cast<UINT>(entries.size()), entries.data());
    return entries;
}

// A memory DC on a top-down 32-bit DIB section, for reading back pixels.
class Canvas {
public:
    Canvas(int width, int height) : m_width(width) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &bi, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        m_old = SelectObject(m_dc, m_bitmap);
        PatBlt(m_dc, 0, 0, width, height, WHITENESS);
        GdiFlush();
    }
    ~Canvas() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    HDC dc() const { return m_dc; }
    // 0x00RRGGBB
    std::uint32_t At(int x, int y) const {
        GdiFlush();
        return static_cast<const std::uint32_t*>(m_bits)[y * m_width + x] & 0xFFFFFF;
    }

private:
    int m_width;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    void* m_bits = nullptr;
};

// Colour of pixel (x, y), row 0 at the top, of an 8-bit bottom-up bitmap file.
std::uint32_t FilePixel8(const std::uint8_t* file, int x, int y) {
    auto const u32 = [&](int at) {
        return std::uint32_t{file[at]} | std::uint32_t{file[at + 1]} << 8 |
               std::uint32_t{file[at + 2]} << 16 | std::uint32_t{file[at + 3]} << 24;
    };
    int const width = static_cast<int>(u32(18));
    int const height = static_cast<int>(u32(22));
    int const stride = (width + 3) & ~3;
    std::uint8_t const index =
        file[u32(10) + static_cast<std::uint32_t>((height - 1 - y) * stride + x)];
    const std::uint8_t* const quad = file + 54 + 4 * index;
    return std::uint32_t{quad[2]} << 16 | std::uint32_t{quad[1]} << 8 | quad[0];
}

} // namespace

TEST(CDib, BannerPointsIntoItsResourceWithAFullPalette) {
    CDib dib(IDB_BANNER);
    EXPECT_EQ(dib.Width(), 585);
    EXPECT_EQ(dib.Height(), 44);
    EXPECT_EQ(dib.BitCount(), 8u);
    HPALETTE const palette = dib.CreatePalette();
    ASSERT_NE(palette, nullptr);
    auto const entries = Entries(palette);
    ASSERT_EQ(entries.size(), 256u);
    const std::uint8_t* const table = ResourceBytes(IDB_BANNER) + 54;
    for (std::size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(entries[i].peBlue, table[4 * i]) << i;
        EXPECT_EQ(entries[i].peGreen, table[4 * i + 1]) << i;
        EXPECT_EQ(entries[i].peRed, table[4 * i + 2]) << i;
        EXPECT_EQ(entries[i].peFlags, 0) << i;
    }
    DeleteObject(palette);
}

TEST(CDib, LowColourBannerPaletteStartsWithTheVgaColours) {
    CDib dib(IDB_BANNER_LOWCOLOR);
    HPALETTE const palette = dib.CreatePalette();
    ASSERT_NE(palette, nullptr);
    auto const entries = Entries(palette);
    ASSERT_EQ(entries.size(), 256u);
    EXPECT_EQ(RGB(entries[4].peRed, entries[4].peGreen, entries[4].peBlue), RGB(0, 0, 128));
    EXPECT_EQ(RGB(entries[12].peRed, entries[12].peGreen, entries[12].peBlue), RGB(0, 0, 255));
    EXPECT_EQ(RGB(entries[15].peRed, entries[15].peGreen, entries[15].peBlue), RGB(255, 255, 255));
    DeleteObject(palette);
}

TEST(CDib, CoreHeaderBitmapReadsItsTripleTable) {
    CDib dib(kCore8);
    EXPECT_EQ(dib.Width(), 2);
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.BitCount(), 8u);
    HPALETTE const palette = dib.CreatePalette();
    ASSERT_NE(palette, nullptr);
    auto const entries = Entries(palette);
    ASSERT_EQ(entries.size(), 256u);
    // Entry i of the fixture: blue i, green 255 - i, red i / 2.
    EXPECT_EQ(entries[5].peBlue, 5);
    EXPECT_EQ(entries[5].peGreen, 250);
    EXPECT_EQ(entries[5].peRed, 2);
    EXPECT_EQ(entries[200].peRed, 100);
    DeleteObject(palette);

    // The bits follow the 768-byte table: the top row (stored second) is 3, 4.
    Canvas canvas(2, 2);
    dib.CopyPixels(canvas.dc(), 0, 0, 0, 0, 2, 2);
    EXPECT_EQ(canvas.At(0, 0), (1u << 16) | (252u << 8) | 3u);
    EXPECT_EQ(canvas.At(1, 1), (1u << 16) | (253u << 8) | 2u);
}

TEST(CDib, FourBitBitmapHasSixteenEntriesAndTrueColourNone) {
    CDib four(kInfo4);
    EXPECT_EQ(four.BitCount(), 4u);
    HPALETTE const palette = four.CreatePalette();
    ASSERT_NE(palette, nullptr);
    auto const entries = Entries(palette);
    ASSERT_EQ(entries.size(), 16u);
    EXPECT_EQ(entries[3].peRed, 255 - 48);
    EXPECT_EQ(entries[3].peGreen, 3);
    EXPECT_EQ(entries[3].peBlue, 48);
    DeleteObject(palette);

    CDib truecolour(kInfo24);
    EXPECT_EQ(truecolour.BitCount(), 24u);
    EXPECT_EQ(truecolour.CreatePalette(), nullptr);
    Canvas canvas(2, 2);
    truecolour.CopyPixels(canvas.dc(), 0, 0, 0, 0, 2, 2);
    EXPECT_EQ(canvas.At(0, 1), 0xFF0000u); // bottom row, stored first: red, green
    EXPECT_EQ(canvas.At(1, 1), 0x00FF00u);
    EXPECT_EQ(canvas.At(0, 0), 0x0000FFu); // top row: blue, cyan
    EXPECT_EQ(canvas.At(1, 0), 0x00FFFFu);
}

TEST(CDib, MissingResourceRaisesCauseFive) {
    try {
        CDib dib(kMissing);
        FAIL() << "no exception for a missing resource";
    } catch (const CDIBException& e) {
        EXPECT_EQ(e.m_cause, CDIBException::resourceMissing);
        EXPECT_EQ(e.m_cause, 5);
    }
}

TEST(CDib, PixelCopyShowsTheBannerUprightAndItsTopPart) {
    CDib dib(IDB_BANNER);
    const std::uint8_t* const file = ResourceBytes(IDB_BANNER);
    Canvas whole(585, 44);
    dib.CopyPixels(whole.dc(), 0, 0, 0, 0, 585, 44);
    for (int y = 0; y < 44; y += 3)
        for (int x = 0; x < 585; x += 13)
            ASSERT_EQ(whole.At(x, y), FilePixel8(file, x, y)) << x << "," << y;

    // The unscaled mode's copy of a lower area: source y = height - 20 gives
    // the bitmap's top 20 rows.
    Canvas top(100, 20);
    dib.CopyPixels(top.dc(), 0, 0, 0, 44 - 20, 100, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; x += 7)
            ASSERT_EQ(top.At(x, y), FilePixel8(file, x, y)) << x << "," << y;
}

namespace {
class FrameProbe : public CAnimationIcon {
public:
    using CAnimationIcon::CAnimationIcon;
    unsigned Count() const { return m_frames.Count(); }
    HICON Icon(unsigned i) const { return m_hIcons[i]; }
};
} // namespace

TEST(CAnimationIcon, LoadsAtMostTwentyFramesAndLeavesMissingOnesEmpty) {
    FrameProbe icon(nullptr, nullptr, controls::kTile, IDI_BUSY_FIRST, 25, 200);
    EXPECT_EQ(icon.Count(), 20u);
    for (unsigned i = 0; i < 10; ++i)
        EXPECT_NE(icon.Icon(i), nullptr) << i; // 256-265
    for (unsigned i = 10; i < 20; ++i)
        EXPECT_EQ(icon.Icon(i), nullptr) << i; // 266-275
    EXPECT_EQ(icon.CurrentFrame(), -1);
}
