// OrientPicture: the eight EXIF orientations as index arithmetic on the
// canonical bottom-up rows; exact, so a turned picture has the same samples.
#include "input/orientation.h"

#include <cstring>

#include "input/input.h"
#include "platform/alloc.h"

namespace bmp256 {

namespace {

// Where the shown pixel (x, y), counted from the top left of the shown
// picture, is stored, counted from the top left of the stored picture.
void StoredPosition(int orientation, int32_t x, int32_t y, int32_t width, int32_t height,
                    int32_t* sx, int32_t* sy) {
    switch (orientation) {
        case 2: *sx = width - 1 - x; *sy = y; break;
        case 3: *sx = width - 1 - x; *sy = height - 1 - y; break;
        case 4: *sx = x; *sy = height - 1 - y; break;
        case 5: *sx = y; *sy = x; break;
        case 6: *sx = y; *sy = height - 1 - x; break;
        case 7: *sx = width - 1 - y; *sy = height - 1 - x; break;
        case 8: *sx = width - 1 - y; *sy = x; break;
        default: *sx = x; *sy = y; break;
    }
}

}  // namespace

bool OrientPicture(int orientation, BITMAPINFOHEADER* info, uint8_t** pixels) {
    if (orientation < 2 || orientation > 8) return true;
    const int32_t width = info->biWidth, height = info->biHeight;
    const bool swap = orientation >= 5;
    BITMAPINFOHEADER turned;
    // Width and height swap, so the sizes stay within what was checked.
    if (!CanonicalInfo(swap ? height : width, swap ? width : height, &turned)) return false;
    turned.biXPelsPerMeter = swap ? info->biYPelsPerMeter : info->biXPelsPerMeter;
    turned.biYPelsPerMeter = swap ? info->biXPelsPerMeter : info->biYPelsPerMeter;
    turned.biClrUsed = info->biClrUsed;
    turned.biClrImportant = info->biClrImportant;
    uint8_t* out = static_cast<uint8_t*>(AllocateZeroed(1, size_t(turned.biSizeImage)));
    if (!out) return false;
    const size_t inStride = size_t(RowStride(info));
    const size_t outStride = size_t(RowStride(&turned));
    for (int32_t y = 0; y < turned.biHeight; ++y) {
        uint8_t* o = out + size_t(turned.biHeight - 1 - y) * outStride;
        for (int32_t x = 0; x < turned.biWidth; ++x, o += 3) {
            int32_t sx, sy;
            StoredPosition(orientation, x, y, width, height, &sx, &sy);
            std::memcpy(o, *pixels + size_t(height - 1 - sy) * inStride + 3 * size_t(sx), 3);
        }
    }
    FreeBytes(*pixels);
    *pixels = out;
    *info = turned;
    return true;
}

int32_t PelsPerMeter(uint64_t numerator, uint64_t denominator, bool perCentimetre) {
    if (numerator == 0 || denominator == 0 || numerator > UINT32_MAX || denominator > UINT32_MAX) {
        return 0;
    }
    // 25,400 dots per inch is far past any real resolution.
    const uint64_t perMetre = perCentimetre
                                  ? (numerator * 100 + denominator / 2) / denominator
                                  : (numerator * 5000 + denominator * 127 / 2) / (denominator * 127);
    return perMetre > 0 && perMetre <= 1000000 ? int32_t(perMetre) : 0;
}

}  // namespace bmp256
