#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/ioctl.h>
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

int OpenListedFile(const char* path, const struct stat& listed, bool* changed) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    *changed = false;
    if (fd < 0) return -1;
    struct stat now;
    if (fstat(fd, &now) != 0 || !S_ISREG(now.st_mode) || !SameFile(now, listed)) {
        close(fd);
        *changed = true;
        return -1;
    }
    // A regular file never blocks; the flag only guarded the open.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int OpenExistingForWriting(const char* path) { return open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC); }

bool DescriptorInfo(int fd, struct stat* info) { return fstat(fd, info) == 0; }

std::string LinkText(const char* path) {
    char text[4096];
    const ssize_t length = readlink(path, text, sizeof text);
    return length > 0 ? std::string(text, size_t(length)) : std::string();
}

int TerminalColumns(int fd) {
    struct winsize size;
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    const char* columns = std::getenv("COLUMNS");
    const int n = columns ? std::atoi(columns) : 0;
    return n > 0 ? n : 80;
}

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
