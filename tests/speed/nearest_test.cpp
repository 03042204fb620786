// The per-cell candidate lists against the plain grid search.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "mapping/grid.h"
#include "mapping/nearest.h"
#include "mapping/nearest_cache.h"
#include "reference/reference.h"

using namespace bmp256;

namespace {

std::vector<PaletteEntry> ScatteredPalette(uint32_t seed, int first, int end) {
    std::mt19937 rng(seed);
    std::vector<PaletteEntry> palette(kPaletteSize, PaletteEntry{0, 0, 0, 0});
    for (int s = first; s < end; ++s) palette[size_t(s)] = PaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    return palette;
}

TEST(FindNearestColor, MatchesTheGridSearchForEveryCellAndPalette) {
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
            ASSERT_EQ(FindNearestColor(q, &table), reference::FindNearestColor(q, &grid))
                << "round " << round << ", query " << int(q[0]) << " " << int(q[1]) << " " << int(q[2]);
        }
        ReleaseCandidateTable(&table);
        ReleasePaletteGrid(&grid);
    }
}

TEST(FindNearestColor, ListsOfAllTwoHundredFiftySixSlotsKeepTheirOrder) {
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
        EXPECT_EQ(reference::FindNearestColor(black, &grid), c.want) << c.name;
        EXPECT_EQ(FindNearestColor(black, &table), c.want) << c.name;
        ReleaseCandidateTable(&table);
        ReleasePaletteGrid(&grid);
    }
}

// Every colour of a block against the grid search: the block answer leaves
// out entries it proves never nearest there, so palettes with equal colours
// and crowded palettes (many near candidates in one block) are the cases.
TEST(FindNearestInBlock, MatchesTheGridSearchForEveryColourOfTheBlock) {
    struct Case {
        const char* name;
        uint32_t seed;
        int end;        // slots 10 .. end - 1 are filled
        int spread;     // channel values 128 +- spread; 128 scatters over the whole cube
        int repeat;     // > 0: the palette is its first `repeat` colours over and over
    } cases[] = {
        {"scattered", 1, 246, 128, 0},     {"few colours", 2, 14, 128, 0},
        {"crowded", 3, 246, 6, 0},         {"crowded, three colours repeated", 4, 246, 5, 3},
        {"one colour repeated", 5, 246, 128, 1}, {"two colours repeated", 6, 246, 2, 2},
    };
    std::mt19937 rng(12);
    for (const Case& c : cases) {
        std::mt19937 colours(c.seed);
        std::vector<PaletteEntry> palette(kPaletteSize, PaletteEntry{0, 0, 0, 0});
        auto channel = [&]() { return uint8_t(c.spread >= 128 ? colours() : 128 - c.spread + colours() % (2 * c.spread + 1)); };
        for (int s = 10; s < c.end; ++s) palette[size_t(s)] = PaletteEntry{channel(), channel(), channel(), 0};
        if (c.repeat > 0)
            for (int s = 10 + c.repeat; s < c.end; ++s) palette[size_t(s)] = palette[size_t(10 + (s - 10) % c.repeat)];
        PaletteGrid grid;
        ASSERT_EQ(BuildPaletteGrid(&grid, palette.data(), 10, c.end), 1);
        CandidateTable table;
        ASSERT_EQ(BuildCandidateTable(&table, &grid), 1);
        for (int i = 0; i < 600; ++i) {
            uint8_t q[3];
            if (i < 8) {
                // The corners of the cube: blocks at both ends of every channel.
                for (int k = 0; k < 3; ++k) q[k] = uint8_t((i >> k) & 1 ? 255 : 0);
            } else if (i < 200) {
                // Near palette colours, where blocks are split between entries.
                const PaletteEntry& e = palette[size_t(10 + i % (c.end - 10))];
                q[0] = uint8_t(e.blue ^ (rng() & 3));
                q[1] = uint8_t(e.green ^ (rng() & 3));
                q[2] = uint8_t(e.red ^ (rng() & 3));
            } else {
                const uint8_t around = channel();
                for (int k = 0; k < 3; ++k) q[k] = i % 2 ? uint8_t(rng()) : uint8_t(around ^ (rng() & 7));
            }
            uint8_t slots[64];
            ASSERT_EQ(FindNearestInBlock(q, &table, slots), 1);
            for (int at = 0; at < 64; ++at) {
                const uint8_t colour[3] = {uint8_t((q[0] & ~3) | at >> 4), uint8_t((q[1] & ~3) | (at >> 2 & 3)),
                                           uint8_t((q[2] & ~3) | (at & 3))};
                ASSERT_EQ(slots[at], reference::FindNearestColor(colour, &grid))
                    << c.name << ", colour " << int(colour[0]) << " " << int(colour[1]) << " " << int(colour[2]);
            }
        }
        ReleaseCandidateTable(&table);
        ReleasePaletteGrid(&grid);
    }
}

// The colour table against the search, colour by colour, each colour twice
// (found, then recalled), with blocks of one, two and more slots: on a fresh
// table and on one whose pages have run out, which the mappings in the
// tests no longer reach now that blocks of two slots take no page.
TEST(FindNearestCached, SameSlotsAsTheSearchWithAndWithoutPages) {
    const std::vector<PaletteEntry> palette = ScatteredPalette(7, 10, 246);
    CandidateTable candidates;
    ASSERT_EQ(BuildPaletteCandidates(&candidates, palette.data(), 10, 246), 1);
    for (bool pagesRunOut : {false, true}) {
        ColorTable* table = CreateColorTable();
        ASSERT_NE(table, nullptr);
        if (pagesRunOut) table->pagesUsed.store(kMaxTablePages);
        for (int pass = 0; pass < 2; ++pass) {
            std::mt19937 rng(5);  // the same blocks in both passes
            for (int n = 0; n < 400; ++n) {
                // Every other block near a palette colour, where blocks are split.
                const PaletteEntry& e = palette[size_t(10 + rng() % 236)];
                const uint8_t near[3] = {e.blue, e.green, e.red};
                uint8_t corner[3];
                for (int k = 0; k < 3; ++k) corner[k] = n % 2 ? uint8_t(rng()) : uint8_t(near[k] ^ (rng() & 7));
                for (int at = 0; at < 64; ++at) {
                    const uint8_t q[3] = {uint8_t((corner[0] & ~3) | at >> 4),
                                          uint8_t((corner[1] & ~3) | (at >> 2 & 3)), uint8_t((corner[2] & ~3) | (at & 3))};
                    ASSERT_EQ(FindNearestCached(table, &candidates, q[0], q[1], q[2]), FindNearestColor(q, &candidates))
                        << (pagesRunOut ? "no page left" : "fresh table") << ", pass " << pass << ", colour "
                        << int(q[0]) << " " << int(q[1]) << " " << int(q[2]);
                }
            }
        }
        ReleaseColorTable(table);
    }
    ReleaseCandidateTable(&candidates);
}

TEST(FindNearestColor, EmptyGridFindsNothing) {
    PaletteEntry palette[kPaletteSize] = {};
    PaletteGrid grid;
    ASSERT_EQ(BuildPaletteGrid(&grid, palette, 10, 10), 1);
    CandidateTable table;
    ASSERT_EQ(BuildCandidateTable(&table, &grid), 1);
    const uint8_t q[3] = {1, 2, 3};
    EXPECT_EQ(FindNearestColor(q, &table), -1);
    uint8_t slots[64] = {7};
    EXPECT_EQ(FindNearestInBlock(q, &table, slots), 0);
    EXPECT_EQ(slots[0], 7);
    ReleaseCandidateTable(&table);
}

}  // namespace
