// WriteBitmap8: the 8-bit BMP in four writes (file header, info header,
// colour table, index rows), each field put little-endian. A short write or a
// failed close is a failure, and the incomplete file is removed, so that no
// caller ever copies or renames a truncated result.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "bitmap/bitmap.h"
#include "util/file_io.h"

namespace bmp256 {

namespace {

constexpr int kEntryBytes = 4;                            // blue, green, red, 0
constexpr int kMaxTableBytes = kPaletteSize * kEntryBytes;  // 1024 for 8 bits
constexpr int64_t kMaxFileBytes = INT32_MAX;              // bfSize is 32-bit signed in practice

bool WriteAll(FILE* f, const void* data, size_t bytes) {
    return bytes == 0 || WriteToFile(data, bytes, f) == bytes;
}

}  // namespace

int WriteBitmap8(const char* path, const uint8_t* indices, const PaletteEntry* palette,
                 const BITMAPINFOHEADER* info) {
    // What the header describes must be writable at all: a known depth, a
    // non-negative image that fits the format's sizes, and the data for it.
    int32_t entries = PaletteEntryCount(info);
    int64_t imageBytes = ImageSize64(info);
    if (entries < 0 || entries > kPaletteSize || imageBytes < 0 ||
        PixelDataOffset(info) + imageBytes > kMaxFileBytes || (imageBytes > 0 && !indices) ||
        (entries > 0 && !palette)) {
        errno = EINVAL;
        return 0;
    }

    uint8_t fileBytes[kFileHeaderSize];
    uint8_t infoBytes[kInfoHeaderSize];
    uint8_t tableBytes[kMaxTableBytes];
    BITMAPFILEHEADER file;
    FillFileHeader(&file, info);
    EncodeFileHeader(&file, fileBytes);
    EncodeInfoHeader(info, infoBytes);
    for (int32_t i = 0; i < entries; ++i) {
        tableBytes[i * kEntryBytes + 0] = palette[i].blue;
        tableBytes[i * kEntryBytes + 1] = palette[i].green;
        tableBytes[i * kEntryBytes + 2] = palette[i].red;
        tableBytes[i * kEntryBytes + 3] = palette[i].reserved;
    }

    FILE* f = std::fopen(path, "wb");
    if (!f) return 0;  // errno from fopen
    // Only a regular file that this call emptied may be removed on failure:
    // never a device such as /dev/full, nor whatever a path names otherwise.
    struct stat st;
    bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);

    bool ok = WriteAll(f, fileBytes, sizeof fileBytes) &&
              WriteAll(f, infoBytes, sizeof infoBytes) &&
              WriteAll(f, tableBytes, static_cast<size_t>(entries) * kEntryBytes) &&
              WriteAll(f, indices, static_cast<size_t>(imageBytes));
    int error = ok ? 0 : errno;
    if (CloseWrittenFile(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) return 1;
    if (error == 0) error = EIO;
    if (regular) std::remove(path);
    errno = error;
    return 0;
}

}  // namespace bmp256
