// The per-cell candidate lists against the plain grid search.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "mapping/palette_grid.h"

namespace {

std::vector<PaletteEntry> ScatteredPalette(uint32_t seed, int first, int end) {
    std::mt19937 rng(seed);
    std::vector<PaletteEntry> palette(kPaletteSize, PaletteEntry{0, 0, 0, 0});
    for (int s = first; s < end; ++s) palette[size_t(s)] = PaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    return palette;
}

TEST(FindNearestCandidate, MatchesTheGridSearchForEveryCellAndPalette) {
    std::mt19937 rng(11);
    for (int round = 0; round < 7; ++round) {
        const int end = round < 3 ? 12 + round * 40 : 246;
        std::vector<PaletteEntry> palette = ScatteredPalette(uint32_t(round), 10, end);
        // Last round: three colours over and over, as in the palette of an
        // image with three colours; equal distances then decide.
        if (round == 6)
            for (int s = 13; s < end; ++s) palette[size_t(s)] = palette[size_t(10 + s % 3)];
        PaletteGrid grid;
        ASSERT_EQ(BuildPaletteGrid(&grid, palette.data(), 10, end), 1);
        CandidateTable table;
        ASSERT_EQ(BuildCandidateTable(&table, &grid), 1);
        std::vector<int32_t> scratch(size_t(table.longestList) + 1);
        for (int i = 0; i < 20000; ++i) {
            uint8_t q[3] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
            if (i < 256) {
                // Palette colours themselves, where ties at distance 0 decide.
                const PaletteEntry& e = palette[size_t(10 + i % (end - 10))];
                q[0] = e.blue;
                q[1] = e.green;
                q[2] = e.red;
            }
            ASSERT_EQ(FindNearestCandidate(q, &table, scratch.data()), FindNearestColor(q, &grid))
                << "round " << round << ", query " << int(q[0]) << " " << int(q[1]) << " " << int(q[2]);
        }
        ReleaseCandidateTable(&table);
        ReleasePaletteGrid(&grid);
    }
}

TEST(FindNearestCandidate, EmptyGridFindsNothing) {
    PaletteEntry palette[kPaletteSize] = {};
    PaletteGrid grid;
    ASSERT_EQ(BuildPaletteGrid(&grid, palette, 10, 10), 1);
    CandidateTable table;
    ASSERT_EQ(BuildCandidateTable(&table, &grid), 1);
    int32_t scratch[1];
    const uint8_t q[3] = {1, 2, 3};
    EXPECT_EQ(FindNearestCandidate(q, &table, scratch), -1);
    ReleaseCandidateTable(&table);
}

}  // namespace
