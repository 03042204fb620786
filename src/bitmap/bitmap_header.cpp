// The two BMP headers, byte-exact little-endian, and the one acceptance gate
// that both the buffer parser and the file reader go through.
#include <cstring>

#include "bitmap/bitmap.h"

namespace bmp256 {

namespace {

// Limits of the gate, each with its reason.
constexpr uint32_t kRequiredInfoSize = 40;   // BITMAPINFOHEADER; core/V4/V5 are refused
constexpr uint16_t kRequiredBitCount = 24;   // the only depth the converter reads
constexpr int64_t kMaxFileBytes = INT32_MAX;  // every size the format holds is 32-bit signed
constexpr int kInfoSizeEnd = kFileHeaderSize + 4;  // bytes needed to know biSize

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t GetSigned32(const uint8_t* p) { return static_cast<int32_t>(Get32(p)); }

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

BitmapStatus Finish(BitmapReadDetail* detail, BitmapStatus status) {
    if (detail) detail->status = status;
    return status;
}

}  // namespace

void DecodeFileHeader(const uint8_t* b, BITMAPFILEHEADER* file) {
    file->bfType = Get16(b + 0);
    file->bfSize = Get32(b + 2);
    file->bfReserved1 = Get16(b + 6);
    file->bfReserved2 = Get16(b + 8);
    file->bfOffBits = Get32(b + 10);
}

void DecodeInfoHeader(const uint8_t* b, BITMAPINFOHEADER* info) {
    info->biSize = Get32(b + 0);
    info->biWidth = GetSigned32(b + 4);
    info->biHeight = GetSigned32(b + 8);
    info->biPlanes = Get16(b + 12);
    info->biBitCount = Get16(b + 14);
    info->biCompression = Get32(b + 16);
    info->biSizeImage = Get32(b + 20);
    info->biXPelsPerMeter = GetSigned32(b + 24);
    info->biYPelsPerMeter = GetSigned32(b + 28);
    info->biClrUsed = Get32(b + 32);
    info->biClrImportant = Get32(b + 36);
}

void EncodeFileHeader(const BITMAPFILEHEADER* file, uint8_t* b) {
    Put16(b + 0, file->bfType);
    Put32(b + 2, file->bfSize);
    Put16(b + 6, file->bfReserved1);
    Put16(b + 8, file->bfReserved2);
    Put32(b + 10, file->bfOffBits);
}

void EncodeInfoHeader(const BITMAPINFOHEADER* info, uint8_t* b) {
    Put32(b + 0, info->biSize);
    Put32(b + 4, static_cast<uint32_t>(info->biWidth));
    Put32(b + 8, static_cast<uint32_t>(info->biHeight));
    Put16(b + 12, info->biPlanes);
    Put16(b + 14, info->biBitCount);
    Put32(b + 16, info->biCompression);
    Put32(b + 20, info->biSizeImage);
    Put32(b + 24, static_cast<uint32_t>(info->biXPelsPerMeter));
    Put32(b + 28, static_cast<uint32_t>(info->biYPelsPerMeter));
    Put32(b + 32, info->biClrUsed);
    Put32(b + 36, info->biClrImportant);
}

BitmapStatus CheckBitmap24Headers(const uint8_t* head, size_t headBytes, uint64_t fileSize,
                                  BITMAPINFOHEADER* info, uint64_t* pixelOffset,
                                  BitmapReadDetail* detail) {
    if (detail) std::memset(detail, 0, sizeof *detail);
    if (headBytes > static_cast<size_t>(kHeadersSize)) headBytes = kHeadersSize;
    if (headBytes > fileSize) headBytes = static_cast<size_t>(fileSize);

    // The headers as far as the file has them, zeros past its end.
    uint8_t bytes[kHeadersSize] = {};
    if (headBytes > 0) std::memcpy(bytes, head, headBytes);
    BITMAPFILEHEADER file;
    DecodeFileHeader(bytes, &file);
    bool infoPresent = headBytes > static_cast<size_t>(kFileHeaderSize);
    if (infoPresent) DecodeInfoHeader(bytes + kFileHeaderSize, info);
    if (detail && infoPresent) {
        detail->headerSize = info->biSize;
        detail->bitCount = info->biBitCount;
        detail->width = info->biWidth;
        detail->height = info->biHeight;
    }

    // The gate: every refusal, in order, before anything is allocated.
    if (headBytes < 2 || file.bfType != kBitmapSignature) return Finish(detail, kBitmapNotBmp);
    if (headBytes >= static_cast<size_t>(kInfoSizeEnd) && info->biSize != kRequiredInfoSize) {
        return Finish(detail, kBitmapHeaderSize);
    }
    if (headBytes < static_cast<size_t>(kHeadersSize)) {
        if (detail) detail->missingBytes = kHeadersSize - headBytes;
        return Finish(detail, kBitmapShortHeader);
    }
    if (info->biBitCount != kRequiredBitCount) return Finish(detail, kBitmapBitCount);
    // Compressed data read as raw rows would be a wrong picture passed off as
    // a conversion.
    if (info->biCompression != 0) {
        if (detail) detail->compression = info->biCompression;
        return Finish(detail, kBitmapCompressed);
    }
    if (info->biHeight < 0) return Finish(detail, kBitmapTopDown);
    if (info->biWidth <= 0 || info->biHeight == 0) return Finish(detail, kBitmapBadDimensions);
    // The source file, and the 8-bit file written from it, must both fit the
    // format's 32-bit signed sizes; ImageSize64 cannot overflow.
    int64_t imageBytes = ImageSize64(info);
    if (kHeadersSize + imageBytes > kMaxFileBytes || Bitmap8FileSize64(info) > kMaxFileBytes) {
        return Finish(detail, kBitmapTooLarge);
    }
    // bfOffBits is honoured when it points past the headers (a colour table
    // or a gap before the pixels); one inside the headers means 54.
    uint64_t offset = file.bfOffBits >= static_cast<uint32_t>(kHeadersSize)
                          ? file.bfOffBits
                          : static_cast<uint64_t>(kHeadersSize);
    uint64_t needed = offset + static_cast<uint64_t>(imageBytes);  // < 2^33
    if (fileSize < needed) {
        if (detail) detail->missingBytes = needed - fileSize;
        return Finish(detail, kBitmapShortPixels);
    }
    if (pixelOffset) *pixelOffset = offset;
    return Finish(detail, kBitmapOk);
}

}  // namespace bmp256
