// The 64-level histogram of several pictures summed, for one palette shared
// by all of them: a fixed table of counts, so memory stays 2 MiB however many
// pictures are added, and the sum is the same in any order.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"
#include "quantize/histogram.h"

namespace bmp256 {

constexpr int32_t kTallyCells = 64 * 64 * 64;

// counts[(blue / 4) << 12 | (green / 4) << 6 | red / 4], the channels
// quantized as BuildColorHistogram quantizes them, so the cell order is the
// colour-key order.
struct ColorTally {
    int64_t* counts;
};

// Returns 1 with an empty tally, or 0 when its memory cannot be had.
int OpenColorTally(ColorTally* tally);
void CloseColorTally(ColorTally* tally);

void TallyPixels(ColorTally* tally, const uint8_t* pixels, const BITMAPINFOHEADER* info);
void AddColorTally(ColorTally* into, const ColorTally* from);

// The tally as a histogram (ascending keys; caller frees with FreeBytes), or
// null when memory cannot be had. When the total passes 32 bits every count
// is halved (a count of 1 stays 1) until it fits, as the box statistics
// count in 32 bits: the palette of many pictures is that of their average.
ColorEntry* TallyHistogram(const ColorTally* tally, int32_t* count);

}  // namespace bmp256
