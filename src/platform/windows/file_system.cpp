#include "platform/file_system.h"

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace bmp256 {

const char* const kPathSeparators = "/\\:";

std::string ResolvedFolder(const std::string& folder) {
    char resolved[4096];
    const char* where = folder.empty() ? "." : folder.c_str();
    return _fullpath(resolved, where, sizeof resolved) ? std::string(resolved) : std::string(where);
}

int MakeFolder(const char* path) { return _mkdir(path); }

int RemoveFolder(const char* path) { return _rmdir(path); }

bool SameFile(const struct stat&, const struct stat&) { return false; }

bool IsTerminal(int fd) { return _isatty(fd) != 0; }

void SetBinaryMode(int fd) { _setmode(fd, _O_BINARY); }

// No FIFO can be swapped in under a name here; the type is still checked.
int OpenListedFile(const char* path, const struct stat&, bool* changed) {
    *changed = false;
    const int fd = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return -1;
    struct stat now;
    if (fstat(fd, &now) != 0 || !S_ISREG(now.st_mode)) {
        _close(fd);
        *changed = true;
        return -1;
    }
    return fd;
}

int OpenExistingForWriting(const char* path) { return _open(path, _O_WRONLY | _O_BINARY); }

bool DescriptorInfo(int fd, struct stat* info) { return fstat(fd, info) == 0; }

std::string LinkText(const char*) { return std::string(); }

int TerminalColumns(int) {
    const char* columns = getenv("COLUMNS");
    const int n = columns ? atoi(columns) : 0;
    return n > 0 ? n : 80;
}

int EmptyForWriting(int fd) { return _chsize(fd, 0) == 0 && _lseek(fd, 0, SEEK_SET) == 0; }

int OpenForReading(const char* path) { return _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT); }

void CloseReading(int fd) { _close(fd); }

int64_t RegularFileLength(int fd) {
    struct _stati64 info;
    if (_fstati64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return -1;
    return int64_t(info.st_size);
}

int64_t ReadSome(int fd, void* buffer, size_t size) {
    return _read(fd, buffer, size > 0x40000000u ? 0x40000000u : unsigned(size));
}

}  // namespace bmp256
