#include "platform/file_system.h"

#include <cerrno>

namespace bmp256 {

int64_t ReadUpTo(int fd, void* buffer, size_t size) {
    char* at = static_cast<char*>(buffer);
    size_t got = 0;
    while (got < size) {
        const int64_t n = ReadSome(fd, at + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += size_t(n);
    }
    return int64_t(got);
}

}  // namespace bmp256
