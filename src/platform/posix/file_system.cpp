#include "platform/file_system.h"

#include <unistd.h>

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

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsTerminal(int fd) { return isatty(fd) != 0; }

void SetBinaryMode(int) {}

}  // namespace bmp256
