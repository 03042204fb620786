// Error diffusion with the Jarvis-Judice-Ninke kernel (divisor 48): every
// pixel is mapped to its nearest palette slot after adding the errors of up
// to twelve pixels mapped before it.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"

namespace bmp256 {

// Whether DiffuseToIndices keeps search results in a colour table.
enum ColorCacheUse {
    kColorCacheOff = 0,  // every colour searched, as the plain mapping does
    // On, except for small images (under 2^17 pixels), where making the
    // table costs more than the searches it saves.
    kColorCacheAuto = 2,
};

// How DiffuseToIndices may go about it; no choice changes a byte.
struct DiffusionOptions {
    int threadCount;     // rows mapped at once; 0: one per processor the machine runs
    int useColorCache;   // a ColorCacheUse; no options at all means kColorCacheAuto
};

// Writes one slot index (firstSlot .. endSlot - 1) per pixel of `source` into
// `indices`, in rows of the output header's stride; row padding is not
// written. Returns 1, or 0 when working memory cannot be had or the slot
// range is empty (nothing is then written and nothing is held). `options`
// may be null.
int DiffuseToIndices(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                     int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo,
                     const DiffusionOptions* options);

}  // namespace bmp256
