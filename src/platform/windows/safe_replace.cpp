// The Windows half of SafeReplaceFile.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <cerrno>

#include "platform/replace_system.h"

namespace bmp256 {
namespace replace {

namespace {

int ErrnoOfLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

}  // namespace

// A signal handler runs on a thread of its own here and never interrupts a
// creation half-way.
void HoldCreation() {}
void EndCreation() {}

unsigned NewFileMode() { return 0666; }

uint64_t ProcessBits() { return uint64_t(_getpid()) << 32; }

std::string FollowLink(const char* target) { return target; }

int CreateExclusive(const char* path, std::atomic<int>* state, int live) {
    int fd = _open(path, _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
    if (fd >= 0) state->store(live);
    return fd;
}

bool Settle(int fd, unsigned) { return _commit(fd) == 0; }

bool StillAt(const struct stat&, const char*) { return true; }

bool Install(const char* temp, const char* target, bool replace) {
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExA(temp, target, flags)) return true;
    errno = ErrnoOfLastError();
    return false;
}

void Remove(const char* path) { _unlink(path); }

}  // namespace replace
}  // namespace bmp256
