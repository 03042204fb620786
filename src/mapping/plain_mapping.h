// Mappings without error diffusion: by exact colour match, and by the grid
// search of each pixel's own colour.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"
#include "mapping/diffusion.h"

namespace bmp256 {

// Each pixel to the lowest slot of firstSlot .. endSlot - 1 that holds its
// exact colour. Returns 1, or 0 when some pixel's colour is in none of them
// (`indices` is then partly written). Row padding is not written.
int MapExactColors(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                   int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo);

// Each pixel to FindNearestColor of its own colour. Returns 1, or 0 when
// working memory cannot be had or the range is empty.
int MapToNearest(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                 int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo);

// The mapping a conversion asks for: exact match first when `exactFirst`
// (falling back when a colour is missing), then the diffusion, or the plain
// search when `diffuse` is 0. Returns 1, or 0 when working memory cannot be had.
int MapPixels(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
              int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo,
              int exactFirst, int diffuse, const DiffusionOptions* options);

}  // namespace bmp256
