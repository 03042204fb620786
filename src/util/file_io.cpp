#include "util/file_io.h"

#include <cerrno>

namespace bmp256 {

namespace {
#ifdef BMP256_TEST_HOOKS
long g_failAt = 0;   // 0: never fail
long g_counted = 0;  // writes and closes since the hook was last set

bool ShouldFail() {
    ++g_counted;
    return g_failAt > 0 && g_counted >= g_failAt;
}
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
long SetWriteFailureAt(long n) {
    long made = g_counted;
    g_failAt = n;
    g_counted = 0;
    return made;
}
#endif

}  // namespace bmp256
