// The committed art (src/res/art) has the exact layout the resources need:
// the two banners as 585 x 44 8-bit bitmap files of 26952 bytes with their
// bits at 1078, the low-colour banner in the 16 VGA colours only, and the
// icons with the images the dialog loads.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "controls/dib_layout.h"

namespace {

std::filesystem::path ArtDir() {
    return std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "src" / "res" / "art";
}

std::vector<std::uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(ArtDir() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// Colour indices of the picture's pixels (row padding left out).
std::vector<std::uint8_t> PixelIndices(const std::vector<std::uint8_t>& bmp) {
    std::vector<std::uint8_t> pixels;
    for (int row = 0; row < 44; ++row)
        for (int x = 0; x < 585; ++x)
            pixels.push_back(bmp[1078 + row * 588 + x]);
    return pixels;
}

class BannerFile : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(BannerFile, HasTheResourceLayout) {
    auto const bmp = ReadFile(GetParam());
    ASSERT_EQ(bmp.size(), 26952u) << GetParam();
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(U32(bmp, 2), 26952u); // file size
    EXPECT_EQ(U32(bmp, 10), 1078u); // offset of the bits
    EXPECT_EQ(U32(bmp, 14), 40u);   // BITMAPINFOHEADER
    EXPECT_EQ(U32(bmp, 18), 585u);
    EXPECT_EQ(U32(bmp, 22), 44u); // positive: bottom-up
    EXPECT_EQ(U16(bmp, 26), 1u);  // planes
    EXPECT_EQ(U16(bmp, 28), 8u);  // bits per pixel
    EXPECT_EQ(U32(bmp, 30), 0u);  // BI_RGB
    // What the program computes from the header lands on the same offset.
    auto const header = controls::ReadDibHeader(bmp.data() + 14, bmp.size() - 14);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->colorTableSize, 1024u);
    EXPECT_EQ(14 + header->bitsOffset, 1078u);
    EXPECT_EQ(controls::PaletteEntryCount(header->bitCount), 256u);
}

INSTANTIATE_TEST_SUITE_P(Art, BannerFile, ::testing::Values("banner.bmp", "banner16.bmp"));

TEST(Banner16, UsesOnlyTheSixteenVgaColours) {
    auto const bmp = ReadFile("banner16.bmp");
    ASSERT_EQ(bmp.size(), 26952u);
    static const std::uint8_t vga[16][3] = {
        {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
        {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
        {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (int i = 0; i < 16; ++i) {
        std::size_t const at = 54 + 4 * static_cast<std::size_t>(i); // blue, green, red
        EXPECT_EQ(bmp[at + 2], vga[i][0]) << "entry " << i;
        EXPECT_EQ(bmp[at + 1], vga[i][1]) << "entry " << i;
        EXPECT_EQ(bmp[at + 0], vga[i][2]) << "entry " << i;
    }
    std::set<int> used;
    for (auto const index : PixelIndices(bmp))
        used.insert(index);
    EXPECT_LT(*used.rbegin(), 16);
    EXPECT_GE(used.size(), 4u); // a picture, not a flat area
}

TEST(Banner, UsesMoreThanTheVgaColours) {
    auto const bmp = ReadFile("banner.bmp");
    ASSERT_EQ(bmp.size(), 26952u);
    std::set<int> used;
    for (auto const index : PixelIndices(bmp))
        used.insert(index);
    EXPECT_GT(used.size(), 16u);
}

namespace {

struct IconImage {
    int width;
    int height;
    std::vector<std::uint8_t> data;
};

std::vector<IconImage> ReadIcon(const std::string& name) {
    auto const ico = ReadFile(name);
    std::vector<IconImage> images;
    if (ico.size() < 6 || U16(ico, 0) != 0 || U16(ico, 2) != 1)
        return images;
    for (std::size_t i = 0; i < U16(ico, 4); ++i) {
        std::size_t const entry = 6 + 16 * i;
        std::uint32_t const size = U32(ico, entry + 8);
        std::uint32_t const offset = U32(ico, entry + 12);
        if (offset + size > ico.size())
            return {};
        images.push_back(
            {ico[entry] ? ico[entry] : 256, ico[entry + 1] ? ico[entry + 1] : 256,
             std::vector<std::uint8_t>(ico.begin() + offset, ico.begin() + offset + size)});
    }
    return images;
}

} // namespace

TEST(Icons, ApplicationIconHasLargeAndSmallImages) {
    auto const images = ReadIcon("norvane.ico");
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].width, 32);
    EXPECT_EQ(images[0].height, 32);
    EXPECT_EQ(images[1].width, 16);
    EXPECT_EQ(images[1].height, 16);
    for (auto const& image : images) {
        EXPECT_EQ(U32(image.data, 0), 40u);
        EXPECT_EQ(static_cast<int>(U32(image.data, 8)), 2 * image.height); // colour + mask
    }
}

TEST(Icons, TenDistinctAnimationFrames) {
    std::set<std::vector<std::uint8_t>> frames;
    for (int k = 0; k < 10; ++k) {
        std::string const name = "busy0" + std::to_string(k) + ".ico";
        auto const images = ReadIcon(name);
        ASSERT_EQ(images.size(), 1u) << name;
        EXPECT_EQ(images[0].width, 32) << name;
        EXPECT_EQ(images[0].height, 32) << name;
        frames.insert(images[0].data);
    }
    EXPECT_EQ(frames.size(), 10u);
}
