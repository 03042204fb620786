// The desktop program's temporary file on Windows: beside the executable,
// held under LockTemporaryFile's mutex from the conversion through the copy.
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "platform/platform.h"

namespace {

struct HeldFile {
    HANDLE lock;
    int fd;
    bool created;  // no file of an earlier run was there
    char path[MAX_PATH];
};

}  // namespace

HANDLE HoldTemporaryFile(LPSTR path) {
    if (path == NULL) return NULL;
    HANDLE lock = LockTemporaryFile(path);
    if (lock == NULL) return NULL;
    const int flags = _O_RDWR | _O_BINARY | _O_NOINHERIT;
    int fd = _open(path, flags | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
    const bool created = fd >= 0;
    if (fd < 0) fd = _open(path, flags);
    HeldFile* held = fd < 0 ? NULL : static_cast<HeldFile*>(calloc(1, sizeof(HeldFile)));
    if (held == NULL) {
        if (fd >= 0) _close(fd);
        UnlockTemporaryFile(lock);
        return NULL;
    }
    held->lock = lock;
    held->fd = fd;
    held->created = created;
    strcpy(held->path, path);
    return held;
}

int TemporaryFileDescriptor(HANDLE file) {
    return file == NULL ? -1 : static_cast<HeldFile*>(file)->fd;
}

void ReleaseTemporaryFile(HANDLE file, BOOL complete, BOOL written) {
    if (file == NULL) return;
    HeldFile* held = static_cast<HeldFile*>(file);
    _close(held->fd);
    // A half-written file goes, and so does an empty one this run made.
    if (!complete && (written || held->created)) _unlink(held->path);
    UnlockTemporaryFile(held->lock);
    free(held);
}
