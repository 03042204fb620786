// The stages written out step by step, as plainly as they can be: test
// equipment, never linked into the programs. The product stages must give
// their results byte for byte, which the tests, benchmarks and fuzzers check.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"
#include "mapping/grid.h"
#include "quantize/histogram.h"
#include "quantize/palette.h"

namespace bmp256 {
namespace reference {

// Histogram through an occupancy bit table over the whole 24-bit key space.
// Eight consecutive keys: bit k of bitMask marks key 8c + k; rankBase counts
// the marked keys of all cells before this one.
struct OccupancyCell {
    uint8_t bitMask;
    int32_t rankBase;
};

constexpr int32_t kOccupancyCellCount = 1 << 21;  // 2^24 keys / 8 keys per cell

int CountBits8(uint8_t value);

// Marks every pixel's key in `table` (zero-filled, kOccupancyCellCount cells),
// fills the rank bases, and returns the number of distinct keys.
int32_t MarkColorKeys(OccupancyCell* table, const uint8_t* pixels, const BITMAPINFOHEADER* info);

// Index of a marked key's entry: the number of marked keys below it.
int32_t ColorKeyRank(uint32_t key, const OccupancyCell* table);

// Adds every pixel to its entry; `entries` holds the K zeroed entries.
void FillColorEntries(ColorEntry* entries, const OccupancyCell* table, const uint8_t* pixels,
                      const BITMAPINFOHEADER* info);

// Returns the K entries (caller frees with FreeBytes; K may be 0) and stores K,
// or returns null when the table or the entries cannot be allocated.
ColorEntry* BuildColorHistogram(const uint8_t* pixels, const BITMAPINFOHEADER* info, int32_t* count);

// Box splitting with a stable sort per split and the palette rebuilt after
// every split. Same contracts as the product's functions of these names.
int BuildPalette(PaletteEntry* palette, int count, const uint8_t* pixels, const BITMAPINFOHEADER* info);
void ComputeBoxStats(ColorBox* box, const ColorEntry* const* refs, int32_t first, int32_t count);
void SplitBoxes(PaletteEntry* palette, int count, ColorBox* boxes, const ColorEntry** refs);
void SplitBox(ColorBox* box, ColorBox* newBox, const ColorEntry** refs);

// Three-way comparisons of one channel of two entries' keys: -1, 0 or +1.
int CompareRed(const ColorEntry* a, const ColorEntry* b);
int CompareGreen(const ColorEntry* a, const ColorEntry* b);
int CompareBlue(const ColorEntry* a, const ColorEntry* b);

// The split index of a range sorted by one channel: one past the last value
// below `mean`, or first + 1 when no value is below it.
int32_t FindSplitRed(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean);
int32_t FindSplitGreen(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean);
int32_t FindSplitBlue(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean);

// The grid walk: own cell, then shells of cells until one has met a candidate.
// The slot nearest to `query` among the cells examined, or -1 for an empty grid.
int32_t FindNearestColor(const uint8_t* query, const PaletteGrid* grid);
// FindNearestColor that also reports how many cells it examined.
int32_t FindNearestColorCounted(const uint8_t* query, const PaletteGrid* grid, int* cellsExamined);

// A source channel minus the chosen palette entry's channel, -255 to 255.
struct ErrorCell {
    int32_t red;
    int32_t green;
    int32_t blue;
};

// Diffusion pixel by pixel over three rolling error rows, with a grid search
// per pixel. Same contract as the product's DiffuseToIndices.
int DiffuseToIndices(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                     int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo);

}  // namespace reference
}  // namespace bmp256
