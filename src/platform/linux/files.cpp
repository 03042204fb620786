// File services for the Linux build: existence, full paths and the copy.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/file_io.h"
#include "platform/safe_replace.h"

DWORD GetFileAttributesA(LPCSTR fileName) {
    struct stat info;
    if (fileName == nullptr || stat(fileName, &info) != 0) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetFullPathNameA(LPCSTR fileName, DWORD size, LPSTR buffer, LPSTR* filePart) {
    if (fileName == nullptr || fileName[0] == '\0') return 0;
    char directory[PATH_MAX];
    size_t directoryLength = 0;
    bool needsSlash = false;
    if (fileName[0] != '/') {
        if (getcwd(directory, sizeof directory) == nullptr) return 0;
        directoryLength = strlen(directory);
        needsSlash = directoryLength == 0 || directory[directoryLength - 1] != '/';
    }
    size_t nameLength = strlen(fileName);
    size_t total = directoryLength + (needsSlash ? 1 : 0) + nameLength;
    if (total + 1 > size || buffer == nullptr) {
        return total + 1 > 0xFFFFFFFFu ? 0 : static_cast<DWORD>(total + 1);
    }
    memcpy(buffer, directory, directoryLength);
    if (needsSlash) buffer[directoryLength] = '/';
    memcpy(buffer + directoryLength + (needsSlash ? 1 : 0), fileName, nameLength + 1);
    if (filePart != nullptr) {
        char* slash = strrchr(buffer, '/');
        *filePart = slash != nullptr && slash[1] != '\0' ? slash + 1 : nullptr;
    }
    return static_cast<DWORD>(total);
}

namespace {

int CopyContents(int to, void* context) {
    const int from = *static_cast<int*>(context);
    char block[65536];
    for (;;) {
        ssize_t got = read(from, block, sizeof block);
        if (got < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (got == 0) return 1;
        if (!bmp256::WriteToDescriptor(to, block, static_cast<size_t>(got))) return 0;
    }
}

}  // namespace

// The destination is replaced in one step or not at all; a link is followed,
// as the Windows copy does, and a destination that is not a regular file is
// left alone.
BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists) {
    if (existing == nullptr || target == nullptr) return FALSE;
    int from = open(existing, O_RDONLY | O_CLOEXEC);
    if (from < 0) return FALSE;
    const int ok = bmp256::SafeReplaceFile(target, CopyContents, &from, 07777,
                                           failIfExists ? bmp256::kKeepExisting : bmp256::kReplaceExisting);
    close(from);
    return ok ? TRUE : FALSE;
}
