// Replacing a file in one step: the new content goes into a fresh file beside
// the target, created exclusively and written through the descriptor that
// created it, then synced and renamed over the target. Nothing is reopened by
// name, so a link swapped in under the temporary name is never written through.
#pragma once

namespace bmp256 {

// How SafeReplaceFile treats a target that already exists.
enum SafeReplaceMode {
    kReplaceExisting = 0,  // the rename replaces it
    kKeepExisting = 1,     // fail with EEXIST, also when one appears meanwhile
};

// Calls write(fd, context) with the descriptor of a new temporary file (mode
// 0600) beside `target`; write returns 1 when all is written, else 0 with
// errno set. Then the file gets its final mode (that of the file it replaces,
// limited to `keptModeBits`, or 0666 less the umask for a new one), is
// fsynced and renamed over the target. A target that is a symbolic link has
// the file it names replaced. An existing target that is not a regular file
// is refused (EISDIR for a directory, EINVAL otherwise) and left alone.
// Returns 1 when the target holds the new content, else 0 with errno set, the
// target as it was and the temporary file removed.
int SafeReplaceFile(const char* target, int (*write)(int fd, void* context), void* context,
                    unsigned keptModeBits, SafeReplaceMode mode);

// Unlinks every temporary file of SafeReplaceFile still in flight, on any
// thread. Async-signal-safe: for signal handlers that end the process.
void RemovePendingReplacements();

// At most this many replacements are in flight at once; one more waits.
constexpr int kMaxPendingReplacements = 64;

}  // namespace bmp256
