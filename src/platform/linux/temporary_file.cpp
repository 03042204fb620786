// The desktop program's temporary file on Linux: beside the executable when
// that folder can hold it, else in the user's cache folder, and always opened
// without following a link, so that nobody else's file is ever written
// through its name.
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace {

struct HeldFile {
    HANDLE lock;
    int fd;
    bool created;  // no file of an earlier run was there
    dev_t device;
    ino_t inode;
    char path[MAX_PATH];
};

// The file at `path`, made if missing. A link, a pipe or anything else that
// is not a regular file is refused; O_NONBLOCK keeps a pipe from holding the
// run. Without O_TRUNC: an earlier result stays until the writer replaces it.
int OpenOwnFile(const char* path, bool* created) {
    const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = open(path, flags | O_CREAT | O_EXCL, 0666);
    *created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = open(path, flags);
    if (fd < 0) return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Takes the lock of `path`'s folder and opens the file there; null when
// either fails.
HeldFile* Hold(const char* path) {
    HANDLE lock = LockTemporaryFile(path);
    if (lock == nullptr) return nullptr;
    bool created = false;
    int fd = OpenOwnFile(path, &created);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        if (fd >= 0) close(fd);
        UnlockTemporaryFile(lock);
        return nullptr;
    }
    HeldFile* held = static_cast<HeldFile*>(malloc(sizeof(HeldFile)));
    if (held == nullptr) {
        close(fd);
        if (created) unlink(path);
        UnlockTemporaryFile(lock);
        return nullptr;
    }
    held->lock = lock;
    held->fd = fd;
    held->created = created;
    held->device = info.st_dev;
    held->inode = info.st_ino;
    snprintf(held->path, sizeof held->path, "%s", path);
    return held;
}

// mkdir that accepts a folder already there.
bool MakeFolder(const char* path) {
    if (mkdir(path, 0700) == 0) return true;
    struct stat info;
    return errno == EEXIST && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// The user's cache folder with "/bmp256" added, made if missing.
bool CacheFolder(char* folder, size_t size) {
    // Only an absolute XDG_CACHE_HOME counts; a relative one is to be ignored.
    const char* base = getenv("XDG_CACHE_HOME");
    int written;
    if (base != nullptr && base[0] == '/') {
        written = snprintf(folder, size, "%s", base);
    } else {
        const char* home = getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const struct passwd* user = getpwuid(getuid());
            home = user != nullptr ? user->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] != '/') return false;
        written = snprintf(folder, size, "%s/.cache", home);
    }
    if (written < 0 || static_cast<size_t>(written) >= size || !MakeFolder(folder)) return false;
    size_t length = static_cast<size_t>(written);
    written = snprintf(folder + length, size - length, "/bmp256");
    return written >= 0 && static_cast<size_t>(written) < size - length && MakeFolder(folder);
}

}  // namespace

BOOL IsRegularFile(LPCSTR path) {
    struct stat info;
    return path != nullptr && stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

HANDLE HoldTemporaryFile(LPSTR path, LPSTR access) {
    if (path == nullptr || access == nullptr) return nullptr;
    HeldFile* held = Hold(path);
    if (held == nullptr) {
        // An executable installed system-wide sits in a folder its users
        // cannot write: the same name in the user's cache folder instead.
        const char* slash = strrchr(path, '/');
        const char* name = slash != nullptr ? slash + 1 : path;
        char cached[MAX_PATH];
        if (!CacheFolder(cached, sizeof cached)) return nullptr;
        size_t length = strlen(cached);
        if (length + 1 + strlen(name) >= sizeof cached) return nullptr;
        snprintf(cached + length, sizeof cached - length, "/%s", name);
        held = Hold(cached);
        if (held == nullptr) return nullptr;
        strcpy(path, cached);
    }
    // The writer and the copy reach the file through the descriptor's own
    // link, so a link swapped in under the name later is never followed.
    snprintf(access, MAX_PATH, "/proc/self/fd/%d", held->fd);
    return held;
}

void ReleaseTemporaryFile(HANDLE file, BOOL complete, BOOL written) {
    if (file == nullptr) return;
    HeldFile* held = static_cast<HeldFile*>(file);
    // A half-written file goes, and so does an empty one this run made;
    // only if the name still leads to it.
    struct stat info;
    if (!complete && (written || held->created) && lstat(held->path, &info) == 0 &&
        info.st_dev == held->device && info.st_ino == held->inode) {
        unlink(held->path);
    }
    close(held->fd);
    UnlockTemporaryFile(held->lock);
    free(held);
}
