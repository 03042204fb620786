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

namespace {

// The four parts of the file, encoded; false (errno EINVAL) for a header that
// describes nothing writable: an unknown depth, a negative image, sizes past
// the format's, or missing data.
struct Encoded {
    uint8_t file[kFileHeaderSize];
    uint8_t info[kInfoHeaderSize];
    uint8_t table[kMaxTableBytes];
    size_t tableBytes;
    size_t imageBytes;
};

bool Encode(const uint8_t* indices, const PaletteEntry* palette, const BITMAPINFOHEADER* info,
            Encoded* e) {
    int32_t entries = PaletteEntryCount(info);
    int64_t imageBytes = ImageSize64(info);
    if (entries < 0 || entries > kPaletteSize || imageBytes < 0 ||
        PixelDataOffset(info) + imageBytes > kMaxFileBytes || (imageBytes > 0 && !indices) ||
        (entries > 0 && !palette)) {
        errno = EINVAL;
        return false;
    }
    BITMAPFILEHEADER file;
    FillFileHeader(&file, info);
    EncodeFileHeader(&file, e->file);
    EncodeInfoHeader(info, e->info);
    for (int32_t i = 0; i < entries; ++i) {
        e->table[i * kEntryBytes + 0] = palette[i].blue;
        e->table[i * kEntryBytes + 1] = palette[i].green;
        e->table[i * kEntryBytes + 2] = palette[i].red;
        e->table[i * kEntryBytes + 3] = palette[i].reserved;
    }
    e->tableBytes = static_cast<size_t>(entries) * kEntryBytes;
    e->imageBytes = static_cast<size_t>(imageBytes);
    return true;
}

bool WriteEncoded(FILE* f, const Encoded& e, const uint8_t* indices) {
    return WriteAll(f, e.file, sizeof e.file) && WriteAll(f, e.info, sizeof e.info) &&
           WriteAll(f, e.table, e.tableBytes) && WriteAll(f, indices, e.imageBytes);
}

}  // namespace

int WriteBitmap8(const char* path, const uint8_t* indices, const PaletteEntry* palette,
                 const BITMAPINFOHEADER* info) {
    Encoded e;
    if (!Encode(indices, palette, info, &e)) return 0;

    FILE* f = std::fopen(path, "wb");
    if (!f) return 0;  // errno from fopen
    // Only a regular file that this call emptied may be removed on failure:
    // never a device such as /dev/full, nor whatever a path names otherwise.
    struct stat st;
    bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);

    bool ok = WriteEncoded(f, e, indices);
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

int WriteBitmap8ToStream(FILE* f, const uint8_t* indices, const PaletteEntry* palette,
                         const BITMAPINFOHEADER* info) {
    Encoded e;
    if (!Encode(indices, palette, info, &e)) return 0;
    errno = 0;
    if (WriteEncoded(f, e, indices) && std::fflush(f) == 0) return 1;
    if (errno == 0) errno = EIO;
    return 0;
}

}  // namespace bmp256
