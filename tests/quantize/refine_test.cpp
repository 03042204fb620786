#include <gtest/gtest.h>

#include <vector>

#include "quantize/refine.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

// Histogram entries from (blue, green, red, count), in ascending key order.
std::vector<ColorEntry> Histogram(const std::vector<std::vector<int>>& bgrCount) {
    std::vector<ColorEntry> entries;
    for (const auto& e : bgrCount)
        entries.push_back(ColorEntry{MakeColorKey(uint8_t(e[0]), uint8_t(e[1]), uint8_t(e[2])), e[3]});
    return entries;
}

std::vector<int> Bgr(const PaletteEntry& e) { return {e.blue, e.green, e.red}; }

TEST(RefinePalette, MovesEachEntryToTheWeightedMeanOfItsNearestColours) {
    struct Case {
        const char* name;
        std::vector<std::vector<int>> histogram;
        std::vector<PaletteEntry> start;
        std::vector<std::vector<int>> want;
    } cases[] = {
        // Channels kept apart: blue, green and red each their own mean.
        {"two clusters",
         {{0, 4, 8, 10}, {8, 12, 16, 10}, {200, 100, 40, 5}, {204, 108, 40, 15}},
         {{20, 20, 20, 0}, {180, 120, 60, 0}},
         {{4, 8, 12}, {203, 106, 40}}},
        // 3 x 0 and 5 x 4 is 2.5 in levels, rounded down: levels stand for
        // values half a value below them on average.
        {"levels' mean rounds down", {{0, 0, 0, 3}, {4, 4, 4, 5}}, {{1, 1, 1, 0}}, {{2, 2, 2}}},
        // Nearest to no colour: left where it was.
        {"far entry stays", {{0, 0, 0, 1}, {8, 8, 8, 1}}, {{2, 2, 2, 0}, {250, 250, 250, 0}}, {{4, 4, 4}, {250, 250, 250}}},
        // Two equal entries: the lower position takes both colours and moves
        // to 46, after which each entry takes the colour nearer to it.
        {"equals: the lower position", {{40, 40, 40, 2}, {52, 52, 52, 2}}, {{44, 44, 44, 0}, {44, 44, 44, 0}},
         {{52, 52, 52}, {40, 40, 40}}},
        // Later passes: 100 is first a tie that entry 0 takes; once entry 0
        // has moved to 25, entry 1 is nearer.
        {"later passes", {{0, 0, 0, 3}, {100, 100, 100, 1}, {160, 160, 160, 2}}, {{50, 50, 50, 0}, {150, 150, 150, 0}},
         {{0, 0, 0}, {140, 140, 140}}},
    };
    for (const Case& c : cases) {
        const std::vector<ColorEntry> entries = Histogram(c.histogram);
        std::vector<PaletteEntry> palette = c.start;
        ASSERT_EQ(RefinePalette(palette.data(), int(palette.size()), entries.data(), int32_t(entries.size())), 1)
            << c.name;
        for (size_t i = 0; i < palette.size(); ++i) EXPECT_EQ(Bgr(palette[i]), c.want[i]) << c.name << ", entry " << i;
    }
}

TEST(RefinePalette, WithoutMemoryLeavesThePaletteAsItWas) {
    const std::vector<ColorEntry> entries = Histogram({{0, 0, 0, 1}, {8, 8, 8, 1}});
    std::vector<PaletteEntry> palette = {{100, 100, 100, 0}};
    SetAllocationFailureAt(1);
    const int result = RefinePalette(palette.data(), 1, entries.data(), 2);
    SetAllocationFailureAt(0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Bgr(palette[0]), (std::vector<int>{100, 100, 100}));
}

}  // namespace
