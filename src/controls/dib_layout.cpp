// Layout arithmetic of bitmaps and of the banner controls.
#include "controls/dib_layout.h"

#include <cstring>

namespace controls {

namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::uint16_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

int CeilDiv(int a, int b) {
    return (a + b - 1) / b;
}

} // namespace

std::size_t ColorTableSize(std::uint32_t headerSize, unsigned bitCount) {
    if (bitCount > 8)
        return 0;
    std::size_t const entry = headerSize == kInfoHeaderSize ? 4 : 3;
    return entry << bitCount;
}

unsigned PaletteEntryCount(unsigned bitCount) {
    return bitCount > 8 ? 0 : 1u << bitCount;
}

std::optional<DibHeader> ReadDibHeader(const std::uint8_t* header, std::size_t size) {
    if (size < 4)
        return std::nullopt;
    DibHeader h;
    h.headerSize = ReadU32(header);
    if (h.headerSize == kInfoHeaderSize) {
        if (size < kInfoHeaderSize)
            return std::nullopt;
        h.width = static_cast<std::int32_t>(ReadU32(header + 4));
        h.height = static_cast<std::int32_t>(ReadU32(header + 8));
        h.bitCount = ReadU16(header + 14);
        h.compression = ReadU32(header + 16);
    } else {
        if (size < kCoreHeaderSize)
            return std::nullopt;
        h.width = ReadU16(header + 4);
        h.height = ReadU16(header + 6);
        h.bitCount = ReadU16(header + 10);
    }
    h.colorTableSize = ColorTableSize(h.headerSize, h.bitCount);
    h.bitsOffset = h.headerSize + h.colorTableSize;
    return h;
}

std::vector<TileCopy> TileGrid(int clientWidth, int clientHeight, int bitmapWidth,
                               int bitmapHeight) {
    std::vector<TileCopy> copies;
    if (clientWidth <= 0 || clientHeight <= 0 || bitmapWidth <= 0 || bitmapHeight <= 0)
        return copies;
    int const columns = CeilDiv(clientWidth, bitmapWidth);
    int const rows = CeilDiv(clientHeight, bitmapHeight);
    copies.reserve(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        int const y = i * bitmapHeight;
        int const height = i == rows - 1 ? clientHeight - y : bitmapHeight;
        for (int j = 0; j < columns; ++j) {
            int const x = j * bitmapWidth;
            int const width = j == columns - 1 ? clientWidth - x : bitmapWidth;
            copies.push_back({x, y, width, height});
        }
    }
    return copies;
}

int ResolveDrawMode(int mode, int bitmapWidth, int bitmapHeight, int clientWidth,
                    int clientHeight) {
    if (mode != kAutomatic)
        return mode;
    if (bitmapWidth < clientWidth)
        return kStretch;
    if (bitmapHeight < clientHeight)
        return kStretch;
    return kUnscaled;
}

void FrameCounter::Tick() {
    if (m_count == 0)
        return;
    // Unsigned on purpose: from -1 the first tick wraps to frame 0.
    m_current = static_cast<int>((static_cast<unsigned>(m_current) + 1u) % m_count);
}

} // namespace controls
