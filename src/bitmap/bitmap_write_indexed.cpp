// Packing and run-length encoding of index rows. The encoder is greedy and
// fixed: a run of two or more equal pixels is one run record; three or more
// pixels without such a run are one literal group; one or two are runs of 1.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bitmap/write_indexed.h"
#include "platform/alloc.h"
#include "platform/file_io.h"

namespace bmp256 {

namespace {

constexpr int64_t kMaxFileBytes = INT32_MAX;
constexpr int kMaxRecord = 255;

struct Out {
    uint8_t* at;
    void Put(uint8_t b) { *at++ = b; }
};

// Pixels x .. of `row` that repeat row[x] (at most kMaxRecord).
int32_t RunLength(const uint8_t* row, int32_t x, int32_t width) {
    int32_t n = 1;
    while (x + n < width && n < kMaxRecord && row[x + n] == row[x]) ++n;
    return n;
}

// Pixels from x up to the next run of two (at most kMaxRecord).
int32_t LiteralLength(const uint8_t* row, int32_t x, int32_t width) {
    int32_t n = 1;
    while (x + n < width && n < kMaxRecord && !(x + n + 1 < width && row[x + n] == row[x + n + 1])) ++n;
    return n;
}

void EncodeRleRow(const uint8_t* row, int32_t width, bool four, Out* out) {
    int32_t x = 0;
    while (x < width) {
        const int32_t run = RunLength(row, x, width);
        if (run >= 2) {
            out->Put(uint8_t(run));
            out->Put(four ? uint8_t(row[x] << 4 | row[x]) : row[x]);
            x += run;
            continue;
        }
        const int32_t n = LiteralLength(row, x, width);
        if (n < 3) {
            for (int32_t i = 0; i < n; ++i) {
                out->Put(1);
                out->Put(four ? uint8_t(row[x + i] << 4) : row[x + i]);
            }
        } else {
            out->Put(0);
            out->Put(uint8_t(n));
            int32_t bytes = 0;
            if (four) {
                for (int32_t i = 0; i < n; i += 2, ++bytes) {
                    out->Put(uint8_t(row[x + i] << 4 | (i + 1 < n ? row[x + i + 1] : 0)));
                }
            } else {
                for (int32_t i = 0; i < n; ++i, ++bytes) out->Put(row[x + i]);
            }
            if (bytes & 1) out->Put(0);  // literal groups end on a 16-bit boundary
        }
        x += n;
    }
}

void PackRow(const uint8_t* row, int32_t width, int depth, uint8_t* out) {
    const int perByte = 8 / depth;
    for (int32_t x = 0; x < width; ++x) {
        const int shift = 8 - depth * (x % perByte + 1);
        out[x / perByte] |= uint8_t(row[x] << shift);
    }
}

}  // namespace

uint8_t* EncodeIndexedBitmap(const uint8_t* indices, const BITMAPINFOHEADER* info8, const PaletteEntry* palette,
                             const IndexedForm* form, size_t* size) {
    const int depth = form->depth;
    const bool rle = form->rle != 0;
    if (!(depth == 1 || depth == 4 || depth == 8) || (rle && depth == 1) || form->tableCount < 1 ||
        form->tableCount > (1 << depth) || info8->biWidth < 0 || info8->biHeight < 0) {
        errno = EINVAL;
        return nullptr;
    }
    BITMAPINFOHEADER info = *info8;
    info.biBitCount = uint16_t(depth);
    info.biCompression = rle ? (depth == 8 ? 1u : 2u) : 0u;
    info.biClrUsed = form->tableCount == (1 << depth) ? 0u : uint32_t(form->tableCount);
    if (info.biClrImportant > uint32_t(form->tableCount)) info.biClrImportant = 0;
    const int64_t width = info.biWidth, height = info.biHeight;
    const int64_t packedStride = (width * depth + 31) / 32 * 4;
    const int64_t bound = rle ? height * (2 * width + 2) + 2 : packedStride * height;
    const int64_t head = kHeadersSize + 4 * int64_t(form->tableCount);
    if (head + bound > kMaxFileBytes) {
        errno = EINVAL;
        return nullptr;
    }
    uint8_t* file = static_cast<uint8_t*>(AllocateZeroed(size_t(head + bound), 1));
    if (!file) {
        errno = ENOMEM;
        return nullptr;
    }
    const int32_t inStride = RowStride(info8);
    Out out{file + head};
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* row = indices + size_t(y) * size_t(inStride);
        if (rle) {
            EncodeRleRow(row, int32_t(width), depth == 4, &out);
            out.Put(0);
            out.Put(y + 1 == height ? 1 : 0);  // end of line, end of bitmap after the last
        } else if (depth == 8) {
            std::memcpy(out.at, row, size_t(width));
            out.at += packedStride;
        } else {
            PackRow(row, int32_t(width), depth, out.at);
            out.at += packedStride;
        }
    }
    if (rle && height == 0) {
        out.Put(0);
        out.Put(1);
    }
    const int64_t imageBytes = (out.at - file) - head;
    info.biSizeImage = uint32_t(imageBytes);
    BITMAPFILEHEADER fileHeader;
    fileHeader.bfType = kBitmapSignature;
    fileHeader.bfSize = uint32_t(head + imageBytes);
    fileHeader.bfReserved1 = 0;
    fileHeader.bfReserved2 = 0;
    fileHeader.bfOffBits = uint32_t(head);
    EncodeFileHeader(&fileHeader, file);
    EncodeInfoHeader(&info, file + kFileHeaderSize);
    for (int i = 0; i < form->tableCount; ++i) {
        uint8_t* e = file + kHeadersSize + 4 * i;
        e[0] = palette[i].blue;
        e[1] = palette[i].green;
        e[2] = palette[i].red;
        e[3] = 0;
    }
    *size = size_t(head + imageBytes);
    return file;
}

int WriteIndexedBitmap(const char* path, int fd, const uint8_t* indices, const BITMAPINFOHEADER* info8,
                       const PaletteEntry* palette, const IndexedForm* form) {
    size_t size = 0;
    uint8_t* file = EncodeIndexedBitmap(indices, info8, palette, form, &size);
    if (!file) return 0;
    if (!path) {
        const int ok = WriteToDescriptor(fd, file, size);
        const int error = errno;
        FreeBytes(file);
        errno = error;
        return ok;
    }
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        const int error = errno;
        FreeBytes(file);
        errno = error;
        return 0;
    }
    struct stat st;
    const bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    bool ok = WriteToFile(file, size, f) == size;
    int error = ok ? 0 : errno;
    if (CloseWrittenFile(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    FreeBytes(file);
    if (ok) return 1;
    if (regular) std::remove(path);
    errno = error ? error : EIO;
    return 0;
}

}  // namespace bmp256
