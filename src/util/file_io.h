// Stream writes and closes for every file the conversion writes, with a test
// hook that makes the Nth of them fail as a full disk would, so that every
// short-write and failed-close path can be exercised.
#pragma once

#include <cstddef>
#include <cstdio>

// fwrite(data, 1, size, file). When the failure hook fires, only part of the
// data reaches the file, the short count is returned and errno is ENOSPC.
size_t WriteToFile(const void* data, size_t size, FILE* file);

// fclose(file): 0 on success, EOF on failure. When the failure hook fires the
// file is still closed, but EOF is returned with errno ENOSPC, as when the
// final flush finds the disk full.
int CloseWrittenFile(FILE* file);

// write(fd, ...) until all `size` bytes are written, through short writes
// and interruptions. Returns 1, or 0 with errno set; the failure hook makes
// half the data reach the file and sets ENOSPC, as fwrite's does.
int WriteToDescriptor(int fd, const void* data, size_t size);

// close(fd): 0 on success, -1 with errno on failure. The failure hook closes
// the descriptor and reports ENOSPC, as CloseWrittenFile's does.
int CloseWrittenDescriptor(int fd);

// Test hook: the write or close numbered `n` (1 = the next one) and every one
// after it fail until the hook is reset with 0. Returns how many writes and
// closes were made since the last call.
long SetWriteFailureAt(long n);
