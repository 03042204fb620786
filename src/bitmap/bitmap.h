// BMP files: the two headers, the size arithmetic shared by every stage,
// the 24-bit reader and the 8-bit writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace bmp256 {

// The 14-byte file header. Held in natural alignment in memory; it is read and
// written field by field, little-endian, never as a raw record.
struct BITMAPFILEHEADER {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};

// The 40-byte info header, the record that travels between the stages.
struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

// One colour-table entry, in file order: blue, green, red, then a zero byte.
struct PaletteEntry {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};

constexpr uint16_t kBitmapSignature = 0x4D42;  // "BM"
constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kHeadersSize = kFileHeaderSize + kInfoHeaderSize;  // 54
constexpr int kPaletteSize = 256;

// Size arithmetic of one info header, 32-bit signed as the format defines it.
// Only meaningful for headers the reader accepted (or built by the caller):
// the reader refuses every header for which these would overflow.
int32_t RowStride(const BITMAPINFOHEADER* info);
int32_t ImageSize(const BITMAPINFOHEADER* info);
int32_t PaletteEntryCount(const BITMAPINFOHEADER* info);  // -1 for an unknown depth
int32_t PixelDataOffset(const BITMAPINFOHEADER* info);

// Fills a file header for a file made of the headers, the colour table and the
// pixel array that `info` describes.
void FillFileHeader(BITMAPFILEHEADER* file, const BITMAPINFOHEADER* info);

// The same arithmetic in 64 bits, exact for every header a file can hold
// (no overflow for any 32-bit width, height and bit count). The checks below
// use these; the 32-bit forms above are these truncated.
int64_t RowStride64(const BITMAPINFOHEADER* info);
int64_t ImageSize64(const BITMAPINFOHEADER* info);
// Total length of the 8-bit file written for `info`'s dimensions:
// 1078 + ImageSize of the 8-bit copy of `info`.
int64_t Bitmap8FileSize64(const BITMAPINFOHEADER* info);

// Byte-exact little-endian codecs of the two headers. `bytes` holds 14 (file
// header) or 40 (info header) bytes.
void DecodeFileHeader(const uint8_t* bytes, BITMAPFILEHEADER* file);
void DecodeInfoHeader(const uint8_t* bytes, BITMAPINFOHEADER* info);
void EncodeFileHeader(const BITMAPFILEHEADER* file, uint8_t* bytes);
void EncodeInfoHeader(const BITMAPINFOHEADER* info, uint8_t* bytes);

// Why the reader refused a source. kBitmapOk means accepted.
enum BitmapStatus {
    kBitmapOk = 0,
    kBitmapCannotOpen,      // fopen failed; detail.systemError holds errno
    kBitmapNotBmp,          // shorter than 2 bytes or no "BM" signature
    kBitmapShortHeader,     // ends inside the 54 header bytes
    kBitmapHeaderSize,      // biSize is not 40; detail.headerSize holds it
    kBitmapBitCount,        // biBitCount is not 24; detail.bitCount holds it
    kBitmapTopDown,         // negative biHeight
    kBitmapBadDimensions,   // zero or negative width, zero height
    kBitmapTooLarge,        // image or file size does not fit 32 bits
    kBitmapShortPixels,     // detail.missingBytes short of the pixel array
    kBitmapNoMemory,        // the pixel buffer could not be allocated
    kBitmapReadError,       // an I/O error while reading; detail.systemError holds errno
    kBitmapCompressed,      // biCompression is not 0; detail.compression holds it
    kBitmapForm,            // the wide reader cannot read this form; detail.reason says why
    kBitmapEmbedded,        // a JPEG or PNG stream inside a BMP: detail.embedded*
};

struct BitmapReadDetail {
    BitmapStatus status;
    uint32_t headerSize;
    uint32_t bitCount;
    uint64_t missingBytes;
    int systemError;
    int32_t width;           // biWidth and biHeight once the header is present
    int32_t height;
    uint32_t compression;
    uint64_t embeddedOffset;  // where the embedded stream starts in the file
    uint64_t embeddedSize;    // and its length
    char reason[200];         // plain words for kBitmapForm
};


// Writes an 8-bit BMP: headers, PaletteEntryCount entries of `palette` and
// ImageSize bytes of `indices`. Returns 1 when every byte reached the file and
// it closed cleanly; otherwise 0, with the incomplete file removed and errno
// describing the first failure.
int WriteBitmap8(const char* path, const uint8_t* indices, const PaletteEntry* palette,
                 const BITMAPINFOHEADER* info);

// WriteBitmap8 through an open descriptor, which is left open: for a file
// whose creation and removal the caller owns. Returns 1, or 0 with errno set.
int WriteBitmap8ToDescriptor(int fd, const uint8_t* indices, const PaletteEntry* palette,
                             const BITMAPINFOHEADER* info);

// A plain-words description of a refusal, for the scriptable converter.
// Writes at most `capacity` bytes including the terminator into `out`.
void DescribeBitmapStatus(const BitmapReadDetail* detail, char* out, size_t capacity);

}  // namespace bmp256
