// BMP size arithmetic. The 64-bit forms are exact for every header
// a file can hold; the 32-bit forms the format defines are those truncated,
// which is the same value for every header the reader accepts.
#include "bitmap/bitmap.h"

namespace bmp256 {

namespace {

constexpr int64_t kColourTableEntryBytes = 4;  // one RGBQUAD

// Bytes of one row brought up to a multiple of 4, for any depth and width.
// |biBitCount * biWidth| < 2^16 * 2^31, far inside 64 bits.
int64_t StrideFor(int64_t bitCount, int64_t width) {
    int64_t bytes = bitCount * width / 8;  // truncates toward zero
    return (bytes + 3) & ~int64_t{3};
}

}  // namespace

int64_t RowStride64(const BITMAPINFOHEADER* info) {
    return StrideFor(info->biBitCount, info->biWidth);
}

int64_t ImageSize64(const BITMAPINFOHEADER* info) {
    // The stride reaches 2^44 (65535 bits x 2^31 pixels), the height 2^31, so
    // the product can pass 2^63; it saturates at +-2^62 instead, a value that
    // every size check refuses just as it refuses the true one.
    const int64_t kSaturated = int64_t{1} << 62;
    int64_t stride = RowStride64(info);
    int64_t height = info->biHeight;  // in 64 bits even INT32_MIN negates safely
    if (stride != 0 && height != 0) {
        int64_t absStride = stride < 0 ? -stride : stride;
        int64_t absHeight = height < 0 ? -height : height;
        if (absStride > kSaturated / absHeight) {
            return (stride < 0) == (height < 0) ? kSaturated : -kSaturated;
        }
    }
    return stride * height;
}

int64_t Bitmap8FileSize64(const BITMAPINFOHEADER* info) {
    BITMAPINFOHEADER eight = *info;
    eight.biBitCount = 8;
    return PixelDataOffset(&eight) + ImageSize64(&eight);
}

int32_t RowStride(const BITMAPINFOHEADER* info) {
    return static_cast<int32_t>(RowStride64(info));
}

int32_t ImageSize(const BITMAPINFOHEADER* info) {
    return static_cast<int32_t>(ImageSize64(info));
}

int32_t PaletteEntryCount(const BITMAPINFOHEADER* info) {
    switch (info->biBitCount) {
        case 1: return 2;
        case 2: return 4;
        case 4: return 16;
        case 8: return 256;
        case 16:
        case 24:
        case 32: return 0;
        default: return -1;
    }
}

int32_t PixelDataOffset(const BITMAPINFOHEADER* info) {
    return static_cast<int32_t>(kHeadersSize + kColourTableEntryBytes * PaletteEntryCount(info));
}

void FillFileHeader(BITMAPFILEHEADER* file, const BITMAPINFOHEADER* info) {
    file->bfType = kBitmapSignature;
    file->bfSize = static_cast<uint32_t>(int64_t{ImageSize(info)} + PixelDataOffset(info));
    file->bfReserved1 = 0;
    file->bfReserved2 = 0;
    file->bfOffBits = static_cast<uint32_t>(PixelDataOffset(info));
}

}  // namespace bmp256
