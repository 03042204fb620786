#include "util/file_io.h"

#include <cerrno>

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

#ifdef BMP256_TEST_HOOKS
long SetWriteFailureAt(long n) { return SetFailureAt(&g_writes, n); }
#endif

}  // namespace bmp256
