#include "platform/file_io.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "util/test_hooks.h"

namespace bmp256 {

namespace {
#ifdef BMP256_TEST_HOOKS
FailureCounter g_writes = {0, 0};

bool ShouldFail() { return CountCall(&g_writes); }
#else
inline bool ShouldFail() { return false; }
#endif
}  // namespace

size_t WriteToFile(const void* data, size_t size, FILE* file) {
    if (ShouldFail()) {
        // A full disk takes what fits: leave a partial write behind, as it would.
        size_t written = size > 1 ? std::fwrite(data, 1, size / 2, file) : 0;
        errno = ENOSPC;
        return written;
    }
    return std::fwrite(data, 1, size, file);
}

int CloseWrittenFile(FILE* file) {
    bool fail = ShouldFail();
    int result = std::fclose(file);
    if (fail) {
        errno = ENOSPC;
        return EOF;
    }
    return result;
}

namespace {
bool WriteAllTo(int fd, const char* data, size_t size) {
    while (size > 0) {
#ifdef _WIN32
        const unsigned chunk = size > 0x40000000u ? 0x40000000u : unsigned(size);
        const int written = _write(fd, data, chunk);
#else
        const ssize_t written = write(fd, data, size);
#endif
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}
}  // namespace

int WriteToDescriptor(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    if (ShouldFail()) {
        if (size > 1) WriteAllTo(fd, bytes, size / 2);
        errno = ENOSPC;
        return 0;
    }
    return WriteAllTo(fd, bytes, size) ? 1 : 0;
}

int CloseWrittenDescriptor(int fd) {
    bool fail = ShouldFail();
#ifdef _WIN32
    int result = _close(fd);
#else
    int result = close(fd);
#endif
    if (fail) {
        errno = ENOSPC;
        return -1;
    }
    return result;
}

#ifdef BMP256_TEST_HOOKS
long SetWriteFailureAt(long n) { return SetFailureAt(&g_writes, n); }
#endif

}  // namespace bmp256
