// Layout arithmetic behind the banner and the animated icon: tiling, the
// automatic draw mode, colour tables, palettes, bitmap headers and frames.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "controls/dib_layout.h"

using namespace controls;

namespace {

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

} // namespace

TEST(TileGrid, CoversTheClientAreaAndCutsTheLastColumnAndRow) {
    auto const copies = TileGrid(100, 50, 40, 20);
    ASSERT_EQ(copies.size(), 9u);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            TileCopy const& c = copies[static_cast<std::size_t>(i * 3 + j)];
            EXPECT_EQ(c.x, j * 40);
            EXPECT_EQ(c.y, i * 20);
            EXPECT_EQ(c.width, j == 2 ? 20 : 40) << "row " << i << " column " << j;
            EXPECT_EQ(c.height, i == 2 ? 10 : 20) << "row " << i << " column " << j;
        }
    }
}

TEST(TileGrid, ExactMultiplesAndDegenerateSizes) {
    auto const exact = TileGrid(80, 40, 40, 20);
    ASSERT_EQ(exact.size(), 4u);
    for (auto const& c : exact) {
        EXPECT_EQ(c.width, 40);
        EXPECT_EQ(c.height, 20);
    }
    auto const smaller = TileGrid(10, 5, 40, 20); // one copy, cut to the client
    ASSERT_EQ(smaller.size(), 1u);
    EXPECT_EQ(smaller[0].width, 10);
    EXPECT_EQ(smaller[0].height, 5);
    EXPECT_TRUE(TileGrid(0, 50, 40, 20).empty());
    EXPECT_TRUE(TileGrid(100, 50, 0, 20).empty());
}

TEST(ResolveDrawMode, AutomaticStretchesSmallerBitmapsAndCopiesLargerOnes) {
    EXPECT_EQ(ResolveDrawMode(kAutomatic, 30, 100, 40, 20), kStretch);   // narrower
    EXPECT_EQ(ResolveDrawMode(kAutomatic, 40, 10, 40, 20), kStretch);    // as wide, lower
    EXPECT_EQ(ResolveDrawMode(kAutomatic, 50, 10, 40, 20), kStretch);    // wider, lower
    EXPECT_EQ(ResolveDrawMode(kAutomatic, 40, 20, 40, 20), kUnscaled);   // same size
    EXPECT_EQ(ResolveDrawMode(kAutomatic, 585, 44, 300, 30), kUnscaled); // larger
}

TEST(ResolveDrawMode, OtherModesAreKept) {
    for (int mode : {kTile, kStretch, kUnscaled}) {
        EXPECT_EQ(ResolveDrawMode(mode, 10, 10, 40, 20), mode);
        EXPECT_EQ(ResolveDrawMode(mode, 100, 100, 40, 20), mode);
    }
}

TEST(ColorTableSize, FollowsTheBitCountForBothHeaderKinds) {
    EXPECT_EQ(ColorTableSize(kInfoHeaderSize, 1), 8u);
    EXPECT_EQ(ColorTableSize(kInfoHeaderSize, 4), 64u);
    EXPECT_EQ(ColorTableSize(kInfoHeaderSize, 8), 1024u);
    EXPECT_EQ(ColorTableSize(kInfoHeaderSize, 24), 0u);
    EXPECT_EQ(ColorTableSize(kCoreHeaderSize, 1), 6u);
    EXPECT_EQ(ColorTableSize(kCoreHeaderSize, 4), 48u);
    EXPECT_EQ(ColorTableSize(kCoreHeaderSize, 8), 768u);
    EXPECT_EQ(ColorTableSize(kCoreHeaderSize, 24), 0u);
}

TEST(PaletteEntryCount, TwoToTheBitCountUpToEightBitsNoneAbove) {
    EXPECT_EQ(PaletteEntryCount(8), 256u);
    EXPECT_EQ(PaletteEntryCount(4), 16u);
    EXPECT_EQ(PaletteEntryCount(1), 2u);
    EXPECT_EQ(PaletteEntryCount(24), 0u);
    EXPECT_EQ(PaletteEntryCount(32), 0u);
}

TEST(ReadDibHeader, InfoHeader) {
    std::vector<std::uint8_t> h(40);
    PutU32(h, 0, 40);
    PutU32(h, 4, 585);
    PutU32(h, 8, 44);
    PutU16(h, 12, 1);
    PutU16(h, 14, 4);
    PutU32(h, 16, 0);
    PutU32(h, 32, 3); // used colours: not consulted
    auto const d = ReadDibHeader(h.data(), h.size());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->headerSize, 40u);
    EXPECT_EQ(d->width, 585);
    EXPECT_EQ(d->height, 44);
    EXPECT_EQ(d->bitCount, 4u);
    EXPECT_EQ(d->colorTableSize, 64u);
    EXPECT_EQ(d->bitsOffset, 104u);
}

TEST(ReadDibHeader, CoreHeader) {
    std::vector<std::uint8_t> h(12);
    PutU32(h, 0, 12);
    PutU16(h, 4, 16);
    PutU16(h, 6, 9);
    PutU16(h, 8, 1);
    PutU16(h, 10, 8);
    auto const d = ReadDibHeader(h.data(), h.size());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->width, 16);
    EXPECT_EQ(d->height, 9);
    EXPECT_EQ(d->bitCount, 8u);
    EXPECT_EQ(d->colorTableSize, 768u);
    EXPECT_EQ(d->bitsOffset, 12u + 768u);
}

TEST(ReadDibHeader, RefusesABlockShorterThanItsHeader) {
    std::vector<std::uint8_t> h(40);
    PutU32(h, 0, 40);
    EXPECT_FALSE(ReadDibHeader(h.data(), 39));
    EXPECT_FALSE(ReadDibHeader(h.data(), 3));
    PutU32(h, 0, 12);
    EXPECT_FALSE(ReadDibHeader(h.data(), 11));
}

TEST(FrameCounter, AtMostTwentyFrames) {
    EXPECT_EQ(FrameCounter(25).Count(), 20u);
    EXPECT_EQ(FrameCounter(20).Count(), 20u);
    EXPECT_EQ(FrameCounter(10).Count(), 10u);
}

TEST(FrameCounter, NoFrameUntilTheFirstTickThenCycles) {
    FrameCounter frames(10);
    EXPECT_EQ(frames.Current(), -1);
    std::vector<int> seen;
    for (int i = 0; i < 12; ++i) {
        frames.Tick();
        seen.push_back(frames.Current());
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1}));
}

TEST(FrameCounter, ACountOfZeroNeverShowsAFrame) {
    FrameCounter frames(0);
    frames.Tick();
    frames.Tick();
    EXPECT_EQ(frames.Current(), -1);
}
