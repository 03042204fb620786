// bmp256-convert's palette choices below the command line: exact colours,
// colour counts and slots, the undithered mapping, the shared tally, and the
// desktop conversion kept byte for byte when nothing is chosen.
#include <gtest/gtest.h>

#include <cstring>

#include "convert/convert.h"
#include "desktop/convert_file.h"
#include "support/desktop_conversion.h"
#include "common/test_image.h"
#include "mapping/plain_mapping.h"
#include "quantize/color_tally.h"
#include "quantize/exact_colors.h"
#include "quantize/histogram.h"
#include "quantize/palette_choice.h"
#include "reference/reference.h"
#include "platform/alloc.h"
#include "util/test_hooks.h"

namespace {

int WriteToPath(const Conversion& result, void* path) {
    return WriteConversion(result, static_cast<const char*>(path), -1);
}

// bmp256-convert's run on one file, without its command line.
int ConvertImageEx(const char* source, const char* out, const ConvertOptions* options, ConvertReport* report) {
    Picture picture;
    InputReport input;
    if (!ReadPicture(source, 0, &picture, &input)) return SourceRefused(input, report);
    const int done = ConvertAndWrite(&picture, options, WriteToPath, const_cast<char*>(out), out, report);
    FreePicture(&picture);
    return done;
}

std::vector<uint8_t> ConvertWith(const TestImage& image, const PaletteChoice& choice) {
    const std::string source = bmptest::WriteTempFile("choice-src.bmp", BmpOf(image));
    const std::string out = source + ".out.bmp";
    ConvertOptions options;
    options.threadCount = 1;
    options.palette = choice;
    ConvertReport report = {};
    EXPECT_EQ(ConvertImageEx(source.c_str(), out.c_str(), &options, &report), 1) << report.reason;
    return bmptest::ReadFileBytes(out);
}

PaletteChoice Exact(int colors = 0) { return PaletteChoice{1, colors, kDitherJjn, 0, 0, 0, nullptr, 0, 0, 0}; }

// Slot `slot` of a written 8-bit file as (blue, green, red).
std::vector<int> SlotOf(const std::vector<uint8_t>& file, int slot) {
    return {file[54 + 4 * slot], file[55 + 4 * slot], file[56 + 4 * slot]};
}

TEST(ExactColors, KeptInKeyOrderEachPixelItsOwnSlot) {
    // White, the magenta key, #2B5797 and two colours at tone distance 0.
    const std::vector<std::vector<int>> bgr = {{255, 255, 255}, {255, 0, 255}, {0x97, 0x57, 0x2B},
                                               {7, 9, 12},      {8, 11, 14},   {255, 0, 255}};
    const TestImage image = ImageFromTriples(3, 2, bgr);
    const std::vector<uint8_t> out = ConvertWith(image, Exact());
    // Ascending blue << 16 | green << 8 | red.
    const std::vector<std::vector<int>> order = {{7, 9, 12}, {8, 11, 14}, {0x97, 0x57, 0x2B}, {255, 0, 255}, {255, 255, 255}};
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(SlotOf(out, 10 + int(i)), order[i]) << i;
    EXPECT_EQ(SlotOf(out, 15), (std::vector<int>{0, 0, 0}));
    const uint8_t rows[] = {14, 13, 12, 0, 10, 11, 13, 0};
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 1078, out.end()), std::vector<uint8_t>(rows, rows + 8));
}

TEST(ExactColors, CountsTheLimitAndStopsPastIt) {
    struct Case {
        int colours;  // distinct colours of the picture
        int limit;
        int kept;
    };
    for (const Case& c : {Case{1, 2, 1}, Case{2, 2, 1}, Case{3, 2, 0}, Case{236, 236, 1}, Case{237, 236, 0},
                          Case{256, 256, 1}, Case{257, 256, 0}, Case{4096, 256, 0}}) {
        const TestImage image = MakeImage(64, 64, [&](int32_t x, int32_t y, uint8_t* p) {
            const int k = (y * 64 + x) % c.colours;
            p[0] = uint8_t(k);
            p[1] = uint8_t(k >> 8);
            p[2] = 77;
        });
        ExactColorSet set;
        set.count = 0;
        EXPECT_EQ(CollectExactColors(&set, c.limit, image.pixels.data(), &image.info), c.kept) << c.colours;
        if (c.kept) {
            EXPECT_EQ(set.count, c.colours);
        }
    }
}

TEST(ExactColors, PalettesOfEveryCountAndDepth) {
    const TestImage few = ImageFromTriples(2, 2, {{1, 2, 3}, {200, 100, 50}, {1, 2, 3}, {9, 9, 9}});
    const TestImage photo = PhotoLikeImage(61, 37, 5);
    struct Case {
        const TestImage* image;
        PaletteChoice choice;
        int firstSlot, endSlot, tableCount, exact;
    };
    const Case cases[] = {
        {&few, Exact(), 10, 13, 256, 1},
        {&few, Exact(2), 10, 12, 256, 0},  // three colours do not fit two
        {&few, Exact(256), 0, 3, 256, 1},
        {&few, PaletteChoice{1, 16, 0, 4, 0, 0, nullptr, 0, 0, 0}, 0, 3, 3, 1},
        {&few, PaletteChoice{0, 16, 0, 4, 0, 0, nullptr, 0, 0, 0}, 0, 16, 16, 0},
        {&photo, Exact(), 10, 246, 256, 0},
        {&photo, Exact(237), 0, 237, 256, 0},
        {&photo, PaletteChoice{1, 2, 0, 1, 0, 0, nullptr, 0, 0, 0}, 0, 2, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        PaletteEntry palette[256];
        PaletteLayout layout;
        ASSERT_EQ(ChoosePalette(palette, &layout, &c.choice, c.image->pixels.data(), &c.image->info, 1), 1);
        EXPECT_EQ(layout.firstSlot, c.firstSlot);
        EXPECT_EQ(layout.endSlot, c.endSlot);
        EXPECT_EQ(layout.tableCount, c.tableCount);
        EXPECT_EQ(layout.mapExactly, c.exact);
        for (int s = 0; s < 256; ++s) {
            if (s >= c.firstSlot && s < c.firstSlot + (c.choice.colorCount ? c.choice.colorCount : 236)) continue;
            EXPECT_EQ(palette[s].red | palette[s].green | palette[s].blue, 0) << s;
        }
    }
}

TEST(ExactColors, SystemColorsTakeTheTwentyOuterSlots) {
    PaletteChoice choice = Exact();
    choice.systemColors = 1;
    const std::vector<uint8_t> out = ConvertWith(ImageFromTriples(1, 1, {{5, 6, 7}}), choice);
    EXPECT_EQ(SlotOf(out, 1), (std::vector<int>{0, 0, 128}));  // dark red
    EXPECT_EQ(SlotOf(out, 9), (std::vector<int>{240, 202, 166}));
    EXPECT_EQ(SlotOf(out, 10), (std::vector<int>{5, 6, 7}));
    EXPECT_EQ(SlotOf(out, 246), (std::vector<int>{240, 251, 255}));
    EXPECT_EQ(SlotOf(out, 255), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(out[1078], 10);  // a system colour is never chosen
}

TEST(Choices, NothingChosenIsTheDesktopConversion) {
    // Photos of more than 236 colours, and a picture of few, which only
    // exact colours would keep.
    const TestImage images[] = {PhotoLikeImage(97, 61, 9), PhotoLikeImage(3, 123, 11), RandomImage(40, 30, 2),
                                ImageFromTriples(2, 1, {{255, 255, 255}, {255, 0, 255}})};
    for (const TestImage& image : images) {
        const std::vector<uint8_t> desktop = bmptest::DesktopConversion(BmpOf(image));
        EXPECT_EQ(ConvertWith(image, PaletteChoice{}), desktop);
        EXPECT_EQ(ConvertWith(image, PaletteChoice{0, 236, kDitherJjn, 8, 0, 0, nullptr, 0, 0, 0}), desktop);
        ExactColorSet set;
        set.count = 0;
        if (!CollectExactColors(&set, 236, image.pixels.data(), &image.info)) {
            EXPECT_EQ(ConvertWith(image, Exact()), desktop);
        }
    }
}

TEST(Choices, NoDitherIsTheGridSearchOfEachPixel) {
    const TestImage image = PhotoLikeImage(50, 40, 3);
    PaletteChoice choice = Exact(64);
    choice.dither = kDitherNone;
    const std::vector<uint8_t> out = ConvertWith(image, choice);
    PaletteEntry palette[256];
    for (int s = 0; s < 256; ++s) palette[s] = PaletteEntry{out[54 + 4 * s], out[55 + 4 * s], out[56 + 4 * s], 0};
    PaletteGrid grid;
    ASSERT_EQ(BuildPaletteGrid(&grid, palette, 10, 74), 1);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 50; ++x) {
            const uint8_t* p = &image.pixels[size_t(y) * RowStride(&image.info) + 3 * size_t(x)];
            ASSERT_EQ(out[1078 + size_t(y) * 52 + size_t(x)], reference::FindNearestColor(p, &grid)) << x << "," << y;
        }
    ReleasePaletteGrid(&grid);
}

TEST(PlainMapping, ExactMatchTakesTheLowestSlotAndRefusesAMissingColour) {
    PaletteEntry palette[256] = {};
    palette[3] = PaletteEntry{7, 9, 12, 0};
    palette[4] = PaletteEntry{8, 11, 14, 0};
    palette[5] = PaletteEntry{7, 9, 12, 0};
    const TestImage image = ImageFromTriples(2, 1, {{8, 11, 14}, {7, 9, 12}});
    BITMAPINFOHEADER out = MakeInfoHeader(2, 1, 8);
    uint8_t indices[4] = {};
    ASSERT_EQ(MapExactColors(indices, &out, palette, 3, 6, image.pixels.data(), &image.info), 1);
    EXPECT_EQ(indices[0], 4);
    EXPECT_EQ(indices[1], 3);
    EXPECT_EQ(MapExactColors(indices, &out, palette, 4, 6, ImageFromTriples(1, 1, {{1, 1, 1}}).pixels.data(),
                             &image.info),
              0);
}

TEST(ColorTally, IsTheHistogramAndHalvesPastThirtyTwoBits) {
    const TestImage image = PhotoLikeImage(80, 50, 4);
    ColorTally tally;
    ASSERT_EQ(OpenColorTally(&tally), 1);
    TallyPixels(&tally, image.pixels.data(), &image.info);
    int32_t k = 0, kTally = 0;
    ColorEntry* expected = BuildColorHistogram(image.pixels.data(), &image.info, &k, 1);
    ColorEntry* got = TallyHistogram(&tally, &kTally);
    ASSERT_EQ(kTally, k);
    for (int32_t i = 0; i < k; ++i) {
        ASSERT_EQ(got[i].colorKey, expected[i].colorKey);
        ASSERT_EQ(got[i].pixelCount, expected[i].pixelCount);
    }
    FreeBytes(got);
    FreeBytes(expected);
    // Three colours summing past INT32_MAX: all halved once, 1 stays 1.
    std::memset(tally.counts, 0, sizeof(int64_t) * kTallyCells);
    tally.counts[0] = int64_t(INT32_MAX) - 10;
    tally.counts[5] = 100;
    tally.counts[kTallyCells - 1] = 1;
    got = TallyHistogram(&tally, &kTally);
    ASSERT_EQ(kTally, 3);
    EXPECT_EQ(got[0].pixelCount, (INT32_MAX - 10) / 2);
    EXPECT_EQ(got[1].pixelCount, 50);
    EXPECT_EQ(got[2].pixelCount, 1);
    EXPECT_EQ(got[2].colorKey, 0xFCFCFCu);
    FreeBytes(got);
    CloseColorTally(&tally);
}

// Each allocation of a conversion with the choices made to fail in turn: a
// clean refusal for want of memory, and no output file.
TEST(Choices, EveryFailedAllocationIsARefusalWithoutOutput) {
    const PaletteEntry given[3] = {{0, 0, 0, 0}, {255, 255, 255, 0}, {0, 0, 255, 0}};
    const PaletteChoice choices[] = {
        {0, 16, kDitherNone, 4, 1, 0, nullptr, 0, 0, 0},
        {1, 0, kDitherJjn, 8, 1, 1, nullptr, 0, 0, 0},
        {1, 0, kDitherJjn, 1, 0, 0, given, 2, 0, 0},
        {0, 0, kDitherJjn, 8, 0, 0, given, 3, 0, 0},
    };
    const std::string source = bmptest::WriteTempFile("walk.bmp", BmpOf(PhotoLikeImage(23, 9, 2)));
    const std::string out = source + ".out.bmp";
    for (const PaletteChoice& choice : choices) {
        ConvertOptions options;
        options.threadCount = 1;
        options.palette = choice;
        for (long failAt = 1;; ++failAt) {
            ConvertReport report = {};
            SetAllocationFailureAt(failAt);
            const int ok = ConvertImageEx(source.c_str(), out.c_str(), &options, &report);
            const long made = SetAllocationFailureAt(0);
            if (made < failAt) {
                EXPECT_EQ(ok, 1);
                std::remove(out.c_str());
                break;
            }
            EXPECT_EQ(ok, 0) << failAt;
            EXPECT_EQ(report.stage, kConvertNoMemory) << failAt << " " << report.reason;
            EXPECT_FALSE(bmptest::FileExists(out)) << failAt;
        }
    }
}

}  // namespace
