// Colour histogram: the distinct 64-level colours of an image with their
// pixel counts, in ascending colour-key order.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"

namespace bmp256 {

// One distinct quantized colour.
struct ColorEntry {
    uint32_t colorKey;   // blue << 16 | green << 8 | red, each a multiple of 4
    int32_t pixelCount;  // at least 1
};

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

// The distinct colours in ascending key order: returns the K entries (caller
// frees with FreeBytes; K may be 0) and stores K, or returns null when working
// memory cannot be had. The rows are shared out among `threadCount` threads
// (0: one per processor the machine runs); no count changes an entry.
ColorEntry* BuildColorHistogram(const uint8_t* pixels, const BITMAPINFOHEADER* info, int32_t* count,
                                int threadCount);

}  // namespace bmp256
