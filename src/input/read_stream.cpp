// ReadWholeStream and CanonicalInfo: the whole source in memory, whatever
// kind of file delivers it, and the header every decoded picture ends in.
#include <cerrno>
#include <cstring>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "platform/alloc.h"

namespace bmp256 {

namespace {

constexpr size_t kMaxInputBytes = INT32_MAX;  // no BMP, and no source we convert, is larger
constexpr size_t kFirstBlock = size_t{1} << 16;

uint8_t* Refuse(BitmapReadDetail* detail, BitmapStatus status, int error, uint8_t* block) {
    FreeBytes(block);
    detail->status = status;
    detail->systemError = error;
    return nullptr;
}

}  // namespace

uint8_t* ReadWholeStream(FILE* f, size_t* size, BitmapReadDetail* detail) {
    BitmapReadDetail local;
    if (!detail) detail = &local;
    *detail = BitmapReadDetail{};
    *size = 0;
    size_t capacity = kFirstBlock;
    uint8_t* data = static_cast<uint8_t*>(AllocateBytes(capacity));
    if (!data) return Refuse(detail, kBitmapNoMemory, 0, nullptr);
    size_t used = 0;
    for (;;) {
        if (used == capacity) {
            if (capacity > kMaxInputBytes) return Refuse(detail, kBitmapTooLarge, 0, data);
            // One byte past the limit is enough to know the input is too large.
            size_t grown = capacity * 2 > kMaxInputBytes + 1 ? kMaxInputBytes + 1 : capacity * 2;
            uint8_t* bigger = static_cast<uint8_t*>(AllocateBytes(grown));
            if (!bigger) return Refuse(detail, kBitmapNoMemory, 0, data);
            std::memcpy(bigger, data, used);
            FreeBytes(data);
            data = bigger;
            capacity = grown;
        }
        size_t got = std::fread(data + used, 1, capacity - used, f);
        used += got;
        if (got == 0 || used < capacity) {
            if (std::ferror(f)) return Refuse(detail, kBitmapReadError, errno, data);
            if (std::feof(f)) break;
        }
    }
    if (used > kMaxInputBytes) return Refuse(detail, kBitmapTooLarge, 0, data);
    *size = used;
    return data;
}

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

}  // namespace bmp256
