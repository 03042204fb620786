// Hooks around the real CopyFileA for bmp256-copy-double, a build of the
// desktop program with the dialog double (tests/app/fake_platform.cpp) whose
// link wraps the copy (-Wl,--wrap), so that tests can stop a run or fill its
// disk at the one moment that matters: the temporary file written, the lock
// held, the copy not yet begun.
//
//   BMP256_DOUBLE_HOLD        a folder with two FIFOs, "held" and "release":
//                             the run writes a byte into held, then waits for
//                             a byte from release before it copies.
//   BMP256_DOUBLE_HOLD_SYNC   the same, inside the copy instead: at the first
//                             fsync, when the new file beside the destination
//                             is written but not yet renamed (the link wraps
//                             fsync as well).
//   BMP256_DOUBLE_COPY_LIMIT  bytes: from the copy on, no file this run writes
//                             grows past that size, as on a full device (the
//                             write that would fails with EFBIG).
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"

// CopyFileA(LPCSTR, LPCSTR, BOOL) under its linker name.
extern "C" BOOL __real__Z9CopyFileAPKcS0_i(LPCSTR existing, LPCSTR target, BOOL failIfExists);
extern "C" int __real_fsync(int fd);

namespace {

// Blocks until the test has read that this run is held, then until it lets
// the run go on. Any failure of the handshake lets the run go on at once.
void HoldHere(const char* folder) {
    const std::string held = std::string(folder) + "/held";
    const std::string release = std::string(folder) + "/release";
    int out = open(held.c_str(), O_WRONLY | O_CLOEXEC);
    if (out >= 0) {
        const char byte = 'h';
        (void)!write(out, &byte, 1);
        close(out);
    }
    int in = open(release.c_str(), O_RDONLY | O_CLOEXEC);
    if (in >= 0) {
        char byte;
        (void)!read(in, &byte, 1);
        close(in);
    }
}

}  // namespace

extern "C" BOOL __wrap__Z9CopyFileAPKcS0_i(LPCSTR existing, LPCSTR target, BOOL failIfExists) {
    if (const char* folder = getenv("BMP256_DOUBLE_HOLD")) HoldHere(folder);
    if (const char* limit = getenv("BMP256_DOUBLE_COPY_LIMIT")) {
        // A full disk answers ENOSPC; the size limit answers EFBIG, and a
        // signal that would end the run unless it is ignored.
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit size;
        size.rlim_cur = size.rlim_max = static_cast<rlim_t>(strtoull(limit, nullptr, 10));
        setrlimit(RLIMIT_FSIZE, &size);
    }
    return __real__Z9CopyFileAPKcS0_i(existing, target, failIfExists);
}

extern "C" int __wrap_fsync(int fd) {
    static bool held = false;
    const char* folder = getenv("BMP256_DOUBLE_HOLD_SYNC");
    if (folder != nullptr && !held) {
        held = true;
        HoldHere(folder);
    }
    return __real_fsync(fd);
}
