// The two BMP headers, byte-exact little-endian.
#include <cstring>

#include "bitmap/bitmap.h"

namespace bmp256 {

namespace {

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

}  // namespace bmp256
