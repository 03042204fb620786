// The whole conversion, which takes every fast path, against the plain stages
// chained by hand, byte for byte on the written file.
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
    const Case cases[] = {
        {"photo", PhotoLikeImage(611, 97, 1)},  {"random", RandomImage(433, 61, 2)},
        {"photo", PhotoLikeImage(1, 301, 3)},   {"random", RandomImage(301, 1, 4)},
        {"photo", PhotoLikeImage(7, 5, 5)},     {"random", RandomImage(2, 3, 6)},
        {"photo", PhotoLikeImage(255, 254, 7)}, {"random", RandomImage(129, 130, 8)},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> want = PlainConversion(dir, c.image), got = bmptest::DesktopConversion(BmpOf(c.image));
        ASSERT_EQ(want.size(), got.size()) << c.name;
        size_t first = 0;
        while (first < want.size() && want[first] == got[first]) ++first;
        EXPECT_EQ(first, want.size()) << c.name << " " << c.image.info.biWidth << "x" << c.image.info.biHeight
                                      << ": first differing byte " << first;
    }
}
