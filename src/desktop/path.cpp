#include "desktop/path.h"

#include <string.h>

#include "platform/platform.h"

const char kPathSeparator = PLATFORM_PATH_SEPARATOR;

namespace {

bool IsLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsTrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

}  // namespace

int ShiftJisByteKind(const char* text, size_t index) {
    // Walks from the start every time: a byte's kind depends on all bytes
    // before it. Paths are short, so the quadratic scans stay cheap.
    int kind = 0;
    for (size_t i = 0;; ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte == 0) return 0;
        if (kind == 1) {
            // A byte that cannot follow a lead byte is a single character and
            // is not tested as a lead byte in its own right.
            kind = IsTrailByte(byte) ? 2 : 0;
        } else {
            kind = IsLeadByte(byte) ? 1 : 0;
        }
        if (i == index) return kind;
    }
}

bool IsPathSeparatorAt(const char* text, size_t index, char separator) {
    return text[index] == separator && ShiftJisByteKind(text, index) == 0;
}

char* SplitFileName(char* path, char separator) {
    for (size_t i = strlen(path); i-- > 0;) {
        if (IsPathSeparatorAt(path, i, separator)) {
            path[i] = '\0';
            return path + i + 1;
        }
    }
    return path;
}

char* FindExtension(char* path, char separator) {
    size_t end = strlen(path);
    for (size_t i = end; i-- > 0;) {
        if (IsPathSeparatorAt(path, i, separator)) return path + end;
        // 0x2E is never part of a double-byte character.
        if (path[i] == '.') return path + i;
    }
    return path + end;
}

char* CutExtension(char* path, char separator) {
    char* dot = FindExtension(path, separator);
    if (*dot == '\0') return dot;
    *dot = '\0';
    return dot + 1;
}

void LowerCasePath(char* text) {
    char* p = text;
    while (*p != '\0') {
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p + ('a' - 'A'));
        char* next = CharNextA(p);
        if (next == p) break;
        p = next;
    }
}
