// Every file of the bundled BMP suite through ReadBitmap24Ex, against an
// explicit table of what the reader's rules accept and why it refuses the rest.
// Only 24-bit files with a 40-byte info header, positive sizes and their
// whole pixel array are accepted.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "support/bmp_builder.h"
#include "platform/alloc.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

struct SuiteRow {
    const char* file;
    BitmapStatus status;
    uint32_t detailValue = 0;  // header size or bit count for those refusals
};

// Why each file is what it is, in the suite's own words where it has them:
// g/rgb24pal.bmp carries a 256-entry colour table and bfOffBits 1078, and
// q/rgb24largepal.bmp a 300-entry one (bfOffBits 1254); both are read from
// bfOffBits. q/rgb24jpeg, rgb24png, rgb24lprof, rgb24prof and rgb24prof2 have
// 124-byte V5 headers; q/rgb24rle24.bmp a 64-byte OS/2 2.0 header. The OS/2
// 1.x files (12-byte headers) are refused by their header size before their
// 16-bit fields could be misread as a width. b/reallybig.bmp claims
// 3,000,000 x 2,000,000 pixels; x/ba-bm.bmp is an OS/2 bitmap array ("BA").
const SuiteRow kSuite[] = {
    {"g/pal1.bmp", kBitmapBitCount, 1},
    {"g/pal1bg.bmp", kBitmapBitCount, 1},
    {"g/pal1wb.bmp", kBitmapBitCount, 1},
    {"g/pal4.bmp", kBitmapBitCount, 4},
    {"g/pal4gs.bmp", kBitmapBitCount, 4},
    {"g/pal4rle.bmp", kBitmapBitCount, 4},
    {"g/pal8-0.bmp", kBitmapBitCount, 8},
    {"g/pal8.bmp", kBitmapBitCount, 8},
    {"g/pal8gs.bmp", kBitmapBitCount, 8},
    {"g/pal8nonsquare.bmp", kBitmapBitCount, 8},
    {"g/pal8os2.bmp", kBitmapHeaderSize, 12},
    {"g/pal8rle.bmp", kBitmapBitCount, 8},
    {"g/pal8topdown.bmp", kBitmapBitCount, 8},
    {"g/pal8v4.bmp", kBitmapHeaderSize, 108},
    {"g/pal8v5.bmp", kBitmapHeaderSize, 124},
    {"g/pal8w124.bmp", kBitmapBitCount, 8},
    {"g/pal8w125.bmp", kBitmapBitCount, 8},
    {"g/pal8w126.bmp", kBitmapBitCount, 8},
    {"g/rgb16-565.bmp", kBitmapBitCount, 16},
    {"g/rgb16-565pal.bmp", kBitmapBitCount, 16},
    {"g/rgb16.bmp", kBitmapBitCount, 16},
    {"g/rgb16bfdef.bmp", kBitmapBitCount, 16},
    {"g/rgb24.bmp", kBitmapOk},
    {"g/rgb24pal.bmp", kBitmapOk},
    {"g/rgb32.bmp", kBitmapBitCount, 32},
    {"g/rgb32bf.bmp", kBitmapBitCount, 32},
    {"g/rgb32bfdef.bmp", kBitmapBitCount, 32},
    {"q/pal1huffmsb.bmp", kBitmapHeaderSize, 64},
    {"q/pal1p1.bmp", kBitmapBitCount, 1},
    {"q/pal2.bmp", kBitmapBitCount, 2},
    {"q/pal2color.bmp", kBitmapBitCount, 2},
    {"q/pal4rlecut.bmp", kBitmapBitCount, 4},
    {"q/pal4rletrns.bmp", kBitmapBitCount, 4},
    {"q/pal8offs.bmp", kBitmapBitCount, 8},
    {"q/pal8os2-hs.bmp", kBitmapHeaderSize, 12},
    {"q/pal8os2-sz.bmp", kBitmapHeaderSize, 12},
    {"q/pal8os2sp.bmp", kBitmapHeaderSize, 12},
    {"q/pal8os2v2-16.bmp", kBitmapHeaderSize, 16},
    {"q/pal8os2v2-40sz.bmp", kBitmapBitCount, 8},
    {"q/pal8os2v2-sz.bmp", kBitmapHeaderSize, 64},
    {"q/pal8os2v2.bmp", kBitmapHeaderSize, 64},
    {"q/pal8oversizepal.bmp", kBitmapBitCount, 8},
    {"q/pal8rlecut.bmp", kBitmapBitCount, 8},
    {"q/pal8rletrns.bmp", kBitmapBitCount, 8},
    {"q/rgb16-231.bmp", kBitmapBitCount, 16},
    {"q/rgb16-3103.bmp", kBitmapBitCount, 16},
    {"q/rgb16faketrns.bmp", kBitmapBitCount, 16},
    {"q/rgb24jpeg.bmp", kBitmapHeaderSize, 124},
    {"q/rgb24largepal.bmp", kBitmapOk},
    {"q/rgb24lprof.bmp", kBitmapHeaderSize, 124},
    {"q/rgb24png.bmp", kBitmapHeaderSize, 124},
    {"q/rgb24prof.bmp", kBitmapHeaderSize, 124},
    {"q/rgb24prof2.bmp", kBitmapHeaderSize, 124},
    {"q/rgb24rle24.bmp", kBitmapHeaderSize, 64},
    {"q/rgb32-111110.bmp", kBitmapBitCount, 32},
    {"q/rgb32-7187.bmp", kBitmapBitCount, 32},
    {"q/rgb32-xbgr.bmp", kBitmapHeaderSize, 124},
    {"q/rgb32fakealpha.bmp", kBitmapBitCount, 32},
    {"q/rgb32h52.bmp", kBitmapHeaderSize, 52},
    {"q/rgba16-1924.bmp", kBitmapHeaderSize, 124},
    {"q/rgba16-4444.bmp", kBitmapHeaderSize, 124},
    {"q/rgba16-5551.bmp", kBitmapHeaderSize, 124},
    {"q/rgba32-1.bmp", kBitmapHeaderSize, 124},
    {"q/rgba32-1010102.bmp", kBitmapHeaderSize, 124},
    {"q/rgba32-2.bmp", kBitmapHeaderSize, 124},
    {"q/rgba32-61754.bmp", kBitmapHeaderSize, 124},
    {"q/rgba32-81284.bmp", kBitmapHeaderSize, 124},
    {"q/rgba32abf.bmp", kBitmapBitCount, 32},
    {"q/rgba32h56.bmp", kBitmapHeaderSize, 56},
    {"q/rgba64.bmp", kBitmapBitCount, 64},
    {"b/badbitcount.bmp", kBitmapBitCount, 30000},
    {"b/badbitssize.bmp", kBitmapBitCount, 1},
    {"b/baddens1.bmp", kBitmapBitCount, 1},
    {"b/baddens2.bmp", kBitmapBitCount, 1},
    {"b/badfilesize.bmp", kBitmapBitCount, 1},
    {"b/badheadersize.bmp", kBitmapHeaderSize, 66},
    {"b/badpalettesize.bmp", kBitmapBitCount, 8},
    {"b/badplanes.bmp", kBitmapBitCount, 1},
    {"b/badrle.bmp", kBitmapBitCount, 8},
    {"b/badrle4.bmp", kBitmapBitCount, 4},
    {"b/badrle4bis.bmp", kBitmapBitCount, 4},
    {"b/badrle4ter.bmp", kBitmapBitCount, 4},
    {"b/badrlebis.bmp", kBitmapBitCount, 8},
    {"b/badrleter.bmp", kBitmapBitCount, 8},
    {"b/badwidth.bmp", kBitmapBitCount, 1},
    {"b/pal8badindex.bmp", kBitmapBitCount, 8},
    {"b/reallybig.bmp", kBitmapTooLarge},
    {"b/rgb16-880.bmp", kBitmapBitCount, 16},
    {"b/rletopdown.bmp", kBitmapBitCount, 8},
    {"b/shortfile.bmp", kBitmapBitCount, 1},
    {"x/ba-bm.bmp", kBitmapNotBmp},
};

std::string SuitePath(const std::string& file) { return std::string(BMP256_SUITE_DIR) + "/" + file; }

TEST(BmpSuite, TableListsEveryFile) {
    std::set<std::string> listed;
    for (const SuiteRow& row : kSuite) EXPECT_TRUE(listed.insert(row.file).second) << row.file;
    std::set<std::string> present;
    namespace fs = std::filesystem;
    for (const char* dir : {"g", "q", "b", "x"}) {
        for (const auto& entry : fs::directory_iterator(SuitePath(dir))) {
            if (entry.path().extension() == ".bmp") {
                present.insert(std::string(dir) + "/" + entry.path().filename().string());
            }
        }
    }
    EXPECT_EQ(listed, present);
}

TEST(BmpSuite, EveryFileAcceptedOrRefusedAsListed) {
    int accepted = 0;
    for (const SuiteRow& row : kSuite) {
        BITMAPINFOHEADER info;
        BitmapReadDetail detail;
        SetAllocationFailureAt(0);
        uint8_t* pixels = ReadBitmap24Ex(SuitePath(row.file).c_str(), &info, &detail);
        long allocations = SetAllocationFailureAt(0);
        EXPECT_EQ(detail.status, row.status) << row.file;
        EXPECT_EQ(pixels != nullptr, row.status == kBitmapOk) << row.file;
        EXPECT_EQ(allocations, row.status == kBitmapOk ? 1 : 0) << row.file;
        if (row.status == kBitmapHeaderSize) {
            EXPECT_EQ(detail.headerSize, row.detailValue) << row.file;
        }
        if (row.status == kBitmapBitCount) {
            EXPECT_EQ(detail.bitCount, row.detailValue) << row.file;
        }
        char reason[160];
        DescribeBitmapStatus(&detail, reason, sizeof reason);
        EXPECT_GT(std::strlen(reason), 0u) << row.file;
        if (pixels) ++accepted;
        FreeBytes(pixels);
    }
    EXPECT_EQ(accepted, 3);
}

TEST(BmpSuite, ColourTableFilesReadTheSamePictureAsThePlainOne) {
    // The bfOffBits mend: g/rgb24pal.bmp and q/rgb24largepal.bmp hold the
    // picture of g/rgb24.bmp after a colour table; read from bfOffBits, all
    // three give the same pixels.
    BITMAPINFOHEADER plainInfo, palInfo, largeInfo;
    uint8_t* plain = ReadBitmap24(SuitePath("g/rgb24.bmp").c_str(), &plainInfo);
    uint8_t* pal = ReadBitmap24(SuitePath("g/rgb24pal.bmp").c_str(), &palInfo);
    uint8_t* large = ReadBitmap24(SuitePath("q/rgb24largepal.bmp").c_str(), &largeInfo);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(pal, nullptr);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(plainInfo.biWidth, 127);
    EXPECT_EQ(plainInfo.biHeight, 64);
    ASSERT_EQ(ImageSize(&plainInfo), 24576);
    ASSERT_EQ(ImageSize(&palInfo), 24576);
    ASSERT_EQ(ImageSize(&largeInfo), 24576);
    EXPECT_EQ(std::memcmp(plain, pal, 24576), 0);
    EXPECT_EQ(std::memcmp(plain, large, 24576), 0);
    FreeBytes(plain);
    FreeBytes(pal);
    FreeBytes(large);
}

TEST(BmpSuite, ReallyBigIsRefusedWithoutAllocating) {
    BITMAPINFOHEADER info;
    BitmapReadDetail detail;
    SetAllocationFailureAt(0);
    EXPECT_EQ(ReadBitmap24Ex(SuitePath("b/reallybig.bmp").c_str(), &info, &detail), nullptr);
    EXPECT_EQ(SetAllocationFailureAt(0), 0);
    EXPECT_EQ(detail.status, kBitmapTooLarge);
    EXPECT_EQ(info.biWidth, 3000000);
    EXPECT_EQ(info.biHeight, 2000000);
    char reason[160];
    DescribeBitmapStatus(&detail, reason, sizeof reason);
    EXPECT_STREQ(reason, "the image is too large");
}

}  // namespace
