// The desktop program's temporary file on Linux: in the user's cache folder,
// the place Linux gives such files, and used only where nobody else can
// reach it: the folder must be a real folder of this user that no one else
// may write, the file this user's regular file with one link, and the lock a
// file beside it. No name is followed through a link.
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/platform.h"

namespace {

constexpr char kLockName[] = "bmp256.lock";
// A run holds the lock for one conversion and one copy: seconds. One that
// holds it longer is stuck, and waiting on forever would freeze this run.
constexpr int kLockWaitMilliseconds = 30000;
constexpr int kLockPollMilliseconds = 20;

struct HeldFile {
    int folder;
    int lock;
    int fd;
    bool created;  // no file of an earlier run was there
    dev_t device;
    ino_t inode;
    char name[MAX_PATH];
};

// The user's cache folder: an absolute $XDG_CACHE_HOME (a relative one is
// to be ignored), else ~/.cache.
bool CacheBase(char* base, size_t size) {
    const char* xdg = getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') return snprintf(base, size, "%s", xdg) < int(size);
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const struct passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    return home != nullptr && home[0] == '/' && snprintf(base, size, "%s/.cache", home) < int(size);
}

// A folder or file of ours alone: owned by this user, writable by no one else.
bool OursAlone(const struct stat& info) {
    return info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The folder `path`, made 0700 if missing, opened without following a link
// and used only when it is ours alone.
int OpenOwnFolder(const char* path) {
    if (mkdir(path, 0700) != 0 && errno != EEXIST) return -1;
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info;
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode) || !OursAlone(info))) {
        close(fd);
        return -1;
    }
    return fd;
}

// The file `name` in `folder`, made 0600 if missing, used only when it is
// this user's regular file with one link. Without O_TRUNC: an earlier result
// stays until the writer replaces it.
int OpenOwnFile(int folder, const char* name, bool* created) {
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = openat(folder, name, flags | O_CREAT | O_EXCL, 0600);
    *created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = openat(folder, name, flags);
    struct stat info;
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1 ||
                    !OursAlone(info) || fchmod(fd, 0600) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}

// The lock file's exclusive lock, waited for at most kLockWaitMilliseconds.
int TakeLock(int folder) {
    bool created = false;
    int fd = OpenOwnFile(folder, kLockName, &created);
    if (fd < 0) return -1;
    const struct timespec pause = {0, kLockPollMilliseconds * 1000000L};
    for (int waited = 0; flock(fd, LOCK_EX | LOCK_NB) != 0; waited += kLockPollMilliseconds) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitMilliseconds) {
            close(fd);
            return -1;
        }
        nanosleep(&pause, nullptr);
    }
    return fd;
}

HeldFile* Hold(int folder, const char* name) {
    HeldFile* held = static_cast<HeldFile*>(calloc(1, sizeof(HeldFile)));
    if (held == nullptr) return nullptr;
    held->folder = folder;
    held->lock = TakeLock(folder);
    held->fd = held->lock < 0 ? -1 : OpenOwnFile(folder, name, &held->created);
    struct stat info;
    if (held->fd < 0 || fstat(held->fd, &info) != 0) {
        if (held->fd >= 0) close(held->fd);
        if (held->lock >= 0) close(held->lock);
        free(held);
        return nullptr;
    }
    held->device = info.st_dev;
    held->inode = info.st_ino;
    snprintf(held->name, sizeof held->name, "%s", name);
    return held;
}

}  // namespace

BOOL IsRegularFile(LPCSTR path) {
    struct stat info;
    return path != nullptr && stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

HANDLE HoldTemporaryFile(LPSTR path) {
    if (path == nullptr) return nullptr;
    // The executable's own name with ".tmp", in the cache folder.
    const char* slash = strrchr(path, '/');
    const char* name = slash != nullptr ? slash + 1 : path;
    char base[MAX_PATH];
    char folderPath[MAX_PATH];
    char cached[MAX_PATH];
    if (!CacheBase(base, sizeof base) || (mkdir(base, 0700) != 0 && errno != EEXIST) ||
        snprintf(folderPath, sizeof folderPath, "%s/bmp256", base) >= int(sizeof folderPath) ||
        snprintf(cached, sizeof cached, "%s/%s", folderPath, name) >= int(sizeof cached)) {
        return nullptr;
    }
    int folder = OpenOwnFolder(folderPath);
    if (folder < 0) return nullptr;
    HeldFile* held = Hold(folder, name);
    if (held == nullptr) {
        close(folder);
        return nullptr;
    }
    strcpy(path, cached);
    return held;
}

int TemporaryFileDescriptor(HANDLE file) {
    return file == nullptr ? -1 : static_cast<HeldFile*>(file)->fd;
}

void ReleaseTemporaryFile(HANDLE file, BOOL complete, BOOL written) {
    if (file == nullptr) return;
    HeldFile* held = static_cast<HeldFile*>(file);
    // A half-written file goes, and so does an empty one this run made;
    // only if the name still leads to it.
    struct stat info;
    if (!complete && (written || held->created) &&
        fstatat(held->folder, held->name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        info.st_dev == held->device && info.st_ino == held->inode) {
        unlinkat(held->folder, held->name, 0);
    }
    close(held->fd);
    close(held->lock);  // ends the lock
    close(held->folder);
    free(held);
}
