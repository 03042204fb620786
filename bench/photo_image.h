// Photo-like test images for the benchmark and the comparison script: smooth
// shading, soft-edged shapes, mid-scale texture and sensor-like noise, so the
// histogram has the many close colours of a real photograph.
#pragma once

#include <cstdint>
#include <vector>

#include "bitmap/bitmap.h"

struct PhotoImage {
    bmp256::BITMAPINFOHEADER info;
    std::vector<uint8_t> pixels;  // rows of RowStride bytes, pad bytes zero
};

// The same seed and size always give the same pixels.
PhotoImage MakePhotoImage(int32_t width, int32_t height, uint32_t seed);

// Writes the image as a plain 24-bit BMP file; returns false on any failure.
bool WritePhotoBmp(const char* path, const PhotoImage& image);
