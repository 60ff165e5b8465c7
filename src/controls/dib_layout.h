// Layout arithmetic of device-independent bitmaps and of the two banner
// controls: what the drawing code needs to know, computed without Windows so
// that it can be tested anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace controls {

// Size of a BITMAPFILEHEADER, which precedes the bitmap header in a "DIB"
// resource (the resource is a bitmap file).
inline constexpr std::size_t kFileHeaderSize = 14;
// biSize of a BITMAPINFOHEADER; any other value is taken as the 12-byte
// BITMAPCOREHEADER.
inline constexpr std::uint32_t kInfoHeaderSize = 40;
inline constexpr std::uint32_t kCoreHeaderSize = 12;

// Bytes of the colour table that follows a header of the given size: RGBQUADs
// after an info header, RGBTRIPLEs after a core header, one per colour of the
// bit count when that is at most 8, none above.
std::size_t ColorTableSize(std::uint32_t headerSize, unsigned bitCount);

// Entries of the logical palette made from a bitmap: 2^bitCount, or 0 (no
// palette) above 8 bits.
unsigned PaletteEntryCount(unsigned bitCount);

// What the drawing code reads from a bitmap header.
struct DibHeader {
    std::uint32_t headerSize = 0; // 40, or 12 for a core header
    int width = 0;
    int height = 0;
    unsigned bitCount = 0;
    std::uint32_t compression = 0; // always 0 for a core header
    std::size_t colorTableSize = 0;
    std::size_t bitsOffset = 0; // from the start of the header
};

// Reads the header at `header` (the resource data + 14). Nothing when the
// block is too short for the header it announces.
std::optional<DibHeader> ReadDibHeader(const std::uint8_t* header, std::size_t size);

// One copy of a tiled bitmap: destination position and the part of the
// bitmap drawn there (always from its origin).
struct TileCopy {
    int x;
    int y;
    int width;
    int height;
};

// The copies that cover a client area with a bitmap, row by row: full-size
// copies except in the last column and row, cut to what remains.
std::vector<TileCopy> TileGrid(int clientWidth, int clientHeight, int bitmapWidth,
                               int bitmapHeight);

// Draw modes of the bitmap control.
enum DrawMode : int { kTile = 0, kStretch = 1, kUnscaled = 2, kAutomatic = 3 };

// Resolves kAutomatic: stretch a bitmap narrower than the client area, or one
// at least as wide but lower; otherwise draw it unscaled. Other modes are
// returned unchanged.
int ResolveDrawMode(int mode, int bitmapWidth, int bitmapHeight, int clientWidth, int clientHeight);

// The frame sequence of the animated icon: at most kMaxFrames frames, no
// frame shown (-1) until the first tick, then 0, 1, ... count-1, 0, ...
class FrameCounter {
public:
    static constexpr unsigned kMaxFrames = 20;

    explicit FrameCounter(unsigned requested)
        : m_count(requested > kMaxFrames ? kMaxFrames : requested) {}

    unsigned Count() const { return m_count; }
    int Current() const { return m_current; }
    // Advances one frame. With no frames at all the counter stays at -1, so
    // that nothing is ever drawn.
    void Tick();

private:
    unsigned m_count;
    int m_current = -1;
};

} // namespace controls
