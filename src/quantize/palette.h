// Palette construction by variance-driven box splitting (median cut's
// relative): the box whose colours spread most in tone space is cut along its
// most spread channel at the channel's weighted mean, not at its median.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"
#include "quantize/histogram.h"

namespace bmp256 {

// A box: a contiguous range of the reference array and its statistics.
// Variances are exact integer sums held in doubles.
struct ColorBox {
    double varianceRed;
    double varianceGreen;
    double varianceBlue;
    int32_t firstIndex;
    int32_t entryCount;
    int32_t pixelTotal;
    PaletteEntry meanColor;
};

// Boxes outnumber palette colours only when box means repeat; when all of them
// are in use the split loop ends with the palette last rebuilt.
constexpr int kMaxBoxes = 769;

// Fills `count` palette entries from `palette` with up to `count` distinct
// colours for the image, then zero entries. Returns 1, or 0 when working
// memory cannot be had (the region is then all zero).
int BuildPalette(PaletteEntry* palette, int count, const uint8_t* pixels, const BITMAPINFOHEADER* info);

// BuildPalette with the histogram counted by `threadCount` threads (0: one per
// processor), for callers that already run one image per processor.
int BuildPaletteOnThreads(PaletteEntry* palette, int count, const uint8_t* pixels, const BITMAPINFOHEADER* info,
                          int threadCount);

// BuildPalette from a histogram already counted (ascending keys, as
// BuildColorHistogram gives): the same palette for the same entries, whether
// they come from one picture or from several summed.
int BuildPaletteFromHistogram(PaletteEntry* palette, int count, const ColorEntry* entries, int32_t entryCount);

// Overwrites every field of `box` from refs[first .. first + count - 1]; count >= 1.
void ComputeBoxStats(ColorBox* box, const ColorEntry* const* refs, int32_t first, int32_t count);

// Splits `box` (two or more entries) into its lower part, kept in `box`, and
// its upper part in `newBox`, the range ordered by the chosen channel as a
// stable sort orders it; `scratch` has room for the box's references.
void SplitBox(ColorBox* box, ColorBox* newBox, const ColorEntry** refs, const ColorEntry** scratch);

// The split loop over `boxes` (kMaxBoxes records, box 0 filled); writes the
// palette. `scratch` has room for as many references as `refs`.
void SplitBoxes(PaletteEntry* palette, int count, ColorBox* boxes, const ColorEntry** refs,
                const ColorEntry** scratch);

// The box among 0 .. used - 1 whose variances sum highest (the first of
// equals); that sum goes to `spread`.
int WidestBox(const ColorBox* boxes, int used, double* spread);

// Writes the distinct means of boxes 0 .. boxCount - 1, in box order, into the
// palette and returns how many were written (at most `count`).
int RebuildPalette(PaletteEntry* palette, int count, const ColorBox* boxes, int boxCount);

}  // namespace bmp256
