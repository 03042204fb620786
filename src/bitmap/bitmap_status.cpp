// DescribeBitmapStatus: why the reader refused a source, in plain words.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bitmap/bitmap.h"

namespace bmp256 {

void DescribeBitmapStatus(const BitmapReadDetail* detail, char* out, size_t capacity) {
    if (!out || capacity == 0) return;
    if (!detail) {
        std::snprintf(out, capacity, "unknown reason");
        return;
    }
    const char* system = detail->systemError ? std::strerror(detail->systemError) : "unknown error";
    switch (detail->status) {
        case kBitmapOk:
            std::snprintf(out, capacity, "accepted");
            break;
        case kBitmapCannotOpen:
            std::snprintf(out, capacity, "cannot open: %s", system);
            break;
        case kBitmapNotBmp:
            std::snprintf(out, capacity, "not a BMP file");
            break;
        case kBitmapShortHeader:
            std::snprintf(out, capacity, "the headers are %" PRIu64 " byte%s short",
                          detail->missingBytes, detail->missingBytes == 1 ? "" : "s");
            break;
        case kBitmapHeaderSize:
            std::snprintf(out, capacity, "a %" PRIu32 "-byte header is not supported",
                          detail->headerSize);
            break;
        case kBitmapBitCount:
            std::snprintf(out, capacity, "%" PRIu32 " bit%s per pixel, only 24 can be converted",
                          detail->bitCount, detail->bitCount == 1 ? "" : "s");
            break;
        case kBitmapTopDown:
            std::snprintf(out, capacity, "top-down bitmaps are not supported");
            break;
        case kBitmapBadDimensions:
            if (detail->width < 0) {
                std::snprintf(out, capacity, "a negative width (%" PRId32 ") is not valid",
                              detail->width);
            } else if (detail->height == INT32_MIN) {
                // Top-down by its sign, but with no row count that fits.
                std::snprintf(out, capacity, "the height %" PRId32 " is not valid", detail->height);
            } else {
                std::snprintf(out, capacity, "the image is empty (%" PRId32 " x %" PRId32 " pixels)",
                              detail->width, detail->height);
            }
            break;
        case kBitmapTooLarge:
            std::snprintf(out, capacity, "the image is too large");
            break;
        case kBitmapShortPixels:
            std::snprintf(out, capacity, "the pixel data is %" PRIu64 " byte%s short",
                          detail->missingBytes, detail->missingBytes == 1 ? "" : "s");
            break;
        case kBitmapNoMemory:
            std::snprintf(out, capacity, "not enough memory for the image");
            break;
        case kBitmapReadError:
            std::snprintf(out, capacity, "cannot read: %s", system);
            break;
        case kBitmapCompressed:
            std::snprintf(out, capacity, "compressed 24-bit bitmaps are not supported");
            break;
        case kBitmapForm:
            std::snprintf(out, capacity, "%s", detail->reason);
            break;
        case kBitmapEmbedded:
            std::snprintf(out, capacity, "the %s inside this BMP cannot be read by this build",
                          detail->compression == 4 ? "JPEG" : "PNG");
            break;
        default:
            std::snprintf(out, capacity, "unknown reason");
            break;
    }
}

}  // namespace bmp256
