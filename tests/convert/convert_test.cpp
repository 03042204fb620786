#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desktop/convert_file.h"
#include "common/test_image.h"
#include "support/bmp_builder.h"
#include "support/desktop_conversion.h"

using namespace bmp256;

using bmptest::Get16;
using bmptest::Get32;

namespace {

std::vector<uint8_t> Convert(const TestImage& image) { return bmptest::DesktopConversion(BmpOf(image)); }

}  // namespace

// Two reds, two blues, black and white: four quantized colours; the black
// pixels take slot 245, the last of the zero slots, which the search meets first.
TEST(ConvertFile, WholeFourByTwoConversion) {
    const TestImage image = ImageFromTriples(4, 2, {{0, 0, 255}, {0, 0, 255}, {255, 0, 0}, {255, 0, 0},
                                                    {0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {255, 255, 255}});
    const std::vector<uint8_t> out = Convert(image);
    ASSERT_EQ(out.size(), 1078u + 8u);
    auto slot = [&](int s) { return std::vector<int>{out[54 + 4 * s], out[55 + 4 * s], out[56 + 4 * s], out[57 + 4 * s]}; };
    const std::vector<std::vector<int>> picked = {{0, 0, 0, 0}, {0, 0, 252, 0}, {252, 252, 252, 0}, {252, 0, 0, 0}};
    for (int s = 0; s < 256; ++s)
        EXPECT_EQ(slot(s), s >= 10 && s < 14 ? picked[size_t(s - 10)] : std::vector<int>(4, 0)) << "slot " << s;
    const std::vector<uint8_t> rows(out.begin() + 1078, out.end());
    EXPECT_EQ(rows, std::vector<uint8_t>({11, 11, 13, 13, 245, 12, 245, 12}));
}

// Guards byte-stability across compilers and platforms: the same image must
// always give these exact bytes.
TEST(ConvertFile, OutputIsStableToTheByte) {
    EXPECT_EQ(bmptest::Fnv1a(Convert(PhotoLikeImage(61, 47, 2024))), 427651846u);
    EXPECT_EQ(bmptest::Fnv1a(Convert(RandomImage(33, 29, 7))), 278443870u);
}

TEST(ConvertFile, UnwritableOutputIsReported) {
    bmptest::TempDir dir;
    const std::string source = dir.File("s.bmp");
    ASSERT_TRUE(bmptest::WriteFileBytes(source, BmpOf(RandomImage(3, 3, 1))));
    ConvertReport report;
    const std::string output = dir.File("missing/o.bmp");
    EXPECT_EQ(ConvertFileEx(source.c_str(), output.c_str(), &report), 0);
    EXPECT_EQ(report.stage, kConvertWriteFailed);
    EXPECT_NE(std::string(report.reason).find("cannot write"), std::string::npos);
}

// Header fields carried over from the source must still describe the 8-bit
// file truthfully: one plane, 256 uncompressed entries. Everything else in
// the file is the same as for a plain source.
TEST(ConvertFile, CarriedHeaderFieldsDescribeTheEightBitFile) {
    struct Case {
        uint16_t planes;
        uint32_t clrUsed, clrImportant;
        uint32_t wantClrUsed, wantClrImportant;
    };
    const Case cases[] = {
        {1, 0, 0, 0, 0},         // the common source: unchanged
        {1, 256, 256, 256, 256}, // already right for 256 entries
        {1, 300, 300, 0, 0},     // more entries than an 8-bit file can hold
        {1, 16, 16, 0, 16},      // fewer: readers would drop slots 16 to 255
        {0, 0, 0, 0, 0},         // other readers refuse any plane count but 1
        {9, 1, 0, 0, 0},
    };
    const TestImage image = PhotoLikeImage(7, 5, 3);
    const std::vector<uint8_t> plain = Convert(image);
    ASSERT_GT(plain.size(), 54u);
    for (const Case& c : cases) {
        SCOPED_TRACE("planes " + std::to_string(c.planes) + ", biClrUsed " + std::to_string(c.clrUsed) +
                     ", biClrImportant " + std::to_string(c.clrImportant));
        std::vector<uint8_t> source = BmpOf(image);
        bmptest::Put16(source, 26, c.planes);
        bmptest::Put32(source, 46, c.clrUsed);
        bmptest::Put32(source, 50, c.clrImportant);
        std::vector<uint8_t> out = bmptest::DesktopConversion(source);
        ASSERT_EQ(out.size(), plain.size());
        EXPECT_EQ(Get16(out, 26), 1u);
        EXPECT_EQ(Get32(out, 46), c.wantClrUsed);
        EXPECT_EQ(Get32(out, 50), c.wantClrImportant);
        for (size_t at : {size_t(46), size_t(50)}) bmptest::Put32(out, at, 0);
        EXPECT_EQ(out, plain);
    }
}
