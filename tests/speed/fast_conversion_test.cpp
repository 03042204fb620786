// The whole conversion, which takes every fast path, against the plain stages
// chained by hand, byte for byte on the written file, whose sizes and offsets
// are checked as well.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "common/test_image.h"
#include "mapping/diffusion.h"
#include "quantize/palette.h"
#include "support/bmp_builder.h"
#include "support/desktop_conversion.h"
#include "platform/alloc.h"
#include "reference/reference.h"

using namespace bmp256;

using bmptest::Get16;
using bmptest::Get32;

namespace {

// The conversion as plainly described, from the same file: histogram table,
// full palette rebuilds, grid search per pixel, one thread; pad bytes of the
// index rows zero.
std::vector<uint8_t> PlainConversion(const bmptest::TempDir& dir, const TestImage& image) {
    const std::string source = dir.File("plain-source.bmp"), path = dir.File("plain.bmp");
    EXPECT_TRUE(bmptest::WriteFileBytes(source, BmpOf(image)));
    BITMAPINFOHEADER info;
    uint8_t* pixels = ReadBitmap24(source.c_str(), &info);
    EXPECT_NE(pixels, nullptr);
    if (!pixels) return {};
    std::vector<PaletteEntry> palette(kPaletteSize, PaletteEntry{0, 0, 0, 0});
    EXPECT_EQ(reference::BuildPalette(&palette[10], 236, pixels, &info), 1);
    BITMAPINFOHEADER out = info;
    out.biBitCount = 8;
    out.biSizeImage = uint32_t(ImageSize(&out));
    std::vector<uint8_t> indices(out.biSizeImage, 0);
    EXPECT_EQ(reference::DiffuseToIndices(indices.data(), &out, palette.data(), 10, 246, pixels, &info), 1);
    FreeBytes(pixels);
    EXPECT_EQ(WriteBitmap8(path.c_str(), indices.data(), palette.data(), &out), 1);
    return bmptest::ReadFileBytes(path);
}

}  // namespace

TEST(FastConversion, SameFileAsThePlainStagesOnRandomAndPhotoLikeImages) {
    bmptest::TempDir dir;
    struct Case {
        const char* name;
        TestImage image;
    };
    // Wide enough for the workers to wait for each other part way along a
    // row, and odd sizes for every pad length.
    std::vector<Case> cases = {
        {"photo", PhotoLikeImage(611, 97, 1)},  {"random", RandomImage(433, 61, 2)},
        {"photo", PhotoLikeImage(1, 301, 3)},   {"random", RandomImage(301, 1, 4)},
        {"photo", PhotoLikeImage(7, 5, 5)},     {"random", RandomImage(2, 3, 6)},
        {"photo", PhotoLikeImage(255, 254, 7)}, {"random", RandomImage(129, 130, 8)},
    };
    for (int32_t width = 1; width <= 7; ++width) {
        for (int32_t height : {1, 2, 3, 5}) {
            cases.push_back((width + height) % 2 ? Case{"random", RandomImage(width, height, uint32_t(width * 10 + height))}
                                                 : Case{"photo", PhotoLikeImage(width, height, uint32_t(height))});
        }
    }
    for (const Case& c : cases) {
        const int32_t width = c.image.info.biWidth, height = c.image.info.biHeight;
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(width) + "x" + std::to_string(height));
        const std::vector<uint8_t> want = PlainConversion(dir, c.image), got = bmptest::DesktopConversion(BmpOf(c.image));
        // The writer's sizes and offsets, which the plain stages share.
        const uint32_t stride = uint32_t(width + 3) & ~3u;
        ASSERT_EQ(got.size(), 1078u + stride * uint32_t(height));
        EXPECT_EQ(Get16(got, 0), 0x4D42);
        EXPECT_EQ(Get32(got, 2), got.size());
        EXPECT_EQ(Get32(got, 10), 1078u);
        EXPECT_EQ(Get32(got, 14), 40u);
        EXPECT_EQ(int32_t(Get32(got, 18)), width);
        EXPECT_EQ(int32_t(Get32(got, 22)), height);
        EXPECT_EQ(Get16(got, 28), 8);
        EXPECT_EQ(Get32(got, 34), stride * uint32_t(height));
        ASSERT_EQ(want.size(), got.size());
        size_t first = 0;
        while (first < want.size() && want[first] == got[first]) ++first;
        EXPECT_EQ(first, want.size()) << "first differing byte";
    }
}
