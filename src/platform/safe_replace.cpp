#include "platform/safe_replace.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/replace_system.h"
#include "util/worker_threads.h"

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

// Unpredictable enough that another user cannot prepare the name; the
// exclusive creation makes a collision a retry, never a shared file.
uint64_t NextNameBits() {
    static std::atomic<uint64_t> counter{0};
    uint64_t x = counter.fetch_add(0x9E3779B97F4A7C15ull) ^ uint64_t(std::time(nullptr)) ^
                 (uint64_t(reinterpret_cast<uintptr_t>(&x)) << 7) ^ replace::ProcessBits();
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    return x;
}

// Creates the temporary file beside `target` in slot `slot`: ".NAME.XXXXXX",
// or ".bmp256.XXXXXX" for a very long NAME so that the name stays legal.
int CreateTemp(const std::string& target, int slot) {
    constexpr size_t kMaxKeptName = 200;  // NAME_MAX is 255 on common systems
    size_t cut = target.find_last_of(kPathSeparators);
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
        int fd = replace::CreateExclusive(g_path[slot], &g_state[slot], kLive);
        if (fd >= 0) return fd;
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

int SafeReplaceFile(const char* target, int (*write)(int fd, void* context), void* context,
                    unsigned keptModeBits, SafeReplaceMode mode) {
    if (!target || !target[0] || !write) {
        errno = EINVAL;
        return 0;
    }
    std::string destination = target;
    unsigned finalMode = replace::NewFileMode();
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
        destination = replace::FollowLink(target);
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
    bool ok = fstat(fd, &created) == 0 && write(fd, context) == 1 && replace::Settle(fd, finalMode);
    int error = ok ? 0 : errno;
    if (CloseWrittenDescriptor(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && !replace::StillAt(created, g_path[slot])) {
        ok = false;
        error = EEXIST;
    }
    if (ok && !replace::Install(g_path[slot], destination.c_str(), mode == kReplaceExisting)) {
        ok = false;
        error = errno;
    }
    // Unpublish before removing: the name may be reused once it is gone.
    g_state[slot].store(kFilling);
    if (!ok) replace::Remove(g_path[slot]);
    ReleaseSlot(slot);
    if (!ok) errno = error ? error : EIO;
    return ok ? 1 : 0;
}

void RemovePendingReplacements() {
    replace::HoldCreation();
    for (int i = 0; i < kMaxPendingReplacements; ++i) {
        if (g_state[i].load() == kLive) replace::Remove(g_path[i]);
    }
    replace::EndCreation();
}

}  // namespace bmp256
