// The input layer on BMPs built in memory: the acceptance table, each case run
// through ParsePicture (buffer) and ReadPicture (file).
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

// What the reader makes of a case: every form has one set of rules, and a
// file built for one form but labelled another may read either way, as long
// as the buffer and the file agree.
enum Verdict { kAccept, kRefuse, kEither };

struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    Verdict verdict;
    uint32_t pixelOffset = 54;         // where accepted rows lie in the file; 0: reordered
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
    c.push_back({"plain 3x2", Small(), kAccept});
    c.push_back({"extra bytes after the pixels", Extended(Small(), 100), kAccept});
    c.push_back({"1x1", MakeBmp24(1, 1, bmptest::NoisePixels(1)), kAccept});
    c.push_back({"4x1 without padding", MakeBmp24(4, 1, bmptest::NoisePixels(2)), kAccept});
    c.push_back({"biPlanes not tested",
                 Small([] { BmpOptions o; o.planes = 9; return o; }()), kAccept});
    for (uint32_t code : {1u, 3u, 4u, 5u}) {
        // RLE and bit fields need other depths; the rows are no JPEG or PNG.
        c.push_back({"compression " + std::to_string(code), Small([code] { BmpOptions o; o.compression = code; return o; }()),
                     kRefuse});
    }

    // Signature.
    c.push_back({"empty file", {}, kRefuse});
    c.push_back({"one byte", {0x42}, kRefuse});
    c.push_back({"just BM", {0x42, 0x4D}, kRefuse});
    c.push_back({"signature BA",
                 Small([] { BmpOptions o; o.signature = 0x4142; return o; }()), kRefuse});
    c.push_back({"signature reversed MB",
                 Small([] { BmpOptions o; o.signature = 0x424D; return o; }()), kRefuse});
    c.push_back({"text file", {'h', 'e', 'l', 'l', 'o', '\n'}, kRefuse});

    // Header size.
    c.push_back({"12-byte core header", Small(WithInfoSize(12)), kEither});
    c.push_back({"64-byte OS/2 header", Small(WithInfoSize(64)), kEither});
    c.push_back({"108-byte V4 header", Small(WithInfoSize(108)), kEither});
    c.push_back({"124-byte V5 header", Small(WithInfoSize(124)), kEither});
    c.push_back({"12-byte header in a 26-byte file",
                 Truncated(Small(WithInfoSize(12)), 26), kEither});

    // Incomplete headers.
    c.push_back({"ends at 53 bytes", Truncated(Small(), 53), kRefuse});
    c.push_back({"ends at 20 bytes", Truncated(Small(), 20), kRefuse});
    c.push_back({"ends inside biSize", Truncated(Small(), 16), kRefuse});
    c.push_back({"file header only", Truncated(Small(), 14), kRefuse});

    // Bit count.
    // Other depths read the same bytes as their own form, or are refused.
    for (uint16_t bits : {32, 16, 8, 4, 1}) {
        c.push_back({std::to_string(bits) + " bits per pixel", Small(WithBitCount(bits)), kEither});
    }
    for (uint16_t bits : {0, 48, 64}) {
        c.push_back({std::to_string(bits) + " bits per pixel", Small(WithBitCount(bits)), kRefuse});
    }

    // Signs and zeros of the dimensions.
    c.push_back({"top-down", MakeBmp24(3, -2, bmptest::NoisePixels(3)), kAccept, 0});
    c.push_back({"INT_MIN height", MakeBmpHeaders(3, INT32_MIN), kRefuse});
    c.push_back({"negative width and height",
                 Extended(MakeBmpHeaders(-3, -2), 24), kRefuse});
    c.push_back({"zero width", Extended(MakeBmpHeaders(0, 2), 24), kRefuse});
    c.push_back({"zero height", Extended(MakeBmpHeaders(3, 0), 24), kRefuse});
    c.push_back({"zero by zero", MakeBmpHeaders(0, 0), kRefuse});
    c.push_back({"negative width", Extended(MakeBmpHeaders(-3, 2), 24), kRefuse});
    c.push_back({"INT_MIN width", MakeBmpHeaders(INT32_MIN, 2), kRefuse});

    // Pixel data against the real length.
    c.push_back({"one byte short", Truncated(Small(), full - 1), kRefuse});
    c.push_back({"headers only", Truncated(Small(), 54), kRefuse});
    c.push_back({"pad bytes of the last row missing", Truncated(Small(), full - 3),
                 kRefuse});

    // bfOffBits.
    c.push_back({"colour table before the pixels (bfOffBits 1078)", Small(WithColourTable()),
                 kAccept, 1078});
    c.push_back({"colour table, pixels one byte short",
                 Truncated(Small(WithColourTable()), 1078 + 24 - 1), kRefuse});
    c.push_back({"gap of 10 bytes (bfOffBits 64)", Small(WithOffBits(64, 10)), kAccept, 64});
    c.push_back({"bfOffBits 54 exactly", Small(WithOffBits(54)), kAccept});
    c.push_back({"bfOffBits 0 reads from 54", Small(WithOffBits(0)), kAccept});
    c.push_back({"bfOffBits 14 reads from 54", Small(WithOffBits(14)), kAccept});
    c.push_back({"bfOffBits 53 reads from 54", Small(WithOffBits(53)), kAccept});
    c.push_back({"bfOffBits past the end", Small(WithOffBits(2000)), kRefuse});
    c.push_back({"bfOffBits 0xFFFFFFFF", Small(WithOffBits(0xFFFFFFFFu)), kRefuse});

    // Sizes that do not fit 32 bits, and both sides of the limits.
    c.push_back({"3,000,000 x 2,000,000", Extended(MakeBmpHeaders(3000000, 2000000), 24576),
                 kRefuse});
    c.push_back({"INT_MAX x INT_MAX", MakeBmpHeaders(INT32_MAX, INT32_MAX), kRefuse});
    c.push_back({"INT_MAX x 1", MakeBmpHeaders(INT32_MAX, 1), kRefuse});
    c.push_back({"1 x INT_MAX", MakeBmpHeaders(1, INT32_MAX), kRefuse});
    // 24-bit file size limit: 54 + stride <= INT32_MAX.
    c.push_back({"widest image that fits, no data", MakeBmpHeaders(715827864, 1),
                 kRefuse});
    c.push_back({"one pixel wider", MakeBmpHeaders(715827865, 1), kRefuse});
    // For width 1 the 8-bit file (1078 + 4 * h) is the larger and sets the limit.
    c.push_back({"tallest 1-wide image that fits, no data", MakeBmpHeaders(1, 536870642),
                 kRefuse});
    c.push_back({"one row taller", MakeBmpHeaders(1, 536870643), kRefuse});
    return c;
}


void ExpectResult(const Case& c, int accepted, const Picture& picture, const InputReport& report,
                  const std::string& how) {
    const std::string name = c.name + " (" + how + ")";
    if (c.verdict != kEither) {
        EXPECT_EQ(accepted, c.verdict == kAccept ? 1 : 0) << name;
    }
    if (!accepted) {
        EXPECT_NE(report.reason[0], '\0') << name;
        EXPECT_EQ(picture.block, nullptr) << name;
        return;
    }
    EXPECT_EQ(picture.info.biBitCount, 24) << name;
    // Rows used where they lie are the file's pixel array, padding and all.
    if (c.verdict == kAccept && c.pixelOffset != 0) {
        const size_t size = picture.info.biSizeImage;
        ASSERT_LE(c.pixelOffset + size, c.bytes.size()) << name;
        EXPECT_EQ(std::memcmp(picture.pixels, c.bytes.data() + c.pixelOffset, size), 0) << name;
    }
}

// Each case through the buffer and through a file.
TEST(ReadPicture, BmpAcceptanceTable) {
    int n = 0;
    for (const Case& c : Cases()) {
        Picture picture;
        InputReport report;
        SetAllocationFailureAt(0);
        int accepted = ParsePicture(c.bytes.data(), c.bytes.size(), 0, &picture, &report);
        const long allocations = SetAllocationFailureAt(0);
        ExpectResult(c, accepted, picture, report, "buffer");
        // A refused header allocates nothing, whatever it claims; nor do
        // 24-bit rows used in place.
        if (!accepted || (c.verdict == kAccept && c.pixelOffset != 0)) {
            EXPECT_EQ(allocations, 0) << c.name;
        }
        FreePicture(&picture);

        const std::string path = bmptest::WriteTempFile("case" + std::to_string(n++) + ".bmp", c.bytes);
        accepted = ReadPicture(path.c_str(), 0, &picture, &report);
        ExpectResult(c, accepted, picture, report, "file");
        // The one-block form agrees.
        BITMAPINFOHEADER info;
        uint8_t* again = ReadBitmap24(path.c_str(), &info);
        EXPECT_EQ(again != nullptr, accepted != 0) << c.name;
        if (again) {
            EXPECT_EQ(std::memcmp(again, picture.pixels, info.biSizeImage), 0) << c.name;
        }
        FreeBytes(again);
        FreePicture(&picture);
    }
}

TEST(ReadPicture, SourcesThatCannotBeRead) {
    bmptest::TempDir dir;
    Picture picture;
    InputReport report;
    EXPECT_EQ(ReadPicture(dir.File("absent.bmp").c_str(), 0, &picture, &report), 0);
    EXPECT_EQ(report.status, kInputCannotRead);
    EXPECT_EQ(report.systemError, ENOENT);
#ifndef _WIN32
    SetAllocationFailureAt(0);
    EXPECT_EQ(ReadPicture(dir.path().c_str(), 0, &picture, &report), 0);
    EXPECT_EQ(SetAllocationFailureAt(0), 0);
    EXPECT_EQ(report.systemError, EISDIR);
#endif
    const std::string empty = bmptest::WriteTempFile("empty.bmp", {});
    EXPECT_EQ(ReadPicture(empty.c_str(), 0, &picture, &report), 0);
    EXPECT_STREQ(report.reason, "the file is empty");
    EXPECT_EQ(LooksReadable(empty.c_str(), &report), 0);
    EXPECT_STREQ(report.reason, "the file is empty");
}

TEST(ReadPicture, AllocationFailureIsNoMemory) {
    std::vector<uint8_t> ok = Small();
    std::string path = bmptest::WriteTempFile("nomemory.bmp", ok);
    Picture picture;
    InputReport report;
    SetAllocationFailureAt(1);
    EXPECT_EQ(ReadPicture(path.c_str(), 0, &picture, &report), 0);
    SetAllocationFailureAt(0);
    EXPECT_EQ(report.status, kInputNoMemory);
}

TEST(DescribeBitmapStatus, PlainWords) {
    const std::string noFile = std::strerror(ENOENT), isDir = std::strerror(EISDIR);
    const struct {
        BitmapStatus status;
        uint32_t headerSize, bitCount;
        uint64_t missingBytes;
        int systemError;
        int32_t width, height;
        std::string said;
    } rows[] = {
        {kBitmapNotBmp, 0, 0, 0, 0, 0, 0, "not a BMP file"},
        {kBitmapHeaderSize, 12, 0, 0, 0, 0, 0, "a 12-byte header is not supported"},
        {kBitmapHeaderSize, 64, 0, 0, 0, 0, 0, "a 64-byte header is not supported"},
        {kBitmapHeaderSize, 108, 0, 0, 0, 0, 0, "a 108-byte header is not supported"},
        {kBitmapHeaderSize, 124, 0, 0, 0, 0, 0, "a 124-byte header is not supported"},
        {kBitmapBitCount, 0, 32, 0, 0, 0, 0, "32 bits per pixel, only 24 can be converted"},
        {kBitmapBitCount, 0, 1, 0, 0, 0, 0, "1 bit per pixel, only 24 can be converted"},
        {kBitmapTopDown, 0, 0, 0, 0, 0, 0, "top-down bitmaps are not supported"},
        {kBitmapShortPixels, 0, 0, 17, 0, 0, 0, "the pixel data is 17 bytes short"},
        {kBitmapShortPixels, 0, 0, 1, 0, 0, 0, "the pixel data is 1 byte short"},
        {kBitmapTooLarge, 0, 0, 0, 0, 0, 0, "the image is too large"},
        {kBitmapCannotOpen, 0, 0, 0, ENOENT, 0, 0, "cannot open: " + noFile},
        {kBitmapReadError, 0, 0, 0, EISDIR, 0, 0, "cannot read: " + isDir},
        {kBitmapBadDimensions, 0, 0, 0, 0, 0, 5, "the image is empty (0 x 5 pixels)"},
        {kBitmapBadDimensions, 0, 0, 0, 0, -127, 64, "a negative width (-127) is not valid"},
        {kBitmapShortHeader, 0, 0, 1, 0, 0, 0, "the headers are 1 byte short"},
        {kBitmapNoMemory, 0, 0, 0, 0, 0, 0, "not enough memory for the image"},
    };
    for (const auto& r : rows) {
        BitmapReadDetail d{};
        d.status = r.status;
        d.headerSize = r.headerSize;
        d.bitCount = r.bitCount;
        d.missingBytes = r.missingBytes;
        d.systemError = r.systemError;
        d.width = r.width;
        d.height = r.height;
        char out[160];
        DescribeBitmapStatus(&d, out, sizeof out);
        EXPECT_EQ(std::string(out), r.said);
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
