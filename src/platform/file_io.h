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

// write(fd, ...) until all `size` bytes are written, through short writes
// and interruptions. Returns 1, or 0 with errno set; when a test hook fails
// it, half the data reaches the file and errno is ENOSPC, as for WriteToFile.
int WriteToDescriptor(int fd, const void* data, size_t size);

// close(fd): 0 on success, -1 with errno on failure. When a test hook fails
// it the descriptor is still closed, but ENOSPC is reported.
int CloseWrittenDescriptor(int fd);

}  // namespace bmp256
