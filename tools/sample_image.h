// The photo-like picture of our own making, shared by make_sample, the
// benchmark and the tests: a landscape at sunset, with a sky gradient, a sun
// and its glow, soft clouds, three ranges of hills shaded by the sun's side
// and hazed with distance, a lake that mirrors the sky, a meadow, a vignette
// and a little film grain. Smooth
// gradients and tens of thousands of colours, so that a 256-colour conversion
// shows what the palette and the error diffusion do.
//
// The output depends only on the arguments: the arithmetic is +, -, *, / and
// sqrt on doubles (each correctly rounded by IEEE 754; the project builds with
// -ffp-contract=off) and integer hashing, with no libm transcendental whose
// last bit could differ between platforms.
#pragma once

#include <cstdint>
#include <vector>

namespace sample {

constexpr int kMaxSide = 16384;  // keeps the file well inside 32-bit BMP sizes

// 24-bit pixels in file layout: bottom-up rows of (3 * width + 3) & ~3 bytes,
// pad bytes zero. Width and height 1 to kMaxSide.
std::vector<uint8_t> MakeSampleImage(int width, int height, uint32_t seed);

// An integer hash of (seed, x, y), the same on every platform.
uint32_t LatticeHash(uint32_t seed, int32_t x, int32_t y);

// A plain 24-bit BMP file of those pixels; false on any failure.
bool WriteSampleBmp(const char* path, int width, int height, const std::vector<uint8_t>& pixels);

}  // namespace sample
