// The POSIX half of SafeReplaceFile.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/replace_system.h"

namespace bmp256 {
namespace replace {

namespace {

// Held from the open that creates a temporary file until its slot is live, so
// that a handler on another thread cannot sweep in between and miss the file.
// The creating thread blocks signals meanwhile: a handler on that thread would
// wait for itself.
std::atomic_flag g_creating = ATOMIC_FLAG_INIT;

}  // namespace

void HoldCreation() {
    while (g_creating.test_and_set(std::memory_order_acquire)) {
    }
}

void EndCreation() { g_creating.clear(std::memory_order_release); }

// The umask, read once: reading it means setting it, which would race
// between threads if done per file.
unsigned NewFileMode() {
    static const unsigned mode = [] {
        mode_t mask = umask(0);
        umask(mask);
        return unsigned(0666 & ~mask);
    }();
    return mode;
}

uint64_t ProcessBits() { return (uint64_t(getpid()) << 32) ^ uint64_t(clock()); }

std::string FollowLink(const char* target) {
    struct stat link;
    if (lstat(target, &link) != 0 || !S_ISLNK(link.st_mode)) return target;
    char* resolved = realpath(target, nullptr);
    if (!resolved) return target;
    std::string result = resolved;
    std::free(resolved);
    return result;
}

int CreateExclusive(const char* path, std::atomic<int>* state, int live) {
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    HoldCreation();
    int fd = open(path, O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_WRONLY, 0600);
    int openError = errno;
    if (fd >= 0) state->store(live);
    EndCreation();
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = openError;
    return fd;
}

bool Settle(int fd, unsigned mode) { return fchmod(fd, mode_t(mode)) == 0 && fsync(fd) == 0; }

bool StillAt(const struct stat& created, const char* path) {
    struct stat named;
    if (lstat(path, &named) != 0) return false;
    return created.st_dev == named.st_dev && created.st_ino == named.st_ino;
}

namespace {

// Errors by which a file system says it has no hard links (exFAT, FAT, many
// FUSE and SMB mounts) or no RENAME_NOREPLACE, rather than that the target
// exists or cannot be written.
bool Unsupported(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS ||
           error == EINVAL || error == EMLINK;
}

// The last resort where neither exists: a rename once the target is seen
// absent. Only a file made in the instant between the two is lost to it.
bool CheckedRename(const char* temp, const char* target) {
    struct stat there;
    if (lstat(target, &there) == 0) {
        errno = EEXIST;
        return false;
    }
    if (errno != ENOENT) return false;
    return rename(temp, target) == 0;
}

}  // namespace

bool Install(const char* temp, const char* target, bool replace) {
    if (replace) return rename(temp, target) == 0;
    // A link fails when the target exists, however it came to be there.
    if (link(temp, target) == 0) {
        unlink(temp);
        return true;
    }
    if (!Unsupported(errno)) return false;
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, temp, AT_FDCWD, target, RENAME_NOREPLACE) == 0) return true;
    if (!Unsupported(errno)) return false;
#endif
    return CheckedRename(temp, target);
}

void Remove(const char* path) { unlink(path); }

}  // namespace replace
}  // namespace bmp256
