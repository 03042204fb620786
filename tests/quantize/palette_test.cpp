#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "common/test_image.h"
#include "quantize/palette.h"
#include "quantize/tone_table.h"
#include "platform/alloc.h"
#include "reference/reference.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

// Entries from (blue, green, red, count), with the reference array over them.
struct Box {
    std::vector<ColorEntry> entries;
    std::vector<const ColorEntry*> refs;
    ColorBox box{};
    ColorBox upper{};

    explicit Box(const std::vector<std::vector<int>>& bgrCount) {
        for (const auto& e : bgrCount)
            entries.push_back(ColorEntry{MakeColorKey(uint8_t(e[0]), uint8_t(e[1]), uint8_t(e[2])), e[3]});
        for (const ColorEntry& e : entries) refs.push_back(&e);
        reference::ComputeBoxStats(&box, refs.data(), 0, int32_t(refs.size()));
    }
    void Split() { reference::SplitBox(&box, &upper, refs.data()); }
    std::vector<int> Reds(const ColorBox& b) const {
        std::vector<int> reds;
        for (int32_t i = b.firstIndex; i < b.firstIndex + b.entryCount; ++i) reds.push_back(KeyRed(refs[size_t(i)]->colorKey));
        return reds;
    }
};

std::vector<int> Entry(const PaletteEntry& e) { return {e.blue, e.green, e.red, e.reserved}; }

std::vector<PaletteEntry> Palette(const TestImage& image, int n) {
    std::vector<PaletteEntry> palette(size_t(n), PaletteEntry{1, 1, 1, 1});
    EXPECT_EQ(reference::BuildPalette(palette.data(), n, image.pixels.data(), &image.info), 1);
    return palette;
}

}  // namespace

// Means truncate; variances are sums of count times the squared tone
// distance from the mean (here 0, 4 and 8 are tones 0, 4 and 7; 126 and 252
// are 97 and 251), exact past 32 bits.
TEST(ComputeBoxStats, MeansAndVariances) {
    const struct {
        const char* name;
        std::vector<std::vector<int>> entries;  // blue, green, red, count
        int mean[3];                            // blue, green, red
        double variance[3];                     // red, green, blue
        int32_t pixelTotal, entryCount;
    } cases[] = {
        {"black and red", {{0, 0, 0, 1}, {0, 0, 252, 1}}, {0, 0, 126}, {33125, 0, 0}, 2, 2},
        {"reds 4, 8 and 8: the mean 6.67 truncated", {{0, 0, 4, 1}, {0, 0, 8, 2}}, {0, 0, 6}, {6, 0, 0}, 3, 2},
        {"past 32 bits", {{0, 0, 0, 100000}, {252, 252, 252, 100000}}, {126, 126, 126},
         {3312500000.0, 3312500000.0, 3312500000.0}, 200000, 2},
        {"one colour of 9 million pixels", {{252, 252, 252, 9000000}}, {252, 252, 252}, {0, 0, 0}, 9000000, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Box box(c.entries);
        const ColorBox& b = box.box;
        EXPECT_EQ(std::vector<int>({b.meanColor.blue, b.meanColor.green, b.meanColor.red, b.meanColor.reserved}),
                  std::vector<int>({c.mean[0], c.mean[1], c.mean[2], 0}));
        EXPECT_EQ(b.varianceRed, c.variance[0]);
        EXPECT_EQ(b.varianceGreen, c.variance[1]);
        EXPECT_EQ(b.varianceBlue, c.variance[2]);
        EXPECT_EQ(b.pixelTotal, c.pixelTotal);
        EXPECT_EQ(b.entryCount, c.entryCount);
    }
}

TEST(SplitBox, CutsAtTheWeightedMean) {
    const struct {
        const char* name;
        std::vector<std::vector<int>> entries;
        std::vector<int> lower, upper;
    } cases[] = {
        {"mean 2", {{0, 0, 8, 1}, {0, 0, 0, 3}}, {0}, {8}},
        {"values equal to the mean go up", {{0, 0, 16, 1}, {0, 0, 8, 1}, {4, 0, 8, 1}, {0, 0, 0, 1}}, {0}, {8, 8, 16}},
        {"mean equal to the lowest value", {{0, 0, 4, 1}, {0, 0, 0, 100}}, {0}, {4}},
    };
    for (const auto& c : cases) {
        Box b(c.entries);
        b.Split();
        EXPECT_EQ(b.Reds(b.box), c.lower) << c.name;
        EXPECT_EQ(b.Reds(b.upper), c.upper) << c.name;
        EXPECT_EQ(b.box.firstIndex, 0) << c.name;
        EXPECT_EQ(b.upper.firstIndex, b.box.entryCount) << c.name;
    }
}

// Lowest value equal to the mean and shared by several entries: the stable
// sort keeps them in reference order, so the first of them forms the lower part.
TEST(SplitBox, EqualValuesKeepTheirOrder) {
    Box b({{4, 0, 0, 53}, {0, 0, 0, 200}, {0, 0, 252, 1}});
    ASSERT_GT(b.box.varianceRed, b.box.varianceGreen);
    ASSERT_EQ(b.box.meanColor.red, 0);
    b.Split();
    ASSERT_EQ(b.box.entryCount, 1);
    EXPECT_EQ(b.refs, (std::vector<const ColorEntry*>{&b.entries[0], &b.entries[1], &b.entries[2]}));
}

TEST(SplitBox, ChannelTiesPreferRedThenGreen) {
    // Red and green spread equally: a red split puts the red-0 entry below,
    // a green split the green-0 entry.
    Box redGreen({{0, 0, 40, 1}, {0, 40, 0, 1}});
    ASSERT_EQ(redGreen.box.varianceRed, redGreen.box.varianceGreen);
    redGreen.Split();
    EXPECT_EQ(redGreen.box.meanColor.red, 0);
    EXPECT_EQ(redGreen.box.meanColor.green, 40);
    // Green and blue equal, red below: a green split puts the green-0 entry below.
    Box greenBlue({{0, 40, 0, 1}, {40, 0, 0, 1}});
    ASSERT_EQ(greenBlue.box.varianceGreen, greenBlue.box.varianceBlue);
    greenBlue.Split();
    EXPECT_EQ(greenBlue.box.meanColor.green, 0);
    EXPECT_EQ(greenBlue.box.meanColor.blue, 40);
}

TEST(SplitBox, FindSplitScansOnePastTheLastBelowTheMean) {
    Box b({{0, 0, 0, 1}, {0, 0, 4, 1}, {0, 0, 8, 1}, {0, 0, 12, 1}});
    const ColorEntry* const* refs = b.refs.data();
    EXPECT_EQ(reference::FindSplitRed(refs, 0, 4, 0), 1);
    EXPECT_EQ(reference::FindSplitRed(refs, 0, 4, 5), 2);
    EXPECT_EQ(reference::FindSplitRed(refs, 0, 4, 8), 2);
    EXPECT_EQ(reference::FindSplitRed(refs, 0, 4, 12), 3);
    EXPECT_EQ(reference::FindSplitRed(refs, 1, 3, 4), 2);
    EXPECT_EQ(reference::FindSplitGreen(refs, 0, 4, 0), 1);
    EXPECT_EQ(reference::FindSplitBlue(refs, 0, 4, 0), 1);
    EXPECT_EQ(reference::CompareRed(refs[0], refs[1]), -1);
    EXPECT_EQ(reference::CompareRed(refs[1], refs[0]), 1);
    EXPECT_EQ(reference::CompareGreen(refs[0], refs[1]), 0);
}

TEST(RebuildPalette, SkipsRepeatedMeansAndStopsAtN) {
    ColorBox boxes[4] = {};
    boxes[0].meanColor = PaletteEntry{1, 2, 3, 0};
    boxes[1].meanColor = PaletteEntry{1, 2, 3, 0};
    boxes[2].meanColor = PaletteEntry{4, 5, 6, 0};
    boxes[3].meanColor = PaletteEntry{7, 8, 9, 0};
    PaletteEntry palette[3] = {};
    EXPECT_EQ(RebuildPalette(palette, 3, boxes, 4), 3);
    EXPECT_EQ(palette[1].blue, 4);
    EXPECT_EQ(palette[2].blue, 7);
    EXPECT_EQ(RebuildPalette(palette, 2, boxes, 4), 2);
}

TEST(SplitBoxes, EqualSpreadsSplitTheLowerBox) {
    // The first split (by blue) leaves two boxes of equal spread in red; the
    // second must cut box 0, giving (0,0,0), (200,0,20), (0,0,40) rather than
    // (0,0,20), (200,0,0), (200,0,40).
    Box b({{0, 0, 0, 1}, {0, 0, 40, 1}, {200, 0, 0, 1}, {200, 0, 40, 1}});
    std::vector<ColorBox> boxes(kMaxBoxes);
    boxes[0] = b.box;
    std::vector<PaletteEntry> palette(3);
    reference::SplitBoxes(palette.data(), 3, boxes.data(), b.refs.data());
    const std::vector<int> want[3] = {{0, 0, 0, 0}, {200, 0, 20, 0}, {0, 0, 40, 0}};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Entry(palette[size_t(i)]), want[i]) << i;
}

TEST(BuildPalette, SingleColourImage) {
    const TestImage image = MakeImage(3, 2, [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 255; });
    const std::vector<PaletteEntry> palette = Palette(image, 236);
    for (size_t i = 0; i < palette.size(); ++i)
        EXPECT_EQ(Entry(palette[i]), i == 0 ? std::vector<int>({252, 252, 252, 0}) : std::vector<int>(4, 0)) << i;
}

TEST(BuildPalette, FewColoursAreKeptExactly) {
    const std::vector<std::vector<int>> colours = {{0, 0, 252}, {252, 0, 0}, {0, 252, 0}, {100, 100, 100}, {0, 0, 0}};
    std::vector<std::vector<int>> pixels;
    for (int i = 0; i < 10; ++i) pixels.push_back(colours[size_t(i) % colours.size()]);
    const TestImage image = ImageFromTriples(5, 2, pixels);
    const std::vector<PaletteEntry> palette = Palette(image, 236);
    std::vector<uint32_t> got;
    for (size_t i = 0; i < 5; ++i) got.push_back(MakeColorKey(palette[i].blue, palette[i].green, palette[i].red));
    std::sort(got.begin(), got.end());
    std::vector<uint32_t> want;
    for (const auto& c : colours)
        want.push_back(MakeColorKey(QuantizeChannel(uint8_t(c[0])), QuantizeChannel(uint8_t(c[1])), QuantizeChannel(uint8_t(c[2]))));
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    for (size_t i = 5; i < palette.size(); ++i) EXPECT_EQ(palette[i].blue | palette[i].green | palette[i].red, 0);
}

TEST(BuildPalette, ManyColoursFillEverySlotWithDistinctColours) {
    const TestImage image = RandomImage(97, 61, 3);
    const std::vector<PaletteEntry> palette = Palette(image, 236);
    std::set<uint32_t> distinct;
    for (const PaletteEntry& e : palette) {
        EXPECT_EQ(e.reserved, 0);
        distinct.insert(MakeColorKey(e.blue, e.green, e.red));
    }
    EXPECT_EQ(distinct.size(), 236u);
}

TEST(BuildPalette, RefusesWithoutWorkingMemory) {
    const TestImage image = RandomImage(9, 9, 5);
    for (long failAt = 1; failAt <= 4; ++failAt) {
        std::vector<PaletteEntry> palette(236, PaletteEntry{9, 9, 9, 9});
        SetAllocationFailureAt(failAt);
        const int ok = reference::BuildPalette(palette.data(), 236, image.pixels.data(), &image.info);
        const long made = SetAllocationFailureAt(0);
        if (made < failAt) {  // every allocation was served
            EXPECT_EQ(ok, 1);
            break;
        }
        EXPECT_EQ(ok, 0) << failAt;
    }
}
