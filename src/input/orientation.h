// Inside the input module: what a stream's EXIF block says about showing the
// picture (read through libexif; exif_none.cpp stands in without it), and
// turning the canonical picture as its orientation says.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap/bitmap.h"

namespace bmp256 {

extern const bool kHaveExif;

struct ExifFacts {
    int orientation;         // 1 to 8; 0 when the block has none
    int32_t xPelsPerMeter;   // 0 when the block has no usable resolution
    int32_t yPelsPerMeter;
};

// Reads an EXIF block as a JPEG's APP1 segment holds it ("Exif\0\0" and the
// TIFF structure). Every offset is bounded by `size`; facts it cannot find
// stay 0.
void ReadExif(const uint8_t* block, size_t size, ExifFacts* facts);

// Turns the canonical picture as EXIF orientation `orientation` says (2 to
// 8: mirrored, turned by 180, transposed, turned by 90 either way) into a
// new buffer, which replaces `*pixels`; `info` follows, with the resolution
// swapped when width and height swap. 1 and unknown values change nothing.
// False when the new buffer cannot be had (the old one is kept).
bool OrientPicture(int orientation, BITMAPINFOHEADER* info, uint8_t** pixels);

// Dots per inch or per centimetre as pixels per metre, rounded to nearest;
// 0 for a value no real picture has.
int32_t PelsPerMeter(uint64_t numerator, uint64_t denominator, bool perCentimetre);

}  // namespace bmp256
