// The input layer: a source file or stream turned into the canonical
// picture (a 40-byte 24-bit header and bottom-up BGR rows) that the
// conversion reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "bitmap/bitmap.h"

namespace bmp256 {

// What bmp256-convert's reader may be told; the defaults are what viewers
// show, and what the desktop program reads with.
struct ReadOptions {
    bool autoOrient = true;                   // turn the picture as its EXIF orientation says
    uint8_t background[3] = {255, 255, 255};  // blue, green, red behind transparent parts
};

// Validates a complete BMP held in memory and returns a heap copy of its pixel
// array (ImageSize bytes, file row order), or null with `detail` saying why.
// `info` receives the info header as soon as it is present, also on refusal.
// The caller frees the result with FreeBytes. `detail` may be null.
uint8_t* ParseBitmap24(const uint8_t* data, size_t size, BITMAPINFOHEADER* info,
                       BitmapReadDetail* detail);

// The same acceptance rules on a file. `detail` may be null.
uint8_t* ReadBitmap24Ex(const char* path, BITMAPINFOHEADER* info, BitmapReadDetail* detail);

// Reads a 24-bit BMP: the pixel buffer (caller frees with FreeBytes) or null.
uint8_t* ReadBitmap24(const char* path, BITMAPINFOHEADER* info);

// The wide reader of bmp256-convert: every BMP form (info headers of 12, 16
// to 64, 40, 52, 56, 108 and 124 bytes; 1, 2, 4, 8, 16, 24 and 32 bits;
// RLE4, RLE8, bit fields; bottom-up or top-down; a colour table or a gap
// before the pixels) turned into the canonical form: a 40-byte header
// (biWidth, positive biHeight, biPlanes 1, biBitCount 24, biCompression 0,
// biSizeImage, the source's resolution and colour counts) and bottom-up
// 24-bit rows. Narrow channels widen by bit replication; an alpha channel in
// use is composited onto white. On kBitmapOk `*pixels` holds ImageSize(info)
// bytes (caller frees with FreeBytes); on kBitmapEmbedded the stream to hand
// to an image decoder is in `detail`. Checks everything against `size`
// before allocating. `detail` may be null.
// `options` may be null for the defaults.
BitmapStatus ParseBitmapAny(const uint8_t* data, size_t size, BITMAPINFOHEADER* info,
                            uint8_t** pixels, BitmapReadDetail* detail,
                            const ReadOptions* options = nullptr);

// A colour sample with its alpha (both 8-bit) laid onto the background's
// sample, rounded to nearest: what a viewer shows on that page.
uint8_t CompositeOn(uint8_t colour, uint8_t alpha, uint8_t background);

// The canonical 40-byte header of a width x height picture (both > 0), or
// false when the picture and the 8-bit file made from it do not fit the
// format's 32-bit sizes.
bool CanonicalInfo(int64_t width, int64_t height, BITMAPINFOHEADER* info);

// Reads everything `f` delivers (a file, a pipe, a FIFO) into one heap block
// of `*size` bytes (caller frees with FreeBytes), growing it as data comes
// and refusing input past the format's 32-bit file size. Null on failure,
// with detail->status kBitmapReadError, kBitmapNoMemory or kBitmapTooLarge.
uint8_t* ReadWholeStream(FILE* f, size_t* size, BitmapReadDetail* detail);

}  // namespace bmp256
