// Path scanning that respects Shift-JIS double-byte characters, whose second
// byte may have the code of a separator (0x5C, the backslash). Every routine
// works in place on a zero-terminated byte string; none allocates.
// The separator defaults to the platform's ('\\' on Windows, '/' elsewhere);
// tests run the Windows cases on every platform by passing '\\'.
#pragma once

#include <stddef.h>

// The platform's path separator.
extern const char kPathSeparator;

// Kind of the byte at `index` of `text` under the fixed Shift-JIS rules:
// 0 single-byte character, 1 lead byte, 2 trail byte. 0 at or beyond the
// terminating zero.
int ShiftJisByteKind(const char* text, size_t index);

// True when the byte at `index` is `separator` and a single-byte character.
bool IsPathSeparatorAt(const char* text, size_t index, char separator = kPathSeparator);

// Cuts `path` at its last separator (overwritten with a zero) and returns the
// file-name part after it; returns `path` unchanged when it has no separator.
char* SplitFileName(char* path, char separator = kPathSeparator);

// The dot that starts the last component's extension, or the terminating
// zero when that component has none. Changes nothing.
char* FindExtension(char* path, char separator = kPathSeparator);

// Cuts `path` at its extension's dot (overwritten with a zero) and returns the
// extension text after it; returns the terminating zero (an empty string) and
// changes nothing when there is no extension.
char* CutExtension(char* path, char separator = kPathSeparator);

// Lower-cases the ASCII capitals A to Z of `text` in place, stepping with
// CharNextA so that a double-byte character's trail byte is never changed.
void LowerCasePath(char* text);
