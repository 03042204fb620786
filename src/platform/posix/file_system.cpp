#include "platform/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace bmp256 {

const char* const kPathSeparators = "/";

std::string ResolvedFolder(const std::string& folder) {
    char* resolved = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (!resolved) return folder.empty() ? "." : folder;
    std::string result = resolved;
    std::free(resolved);
    return result;
}

int MakeFolder(const char* path) { return mkdir(path, 0777); }

int RemoveFolder(const char* path) { return rmdir(path); }

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsTerminal(int fd) { return isatty(fd) != 0; }

void SetBinaryMode(int) {}

int EmptyForWriting(int fd) { return ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0; }

int OpenForReading(const char* path) { return open(path, O_RDONLY | O_CLOEXEC); }

void CloseReading(int fd) { close(fd); }

int64_t RegularFileLength(int fd) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return int64_t(info.st_size);
}

int64_t ReadSome(int fd, void* buffer, size_t size) { return int64_t(read(fd, buffer, size)); }

}  // namespace bmp256
