// BMPs of 1, 4 or 8 bits per pixel, plain or run-length encoded (RLE4,
// RLE8), with a colour table as long as the palette needs: bmp256-convert's
// other output forms. The plain 8-bit form with 256 entries is WriteBitmap8's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap/bitmap.h"

namespace bmp256 {

struct IndexedForm {
    int depth;       // 1, 4 or 8
    int rle;         // 1: RLE8 at 8 bits, RLE4 at 4 bits (never at 1 bit)
    int tableCount;  // colour-table entries, 1 to 2^depth
};

// The whole file for the 8-bit index rows `indices` (rows of RowStride of
// `info8`, every index below form->tableCount) in a heap block of `*size`
// bytes (caller frees with FreeBytes); null with errno EINVAL for a form or
// size the format cannot hold, or ENOMEM. The written info header is `info8`
// with the depth, compression, image size and colour count of the form.
uint8_t* EncodeIndexedBitmap(const uint8_t* indices, const BITMAPINFOHEADER* info8, const PaletteEntry* palette,
                             const IndexedForm* form, size_t* size);

// Writes the encoded file to `path`, or through `fd` (left open) when `path`
// is null. Returns 1, or 0 with errno set; a file at `path` that was not
// written whole is removed.
int WriteIndexedBitmap(const char* path, int fd, const uint8_t* indices, const BITMAPINFOHEADER* info8,
                       const PaletteEntry* palette, const IndexedForm* form);

}  // namespace bmp256
