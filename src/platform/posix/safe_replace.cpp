#include "util/safe_replace.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "util/file_io.h"
#include "util/worker_threads.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace bmp256 {

namespace {

#ifndef PATH_MAX
#define PATH_MAX 4096
#endif

// Slots a signal handler can walk without locks or allocation: a path is
// published (state kLive) only once written in full.
enum SlotState { kFree = 0, kFilling = 1, kLive = 2 };
std::atomic<int> g_state[kMaxPendingReplacements];
char g_path[kMaxPendingReplacements][PATH_MAX];
static_assert(ATOMIC_INT_LOCK_FREE == 2, "the signal handler needs lock-free slots");

int ClaimSlot() {
    for (;;) {
        for (int i = 0; i < kMaxPendingReplacements; ++i) {
            int expected = kFree;
            if (g_state[i].compare_exchange_strong(expected, kFilling)) return i;
        }
        YieldWorkerThread();
    }
}

void ReleaseSlot(int slot) { g_state[slot].store(kFree); }

// Held from the open that creates a temporary file until its slot is live, so
// that a handler on another thread cannot sweep in between and miss the file.
// The creating thread blocks signals meanwhile: a handler on that thread would
// wait for itself.
std::atomic_flag g_creating = ATOMIC_FLAG_INIT;

void LockCreation() {
    while (g_creating.test_and_set(std::memory_order_acquire)) {
    }
}

void UnlockCreation() { g_creating.clear(std::memory_order_release); }

#ifdef _WIN32
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
const char* const kSeparators = "/\\:";
#else
const char* const kSeparators = "/";
#endif

// The umask, read once: reading it means setting it, which would race
// between threads if done per file.
unsigned NewFileMode() {
#ifdef _WIN32
    return 0666;
#else
    static const unsigned mode = [] {
        mode_t mask = umask(0);
        umask(mask);
        return unsigned(0666 & ~mask);
    }();
    return mode;
#endif
}

// Unpredictable enough that another user cannot prepare the name; O_EXCL
// makes a collision a retry, never a shared file.
uint64_t NextNameBits() {
    static std::atomic<uint64_t> counter{0};
    uint64_t x = counter.fetch_add(0x9E3779B97F4A7C15ull) ^ uint64_t(std::time(nullptr)) ^
                 (uint64_t(reinterpret_cast<uintptr_t>(&x)) << 7) ^
#ifdef _WIN32
                 (uint64_t(_getpid()) << 32);
#else
                 (uint64_t(getpid()) << 32) ^ uint64_t(clock());
#endif
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    return x;
}

// Creates the temporary file beside `target` in slot `slot`: ".NAME.XXXXXX",
// or ".bmp256.XXXXXX" for a very long NAME so that the name stays legal.
int CreateTemp(const std::string& target, int slot) {
    constexpr size_t kMaxKeptName = 200;  // NAME_MAX is 255 on common systems
    size_t cut = target.find_last_of(kSeparators);
    std::string dir = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
    std::string name = cut == std::string::npos ? target : target.substr(cut + 1);
    if (name.empty() || name.size() > kMaxKeptName) name = "bmp256";
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t bits = NextNameBits();
        char tail[8];
        for (int i = 0; i < 7; ++i, bits /= 62) tail[i] = kDigits[bits % 62];
        tail[7] = '\0';
        std::string temp = dir + "." + name + "." + tail;
        if (temp.size() >= PATH_MAX) {
            errno = ENAMETOOLONG;
            return -1;
        }
        std::memcpy(g_path[slot], temp.c_str(), temp.size() + 1);
#ifdef _WIN32
        int fd = _open(g_path[slot], _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE);
#else
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &old);
        LockCreation();
        int fd = open(g_path[slot], O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_WRONLY, 0600);
        int openError = errno;
        if (fd >= 0) g_state[slot].store(kLive);
        UnlockCreation();
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        errno = openError;
#endif
        if (fd >= 0) {
#ifdef _WIN32
            g_state[slot].store(kLive);
#endif
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// The new file must still be the one at the temporary name, or the rename
// would install whatever was put there instead.
bool StillOurs(const struct stat& mine, const char* temp) {
#ifdef _WIN32
    (void)mine;
    (void)temp;
    return true;
#else
    struct stat named;
    if (lstat(temp, &named) != 0) return false;
    return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
#endif
}

bool Install(const char* temp, const char* target, SafeReplaceMode mode) {
#ifdef _WIN32
    DWORD flags = MOVEFILE_WRITE_THROUGH | (mode == kReplaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExA(temp, target, flags)) return true;
    errno = ErrnoOfLastError();
    return false;
#else
    if (mode == kReplaceExisting) return rename(temp, target) == 0;
    // A link fails when the target exists, however it came to be there.
    if (link(temp, target) != 0) return false;
    unlink(temp);
    return true;
#endif
}

}  // namespace

int SafeReplaceFile(const char* target, int (*write)(int fd, void* context), void* context,
                    unsigned keptModeBits, SafeReplaceMode mode) {
    if (!target || !target[0] || !write) {
        errno = EINVAL;
        return 0;
    }
    std::string destination = target;
    unsigned finalMode = NewFileMode();
    struct stat st;
    if (stat(target, &st) == 0) {
        if (mode == kKeepExisting) {
            errno = EEXIST;
            return 0;
        }
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return 0;
        }
        if (!S_ISREG(st.st_mode)) {
            errno = EINVAL;
            return 0;
        }
        finalMode = unsigned(st.st_mode) & keptModeBits;
#ifndef _WIN32
        // Through a link the file it names is replaced, not the link.
        struct stat link;
        if (lstat(target, &link) == 0 && S_ISLNK(link.st_mode)) {
            char* resolved = realpath(target, nullptr);
            if (resolved) {
                destination = resolved;
                std::free(resolved);
            }
        }
#endif
    }

    const int slot = ClaimSlot();
    const int fd = CreateTemp(destination, slot);
    if (fd < 0) {
        const int error = errno;
        ReleaseSlot(slot);
        errno = error;
        return 0;
    }
    struct stat created;
    bool ok = fstat(fd, &created) == 0 && write(fd, context) == 1;
#ifdef _WIN32
    ok = ok && _commit(fd) == 0;
    (void)finalMode;
#else
    ok = ok && fchmod(fd, mode_t(finalMode)) == 0 && fsync(fd) == 0;
#endif
    int error = ok ? 0 : errno;
    if (CloseWrittenDescriptor(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && !StillOurs(created, g_path[slot])) {
        ok = false;
        error = EEXIST;
    }
    if (ok && !Install(g_path[slot], destination.c_str(), mode)) {
        ok = false;
        error = errno;
    }
    // Unpublish before removing: the name may be reused once it is gone.
    g_state[slot].store(kFilling);
    if (!ok) {
#ifdef _WIN32
        _unlink(g_path[slot]);
#else
        unlink(g_path[slot]);
#endif
    }
    ReleaseSlot(slot);
    if (!ok) errno = error ? error : EIO;
    return ok ? 1 : 0;
}

void RemovePendingReplacements() {
#ifndef _WIN32
    LockCreation();
#endif
    for (int i = 0; i < kMaxPendingReplacements; ++i) {
        if (g_state[i].load() == kLive) {
#ifdef _WIN32
            _unlink(g_path[i]);
#else
            unlink(g_path[i]);
#endif
        }
    }
#ifndef _WIN32
    UnlockCreation();
#endif
}

}  // namespace bmp256
