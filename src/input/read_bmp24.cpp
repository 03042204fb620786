// ParseBitmap24: the acceptance gate on a BMP held in memory.
#include <cstring>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "platform/alloc.h"

namespace bmp256 {

uint8_t* ParseBitmap24(const uint8_t* data, size_t size, BITMAPINFOHEADER* info,
                       BitmapReadDetail* detail) {
    BitmapReadDetail local;
    if (!detail) detail = &local;
    uint64_t offset = 0;
    if (CheckBitmap24Headers(data, size, size, info, &offset, detail) != kBitmapOk) return nullptr;

    size_t bytes = static_cast<size_t>(ImageSize(info));  // checked: 0 < bytes < 2^31
    uint8_t* pixels = static_cast<uint8_t*>(AllocateBytes(bytes));
    if (!pixels) {
        detail->status = kBitmapNoMemory;
        return nullptr;
    }
    std::memcpy(pixels, data + offset, bytes);
    return pixels;
}

}  // namespace bmp256
