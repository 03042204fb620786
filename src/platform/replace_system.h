// Inside the platform layer: the system calls of SafeReplaceFile, one half
// per system (posix/safe_replace.cpp, windows/safe_replace.cpp) under the
// one flow of safe_replace.cpp.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace bmp256 {
namespace replace {

// Mode bits of a new file: 0666 less the umask.
unsigned NewFileMode();

// Bits of this process that differ between processes (its id).
uint64_t ProcessBits();

// Where a symbolic link `target` leads, so that the file it names is
// replaced rather than the link; `target` itself otherwise.
std::string FollowLink(const char* target);

// Creates `path` exclusively for writing (mode 0600, no link followed) and
// sets `state` to `live` before a signal handler on any thread can run
// RemoveCreated, so that no file is ever created unseen. The descriptor, or
// -1 with errno.
int CreateExclusive(const char* path, std::atomic<int>* state, int live);

// Gives the written file `mode` and makes it durable. False with errno.
bool Settle(int fd, unsigned mode);

// True when the file `created` (fstat of the descriptor) is still the one
// at `path`, so that the rename installs nothing put there instead.
bool StillAt(const struct stat& created, const char* path);

// Moves `temp` to `target`; unless `replace`, fails (EEXIST) when the target
// exists, however it came to be there. False with errno.
bool Install(const char* temp, const char* target, bool replace);

// Unlinks `path`. Async-signal-safe.
void Remove(const char* path);

// Held by CreateExclusive from the open until the file is published, and by
// the sweep of a signal handler; no-ops where creation is never interrupted.
void HoldCreation();
void EndCreation();

}  // namespace replace
}  // namespace bmp256
