// The input layer: a source file or stream turned into the canonical
// picture that the conversion reads (a 40-byte 24-bit header and bottom-up
// BGR rows), by one set of rules for every form and both programs. A
// regular file is read once, at its known length, and a 24-bit picture is
// used where it lies in what was read; a pipe is read as it comes. The first
// bytes must name a form this build reads before anything large is held,
// and nothing the size of the picture is allocated before its header has
// passed the limits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap/bitmap.h"

namespace bmp256 {

// The default limit on the area of a picture whose pixels come compressed
// (PNG, JPEG, run-length BMP): such a file can claim far more than its bytes
// hold. An uncompressed BMP holds every pixel in the file, so its length
// bounds it already.
constexpr uint64_t kDefaultMaxPixels = 179000000;

// How a picture is shown, where bmp256-convert lets it be told; the
// defaults are what viewers show, and what the desktop program reads with.
struct ReadOptions {
    bool autoOrient = true;                   // turn the picture as its EXIF orientation says
    uint8_t background[3] = {255, 255, 255};  // blue, green, red behind transparent parts
};

struct Picture {
    BITMAPINFOHEADER info;  // canonical: 40 bytes, 24 bits, positive height, biSizeImage set
    const uint8_t* pixels;  // ImageSize(info) bytes: bottom-up rows of RowStride(info) bytes
    void* block;            // what FreePicture frees: the bytes read, or the decoded rows
};

enum InputStatus {
    kInputOk = 0,
    kInputRefused,    // not an image this build reads, or damaged: reason says why
    kInputNoMemory,
    kInputCannotRead,  // the source cannot be opened or read; systemError holds errno
};

struct InputReport {
    InputStatus status;
    int systemError;
    char reason[256];  // plain words for a person; empty when read
};

// Reads the picture of the file `path`, or of standard input for "-".
// `maxPixels` limits compressed pictures (0: kDefaultMaxPixels). Returns 1
// with `picture` filled (free it with FreePicture), or 0 with `report`
// saying why and nothing held. `report` and `options` may be null (the
// defaults). The picture is what a viewer shows: turned as its EXIF
// orientation says, its colours converted to sRGB through its ICC profile
// (where the build has libexif and Little CMS), transparency laid onto the
// background.
int ReadPicture(const char* path, uint64_t maxPixels, Picture* picture, InputReport* report,
                const ReadOptions* options = nullptr);

// The same from `fd`, open for reading, which the caller closes: for a
// caller that checks what it opened before anything is read.
int ReadPictureFrom(int fd, uint64_t maxPixels, Picture* picture, InputReport* report,
                    const ReadOptions* options = nullptr);

// The same on bytes held in memory, which must outlive the picture: a
// 24-bit picture may be `data` itself.
int ParsePicture(const uint8_t* data, size_t size, uint64_t maxPixels, Picture* picture,
                 InputReport* report, const ReadOptions* options = nullptr);

// Looks at the first bytes of `path` only: 1 when they start a form this
// build reads, else 0 with the reason in `report` (the same words
// ReadPicture would give). For a program that asks questions before it
// reads the whole file.
int LooksReadable(const char* path, InputReport* report);

// Frees what the picture holds; a zeroed or freed picture is ignored.
void FreePicture(Picture* picture);

// Reads a BMP of any form as ReadPicture does, into one block that the
// caller frees with FreeBytes: ImageSize(info) bytes of canonical rows.
// `detail` (may be null) says why a BMP was refused.
uint8_t* ReadBitmap24Ex(const char* path, BITMAPINFOHEADER* info, BitmapReadDetail* detail);
uint8_t* ReadBitmap24(const char* path, BITMAPINFOHEADER* info);

// The reader of every BMP form (info headers of 12, 16 to 64, 40, 52, 56,
// 108 and 124 bytes; 1, 2, 4, 8, 16, 24 and 32 bits; RLE4, RLE8, bit fields;
// bottom-up or top-down; a colour table or a gap before the pixels) turned
// into the canonical form: a 40-byte header (biWidth, positive biHeight,
// biPlanes 1, biBitCount 24, biCompression 0, biSizeImage, the source's
// resolution; a 24-bit source's colour counts, else 0) and bottom-up 24-bit
// rows. Narrow channels widen by bit replication; an alpha channel in use
// (a 32-bit pixel's fourth byte unless it is 0 everywhere) is composited
// onto the background, and a V5 header's embedded profile is converted to
// sRGB where the build has Little CMS. On kBitmapEmbedded `info` holds the
// BMP's own resolution. On kBitmapOk `*pixels` holds ImageSize(info) bytes (caller frees
// with FreeBytes); on kBitmapEmbedded the stream to hand to an image decoder
// is in `detail`. Checks everything against `size` before allocating, with
// the default area limit. `detail` and `options` may be null.
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

// True when a compressed `width` x `height` picture of the form `what` is
// within `maxPixels` (0: kDefaultMaxPixels); else false with the refusal,
// naming the limit and the option that raises it, in `reason`.
bool WithinAreaLimit(uint64_t width, uint64_t height, uint64_t maxPixels, const char* what,
                     char* reason, size_t capacity);

}  // namespace bmp256
