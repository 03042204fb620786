// ReadPicture: a source read once. A regular file goes into one block of its
// known length; anything else (a pipe, a FIFO, a terminal) grows a block as
// its data comes. Either way the first bytes are looked at before anything
// large is held, so that a stream that is no image ends at once.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "input/input.h"
#include "input/source.h"
#include "platform/alloc.h"
#include "platform/file_system.h"

namespace bmp256 {

namespace {

// Enough for every signature; a file shorter than this is looked at whole.
constexpr size_t kHeadBytes = 16;
// No source we convert is larger: the format's sizes are 32-bit.
constexpr uint64_t kMaxSourceBytes = INT32_MAX;
constexpr size_t kFirstBlock = size_t{1} << 16;

int CannotRead(InputReport* report, const char* what, int error) {
    return Refused(report, kInputCannotRead, error, "cannot %s: %s", what, std::strerror(error));
}

// The rest of a regular file of `length` bytes, after the `head` already
// read, in one block of its length.
int ReadKnownLength(int fd, const uint8_t* head, size_t headBytes, uint64_t length,
                    uint8_t** data, size_t* size, InputReport* report) {
    if (length > kMaxSourceBytes) return Refused(report, kInputRefused, 0, "the file is too large");
    uint8_t* block = static_cast<uint8_t*>(AllocateUntouched(size_t(length)));
    if (!block) return Refused(report, kInputNoMemory, ENOMEM, "not enough memory to read the file");
    std::memcpy(block, head, headBytes);
    const int64_t got = ReadUpTo(fd, block + headBytes, size_t(length) - headBytes);
    if (got < 0) {
        const int error = errno;
        FreeBytes(block);
        return CannotRead(report, "read", error);
    }
    // A file that shrank since it was measured is what is left of it.
    *data = block;
    *size = headBytes + size_t(got);
    return 1;
}

// Everything a stream delivers, after the `head` already read.
int ReadAsItComes(int fd, const uint8_t* head, size_t headBytes, uint8_t** data, size_t* size,
                  InputReport* report) {
    size_t capacity = kFirstBlock;
    uint8_t* block = static_cast<uint8_t*>(AllocateUntouched(capacity));
    if (!block) return Refused(report, kInputNoMemory, ENOMEM, "not enough memory to read the input");
    std::memcpy(block, head, headBytes);
    size_t used = headBytes;
    for (;;) {
        if (used == capacity) {
            // One byte past the limit is enough to know the input is too large.
            const size_t grown = capacity * 2 > kMaxSourceBytes + 1 ? size_t(kMaxSourceBytes + 1) : capacity * 2;
            uint8_t* bigger = used > kMaxSourceBytes ? nullptr : static_cast<uint8_t*>(AllocateUntouched(grown));
            if (!bigger) {
                FreeBytes(block);
                return used > kMaxSourceBytes
                           ? Refused(report, kInputRefused, 0, "the input is too large")
                           : Refused(report, kInputNoMemory, ENOMEM, "not enough memory to read the input");
            }
            std::memcpy(bigger, block, used);
            FreeBytes(block);
            block = bigger;
            capacity = grown;
        }
        const int64_t got = ReadUpTo(fd, block + used, capacity - used);
        if (got < 0) {
            const int error = errno;
            FreeBytes(block);
            return CannotRead(report, "read", error);
        }
        used += size_t(got);
        if (used < capacity) break;  // the end of the data
    }
    *data = block;
    *size = used;
    return 1;
}

// The head of the source: its first bytes, and whether they start a form
// this build reads.
int ReadHead(int fd, uint8_t* head, size_t* headBytes, InputReport* report) {
    const int64_t got = ReadUpTo(fd, head, kHeadBytes);
    if (got < 0) return CannotRead(report, "read", errno);
    *headBytes = size_t(got);
    return CheckSignature(head, *headBytes, report);
}

int OpenSource(const char* path, int* fd, InputReport* report) {
    if (std::strcmp(path, "-") == 0) {
        SetBinaryMode(0);
        *fd = 0;
        return 1;
    }
    *fd = OpenForReading(path);
    return *fd >= 0 ? 1 : CannotRead(report, "open", errno);
}

void CloseSource(int fd) {
    if (fd != 0) CloseReading(fd);
}

}  // namespace

int ReadPicture(const char* path, uint64_t maxPixels, Picture* picture, InputReport* report,
                const ReadOptions* options) {
    InputReport local;
    if (!report) report = &local;
    std::memset(picture, 0, sizeof *picture);
    int fd = -1;
    if (!OpenSource(path, &fd, report)) return 0;
    const int read = ReadPictureFrom(fd, maxPixels, picture, report, options);
    CloseSource(fd);
    return read;
}

int ReadPictureFrom(int fd, uint64_t maxPixels, Picture* picture, InputReport* report,
                    const ReadOptions* options) {
    InputReport local;
    if (!report) report = &local;
    std::memset(picture, 0, sizeof *picture);
    uint8_t head[kHeadBytes];
    size_t headBytes = 0;
    uint8_t* data = nullptr;
    size_t size = 0;
    const int64_t length = RegularFileLength(fd);
    const bool read = ReadHead(fd, head, &headBytes, report) &&
                      (length >= 0 ? ReadKnownLength(fd, head, headBytes, uint64_t(length), &data,
                                                     &size, report)
                                   : ReadAsItComes(fd, head, headBytes, &data, &size, report));
    if (!read) return 0;
    if (!ParsePicture(data, size, maxPixels, picture, report, options)) {
        FreeBytes(data);
        return 0;
    }
    // A picture used where it lies keeps the bytes read; any other has its
    // own rows, and the bytes read go now.
    if (picture->block) {
        FreeBytes(data);
    } else {
        picture->block = data;
    }
    return 1;
}

int LooksReadable(const char* path, InputReport* report) {
    InputReport local;
    if (!report) report = &local;
    int fd = -1;
    if (!OpenSource(path, &fd, report)) return 0;
    uint8_t head[kHeadBytes];
    size_t headBytes = 0;
    const int readable = ReadHead(fd, head, &headBytes, report);
    CloseSource(fd);
    return readable;
}

uint8_t* ReadBitmap24Ex(const char* path, BITMAPINFOHEADER* info, BitmapReadDetail* detail) {
    InputReport report;
    Picture picture;
    if (!ReadPicture(path, 0, &picture, &report)) {
        if (detail) {
            *detail = BitmapReadDetail{};
            detail->status = report.status == kInputNoMemory ? kBitmapNoMemory : kBitmapForm;
            detail->systemError = report.systemError;
            std::snprintf(detail->reason, sizeof detail->reason, "%.199s", report.reason);
        }
        return nullptr;
    }
    // Rows that lie inside the bytes read move to the front of their block.
    uint8_t* block = static_cast<uint8_t*>(picture.block);
    std::memmove(block, picture.pixels, picture.info.biSizeImage);
    *info = picture.info;
    if (detail) *detail = BitmapReadDetail{};
    return block;
}

uint8_t* ReadBitmap24(const char* path, BITMAPINFOHEADER* info) {
    return ReadBitmap24Ex(path, info, nullptr);
}

}  // namespace bmp256
