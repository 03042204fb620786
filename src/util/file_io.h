// Stream writes and closes for every file the conversion writes, in one place
// so that test builds can make the Nth of them fail as a full disk would
// (util/test_hooks.h).
#pragma once

#include <cstddef>
#include <cstdio>

namespace bmp256 {

// fwrite(data, 1, size, file). When a test hook fails it, only part of the
// data reaches the file, the short count is returned and errno is ENOSPC.
size_t WriteToFile(const void* data, size_t size, FILE* file);

// fclose(file): 0 on success, EOF on failure. When a test hook fails it the
// file is still closed, but EOF is returned with errno ENOSPC, as when the
// final flush finds the disk full.
int CloseWrittenFile(FILE* file);

}  // namespace bmp256
