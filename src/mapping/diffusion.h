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

// Whether DiffuseToIndicesFast keeps search results in a colour table.
enum ColorCacheUse {
    kColorCacheOff = 0,
    kColorCacheOn = 1,
    // On, except for small images (under 2^17 pixels), where making the
    // table costs more than the searches it saves.
    kColorCacheAuto = 2,
};

// How DiffuseToIndicesFast may go about it; no choice changes a byte.
struct DiffusionOptions {
    int threadCount;     // rows mapped at once; 0: one per processor the machine runs
    int useColorCache;   // a ColorCacheUse; no options at all means kColorCacheAuto
};

// DiffuseToIndices, byte for byte, faster: the cell walk of the search is done
// once per cell (CandidateTable), search results are kept per corrected colour
// (one byte table shared by the threads, zero meaning not yet known since slot
// numbers are never 0, given out in pages of 4096 colours as they are met and
// filled a 4x4x4 block at a time by FindNearestInBlock; only used when the
// first slot is above 0), and successive rows are mapped by several threads
// as a wavefront: row y maps column x once row y - 1 has finished column x + 2,
// which is all the kernel reads of it. Each thread maps three successive rows
// side by side, and the three channels go through the kernel together in
// 16-bit lanes over sliding sums. A thread that cannot be started leaves its
// rows to the others. Returns what DiffuseToIndices returns; also 0 when
// the extra working memory cannot be had.
int DiffuseToIndicesFast(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                         int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo,
                         const DiffusionOptions* options);
