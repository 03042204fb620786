// Nearest palette colour: a bounded search over the palette grid, ranked by
// tone distance, stopping after the first shell of buckets by which any
// candidate has been met, so it is nearest among those examined.
#pragma once

#include <cstdint>

#include "mapping/grid.h"

namespace bmp256 {

// For every grid cell, the palette entries a search from that cell examines,
// in the order it meets them, so the cell walk is done once per palette.
struct CandidateTable {
    int32_t* listStart;   // kGridCells + 1 entry offsets, multiples of eight
    int16_t* tones;       // three tones per entry, block by block as above
    uint8_t* slot;        // one slot per entry
};

// Fills `table` from a built grid whose slots are 0 to 255. Returns 1, or 0
// when memory cannot be had or a slot does not fit a byte (nothing is then held).
int BuildCandidateTable(CandidateTable* table, const PaletteGrid* grid);
// The table of slots firstSlot .. endSlot - 1 of `palette`, through a grid
// held only while the table is made. Returns 1, or 0 when memory cannot be
// had (nothing is then held).
int BuildPaletteCandidates(CandidateTable* table, const PaletteEntry* palette, int firstSlot, int endSlot);
// The slot nearest to `query` among the cells a search from its own cell
// examines (own cell, then shells of cells until one has met a candidate), or
// -1 for an empty grid.
// Allocates nothing and writes nothing, so threads may share the table.
int32_t FindNearestColor(const uint8_t* query, const CandidateTable* table);
void ReleaseCandidateTable(CandidateTable* table);

// Side of the colour blocks FindNearestInBlock answers for at once.
constexpr int kBlockSide = 4;
// FindNearestColor for every colour of the kBlockSide^3 block (aligned
// on multiples of kBlockSide) that holds `query`: slots[(blue % 4) * 16 +
// (green % 4) * 4 + red % 4] for each colour of the block. Returns 1, or 0 for
// an empty grid (slots is then left alone). Allocates nothing.
int FindNearestInBlock(const uint8_t* query, const CandidateTable* table, uint8_t* slots);

}  // namespace bmp256
