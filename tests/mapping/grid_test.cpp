#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "mapping/grid.h"
#include "platform/alloc.h"
#include "reference/reference.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

struct Slot {
    int slot;
    int b, g, r;
};

// A palette with the given slots set, and a grid over [first, end).
struct Grid {
    PaletteEntry palette[kPaletteSize] = {};
    PaletteGrid grid;
    Grid(const std::vector<Slot>& slots, int first, int end) {
        for (const Slot& s : slots) palette[s.slot] = PaletteEntry{uint8_t(s.b), uint8_t(s.g), uint8_t(s.r), 0};
        EXPECT_EQ(BuildPaletteGrid(&grid, palette, first, end), 1);
    }
    ~Grid() { ReleasePaletteGrid(&grid); }
    int Find(int b, int g, int r, int* cells = nullptr) const {
        const uint8_t q[3] = {uint8_t(b), uint8_t(g), uint8_t(r)};
        int examined = 0;
        const int slot = reference::FindNearestColorCounted(q, &grid, &examined);
        EXPECT_EQ(reference::FindNearestColor(q, &grid), slot);
        if (cells) *cells = examined;
        return slot;
    }
};

// The search rule by brute force: every cell sorted by (Chebyshev radius,
// cell index), slots within a cell from the highest down.
int ReferenceSearch(const PaletteEntry* palette, int first, int end, const uint8_t* q) {
    const int cb = q[0] >> 4, cg = q[1] >> 4, cr = q[2] >> 4;
    int32_t best = 2147483647, bestSlot = -1;
    for (int radius = 0; radius <= 15; ++radius) {
        for (int cell = 0; cell < 4096; ++cell) {
            const int x = cell >> 8, y = (cell >> 4) & 15, z = cell & 15;
            if (std::max({std::abs(x - cb), std::abs(y - cg), std::abs(z - cr)}) != radius) continue;
            for (int s = end - 1; s >= first; --s) {
                const PaletteEntry& e = palette[s];
                if (GridCellIndex(e.blue, e.green, e.red) != cell) continue;
                const int32_t d = ToneDistance(q, PackPaletteEntry(e));
                if (d < best) {
                    best = d;
                    bestSlot = s;
                }
            }
        }
        if (radius == 0 && best == 0 && bestSlot >= 0) return bestSlot;
        if (radius > 0 && bestSlot >= 0) return bestSlot;
    }
    return bestSlot;
}

}  // namespace

TEST(ToneDistance, Examples) {
    const struct { uint8_t a[3], b[3]; int32_t d; } cases[] = {
        {{0, 0, 0}, {255, 255, 255}, 195075},
        {{128, 128, 128}, {143, 143, 143}, 768},
        {{7, 9, 12}, {8, 11, 14}, 0},
        {{0, 0, 255}, {0, 0, 0}, 65025},
    };
    for (const auto& c : cases) {
        const PaletteEntry e{c.b[0], c.b[1], c.b[2], 0xAB};  // the fourth byte takes no part
        EXPECT_EQ(ToneDistance(c.a, PackPaletteEntry(e)), c.d);
        const PaletteEntry back{c.a[0], c.a[1], c.a[2], 0};
        EXPECT_EQ(ToneDistance(c.b, PackPaletteEntry(back)), c.d) << "symmetric";
    }
}

TEST(BuildPaletteGrid, ListsRunInDescendingSlotOrder) {
    Grid g({{10, 1, 1, 1}, {11, 2, 2, 2}, {12, 3, 3, 3}, {13, 200, 0, 0}}, 10, 14);
    const GridNode* node = g.grid.heads[0];
    std::vector<int> slots;
    for (; node; node = node->next) slots.push_back(node->slot);
    EXPECT_EQ(slots, std::vector<int>({12, 11, 10}));
    ASSERT_NE(g.grid.heads[GridCellIndex(200, 0, 0)], nullptr);
    EXPECT_EQ(g.grid.heads[GridCellIndex(200, 0, 0)]->color, 200u);
}

TEST(FindNearestColor, WorkedCases) {
    const struct {
        const char* name;
        std::vector<Slot> slots;
        int first, end;
        int query[3];
        int slot, cells;
    } cases[] = {
        {"exact match: own cell only, higher slot at distance 0 wins",
         {{10, 7, 9, 12}, {11, 8, 11, 14}}, 10, 12, {7, 9, 12}, 11, 1},
        {"same colour in several slots: the highest",
         {{10, 0, 0, 0}, {244, 0, 0, 0}, {245, 0, 0, 0}, {100, 200, 200, 200}}, 10, 246, {3, 3, 3}, 245, 8},
        {"own cell not exact: shell 1 only, nearer slot in shell 2 unseen",
         {{10, 143, 143, 143}, {11, 111, 128, 128}}, 10, 12, {128, 128, 128}, 10, 27},
        {"own cell empty: first shell with a node",
         {{10, 159, 159, 159}, {11, 100, 128, 128}}, 10, 12, {128, 128, 128}, 10, 27},
        {"equal distances in one shell: lower cell index",
         {{10, 127, 143, 143}, {11, 143, 143, 159}}, 10, 12, {143, 143, 143}, 10, 27},
        {"equal colours in one cell: higher slot",
         {{10, 143, 143, 159}, {11, 143, 143, 159}}, 10, 12, {143, 143, 143}, 11, 27},
        {"single node in the far corner: every cell once",
         {{10, 255, 255, 255}}, 10, 11, {0, 0, 0}, 10, 4096},
        {"empty grid", {{10, 1, 2, 3}}, 10, 10, {50, 60, 70}, -1, 4096},
        {"corner cell, own cell inexact: seven more cells",
         {{10, 15, 15, 15}, {11, 200, 200, 200}}, 10, 12, {0, 0, 0}, 10, 8},
        {"middle cell, own cell inexact: twenty-six more cells",
         {{10, 143, 143, 143}}, 10, 11, {128, 128, 128}, 10, 27},
        // From a centre cell the first full shells hold 24r^2 + 2 cells.
        {"node in shell 2: 1 + 26 + 98 cells", {{10, 8 << 4, 8 << 4, 10 << 4}}, 10, 11, {8 << 4, 8 << 4, 8 << 4}, 10, 125},
        {"centre cell, node in the far corner: shells 1 to 7, clipped at the low side",
         {{10, 255, 255, 255}}, 10, 11, {8 << 4, 8 << 4, 8 << 4}, 10, 15 * 15 * 15},
    };
    for (const auto& c : cases) {
        Grid g(c.slots, c.first, c.end);
        int cells = 0;
        EXPECT_EQ(g.Find(c.query[0], c.query[1], c.query[2], &cells), c.slot) << c.name;
        EXPECT_EQ(cells, c.cells) << c.name;
    }
}

TEST(FindNearestColor, MatchesTheBruteForceRule) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 40; ++round) {
        PaletteEntry palette[kPaletteSize] = {};
        const int first = 10, end = 10 + int(rng() % 237);
        const bool clustered = round % 2 == 0;
        for (int s = first; s < end; ++s) {
            for (uint8_t* c : {&palette[s].blue, &palette[s].green, &palette[s].red})
                *c = clustered ? uint8_t(100 + rng() % 40) : uint8_t(rng());
        }
        PaletteGrid grid;
        ASSERT_EQ(BuildPaletteGrid(&grid, palette, first, end), 1);
        for (int i = 0; i < 300; ++i) {
            const uint8_t q[3] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
            ASSERT_EQ(reference::FindNearestColor(q, &grid), ReferenceSearch(palette, first, end, q))
                << "round " << round << " query " << int(q[0]) << "," << int(q[1]) << "," << int(q[2]);
        }
        ReleasePaletteGrid(&grid);
    }
}

TEST(BuildPaletteGrid, FailedNodeLeavesAnEmptyGrid) {
    PaletteEntry palette[kPaletteSize] = {};
    PaletteGrid grid;
    SetAllocationFailureAt(5);
    EXPECT_EQ(BuildPaletteGrid(&grid, palette, 10, 246), 0);
    SetAllocationFailureAt(0);
    for (int c = 0; c < kGridCells; ++c) ASSERT_EQ(grid.heads[c], nullptr);
}
