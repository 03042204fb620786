// The temporary file's path: the executable's own path with its extension
// replaced.
#pragma once

#include <stddef.h>

// Replaces the extension of the path in `buffer` (a zero-terminated string in
// a buffer of `capacity` bytes) by `extension` (".tmp"; null keeps it), then
// lower-cases the ASCII capitals of the whole path when `lowerDirectories`,
// else of its last component only. Returns 0, with `buffer` unspecified but
// terminated, when the result would not fit; else 1.
int FormModulePath(char* buffer, size_t capacity, const char* extension,
                   char separator, bool lowerDirectories);

// Fills `buffer` (MAX_PATH bytes) with the running executable's path, its
// extension replaced by `extension`, lower-cased as the platform's paths
// allow (the whole path on Windows, the file name on Linux). Returns 1, or 0
// when the executable's path cannot be obtained or the result is longer than
// MAX_PATH.
int BuildModulePath(char* buffer, const char* extension);
