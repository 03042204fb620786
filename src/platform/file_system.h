// What the programs ask of the file system and the terminal, under one
// spelling on every system.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace bmp256 {

// The characters after which a path's last component starts: "/" on POSIX,
// "/\\:" on Windows.
extern const char* const kPathSeparators;

// `folder` ("" for the current folder) as an absolute path with its links
// resolved, so that two spellings of one folder give one string; as given
// when it cannot be resolved.
std::string ResolvedFolder(const std::string& folder);

// Makes the folder `path` with the permissions a new folder gets by default
// (less the umask). 0 when made, else -1 with errno (EEXIST when something
// is there).
int MakeFolder(const char* path);

// Removes the folder `path` if it is empty: 0, else -1 with errno.
int RemoveFolder(const char* path);

// True when two stat results are the same file. Windows has no inode
// numbers: false there, and a path onto itself is told by its spelling.
bool SameFile(const struct stat& a, const struct stat& b);

// True when the descriptor is a terminal.
bool IsTerminal(int fd);

// Untranslated bytes on the descriptor: a no-op on POSIX, binary mode on
// Windows, where standard input and output start in text mode.
void SetBinaryMode(int fd);

// Opens `path`, listed as the regular file `listed` (stat when the run was
// planned), for reading without waiting on it, and checks through the open
// descriptor that it is still that file: a FIFO or device swapped in
// meanwhile must neither block the run nor be read. Returns the descriptor
// (close it with CloseReading), or -1 with errno set, or with `changed` set
// when something else is there now.
int OpenListedFile(const char* path, const struct stat& listed, bool* changed);

// Opens an existing `path` for writing, neither creating nor truncating it,
// so that fstat can tell what was opened. The descriptor, or -1 with errno.
int OpenExistingForWriting(const char* path);

// True, with its type in `info`, when the descriptor is open.
bool DescriptorInfo(int fd, struct stat* info);

// What the symbolic link `path` holds; "" when it is not a link (always on
// Windows).
std::string LinkText(const char* path);

// The width of the terminal on `fd` in columns: its window size, else
// $COLUMNS, else 80.
int TerminalColumns(int fd);
// Empties the file open at `fd` and moves to its start, for a writer that
// replaces what it held. 1, or 0 with errno.
int EmptyForWriting(int fd);

// Opens `path` for reading in binary: the descriptor, or -1 with errno.
int OpenForReading(const char* path);

// Closes a descriptor opened for reading; nothing to lose on close.
void CloseReading(int fd);

// The length of the regular file open at `fd`, or -1 for anything else (a
// pipe, a terminal, a device, a folder), whose length is unknown.
int64_t RegularFileLength(int fd);

// One read() of at most `size` bytes: the bytes read (0 at the end), or -1
// with errno.
int64_t ReadSome(int fd, void* buffer, size_t size);

// Reads until `size` bytes or the end of the data, through interruptions
// and short reads: the bytes read, or -1 with errno.
int64_t ReadUpTo(int fd, void* buffer, size_t size);

}  // namespace bmp256
