// bmp256-convert's palette choices: exact colours, the colour count, a given
// or shared palette, the static system colours, and where in the 256 slots
// the colours go. All zero is the desktop program's conversion.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"

namespace bmp256 {

enum DitherChoice {
    kDitherJjn = 0,   // the error diffusion
    kDitherNone = 1,  // each pixel by its own colour alone
};

struct PaletteChoice {
    int exactColors;    // 1: a picture of at most as many colours as the palette holds keeps them
    int colorCount;     // colours to compute, 2 to 256; 0: 236
    int dither;         // a DitherChoice
    int depth;          // bits per pixel written: 1, 4 or 8; 0: 8
    int rle;            // 1: RLE8 or RLE4 compression
    int systemColors;   // 1: slots 0-9 and 246-255 hold the static system colours
    // A palette every picture is mapped onto (a palette file, or one shared
    // by a batch): `givenCount` entries placed from slot `givenFirstSlot`.
    const PaletteEntry* given;
    int givenCount;
    int givenFirstSlot;
    int refine;         // 1: k-means passes improve a box-split palette (RefinePalette)
};

constexpr int kDefaultColorCount = 236;

// Where the palette of a conversion sits and what the file's table holds.
struct PaletteLayout {
    int firstSlot;     // slots firstSlot .. endSlot - 1 may be chosen
    int endSlot;
    int tableCount;    // colour-table entries written (256 at 8 bits)
    int mapExactly;    // 1: map by exact colour match first (MapExactColors)
};

// The slots the computed or given colours start at, and their most: slot 10
// at 8 bits for up to 236 colours (as the desktop program), else slot 0.
void PlanPaletteSlots(const PaletteChoice* choice, int* firstSlot, int* capacity);

// The 20 static colours of the system palette in slots 0-9 and 246-255.
void WriteSystemColors(PaletteEntry* palette);

// Fills the 256-entry palette and the layout for one picture; `refine`
// touches only colours the box splitting chose, never exact or given ones.
// Returns 1, or 0 when working memory cannot be had. `threadCount` as BuildPaletteOnThreads.
int ChoosePalette(PaletteEntry* palette, PaletteLayout* layout, const PaletteChoice* choice,
                  const uint8_t* pixels, const BITMAPINFOHEADER* info, int threadCount);

// How many of the `capacity` entries from `palette` a palette file keeps:
// trailing unused (zero) slots dropped, a black kept when one may be in use.
int UsedPaletteCount(const PaletteEntry* palette, int capacity);

}  // namespace bmp256
