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

bool SameFile(const struct stat&, const struct stat&) { return false; }

bool IsTerminal(int fd) { return _isatty(fd) != 0; }

void SetBinaryMode(int fd) { _setmode(fd, _O_BINARY); }

// No FIFO can be swapped in under a name here; the type is still checked.
FILE* OpenListedFile(const char* path, const struct stat&, bool* changed) {
    *changed = false;
    FILE* f = fopen(path, "rb");
    if (!f) return nullptr;
    struct stat now;
    if (fstat(_fileno(f), &now) != 0 || !S_ISREG(now.st_mode)) {
        fclose(f);
        *changed = true;
        return nullptr;
    }
    return f;
}

int OpenExistingForWriting(const char* path) { return _open(path, _O_WRONLY | _O_BINARY); }

bool DescriptorInfo(int fd, struct stat* info) { return fstat(fd, info) == 0; }

std::string LinkText(const char*) { return std::string(); }

int TerminalColumns(int) {
    const char* columns = getenv("COLUMNS");
    const int n = columns ? atoi(columns) : 0;
    return n > 0 ? n : 80;
}

}  // namespace bmp256
