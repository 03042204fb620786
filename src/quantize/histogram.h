// Colour histogram: the distinct 64-level colours of an image with their
// pixel counts, in ascending colour-key order, found without sorting through
// an occupancy bit table over the whole 24-bit key space.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"

// One distinct quantized colour.
struct ColorEntry {
    uint32_t colorKey;   // blue << 16 | green << 8 | red, each a multiple of 4
    int32_t pixelCount;  // at least 1
};

// Eight consecutive keys: bit k of bitMask marks key 8c + k; rankBase counts
// the marked keys of all cells before this one.
struct OccupancyCell {
    uint8_t bitMask;
    int32_t rankBase;
};

constexpr int32_t kOccupancyCellCount = 1 << 21;  // 2^24 keys / 8 keys per cell

// 64 levels per channel: (x + 2) rounded down to a multiple of 4, 253..255 -> 252.
constexpr uint8_t QuantizeChannel(uint8_t x) {
    return x >= 253 ? uint8_t(252) : uint8_t((x + 2) & ~3);
}

// The one place where the blue-first pixel order meets the red-low key order.
inline uint32_t MakeColorKey(uint8_t blue, uint8_t green, uint8_t red) {
    return uint32_t(blue) << 16 | uint32_t(green) << 8 | uint32_t(red);
}
inline uint8_t KeyRed(uint32_t key) { return uint8_t(key); }
inline uint8_t KeyGreen(uint32_t key) { return uint8_t(key >> 8); }
inline uint8_t KeyBlue(uint32_t key) { return uint8_t(key >> 16); }

// Key of a source pixel triple (blue, green, red in memory).
inline uint32_t PixelColorKey(const uint8_t* bgr) {
    return MakeColorKey(QuantizeChannel(bgr[0]), QuantizeChannel(bgr[1]), QuantizeChannel(bgr[2]));
}

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

// BuildColorHistogram, entry for entry, in one pass over the pixels and 1 MiB
// of counts per thread instead of the 16 MiB table: a count per 64-level colour, indexed
// by the key with its six always-zero bits squeezed out, which keeps the key
// order, so a sweep of the counts lists the entries in ascending key order.
// The rows are shared out among `threadCount` threads (0: one per processor
// the machine runs), each with counts of its own, summed at the end; a thread
// that cannot be started leaves its rows to the caller. Returns the same
// entries as BuildColorHistogram (caller frees), or null when working memory
// cannot be had.
ColorEntry* BuildColorHistogramFast(const uint8_t* pixels, const BITMAPINFOHEADER* info, int32_t* count,
                                    int threadCount);
