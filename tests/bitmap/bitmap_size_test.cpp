// BMP size arithmetic: stride table, entry counts, offsets, file header.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "common/test_image.h"

using namespace bmp256;

namespace {

// Widths 1 to 4 pad 24-bit rows by 1, 2, 3 and 0 bytes.
TEST(RowStride, StridesOfSmallWidths) {
    const struct { int32_t width, stride24, stride8; } rows[] = {
        {0, 0, 0}, {1, 4, 4}, {2, 8, 4}, {3, 12, 4}, {4, 12, 4}, {5, 16, 8}, {8, 24, 8}};
    for (const auto& r : rows) {
        BITMAPINFOHEADER h24 = MakeInfoHeader(r.width, 1, 24);
        BITMAPINFOHEADER h8 = MakeInfoHeader(r.width, 1, 8);
        EXPECT_EQ(RowStride(&h24), r.stride24) << "width " << r.width;
        EXPECT_EQ(RowStride(&h8), r.stride8) << "width " << r.width;
        EXPECT_EQ(RowStride64(&h24), r.stride24) << "width " << r.width;
    }
}

TEST(RowStride, SixtyFourBitFormIsExactForHugeWidths) {
    BITMAPINFOHEADER h = MakeInfoHeader(INT32_MAX, 1, 24);
    EXPECT_EQ(RowStride64(&h), (int64_t{3} * INT32_MAX + 3) & ~int64_t{3});
    h.biBitCount = 65535;
    EXPECT_EQ(RowStride64(&h), (int64_t{65535} * INT32_MAX / 8 + 3) & ~int64_t{3});
}

TEST(ImageSize, StrideTimesHeight) {
    const struct { const char* name; int32_t width, height; uint16_t bits; int64_t size; } rows[] = {
        {"5 x 2, 24 bits", 5, 2, 24, 32}, {"5 x 2, 8 bits", 5, 2, 8, 16}, {"zero width", 0, 5, 24, 0},
        {"negative height", 4, -2, 24, -24}, {"3,000,000 x 2,000,000", 3000000, 2000000, 24, int64_t{9000000} * 2000000}};
    for (const auto& r : rows) {
        BITMAPINFOHEADER h = MakeInfoHeader(r.width, r.height, r.bits);
        EXPECT_EQ(ImageSize64(&h), r.size) << r.name;
        if (r.size <= INT32_MAX) {
            EXPECT_EQ(ImageSize(&h), r.size) << r.name;
        }
    }
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

TEST(Bitmap8FileSize64, HeadersTableAndIndexRows) {
    BITMAPINFOHEADER h = MakeInfoHeader(5, 2, 24);
    EXPECT_EQ(Bitmap8FileSize64(&h), 1078 + 16);
    h = MakeInfoHeader(3000000, 2000000, 24);
    EXPECT_EQ(Bitmap8FileSize64(&h), 1078 + int64_t{3000000} * 2000000);
}

// The pixels follow the headers and the colour table, if any, and fill the
// rest of the file (the 8-bit file of a 5 x 2 source: an 8-byte stride).
TEST(FillFileHeader, OffsetAndSize) {
    const struct { int32_t width, height; uint16_t bits; uint32_t offBits, size; } rows[] = {
        {5, 2, 8, 1078, 1094}, {4, 3, 24, 54, 54 + 36}, {8, 1, 1, 62, 62 + 4}, {2, 1, 4, 118, 118 + 4}};
    for (const auto& r : rows) {
        BITMAPINFOHEADER h = MakeInfoHeader(r.width, r.height, r.bits);
        EXPECT_EQ(PixelDataOffset(&h), int(r.offBits)) << r.bits << " bits";
        BITMAPFILEHEADER file;
        FillFileHeader(&file, &h);
        EXPECT_EQ(file.bfType, 0x4D42);
        EXPECT_EQ(file.bfSize, r.size) << r.bits << " bits";
        EXPECT_EQ(file.bfReserved1 | file.bfReserved2, 0);
        EXPECT_EQ(file.bfOffBits, r.offBits) << r.bits << " bits";
    }
}

// Bytes as hex, so that a failure shows every byte.
std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15], out += ' ';
    return out;
}

// `header` encodes to `want`, and the fields decoded from `want` encode to
// it again.
template <typename Header>
void ExpectCodec(const Header& header, const std::vector<uint8_t>& want, void (*encode)(const Header*, uint8_t*),
                 void (*decode)(const uint8_t*, Header*)) {
    std::vector<uint8_t> bytes(want.size());
    encode(&header, bytes.data());
    EXPECT_EQ(Hex(bytes), Hex(want));
    Header back{};
    decode(want.data(), &back);
    encode(&back, bytes.data());
    EXPECT_EQ(Hex(bytes), Hex(want)) << "decoded and encoded again";
}

// Every field at its offset, little-endian, signs kept.
TEST(HeaderCodec, RoundTripsEveryField) {
    ExpectCodec(BITMAPINFOHEADER{40, -7, INT32_MIN, 3, 24, 0x01020304u, 0xA0B0C0D0u, -1, 2835, 7, 9},
                {40,   0,    0,    0,    0xF9, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0x80, 3,    0,
                 24,   0,    4,    3,    2,    1,    0xD0, 0xC0, 0xB0, 0xA0, 0xFF, 0xFF, 0xFF, 0xFF,
                 0x13, 0x0B, 0,    0,    7,    0,    0,    0,    9,    0,    0,    0},
                EncodeInfoHeader, DecodeInfoHeader);
    ExpectCodec(BITMAPFILEHEADER{0x4D42, 0x11223344u, 5, 6, 0x55667788u},
                {0x42, 0x4D, 0x44, 0x33, 0x22, 0x11, 5, 0, 6, 0, 0x88, 0x77, 0x66, 0x55}, EncodeFileHeader,
                DecodeFileHeader);
}

}  // namespace
