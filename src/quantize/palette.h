// Palette construction by variance-driven box splitting (median cut's
// relative): the box whose colours spread most in tone space is cut along its
// most spread channel at the channel's weighted mean, not at its median.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"
#include "quantize/histogram.h"

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

// Overwrites every field of `box` from refs[first .. first + count - 1]; count >= 1.
void ComputeBoxStats(ColorBox* box, const ColorEntry* const* refs, int32_t first, int32_t count);

// The split loop over `boxes` (kMaxBoxes records, box 0 filled); writes the palette.
void SplitBoxes(PaletteEntry* palette, int count, ColorBox* boxes, const ColorEntry** refs);

// Splits `box` (two or more entries) into its lower part, kept in `box`, and
// its upper part in `newBox`.
void SplitBox(ColorBox* box, ColorBox* newBox, const ColorEntry** refs);

// Writes the distinct means of boxes 0 .. boxCount - 1, in box order, into the
// palette and returns how many were written (at most `count`).
int RebuildPalette(PaletteEntry* palette, int count, const ColorBox* boxes, int boxCount);

// Three-way comparisons of one channel of two entries' keys: -1, 0 or +1.
int CompareRed(const ColorEntry* a, const ColorEntry* b);
int CompareGreen(const ColorEntry* a, const ColorEntry* b);
int CompareBlue(const ColorEntry* a, const ColorEntry* b);

// The split index of a range sorted by one channel: one past the last value
// below `mean`, or first + 1 when no value is below it.
int32_t FindSplitRed(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean);
int32_t FindSplitGreen(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean);
int32_t FindSplitBlue(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean);

// BuildPalette, byte for byte, with less work: the histogram by
// BuildColorHistogramFast, and the split loop by SplitBoxesFast.
int BuildPaletteFast(PaletteEntry* palette, int count, const uint8_t* pixels, const BITMAPINFOHEADER* info);

// ComputeBoxStats in one pass over the entries: pixel counts per channel level
// (64 each), from which the sums, means and variances follow exactly.
void ComputeBoxStatsFast(ColorBox* box, const ColorEntry* const* refs, int32_t first, int32_t count);

// SplitBox with a stable counting sort over the 64 levels of the chosen
// channel (a range already in order is left alone), which orders the range
// exactly as the stable sort does; `scratch` has room for the box's references.
void SplitBoxFast(ColorBox* box, ColorBox* newBox, const ColorEntry** refs, const ColorEntry** scratch);

// SplitBoxes, with the same palette at the end: the split loop only needs the
// number of distinct box means, kept up to date per split, so the palette is
// rebuilt once at the end, plus whenever that number falls (the entries the
// last rebuild wrote beyond the new count keep its colours in the plain loop).
// `scratch` has room for as many references as `refs`.
void SplitBoxesFast(PaletteEntry* palette, int count, ColorBox* boxes, const ColorEntry** refs,
                    const ColorEntry** scratch);
