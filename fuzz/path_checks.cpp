// CheckPathRoutines: the path routines on any byte string must agree with
// one another and never look past the string's terminator.
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "desktop/path.h"
#include "fuzz/fuzz_checks.h"

namespace {

// A heap copy of exactly `length` bytes and the terminator: AddressSanitizer
// then reports any read beyond the zero.
struct ExactString {
    char* text;
    size_t length;
};

ExactString Copy(const char* bytes, size_t length) {
    ExactString s;
    s.text = static_cast<char*>(std::malloc(length + 1));
    std::memcpy(s.text, bytes, length);
    s.text[length] = '\0';
    s.length = length;
    return s;
}

const char* CheckKinds(const char* text, size_t length, int* kinds) {
    for (size_t i = 0; i <= length + 2; ++i) {
        int kind = ShiftJisByteKind(text, i);
        if (i >= length) {
            if (kind != 0) return "a kind other than 0 at or past the terminator";
            continue;
        }
        kinds[i] = kind;
        unsigned char byte = static_cast<unsigned char>(text[i]);
        if (kind < 0 || kind > 2) return "a byte kind outside 0 to 2";
        if (kind == 1 && byte < 0x80) return "an ASCII byte taken for a lead byte";
        if (kind == 2 && (i == 0 || kinds[i - 1] != 1)) return "a trail byte that follows no lead byte";
        if (i > 0 && kinds[i - 1] == 1 && kind == 1) return "a lead byte right after a lead byte";
        // '.' and '/' never belong to a double-byte character.
        if (kind != 0 && (byte == '.' || byte == '/')) return "'.' or '/' inside a double-byte character";
    }
    return nullptr;
}

// The kind of a byte depends on the bytes before it only.
const char* CheckKindsArePrefixOnly(const char* text, size_t length, const int* kinds) {
    if (length < 2) return nullptr;
    size_t cut = length / 2;
    ExactString prefix = Copy(text, cut);
    const char* problem = nullptr;
    for (size_t i = 0; i < cut && !problem; ++i) {
        if (ShiftJisByteKind(prefix.text, i) != kinds[i]) problem = "a byte kind depends on later bytes";
    }
    std::free(prefix.text);
    return problem;
}

const char* CheckSeparator(const char* original, size_t length, const int* kinds, char separator) {
    // The last separator that is a character of its own, or -1.
    long last = -1;
    for (size_t i = 0; i < length; ++i) {
        bool expected = original[i] == separator && kinds[i] == 0;
        if (IsPathSeparatorAt(original, i, separator) != expected) {
            return "IsPathSeparatorAt disagrees with the byte kinds";
        }
        if (expected) last = long(i);
    }
    if (IsPathSeparatorAt(original, length, separator)) return "the terminator taken for a separator";
    // The last dot after it, or -1.
    long dot = -1;
    for (size_t i = size_t(last + 1); i < length; ++i) {
        if (original[i] == '.') dot = long(i);
    }

    const char* problem = nullptr;
    ExactString s = Copy(original, length);
    char* name = SplitFileName(s.text, separator);
    if (last < 0) {
        if (name != s.text || std::memcmp(s.text, original, length) != 0) {
            problem = "SplitFileName changed a path without separators";
        }
    } else if (name != s.text + last + 1 || s.text[last] != '\0' ||
               std::memcmp(s.text, original, size_t(last)) != 0 ||
               std::memcmp(name, original + last + 1, length - size_t(last) - 1) != 0) {
        problem = "SplitFileName did not cut at the last separator";
    }
    std::free(s.text);
    if (problem) return problem;

    s = Copy(original, length);
    char* extension = FindExtension(s.text, separator);
    char* expected = dot < 0 ? s.text + length : s.text + dot;
    if (extension != expected) problem = "FindExtension missed the last component's last dot";
    else if (std::memcmp(s.text, original, length) != 0) problem = "FindExtension changed the path";
    std::free(s.text);
    if (problem) return problem;

    s = Copy(original, length);
    char* rest = CutExtension(s.text, separator);
    if (dot < 0) {
        if (rest != s.text + length || std::memcmp(s.text, original, length) != 0) {
            problem = "CutExtension changed a path without an extension";
        }
    } else if (rest != s.text + dot + 1 || s.text[dot] != '\0' ||
               std::memcmp(s.text, original, size_t(dot)) != 0 ||
               std::memcmp(rest, original + dot + 1, length - size_t(dot) - 1) != 0) {
        problem = "CutExtension did not cut at FindExtension's dot";
    }
    std::free(s.text);
    return problem;
}

const char* CheckLowerCase(const char* original, size_t length, bool singleByteLocale) {
    ExactString s = Copy(original, length);
    LowerCasePath(s.text);
    const char* problem = nullptr;
    for (size_t i = 0; i <= length && !problem; ++i) {
        char before = i < length ? original[i] : '\0';
        char after = s.text[i];
        bool capital = before >= 'A' && before <= 'Z';
        if (after == before) {
            // In a single-byte locale every byte is a character of its own.
            if (capital && singleByteLocale) problem = "LowerCasePath left a capital";
        } else if (!capital || after != before + ('a' - 'A')) {
            problem = "LowerCasePath changed something other than a capital";
        }
    }
    std::free(s.text);
    return problem;
}

// Byte 0 of the input picks the character locale for the lower-casing: the C
// locale, UTF-8 (characters up to six bytes long) or Shift-JIS where the
// system has them, else the C locale. Returns whether one was set.
bool UseLocale(unsigned char choice) {
    static const char* const kLocales[] = {"C", "C.UTF-8", "ja_JP.SJIS"};
    int wanted = choice % 3;
    if (wanted == 0) return false;
    return std::setlocale(LC_CTYPE, kLocales[wanted]) != nullptr;
}

}  // namespace

const char* CheckPathRoutines(const uint8_t* data, size_t size) {
    if (size == 0) return nullptr;
    const bool localeSet = UseLocale(data[0]);
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    size_t length = strnlen(bytes, size - 1);
    if (length > kPathCheckMaxLength) length = kPathCheckMaxLength;

    ExactString original = Copy(bytes, length);
    static int kinds[kPathCheckMaxLength];
    const char* problem = CheckKinds(original.text, length, kinds);
    if (!problem) problem = CheckKindsArePrefixOnly(original.text, length, kinds);
    if (!problem) problem = CheckSeparator(original.text, length, kinds, '\\');
    if (!problem) problem = CheckSeparator(original.text, length, kinds, '/');
    if (!problem) problem = CheckLowerCase(original.text, length, MB_CUR_MAX == 1);
    std::free(original.text);
    if (localeSet) std::setlocale(LC_CTYPE, "C");
    return problem;
}
