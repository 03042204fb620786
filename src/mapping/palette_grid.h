// Nearest palette colour by a bounded search over a 16x16x16 grid of buckets
// addressed by the high four bits of blue, green and red. Candidates are
// ranked by tone distance; the search stops after the first shell of buckets
// by which any candidate has been met, so it is nearest among those examined.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"

constexpr int kGridCells = 4096;

// One palette slot in a bucket list; lists run in descending slot order.
struct GridNode {
    int32_t slot;
    uint32_t color;  // the palette entry as a little-endian value: blue in the low byte
    GridNode* next;
};

// Bucket heads, held by the grid's owner for the length of its pass.
struct PaletteGrid {
    GridNode* heads[kGridCells];
};

// Palette entry as the 32-bit value a node stores.
inline uint32_t PackPaletteEntry(const PaletteEntry& e) {
    return uint32_t(e.blue) | uint32_t(e.green) << 8 | uint32_t(e.red) << 16 |
           uint32_t(e.reserved) << 24;
}

// Cell index of a colour: blue selects the block of 256, red the cell.
inline int GridCellIndex(uint8_t blue, uint8_t green, uint8_t red) {
    return (blue >> 4) * 256 + (green >> 4) * 16 + (red >> 4);
}

// Enters slots firstSlot .. endSlot - 1 of `palette` (256 entries). Returns 1,
// or 0 when a node cannot be allocated; the grid is then empty and holds no
// memory. An empty range gives an empty grid.
int BuildPaletteGrid(PaletteGrid* grid, const PaletteEntry* palette, int firstSlot, int endSlot);

// Sum of the squared tone differences of blue, green and red; `query` is a
// pixel triple (blue, green, red), `color` a node's packed entry.
int32_t ToneDistance(const uint8_t* query, uint32_t color);

// The slot nearest to `query` among the cells examined, or -1 for an empty grid.
int32_t FindNearestColor(const uint8_t* query, const PaletteGrid* grid);

// FindNearestColor that also reports how many cells it examined.
int32_t FindNearestColorCounted(const uint8_t* query, const PaletteGrid* grid, int* cellsExamined);

// Returns every node to the heap; the grid is empty afterwards.
void ReleasePaletteGrid(PaletteGrid* grid);

// The same search with its cell walk done once per cell: for every cell, the
// nodes FindNearestColor examines for a query in that cell, in the order it
// meets them (own cell, then shell 1 when the own cell has nodes, else every
// shell up to and including the first that has any). Keeping the first
// strictly smaller distance over that list is FindNearestColor exactly.
// Each list is padded to whole blocks of eight with filler entries never
// nearest; a block's tones lie together, int16 side by side (the eight blue
// tones, then green, then red), so the distances of a block are one vector
// operation and one search touches few cache lines.
struct CandidateTable {
    int32_t* listStart;   // kGridCells + 1 entry offsets, multiples of eight
    int16_t* tones;       // three tones per entry, block by block as above
    uint8_t* slot;        // one slot per entry
    int32_t longestList;
};

// Fills `table` from a built grid whose slots are 0 to 255. Returns 1, or 0
// when memory cannot be had or a slot does not fit a byte (nothing is then held).
int BuildCandidateTable(CandidateTable* table, const PaletteGrid* grid);
// FindNearestColor(query, grid) for the grid the table was built from.
// Allocates nothing and writes nothing, so threads may share the table.
int32_t FindNearestCandidate(const uint8_t* query, const CandidateTable* table);
void ReleaseCandidateTable(CandidateTable* table);

// Side of the colour blocks FindNearestInBlock answers for at once.
constexpr int kBlockSide = 4;
// FindNearestCandidate for every colour of the kBlockSide^3 block (aligned
// on multiples of kBlockSide) that holds `query`: slots[(blue % 4) * 16 +
// (green % 4) * 4 + red % 4] for each colour of the block. Returns 1, or 0 for
// an empty grid (slots is then left alone). Allocates nothing.
int FindNearestInBlock(const uint8_t* query, const CandidateTable* table, uint8_t* slots);
