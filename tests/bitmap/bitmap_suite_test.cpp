// Files of the bundled BMP suite through the input layer. That every file
// converts or is refused with a reason is tested in convert_forms_test.cpp.
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

std::string SuitePath(const std::string& file) { return std::string(BMP256_SUITE_DIR) + "/" + file; }

TEST(BmpSuite, ColourTableFilesReadTheSamePictureAsThePlainOne) {
    // The bfOffBits mend: g/rgb24pal.bmp and q/rgb24largepal.bmp hold the
    // picture of g/rgb24.bmp after a colour table; read from bfOffBits, all
    // three give the same pixels.
    BITMAPINFOHEADER plainInfo;
    uint8_t* plain = ReadBitmap24(SuitePath("g/rgb24.bmp").c_str(), &plainInfo);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plainInfo.biWidth, 127);
    EXPECT_EQ(plainInfo.biHeight, 64);
    ASSERT_EQ(ImageSize(&plainInfo), 24576);
    for (const char* file : {"g/rgb24pal.bmp", "q/rgb24largepal.bmp"}) {
        BITMAPINFOHEADER info;
        uint8_t* pixels = ReadBitmap24(SuitePath(file).c_str(), &info);
        ASSERT_NE(pixels, nullptr) << file;
        ASSERT_EQ(ImageSize(&info), 24576) << file;
        EXPECT_EQ(std::memcmp(plain, pixels, 24576), 0) << file;
        FreeBytes(pixels);
    }
    FreeBytes(plain);
}

// b/reallybig.bmp claims 3,000,000 x 2,000,000 pixels; x/ba-bm.bmp is an
// OS/2 bitmap array ("BA"). Neither gets any memory.
TEST(BmpSuite, ClaimsAndArraysAreRefusedWithoutAllocating) {
    const std::pair<const char*, const char*> cases[] = {
        {"b/reallybig.bmp", "the image is too large"},
        {"x/ba-bm.bmp", "an OS/2 bitmap array (several bitmaps in one file) is not read"},
    };
    for (const auto& c : cases) {
        bool ok = false;
        const std::vector<uint8_t> bytes = bmptest::ReadFileBytes(SuitePath(c.first), &ok);
        ASSERT_TRUE(ok) << c.first;
        Picture picture;
        InputReport report;
        SetAllocationFailureAt(0);
        EXPECT_EQ(ParsePicture(bytes.data(), bytes.size(), 0, &picture, &report), 0) << c.first;
        EXPECT_EQ(SetAllocationFailureAt(0), 0) << c.first;
        EXPECT_EQ(std::string(report.reason).rfind(c.second, 0), 0u) << c.first << ": " << report.reason;
    }
}

}  // namespace
