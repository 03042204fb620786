// File services for the Linux build: existence, full paths, the copy and the
// temporary file's lock.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

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

// write() all of it, through short writes and interruptions.
bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool CopyContents(int from, int to) {
    char block[65536];
    for (;;) {
        ssize_t got = read(from, block, sizeof block);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return true;
        if (!WriteAll(to, block, static_cast<size_t>(got))) return false;
    }
}

}  // namespace

BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists) {
    if (existing == nullptr || target == nullptr) return FALSE;
    struct stat targetInfo;
    bool targetExists = stat(target, &targetInfo) == 0;
    if (targetExists && failIfExists) return FALSE;
    if (targetExists && !S_ISREG(targetInfo.st_mode)) return FALSE;

    // A link is followed, as the Windows copy does: its file is replaced,
    // not the link.
    char resolved[PATH_MAX];
    const char* destination = target;
    if (targetExists && realpath(target, resolved) != nullptr) destination = resolved;

    // The new file lives beside the destination so the rename stays on one
    // file system and replaces the destination in one step. A short name of
    // its own, so that a destination name near the length limit still fits.
    static const char kStagingName[] = ".bmp256-XXXXXX";
    const char* slash = strrchr(destination, '/');
    size_t folderLength = slash != nullptr ? static_cast<size_t>(slash - destination) + 1 : 0;
    if (folderLength + sizeof kStagingName > PATH_MAX) return FALSE;
    char staging[PATH_MAX];
    memcpy(staging, destination, folderLength);
    memcpy(staging + folderLength, kStagingName, sizeof kStagingName);

    int from = open(existing, O_RDONLY | O_CLOEXEC);
    if (from < 0) return FALSE;
    int to = mkostemp(staging, O_CLOEXEC);
    if (to < 0) {
        close(from);
        return FALSE;
    }
    mode_t mode;
    if (targetExists) {
        mode = targetInfo.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = fchmod(to, mode) == 0 && CopyContents(from, to) && fsync(to) == 0;
    ok = close(to) == 0 && ok;
    close(from);
    if (ok) ok = rename(staging, destination) == 0;
    if (!ok) unlink(staging);
    return ok ? TRUE : FALSE;
}

HANDLE LockTemporaryFile(LPCSTR path) {
    if (path == nullptr) return nullptr;
    // The folder, not the file: a lock on the file would have to create it
    // before the conversion, and would go with the file when the writer
    // removes a failed one.
    char folder[PATH_MAX];
    const char* slash = strrchr(path, '/');
    if (slash == nullptr) {
        strcpy(folder, ".");
    } else {
        size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
        if (length >= sizeof folder) return nullptr;
        memcpy(folder, path, length);
        folder[length] = '\0';
    }
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd);
            return nullptr;
        }
    }
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1);
}

void UnlockTemporaryFile(HANDLE lock) {
    if (lock == nullptr) return;
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(lock) - 1);
    flock(fd, LOCK_UN);
    close(fd);
}
