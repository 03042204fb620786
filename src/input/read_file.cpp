// ReadBitmap24Ex / ReadBitmap24: the file layer around the acceptance gate.
// The real file length is known before anything is allocated, and the pixel
// array moves in one read.
#include <cerrno>
#include <cstdio>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "platform/alloc.h"

namespace bmp256 {

namespace {

// Length of an open file, or -1 (errno set) when it cannot be had, for
// example for a pipe.
int64_t FileLength(FILE* f) {
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
    int64_t length = _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    int64_t length = ftello(f);
#endif
    return length;
}

int SeekTo(FILE* f, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<int64_t>(offset), SEEK_SET);
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

uint8_t* Fail(BitmapReadDetail* detail, BitmapStatus status, int error) {
    detail->status = status;
    detail->systemError = error;
    return nullptr;
}

}  // namespace

uint8_t* ReadBitmap24Ex(const char* path, BITMAPINFOHEADER* info, BitmapReadDetail* detail) {
    BitmapReadDetail local;
    if (!detail) detail = &local;
    *detail = BitmapReadDetail{};

    FILE* f = std::fopen(path, "rb");
    if (!f) return Fail(detail, kBitmapCannotOpen, errno);

    uint8_t* pixels = nullptr;
    uint8_t head[kHeadersSize];
    uint64_t offset = 0;
    size_t headBytes = std::fread(head, 1, sizeof head, f);
    int64_t length = -1;
    if (headBytes < sizeof head && std::ferror(f)) {
        Fail(detail, kBitmapReadError, errno);  // a directory, an I/O error
    } else if ((length = FileLength(f)) < 0) {
        Fail(detail, kBitmapReadError, errno);  // not a seekable file
    } else if (CheckBitmap24Headers(head, headBytes, static_cast<uint64_t>(length), info, &offset,
                                    detail) == kBitmapOk) {
        size_t bytes = static_cast<size_t>(ImageSize(info));  // checked: 0 < bytes < 2^31
        pixels = static_cast<uint8_t*>(AllocateBytes(bytes));
        if (!pixels) {
            Fail(detail, kBitmapNoMemory, 0);
        } else if (SeekTo(f, offset) != 0) {
            Fail(detail, kBitmapReadError, errno);
        } else {
            size_t got = std::fread(pixels, 1, bytes, f);
            if (got != bytes) {
                // The file shrank after it was measured, or the read failed.
                if (std::ferror(f)) {
                    Fail(detail, kBitmapReadError, errno);
                } else {
                    Fail(detail, kBitmapShortPixels, 0);
                    detail->missingBytes = bytes - got;
                }
            }
        }
        if (detail->status != kBitmapOk) {
            FreeBytes(pixels);
            pixels = nullptr;
        }
    }
    std::fclose(f);  // read-only: nothing to lose on close
    return pixels;
}

uint8_t* ReadBitmap24(const char* path, BITMAPINFOHEADER* info) {
    return ReadBitmap24Ex(path, info, nullptr);
}

}  // namespace bmp256
