// The 24-bit reader: the acceptance gate, table-driven on BMPs built in memory,
// each case run through ParseBitmap24 (buffer) and ReadBitmap24Ex (file).
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "support/bmp_builder.h"
#include "platform/alloc.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

using bmptest::BmpOptions;
using bmptest::Get16;
using bmptest::Get32;
using bmptest::MakeBmp24;
using bmptest::MakeBmpHeaders;

constexpr uint64_t kNoCheck = UINT64_MAX;

struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    BitmapStatus status;
    uint64_t missingBytes = kNoCheck;  // checked when not kNoCheck
    uint32_t pixelOffset = 54;         // where the accepted pixels start
};

std::vector<uint8_t> Small(const BmpOptions& o = BmpOptions()) {
    return MakeBmp24(3, 2, bmptest::NoisePixels(7), o);
}

BmpOptions WithInfoSize(uint32_t size) {
    BmpOptions o;
    o.infoSize = size;
    return o;
}

BmpOptions WithBitCount(uint16_t bits) {
    BmpOptions o;
    o.bitCount = bits;
    return o;
}

BmpOptions WithOffBits(uint32_t offBits, size_t gapBytes = 0) {
    BmpOptions o;
    o.gap.assign(gapBytes, 0xEE);
    o.overrideOffBits = true;
    o.offBits = offBits;
    return o;
}

std::vector<uint8_t> Truncated(std::vector<uint8_t> b, size_t size) {
    b.resize(size);
    return b;
}

std::vector<uint8_t> Extended(std::vector<uint8_t> b, size_t extra) {
    b.insert(b.end(), extra, 0x5A);
    return b;
}

// 1024 bytes of colour table between headers and pixels, as in g/rgb24pal.bmp.
BmpOptions WithColourTable() {
    BmpOptions o;
    for (int i = 0; i < 256; ++i) {
        o.gap.push_back(static_cast<uint8_t>(i));
        o.gap.push_back(static_cast<uint8_t>(255 - i));
        o.gap.push_back(static_cast<uint8_t>(i * 7));
        o.gap.push_back(0);
    }
    return o;
}

std::vector<Case> Cases() {
    std::vector<Case> c;
    const size_t full = Small().size();  // 54 + 2 rows of 12 bytes = 78
    c.push_back({"plain 3x2", Small(), kBitmapOk});
    c.push_back({"extra bytes after the pixels", Extended(Small(), 100), kBitmapOk});
    c.push_back({"1x1", MakeBmp24(1, 1, bmptest::NoisePixels(1)), kBitmapOk});
    c.push_back({"4x1 without padding", MakeBmp24(4, 1, bmptest::NoisePixels(2)), kBitmapOk});
    c.push_back({"biPlanes not tested",
                 Small([] { BmpOptions o; o.planes = 9; return o; }()), kBitmapOk});
    for (uint32_t code : {1u, 3u, 4u, 5u}) {
        c.push_back({"compressed", Small([code] { BmpOptions o; o.compression = code; return o; }()),
                     kBitmapCompressed});
    }

    // Signature.
    c.push_back({"empty file", {}, kBitmapNotBmp});
    c.push_back({"one byte", {0x42}, kBitmapNotBmp});
    c.push_back({"just BM", {0x42, 0x4D}, kBitmapShortHeader, 52});
    c.push_back({"signature BA",
                 Small([] { BmpOptions o; o.signature = 0x4142; return o; }()), kBitmapNotBmp});
    c.push_back({"signature reversed MB",
                 Small([] { BmpOptions o; o.signature = 0x424D; return o; }()), kBitmapNotBmp});
    c.push_back({"text file", {'h', 'e', 'l', 'l', 'o', '\n'}, kBitmapNotBmp});

    // Header size.
    c.push_back({"12-byte core header", Small(WithInfoSize(12)), kBitmapHeaderSize});
    c.push_back({"64-byte OS/2 header", Small(WithInfoSize(64)), kBitmapHeaderSize});
    c.push_back({"108-byte V4 header", Small(WithInfoSize(108)), kBitmapHeaderSize});
    c.push_back({"124-byte V5 header", Small(WithInfoSize(124)), kBitmapHeaderSize});
    c.push_back({"12-byte header in a 26-byte file",
                 Truncated(Small(WithInfoSize(12)), 26), kBitmapHeaderSize});

    // Incomplete headers.
    c.push_back({"ends at 53 bytes", Truncated(Small(), 53), kBitmapShortHeader, 1});
    c.push_back({"ends at 20 bytes", Truncated(Small(), 20), kBitmapShortHeader, 34});
    c.push_back({"ends inside biSize", Truncated(Small(), 16), kBitmapShortHeader, 38});
    c.push_back({"file header only", Truncated(Small(), 14), kBitmapShortHeader, 40});

    // Bit count.
    for (uint16_t bits : {32, 16, 8, 4, 1, 0, 48, 64}) {
        c.push_back({std::to_string(bits) + " bits per pixel", Small(WithBitCount(bits)),
                     kBitmapBitCount});
    }

    // Signs and zeros of the dimensions.
    c.push_back({"top-down", MakeBmp24(3, -2, bmptest::NoisePixels(3)), kBitmapTopDown});
    c.push_back({"INT_MIN height", MakeBmpHeaders(3, INT32_MIN), kBitmapTopDown});
    c.push_back({"negative width and height",
                 Extended(MakeBmpHeaders(-3, -2), 24), kBitmapTopDown});
    c.push_back({"zero width", Extended(MakeBmpHeaders(0, 2), 24), kBitmapBadDimensions});
    c.push_back({"zero height", Extended(MakeBmpHeaders(3, 0), 24), kBitmapBadDimensions});
    c.push_back({"zero by zero", MakeBmpHeaders(0, 0), kBitmapBadDimensions});
    c.push_back({"negative width", Extended(MakeBmpHeaders(-3, 2), 24), kBitmapBadDimensions});
    c.push_back({"INT_MIN width", MakeBmpHeaders(INT32_MIN, 2), kBitmapBadDimensions});

    // Pixel data against the real length.
    c.push_back({"one byte short", Truncated(Small(), full - 1), kBitmapShortPixels, 1});
    c.push_back({"headers only", Truncated(Small(), 54), kBitmapShortPixels, 24});
    c.push_back({"pad bytes of the last row missing", Truncated(Small(), full - 3),
                 kBitmapShortPixels, 3});

    // bfOffBits.
    c.push_back({"colour table before the pixels (bfOffBits 1078)", Small(WithColourTable()),
                 kBitmapOk, kNoCheck, 1078});
    c.push_back({"colour table, pixels one byte short",
                 Truncated(Small(WithColourTable()), 1078 + 24 - 1), kBitmapShortPixels, 1});
    c.push_back({"gap of 10 bytes (bfOffBits 64)", Small(WithOffBits(64, 10)), kBitmapOk,
                 kNoCheck, 64});
    c.push_back({"bfOffBits 54 exactly", Small(WithOffBits(54)), kBitmapOk});
    c.push_back({"bfOffBits 0 reads from 54", Small(WithOffBits(0)), kBitmapOk});
    c.push_back({"bfOffBits 14 reads from 54", Small(WithOffBits(14)), kBitmapOk});
    c.push_back({"bfOffBits 53 reads from 54", Small(WithOffBits(53)), kBitmapOk});
    c.push_back({"bfOffBits past the end", Small(WithOffBits(2000)), kBitmapShortPixels,
                 2000 + 24 - full});
    c.push_back({"bfOffBits 0xFFFFFFFF", Small(WithOffBits(0xFFFFFFFFu)), kBitmapShortPixels,
                 0xFFFFFFFFull + 24 - full});

    // Sizes that do not fit 32 bits, and both sides of the limits.
    c.push_back({"3,000,000 x 2,000,000", Extended(MakeBmpHeaders(3000000, 2000000), 24576),
                 kBitmapTooLarge});
    c.push_back({"INT_MAX x INT_MAX", MakeBmpHeaders(INT32_MAX, INT32_MAX), kBitmapTooLarge});
    c.push_back({"INT_MAX x 1", MakeBmpHeaders(INT32_MAX, 1), kBitmapTooLarge});
    c.push_back({"1 x INT_MAX", MakeBmpHeaders(1, INT32_MAX), kBitmapTooLarge});
    // 24-bit file size limit: 54 + stride <= INT32_MAX.
    c.push_back({"widest image that fits, no data", MakeBmpHeaders(715827864, 1),
                 kBitmapShortPixels, 2147483592});
    c.push_back({"one pixel wider", MakeBmpHeaders(715827865, 1), kBitmapTooLarge});
    // For width 1 the 8-bit file (1078 + 4 * h) is the larger and sets the limit.
    c.push_back({"tallest 1-wide image that fits, no data", MakeBmpHeaders(1, 536870642),
                 kBitmapShortPixels, uint64_t{4} * 536870642});
    c.push_back({"one row taller", MakeBmpHeaders(1, 536870643), kBitmapTooLarge});
    return c;
}

void ExpectInfoFromFile(const std::vector<uint8_t>& b, const BITMAPINFOHEADER& info,
                        const std::string& name) {
    if (b.size() < 54) return;
    EXPECT_EQ(info.biSize, Get32(b, 14)) << name;
    EXPECT_EQ(info.biWidth, static_cast<int32_t>(Get32(b, 18))) << name;
    EXPECT_EQ(info.biHeight, static_cast<int32_t>(Get32(b, 22))) << name;
    EXPECT_EQ(info.biPlanes, Get16(b, 26)) << name;
    EXPECT_EQ(info.biBitCount, Get16(b, 28)) << name;
    EXPECT_EQ(info.biCompression, Get32(b, 30)) << name;
    EXPECT_EQ(info.biSizeImage, Get32(b, 34)) << name;
    EXPECT_EQ(info.biXPelsPerMeter, static_cast<int32_t>(Get32(b, 38))) << name;
    EXPECT_EQ(info.biClrImportant, Get32(b, 50)) << name;
}

void ExpectResult(const Case& c, const uint8_t* pixels, const BITMAPINFOHEADER& info,
                  const BitmapReadDetail& detail, const std::string& how) {
    std::string name = c.name + " (" + how + ")";
    EXPECT_EQ(detail.status, c.status) << name;
    if (c.missingBytes != kNoCheck) {
        EXPECT_EQ(detail.missingBytes, c.missingBytes) << name;
    }
    ExpectInfoFromFile(c.bytes, info, name);
    if (c.status == kBitmapOk) {
        ASSERT_NE(pixels, nullptr) << name;
        size_t size = static_cast<size_t>(ImageSize(&info));
        ASSERT_LE(c.pixelOffset + size, c.bytes.size()) << name;
        EXPECT_EQ(std::memcmp(pixels, c.bytes.data() + c.pixelOffset, size), 0) << name;
    } else {
        EXPECT_EQ(pixels, nullptr) << name;
    }
}

TEST(ReadBitmap24, AcceptanceTableInMemory) {
    for (const Case& c : Cases()) {
        BITMAPINFOHEADER info;
        std::memset(&info, 0xAB, sizeof info);
        BitmapReadDetail detail;
        SetAllocationFailureAt(0);
        uint8_t* pixels = ParseBitmap24(c.bytes.data(), c.bytes.size(), &info, &detail);
        long allocations = SetAllocationFailureAt(0);
        ExpectResult(c, pixels, info, detail, "buffer");
        // A refused header never allocates, whatever it claims.
        EXPECT_EQ(allocations, c.status == kBitmapOk ? 1 : 0) << c.name;
        FreeBytes(pixels);
    }
}

TEST(ReadBitmap24, AcceptanceTableOnFiles) {
    int n = 0;
    for (const Case& c : Cases()) {
        std::string path = bmptest::WriteTempFile("case" + std::to_string(n++) + ".bmp", c.bytes);
        BITMAPINFOHEADER info;
        std::memset(&info, 0xAB, sizeof info);
        BitmapReadDetail detail;
        SetAllocationFailureAt(0);
        uint8_t* pixels = ReadBitmap24Ex(path.c_str(), &info, &detail);
        long allocations = SetAllocationFailureAt(0);
        ExpectResult(c, pixels, info, detail, "file");
        EXPECT_EQ(allocations, c.status == kBitmapOk ? 1 : 0) << c.name;
        FreeBytes(pixels);

        // The wrapper agrees.
        BITMAPINFOHEADER info2;
        uint8_t* again = ReadBitmap24(path.c_str(), &info2);
        EXPECT_EQ(again != nullptr, c.status == kBitmapOk) << c.name;
        FreeBytes(again);
    }
}

TEST(ReadBitmap24, DetailNamesTheHeaderSizeAndBitCount) {
    std::vector<uint8_t> v5 = Small(WithInfoSize(124));
    BITMAPINFOHEADER info;
    BitmapReadDetail detail;
    EXPECT_EQ(ParseBitmap24(v5.data(), v5.size(), &info, &detail), nullptr);
    EXPECT_EQ(detail.status, kBitmapHeaderSize);
    EXPECT_EQ(detail.headerSize, 124u);

    std::vector<uint8_t> b32 = Small(WithBitCount(32));
    EXPECT_EQ(ParseBitmap24(b32.data(), b32.size(), &info, &detail), nullptr);
    EXPECT_EQ(detail.status, kBitmapBitCount);
    EXPECT_EQ(detail.bitCount, 32u);
    EXPECT_EQ(info.biBitCount, 32);
}

TEST(ReadBitmap24, NullDetailIsAllowed) {
    std::vector<uint8_t> ok = Small();
    BITMAPINFOHEADER info;
    uint8_t* p = ParseBitmap24(ok.data(), ok.size(), &info, nullptr);
    EXPECT_NE(p, nullptr);
    FreeBytes(p);
    std::string path = bmptest::WriteTempFile("nulldetail.bmp", ok);
    p = ReadBitmap24Ex(path.c_str(), &info, nullptr);
    EXPECT_NE(p, nullptr);
    FreeBytes(p);
}

TEST(ReadBitmap24, MissingFileCannotBeOpened) {
    bmptest::TempDir dir;
    BITMAPINFOHEADER info{};
    info.biWidth = 77;
    BitmapReadDetail detail;
    EXPECT_EQ(ReadBitmap24Ex(dir.File("absent.bmp").c_str(), &info, &detail), nullptr);
    EXPECT_EQ(detail.status, kBitmapCannotOpen);
    EXPECT_EQ(detail.systemError, ENOENT);
    EXPECT_EQ(info.biWidth, 77);  // nothing was read
    EXPECT_EQ(ReadBitmap24(dir.File("absent.bmp").c_str(), &info), nullptr);
}

#ifndef _WIN32
TEST(ReadBitmap24, DirectoryIsRefused) {
    bmptest::TempDir dir;
    BITMAPINFOHEADER info;
    BitmapReadDetail detail;
    SetAllocationFailureAt(0);
    EXPECT_EQ(ReadBitmap24Ex(dir.path().c_str(), &info, &detail), nullptr);
    EXPECT_EQ(SetAllocationFailureAt(0), 0);
    EXPECT_EQ(detail.status, kBitmapReadError);
    EXPECT_EQ(detail.systemError, EISDIR);
}
#endif

TEST(ReadBitmap24, AllocationFailureIsNoMemory) {
    std::vector<uint8_t> ok = Small();
    std::string path = bmptest::WriteTempFile("nomemory.bmp", ok);
    BITMAPINFOHEADER info;
    BitmapReadDetail detail;
    SetAllocationFailureAt(1);
    uint8_t* p = ReadBitmap24Ex(path.c_str(), &info, &detail);
    SetAllocationFailureAt(0);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(detail.status, kBitmapNoMemory);
    EXPECT_EQ(info.biWidth, 3);

    SetAllocationFailureAt(1);
    p = ParseBitmap24(ok.data(), ok.size(), &info, &detail);
    SetAllocationFailureAt(0);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(detail.status, kBitmapNoMemory);
}

TEST(ReadBitmap24, PixelsAreTheFilesBytesWithPadding) {
    // Width 5: 15 bytes of pixels and 1 pad byte per row, kept as the file has them.
    BmpOptions o;
    o.padByte = 0x99;
    std::vector<uint8_t> b = MakeBmp24(5, 2, bmptest::NoisePixels(11), o);
    BITMAPINFOHEADER info;
    uint8_t* p = ParseBitmap24(b.data(), b.size(), &info, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(RowStride(&info), 16);
    EXPECT_EQ(ImageSize(&info), 32);
    EXPECT_EQ(p[15], 0x99);
    EXPECT_EQ(p[31], 0x99);
    EXPECT_EQ(std::memcmp(p, b.data() + 54, 32), 0);
    FreeBytes(p);
}

TEST(DescribeBitmapStatus, PlainWords) {
    BitmapReadDetail d;
    auto with = [](BitmapStatus s) {
        BitmapReadDetail x{};
        x.status = s;
        return x;
    };
    char out[160];
    std::vector<std::pair<BitmapReadDetail, std::string>> rows;
    d = with(kBitmapNotBmp);
    rows.push_back({d, "not a BMP file"});
    for (uint32_t size : {12u, 64u, 108u, 124u}) {
        d = with(kBitmapHeaderSize);
        d.headerSize = size;
        rows.push_back({d, "a " + std::to_string(size) + "-byte header is not supported"});
    }
    d = with(kBitmapBitCount);
    d.bitCount = 32;
    rows.push_back({d, "32 bits per pixel, only 24 can be converted"});
    d.bitCount = 1;
    rows.push_back({d, "1 bit per pixel, only 24 can be converted"});
    rows.push_back({with(kBitmapTopDown), "top-down bitmaps are not supported"});
    d = with(kBitmapShortPixels);
    d.missingBytes = 17;
    rows.push_back({d, "the pixel data is 17 bytes short"});
    d.missingBytes = 1;
    rows.push_back({d, "the pixel data is 1 byte short"});
    rows.push_back({with(kBitmapTooLarge), "the image is too large"});
    d = with(kBitmapCannotOpen);
    d.systemError = ENOENT;
    rows.push_back({d, std::string("cannot open: ") + std::strerror(ENOENT)});
    d = with(kBitmapReadError);
    d.systemError = EISDIR;
    rows.push_back({d, std::string("cannot read: ") + std::strerror(EISDIR)});
    d = with(kBitmapBadDimensions);
    d.width = 0;
    d.height = 5;
    rows.push_back({d, "the image is empty (0 x 5 pixels)"});
    d.width = -127;
    d.height = 64;
    rows.push_back({d, "a negative width (-127) is not valid"});
    d = with(kBitmapShortHeader);
    d.missingBytes = 1;
    rows.push_back({d, "the headers are 1 byte short"});
    rows.push_back({with(kBitmapNoMemory), "not enough memory for the image"});
    for (const auto& r : rows) {
        DescribeBitmapStatus(&r.first, out, sizeof out);
        EXPECT_EQ(std::string(out), r.second);
    }
}

TEST(DescribeBitmapStatus, RespectsCapacity) {
    BitmapReadDetail d{};
    d.status = kBitmapTopDown;
    char out[8];
    std::memset(out, 'x', sizeof out);
    DescribeBitmapStatus(&d, out, 4);
    EXPECT_EQ(std::string(out), "top");
    EXPECT_EQ(out[4], 'x');
    DescribeBitmapStatus(&d, out, 0);  // writes nothing
    EXPECT_EQ(out[0], 't');
}

}  // namespace
