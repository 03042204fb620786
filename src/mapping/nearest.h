// Nearest palette colour: a bounded search over the palette grid, ranked by
// tone distance, stopping after the first shell of buckets by which any
// candidate has been met, so it is nearest among those examined.
#pragma once

#include <cstdint>

#include "mapping/grid.h"
#include "quantize/tone_table.h"

namespace bmp256 {

// For every grid cell, the palette entries a search from that cell examines,
// in the order it meets them, so the cell walk is done once per palette.
struct CandidateTable {
    int32_t* listStart;   // kGridCells + 1 entry offsets, multiples of eight
    int16_t* tones;       // three tones per entry, block by block as above
    uint8_t* slot;        // one slot per entry
    int16_t slotTones[kPaletteSize][3];  // blue, green, red tones of each slot in the grid
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

// Of slots a and b, both in the candidate list of the cell of `query`, the
// one that list holds first.
int32_t FirstInList(const uint8_t* query, const CandidateTable* table, int32_t a, int32_t b);

// FindNearestColor for the colour (blue, green, red) when it is known to be
// slot `first` or slot `second`, `first` being the earlier in the colour's
// candidate list (the same slot twice is allowed). Exact: the search's
// result beats every other entry, the other of the two among them, so the
// search's own keys between just these two decide, distance and then the
// earlier in the list.
inline int32_t NearerOfTwo(const CandidateTable* table, uint8_t blue, uint8_t green, uint8_t red, int32_t first,
                           int32_t second) {
    const int32_t qb = ToneTable[blue], qg = ToneTable[green], qr = ToneTable[red];
    const int16_t* a = table->slotTones[first];
    const int16_t* b = table->slotTones[second];
    const int32_t ab = qb - a[0], ag = qg - a[1], ar = qr - a[2];
    const int32_t bb = qb - b[0], bg = qg - b[1], br = qr - b[2];
    // All ones when `second` is strictly nearer. Chosen by a mask, not a
    // branch: which of the two wins follows the dithering's noise, and a
    // wrong guess would throw away the work of the rows mapped side by side.
    const int32_t secondNearer = (bb * bb + bg * bg + br * br - (ab * ab + ag * ag + ar * ar)) >> 31;
    return first ^ ((first ^ second) & secondNearer);
}

// Side of the colour blocks FindNearestInBlock answers for at once.
constexpr int kBlockSide = 4;
// FindNearestColor for every colour of the kBlockSide^3 block (aligned
// on multiples of kBlockSide) that holds `query`: slots[(blue % 4) * 16 +
// (green % 4) * 4 + red % 4] for each colour of the block. Returns 1, or 0 for
// an empty grid (slots is then left alone). Allocates nothing.
int FindNearestInBlock(const uint8_t* query, const CandidateTable* table, uint8_t* slots);

}  // namespace bmp256
