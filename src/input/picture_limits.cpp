// CanonicalInfo and WithinAreaLimit: the header every picture ends in, and
// the limit on what a compressed one may claim.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "input/input.h"

namespace bmp256 {

bool CanonicalInfo(int64_t width, int64_t height, BITMAPINFOHEADER* info) {
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return false;
    std::memset(info, 0, sizeof *info);
    info->biSize = kInfoHeaderSize;
    info->biWidth = static_cast<int32_t>(width);
    info->biHeight = static_cast<int32_t>(height);
    info->biPlanes = 1;
    info->biBitCount = 24;
    // Both the source and the 8-bit file written from it keep 32-bit sizes.
    int64_t imageBytes = ImageSize64(info);
    if (kHeadersSize + imageBytes > INT32_MAX || Bitmap8FileSize64(info) > INT32_MAX) return false;
    info->biSizeImage = static_cast<uint32_t>(imageBytes);
    return true;
}

bool WithinAreaLimit(uint64_t width, uint64_t height, uint64_t maxPixels, const char* what,
                     char* reason, size_t capacity) {
    const uint64_t limit = maxPixels ? maxPixels : kDefaultMaxPixels;
    if (width * height <= limit) return true;  // both below 2^32: no overflow
    std::snprintf(reason, capacity,
                  "the %s claims %" PRIu64 " x %" PRIu64 " pixels, more than the limit of %" PRIu64
                  " megapixels for compressed pictures (--max-megapixels raises it)",
                  what, width, height, limit / 1000000);
    return false;
}

}  // namespace bmp256
