// Pictures of few colours: their distinct 24-bit colours, found with an early
// stop so that a photo costs a few hundred pixels and no large table.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"
#include "quantize/histogram.h"

namespace bmp256 {

constexpr int kMaxExactColors = 256;

// Distinct 24-bit colours as keys blue << 16 | green << 8 | red of the raw
// bytes, in ascending key order: the documented order of exact palettes.
struct ExactColorSet {
    uint32_t keys[kMaxExactColors];
    int count;
};

// Adds the picture's colours to `set` (which may already hold some). Returns
// 1 when the set then holds at most `limit` colours (1 to kMaxExactColors),
// or 0 as soon as one more would exceed it; the set is then not to be used.
// Allocates nothing.
int CollectExactColors(ExactColorSet* set, int limit, const uint8_t* pixels, const BITMAPINFOHEADER* info);

// `into` becomes the union of both sets. Returns 0 when that exceeds `limit`.
int MergeExactColors(ExactColorSet* into, const ExactColorSet* from, int limit);

// The set's colours as palette entries, in key order, from `palette`.
void WriteExactPalette(PaletteEntry* palette, const ExactColorSet* set);

}  // namespace bmp256
