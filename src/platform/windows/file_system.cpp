#include "platform/file_system.h"

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

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

}  // namespace bmp256
