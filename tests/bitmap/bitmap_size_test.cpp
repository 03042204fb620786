// BMP size arithmetic: stride table, entry counts, offsets, file header.
#include <gtest/gtest.h>

#include <climits>

#include "bitmap/bitmap.h"
#include "common/test_image.h"

using namespace bmp256;

namespace {

struct StrideRow {
    int32_t width;
    int32_t stride24;
    int32_t stride8;
};

TEST(RowStride, StridesOfSmallWidths) {
    const StrideRow rows[] = {{1, 4, 4}, {2, 8, 4}, {3, 12, 4}, {4, 12, 4}, {5, 16, 8}, {8, 24, 8}};
    for (const StrideRow& r : rows) {
        BITMAPINFOHEADER h24 = MakeInfoHeader(r.width, 1, 24);
        BITMAPINFOHEADER h8 = MakeInfoHeader(r.width, 1, 8);
        EXPECT_EQ(RowStride(&h24), r.stride24) << "width " << r.width;
        EXPECT_EQ(RowStride(&h8), r.stride8) << "width " << r.width;
        EXPECT_EQ(RowStride64(&h24), r.stride24) << "width " << r.width;
    }
}

TEST(RowStride, WidthsOneToFourPadOneTwoThreeZero) {
    for (int32_t w = 1; w <= 4; ++w) {
        BITMAPINFOHEADER h = MakeInfoHeader(w, 1, 24);
        EXPECT_EQ(RowStride(&h) - 3 * w, (4 - (3 * w) % 4) % 4) << "width " << w;
    }
}

TEST(RowStride, ZeroWidthIsZero) {
    BITMAPINFOHEADER h = MakeInfoHeader(0, 5, 24);
    EXPECT_EQ(RowStride(&h), 0);
    EXPECT_EQ(ImageSize(&h), 0);
}

TEST(RowStride, SixtyFourBitFormIsExactForHugeWidths) {
    BITMAPINFOHEADER h = MakeInfoHeader(INT32_MAX, 1, 24);
    EXPECT_EQ(RowStride64(&h), (int64_t{3} * INT32_MAX + 3) & ~int64_t{3});
    h.biBitCount = 65535;
    EXPECT_EQ(RowStride64(&h), (int64_t{65535} * INT32_MAX / 8 + 3) & ~int64_t{3});
}

TEST(ImageSize, StrideTimesHeight) {
    BITMAPINFOHEADER h = MakeInfoHeader(5, 2, 24);
    EXPECT_EQ(ImageSize(&h), 32);
    h.biBitCount = 8;
    EXPECT_EQ(ImageSize(&h), 16);
}

TEST(ImageSize, NegativeHeightGivesNegativeSize) {
    BITMAPINFOHEADER h = MakeInfoHeader(4, -2, 24);
    EXPECT_EQ(ImageSize(&h), -24);
    EXPECT_EQ(ImageSize64(&h), -24);
}

TEST(ImageSize, SixtyFourBitFormOfReallyBig) {
    BITMAPINFOHEADER h = MakeInfoHeader(3000000, 2000000, 24);
    EXPECT_EQ(ImageSize64(&h), int64_t{9000000} * 2000000);
    EXPECT_GT(ImageSize64(&h), INT32_MAX);
}

TEST(ImageSize, SixtyFourBitFormSaturatesInsteadOfOverflowing) {
    BITMAPINFOHEADER h = MakeInfoHeader(INT32_MAX, INT32_MIN, 65535);
    EXPECT_LT(ImageSize64(&h), -(int64_t{1} << 61));
    h.biHeight = INT32_MAX;
    EXPECT_GT(ImageSize64(&h), int64_t{1} << 61);
    h.biWidth = INT32_MIN;
    EXPECT_LT(ImageSize64(&h), -(int64_t{1} << 61));
}

TEST(PaletteEntryCount, Table) {
    const struct {
        uint16_t bits;
        int32_t entries;
    } rows[] = {{1, 2},  {2, 4},  {4, 16},  {8, 256}, {16, 0},    {24, 0},
                {32, 0}, {0, -1}, {3, -1},  {12, -1}, {64, -1}, {30000, -1}};
    for (const auto& r : rows) {
        BITMAPINFOHEADER h = MakeInfoHeader(1, 1, r.bits);
        EXPECT_EQ(PaletteEntryCount(&h), r.entries) << r.bits << " bits";
    }
}

TEST(PixelDataOffset, EightAndTwentyFourBits) {
    BITMAPINFOHEADER h8 = MakeInfoHeader(1, 1, 8);
    BITMAPINFOHEADER h24 = MakeInfoHeader(1, 1, 24);
    BITMAPINFOHEADER h1 = MakeInfoHeader(1, 1, 1);
    BITMAPINFOHEADER h4 = MakeInfoHeader(1, 1, 4);
    EXPECT_EQ(PixelDataOffset(&h8), 1078);
    EXPECT_EQ(PixelDataOffset(&h24), 54);
    EXPECT_EQ(PixelDataOffset(&h1), 62);
    EXPECT_EQ(PixelDataOffset(&h4), 118);
}

TEST(Bitmap8FileSize64, HeadersTableAndIndexRows) {
    BITMAPINFOHEADER h = MakeInfoHeader(5, 2, 24);
    EXPECT_EQ(Bitmap8FileSize64(&h), 1078 + 16);
    h = MakeInfoHeader(3000000, 2000000, 24);
    EXPECT_EQ(Bitmap8FileSize64(&h), 1078 + int64_t{3000000} * 2000000);
}

TEST(FillFileHeader, FiveByTwoEightBit) {
    // The 8-bit file of a 5 x 2 source has an 8-byte stride,
    // biSizeImage 16, bfOffBits 1078 and bfSize 1094.
    BITMAPINFOHEADER source = MakeInfoHeader(5, 2, 24);
    EXPECT_EQ(RowStride(&source), 16);
    EXPECT_EQ(ImageSize(&source), 32);
    BITMAPINFOHEADER eight = source;
    eight.biBitCount = 8;
    eight.biSizeImage = static_cast<uint32_t>(ImageSize(&eight));
    EXPECT_EQ(RowStride(&eight), 8);
    EXPECT_EQ(eight.biSizeImage, 16u);
    BITMAPFILEHEADER file;
    FillFileHeader(&file, &eight);
    EXPECT_EQ(file.bfType, 0x4D42);
    EXPECT_EQ(file.bfSize, 1094u);
    EXPECT_EQ(file.bfReserved1, 0);
    EXPECT_EQ(file.bfReserved2, 0);
    EXPECT_EQ(file.bfOffBits, 1078u);
}

TEST(FillFileHeader, TwentyFourBit) {
    BITMAPINFOHEADER h = MakeInfoHeader(4, 3, 24);
    BITMAPFILEHEADER file;
    FillFileHeader(&file, &h);
    EXPECT_EQ(file.bfOffBits, 54u);
    EXPECT_EQ(file.bfSize, 54u + 36u);
}

TEST(HeaderCodec, RoundTripsEveryField) {
    BITMAPINFOHEADER info{40, -7, INT32_MIN, 3, 24, 0x01020304u, 0xA0B0C0D0u, -1, 2835, 7, 9};
    uint8_t bytes[40];
    EncodeInfoHeader(&info, bytes);
    EXPECT_EQ(bytes[0], 40);
    EXPECT_EQ(bytes[4], 0xF9);  // -7 little-endian
    EXPECT_EQ(bytes[7], 0xFF);
    EXPECT_EQ(bytes[11], 0x80);  // INT32_MIN's high byte
    EXPECT_EQ(bytes[16], 0x04);
    BITMAPINFOHEADER back{};
    DecodeInfoHeader(bytes, &back);
    EXPECT_EQ(back.biSize, info.biSize);
    EXPECT_EQ(back.biWidth, info.biWidth);
    EXPECT_EQ(back.biHeight, info.biHeight);
    EXPECT_EQ(back.biPlanes, info.biPlanes);
    EXPECT_EQ(back.biBitCount, info.biBitCount);
    EXPECT_EQ(back.biCompression, info.biCompression);
    EXPECT_EQ(back.biSizeImage, info.biSizeImage);
    EXPECT_EQ(back.biXPelsPerMeter, info.biXPelsPerMeter);
    EXPECT_EQ(back.biYPelsPerMeter, info.biYPelsPerMeter);
    EXPECT_EQ(back.biClrUsed, info.biClrUsed);
    EXPECT_EQ(back.biClrImportant, info.biClrImportant);

    BITMAPFILEHEADER file{0x4D42, 0x11223344u, 5, 6, 0x55667788u};
    uint8_t fb[14];
    EncodeFileHeader(&file, fb);
    const uint8_t expected[14] = {0x42, 0x4D, 0x44, 0x33, 0x22, 0x11, 5, 0, 6, 0,
                                  0x88, 0x77, 0x66, 0x55};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(fb[i], expected[i]) << "byte " << i;
    BITMAPFILEHEADER fback{};
    DecodeFileHeader(fb, &fback);
    EXPECT_EQ(fback.bfType, file.bfType);
    EXPECT_EQ(fback.bfSize, file.bfSize);
    EXPECT_EQ(fback.bfReserved1, file.bfReserved1);
    EXPECT_EQ(fback.bfReserved2, file.bfReserved2);
    EXPECT_EQ(fback.bfOffBits, file.bfOffBits);
}

}  // namespace
