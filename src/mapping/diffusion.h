// Error diffusion with the Jarvis-Judice-Ninke kernel (divisor 48), gathered
// rather than pushed: each pixel sums the stored errors of up to twelve pixels
// mapped before it from three rolling error rows.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"

// A source channel minus the chosen palette entry's channel, -255 to 255.
struct ErrorCell {
    int32_t red;
    int32_t green;
    int32_t blue;
};

// Writes one slot index (firstSlot .. endSlot - 1) per pixel of `source` into
// `indices`, in rows of the output header's stride; row padding is not
// written. Returns 1, or 0 when the grid or the error rows cannot be
// allocated or the slot range is empty (nothing is then written and
// nothing is held).
int DiffuseToIndices(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                     int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo);
