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
        for (int i = 0; i < 20000; ++i) {
            uint8_t q[3] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
            if (i < 256) {
                // Palette colours themselves, where ties at distance 0 decide.
                const PaletteEntry& e = palette[size_t(10 + i % (end - 10))];
                q[0] = e.blue;
                q[1] = e.green;
                q[2] = e.red;
            }
            ASSERT_EQ(FindNearestCandidate(q, &table), FindNearestColor(q, &grid))
                << "round " << round << ", query " << int(q[0]) << " " << int(q[1]) << " " << int(q[2]);
        }
        ReleaseCandidateTable(&table);
        ReleasePaletteGrid(&grid);
    }
}

TEST(FindNearestCandidate, ListsOfAllTwoHundredFiftySixSlotsKeepTheirOrder) {
    // Every slot in the far corner cell: a query at black walks to the last
    // shell and meets all 256 nodes in one list, highest slot first.
    struct Case {
        const char* name;
        int nearest;  // the slot made nearest, or -1 when all are equal
        int32_t want;
    } cases[] = {{"nearest met last", 0, 0}, {"nearest met first", 255, 255}, {"nearest in between", 77, 77},
                 {"all equal: first met", -1, 255}};
    for (const Case& c : cases) {
        std::vector<PaletteEntry> palette(kPaletteSize);
        for (int s = 0; s < kPaletteSize; ++s)
            palette[size_t(s)] = c.nearest < 0 ? PaletteEntry{250, 250, 250, 0}
                                               : PaletteEntry{uint8_t(241 + s % 15), 250, uint8_t(242 + s % 13), 0};
        if (c.nearest >= 0) palette[size_t(c.nearest)] = PaletteEntry{240, 240, 240, 0};
        PaletteGrid grid;
        ASSERT_EQ(BuildPaletteGrid(&grid, palette.data(), 0, kPaletteSize), 1);
        CandidateTable table;
        ASSERT_EQ(BuildCandidateTable(&table, &grid), 1);
        const uint8_t black[3] = {0, 0, 0};
        EXPECT_EQ(FindNearestColor(black, &grid), c.want) << c.name;
        EXPECT_EQ(FindNearestCandidate(black, &table), c.want) << c.name;
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
    const uint8_t q[3] = {1, 2, 3};
    EXPECT_EQ(FindNearestCandidate(q, &table), -1);
    ReleaseCandidateTable(&table);
}

}  // namespace
