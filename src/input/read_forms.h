// Inside the bitmap module: the layout of one BMP of any form, as the wide
// reader's header pass finds it, and the pixel passes that fill the canonical
// 24-bit buffer from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap/bitmap.h"
#include "input/input.h"

namespace bmp256 {
namespace form {

// One channel of a packed 16- or 32-bit pixel: its mask, where it starts and
// how many bits wide it is (0 for an absent channel).
struct Channel {
    uint32_t mask;
    int shift;
    int bits;
};

struct Layout {
    int32_t width;       // > 0
    int32_t height;      // > 0, rows of the picture
    bool topDown;        // the file stores the top row first
    uint16_t bitCount;
    uint32_t compression;  // kRgb, kRle8, kRle4 or kBitfields (alpha bit fields fold in)
    Channel red, green, blue, alpha;
    PaletteEntry palette[256];
    uint32_t paletteCount;  // entries read from the file, at most 2^bitCount
    const uint8_t* pixels;  // the pixel data in the caller's buffer
    size_t pixelBytes;      // bytes from there to the end of the file
    uint8_t background[3];  // blue, green, red behind transparent pixels (white unless set)
    const uint8_t* profile;  // a V5 header's embedded ICC profile, or null
    size_t profileSize;
};

constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitfields = 3;

// Widens a value of `bits` bits to 8 by repeating its bits (5 bits: v << 3 |
// v >> 2); values wider than 8 bits keep their top 8.
uint8_t WidenChannel(uint32_t value, int bits);

// Fills `out` (canonical rows: bottom-up, 24-bit stride) from the layout's
// uncompressed pixel rows. Returns false with `reason` filled when a pixel
// names a colour the table does not have.
bool UnpackRows(const Layout& layout, uint8_t* out, char* reason, size_t capacity);

// The same for RLE8 and RLE4 data. Pixels the data never sets are left as
// they are in `out` (the caller fills it with the background first); pixels
// past the right edge of a row are dropped, as other readers drop them.
bool DecodeRle(const Layout& layout, uint8_t* out, char* reason, size_t capacity);

}  // namespace form

// The header pass of the BMP reader: finds the form, tests every field that
// decides the pixels against the real length of the data, and fills
// `layout` and the canonical `info`, allocating nothing. kBitmapEmbedded
// hands a JPEG or PNG stream on in `detail`.
BitmapStatus FindBitmapLayout(const uint8_t* data, size_t size, uint64_t maxPixels,
                              form::Layout* layout, BITMAPINFOHEADER* info, BitmapReadDetail* detail);

// True when the file's pixel array already is the canonical rows (24 bits,
// uncompressed, bottom-up, no colour profile to apply), to be used where it
// lies.
bool RowsInPlace(const form::Layout& layout);

// The pixel pass: the canonical rows in a new block (caller frees with
// FreeBytes), whose pages are taken as the rows are written; an embedded
// profile is then converted to sRGB.
BitmapStatus DecodeBitmapRows(const form::Layout& layout, const BITMAPINFOHEADER* info,
                              uint8_t** pixels, BitmapReadDetail* detail);

}  // namespace bmp256
