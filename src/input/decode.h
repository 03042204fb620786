// PNG and JPEG sources, decoded by the system's image libraries into the
// canonical picture the rest of the conversion reads: a 40-byte 24-bit
// header and bottom-up BGR rows. A build without a library still knows the
// format by its signature and says what is missing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap/bitmap.h"
#include "input/input.h"

namespace bmp256 {

enum DecodeStatus {
    kDecodeOk = 0,
    kDecodeUnknown,      // neither PNG nor JPEG
    kDecodeUnavailable,  // the format is known but this build has no decoder for it
    kDecodeFailed,       // damaged, cut short or a form that is not read; reason says which
    kDecodeTooLarge,     // the picture does not fit the format's 32-bit sizes
    kDecodeNoMemory,
};

struct DecodeDetail {
    DecodeStatus status;
    char reason[200];
    int orientation;  // the stream's EXIF orientation, 1 to 8; 0 when it has none
};

// True when `data` starts like a PNG or a JPEG stream.
bool LooksLikePng(const uint8_t* data, size_t size);
bool LooksLikeJpeg(const uint8_t* data, size_t size);

// Decodes a whole PNG or JPEG held in memory. On kDecodeOk `info` is the
// canonical header (the resolution from the stream where it has one) and
// `*pixels` holds ImageSize(info) bytes, which the caller frees with
// FreeBytes. The picture's claimed size is checked against the data before
// anything the size of the picture is allocated. An embedded colour profile
// is converted to sRGB (where the build has Little CMS), then any alpha is
// composited onto the background, rounded to nearest, and the picture is
// turned as its EXIF orientation says (where the build has libexif, unless
// `options` says not to); 16-bit samples are scaled to 8 exactly; JPEG uses
// the accurate integer transform and no dithering, so the bytes are the same
// everywhere. `options` may be null for the defaults.
// A picture larger than `maxPixels` (0: kDefaultMaxPixels) is refused, naming
// the limit, before anything the size of the picture is allocated.
DecodeStatus DecodeImage(const uint8_t* data, size_t size, uint64_t maxPixels,
                         BITMAPINFOHEADER* info, uint8_t** pixels, DecodeDetail* detail,
                         const ReadOptions* options = nullptr);

// True when the first `size` bytes start a PNG or a JPEG that this build
// decodes; else false with kDecodeUnknown, or kDecodeUnavailable and the
// reason, in `detail`.
bool CanDecode(const uint8_t* data, size_t size, DecodeDetail* detail);

// The decoders this build has, for messages: "PNG, JPEG", "PNG", "JPEG" or "".
const char* DecodedFormats();

}  // namespace bmp256
