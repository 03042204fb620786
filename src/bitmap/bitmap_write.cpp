// The 8-bit BMP in four writes (file header, info header, colour table, index
// rows), each field put little-endian, to a path or an open descriptor. On a
// path a short write or a failed close is a failure and the incomplete file
// is removed, so that no caller ever copies or renames a truncated result.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "bitmap/bitmap.h"
#include "platform/file_io.h"

namespace bmp256 {

namespace {

constexpr int kEntryBytes = 4;                            // blue, green, red, 0
constexpr int kMaxTableBytes = kPaletteSize * kEntryBytes;  // 1024 for 8 bits
constexpr int64_t kMaxFileBytes = INT32_MAX;              // bfSize is 32-bit signed in practice

bool WriteAll(FILE* f, const void* data, size_t bytes) {
    return bytes == 0 || WriteToFile(data, bytes, f) == bytes;
}

// The bytes before the index rows: file header, info header, colour table.
struct Bitmap8Head {
    uint8_t file[kFileHeaderSize];
    uint8_t info[kInfoHeaderSize];
    uint8_t table[kMaxTableBytes];
    size_t tableBytes;
    size_t imageBytes;
};

// What the header describes must be writable at all: a known depth, a
// non-negative image that fits the format's sizes, and the data for it.
bool EncodeHead(const uint8_t* indices, const PaletteEntry* palette, const BITMAPINFOHEADER* info,
                Bitmap8Head* head) {
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
    EncodeFileHeader(&file, head->file);
    EncodeInfoHeader(info, head->info);
    for (int32_t i = 0; i < entries; ++i) {
        head->table[i * kEntryBytes + 0] = palette[i].blue;
        head->table[i * kEntryBytes + 1] = palette[i].green;
        head->table[i * kEntryBytes + 2] = palette[i].red;
        head->table[i * kEntryBytes + 3] = palette[i].reserved;
    }
    head->tableBytes = static_cast<size_t>(entries) * kEntryBytes;
    head->imageBytes = static_cast<size_t>(imageBytes);
    return true;
}

bool WriteAllTo(int fd, const void* data, size_t bytes) {
    return bytes == 0 || WriteToDescriptor(fd, data, bytes) == 1;
}

}  // namespace

int WriteBitmap8ToDescriptor(int fd, const uint8_t* indices, const PaletteEntry* palette,
                             const BITMAPINFOHEADER* info) {
    Bitmap8Head head;
    if (!EncodeHead(indices, palette, info, &head)) return 0;
    return WriteAllTo(fd, head.file, sizeof head.file) && WriteAllTo(fd, head.info, sizeof head.info) &&
           WriteAllTo(fd, head.table, head.tableBytes) && WriteAllTo(fd, indices, head.imageBytes);
}

int WriteBitmap8(const char* path, const uint8_t* indices, const PaletteEntry* palette,
                 const BITMAPINFOHEADER* info) {
    Bitmap8Head head;
    if (!EncodeHead(indices, palette, info, &head)) return 0;

    FILE* f = std::fopen(path, "wb");
    if (!f) return 0;  // errno from fopen
    // Only a regular file that this call emptied may be removed on failure:
    // never a device such as /dev/full, nor whatever a path names otherwise.
    struct stat st;
    bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);

    bool ok = WriteAll(f, head.file, sizeof head.file) && WriteAll(f, head.info, sizeof head.info) &&
              WriteAll(f, head.table, head.tableBytes) && WriteAll(f, indices, head.imageBytes);
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
