// Reading palette files. Every field is checked against the file's length
// before it is read; text is parsed line by line without locale.
#include <cstdio>
#include <cstring>

#include "palette_file/palette_file.h"

namespace bmp256 {

namespace {

int Refuse(char* reason, size_t capacity, const char* text) {
    std::snprintf(reason, capacity, "%s", text);
    return 0;
}

int TooMany(char* reason, size_t capacity, uint64_t count) {
    std::snprintf(reason, capacity,
                  "the palette holds %llu colours; at most %d fit a colour table (cut it down to 256)",
                  static_cast<unsigned long long>(count), kMaxPaletteFileColors);
    return 0;
}

bool StartsWith(const uint8_t* data, size_t size, const char* text) {
    const size_t n = std::strlen(text);
    return size >= n && std::memcmp(data, text, n) == 0;
}

uint32_t Get16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Get32(const uint8_t* p) { return Get16(p) | Get16(p + 2) << 16; }

// One text line at a time, without its end (\n, \r\n or \r).
struct Lines {
    const uint8_t* at;
    const uint8_t* end;
    bool Next(const char** line, size_t* length) {
        if (at >= end) return false;
        const uint8_t* start = at;
        while (at < end && *at != '\n' && *at != '\r') ++at;
        *line = reinterpret_cast<const char*>(start);
        *length = size_t(at - start);
        if (at < end && *at == '\r') ++at;
        if (at < end && *at == '\n') ++at;
        return true;
    }
};

bool LineStarts(const char* line, size_t length, const char* text) {
    const size_t n = std::strlen(text);
    return length >= n && std::memcmp(line, text, n) == 0;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Up to three numbers 0-255 separated by blanks at the start of the line;
// returns how many were read, or -1 for a number out of range.
int ReadTriple(const char* line, size_t length, int* values, size_t* used) {
    size_t i = 0;
    int got = 0;
    while (got < 3) {
        while (i < length && IsSpace(line[i])) ++i;
        if (i == length || line[i] < '0' || line[i] > '9') break;
        int v = 0;
        while (i < length && line[i] >= '0' && line[i] <= '9') {
            v = v * 10 + (line[i] - '0');
            if (v > 255) return -1;
            ++i;
        }
        values[got++] = v;
    }
    *used = i;
    return got;
}

bool BlankFrom(const char* line, size_t length, size_t from) {
    for (size_t i = from; i < length; ++i)
        if (!IsSpace(line[i])) return false;
    return true;
}

int ParseGpl(const uint8_t* data, size_t size, PaletteEntry* entries, int* count, char* reason,
             size_t capacity) {
    Lines lines{data, data + size};
    const char* line;
    size_t length;
    lines.Next(&line, &length);  // "GIMP Palette"
    uint64_t n = 0;
    int lineNumber = 1;
    while (lines.Next(&line, &length)) {
        ++lineNumber;
        size_t i = 0;
        while (i < length && IsSpace(line[i])) ++i;
        if (i == length || line[i] == '#') continue;
        if (LineStarts(line, length, "Name:") || LineStarts(line, length, "Columns:")) continue;
        int v[3];
        size_t used = 0;
        // A colour line is three numbers, then blanks and an optional name.
        if (ReadTriple(line, length, v, &used) != 3 || (used < length && !IsSpace(line[used]))) {
            std::snprintf(reason, capacity, "line %d of the GIMP palette is not a colour (R G B, each 0 to 255)",
                          lineNumber);
            return 0;
        }
        if (n < uint64_t(kMaxPaletteFileColors)) entries[n] = PaletteEntry{uint8_t(v[2]), uint8_t(v[1]), uint8_t(v[0]), 0};
        ++n;
    }
    if (n == 0) return Refuse(reason, capacity, "the GIMP palette holds no colours");
    if (n > uint64_t(kMaxPaletteFileColors)) return TooMany(reason, capacity, n);
    *count = int(n);
    return 1;
}

int ParseJasc(const uint8_t* data, size_t size, PaletteEntry* entries, int* count, char* reason,
              size_t capacity) {
    Lines lines{data, data + size};
    const char* line;
    size_t length;
    lines.Next(&line, &length);  // "JASC-PAL"
    if (!lines.Next(&line, &length) || !LineStarts(line, length, "0100")) {
        return Refuse(reason, capacity, "the JASC palette lacks its version line 0100");
    }
    uint64_t listed = 0;
    bool digits = lines.Next(&line, &length);
    size_t i = 0;
    while (digits && i < length && line[i] >= '0' && line[i] <= '9' && listed < 100000000) {
        listed = listed * 10 + uint64_t(line[i++] - '0');
    }
    if (!digits || i == 0 || !BlankFrom(line, length, i)) {
        return Refuse(reason, capacity, "the JASC palette lacks its colour count line");
    }
    if (listed == 0) return Refuse(reason, capacity, "the JASC palette holds no colours");
    if (listed > uint64_t(kMaxPaletteFileColors)) return TooMany(reason, capacity, listed);
    for (uint64_t n = 0; n < listed; ++n) {
        int v[3];
        size_t used = 0;
        if (!lines.Next(&line, &length) || ReadTriple(line, length, v, &used) != 3 || !BlankFrom(line, length, used)) {
            std::snprintf(reason, capacity, "the JASC palette lists %llu colours, colour %llu is missing or damaged",
                          static_cast<unsigned long long>(listed), static_cast<unsigned long long>(n + 1));
            return 0;
        }
        entries[n] = PaletteEntry{uint8_t(v[2]), uint8_t(v[1]), uint8_t(v[0]), 0};
    }
    *count = int(listed);
    return 1;
}

// 256 RGB triples, and in the 772-byte form a big-endian count of those in
// use (and a transparent index, not used here).
int ParseAct(const uint8_t* data, size_t size, PaletteEntry* entries, int* count, char* reason,
             size_t capacity) {
    int n = kMaxPaletteFileColors;
    if (size == 772) {
        const int listed = int(data[768]) << 8 | data[769];
        if (listed == 0 || listed > kMaxPaletteFileColors) {
            return Refuse(reason, capacity, "the .act palette's colour count is not 1 to 256");
        }
        n = listed;
    }
    for (int i = 0; i < n; ++i) entries[i] = PaletteEntry{data[3 * i + 2], data[3 * i + 1], data[3 * i], 0};
    *count = n;
    return 1;
}

// The colour table of a BMP of 1 to 8 bits: biClrUsed entries (2^bits when
// 0), 3 bytes each after a 12-byte header, 4 after a larger one, cut short
// by the pixel offset when it comes first.
int ParseBmpTable(const uint8_t* data, size_t size, PaletteEntry* entries, int* count, char* reason,
                  size_t capacity) {
    if (size < 18) return Refuse(reason, capacity, "the BMP ends inside its headers");
    const uint32_t headerSize = Get32(data + 14);
    const bool core = headerSize == 12;
    if (!core && (headerSize < 16 || headerSize > 124)) {
        return Refuse(reason, capacity, "the BMP's info header has a size no BMP has");
    }
    if (uint64_t(14) + headerSize > size) return Refuse(reason, capacity, "the BMP ends inside its headers");
    const uint32_t bitCount = core ? Get16(data + 24) : Get16(data + 28);
    if (bitCount != 1 && bitCount != 2 && bitCount != 4 && bitCount != 8) {
        std::snprintf(reason, capacity,
                      "a BMP of %u bits per pixel has no colour table; give one of 8 bits or fewer", bitCount);
        return 0;
    }
    const uint32_t clrUsed = !core && headerSize >= 36 ? Get32(data + 46) : 0;
    const uint64_t listed = clrUsed ? clrUsed : (uint64_t(1) << bitCount);
    if (listed > uint64_t(kMaxPaletteFileColors)) return TooMany(reason, capacity, listed);
    const uint64_t entryBytes = core ? 3 : 4;
    const uint64_t start = 14 + uint64_t(headerSize);
    uint64_t n = listed;
    const uint32_t offBits = Get32(data + 10);
    if (offBits > start && (offBits - start) / entryBytes < n) n = (offBits - start) / entryBytes;
    if (n == 0) return Refuse(reason, capacity, "the BMP's colour table is empty");
    if (start + n * entryBytes > size) return Refuse(reason, capacity, "the BMP's colour table runs past its end");
    for (uint64_t i = 0; i < n; ++i) {
        const uint8_t* e = data + start + i * entryBytes;
        entries[i] = PaletteEntry{e[0], e[1], e[2], 0};
    }
    *count = int(n);
    return 1;
}

bool NameIs(const char* extension, const char* want) {
    for (; *want; ++extension, ++want) {
        if ((*extension | 0x20) != *want) return false;
    }
    return *extension == '\0';
}

}  // namespace

PaletteFormat PaletteFormatOfName(const char* path) {
    const char* dot = std::strrchr(path, '.');
    const char* slash = std::strrchr(path, '/');
    if (!dot || (slash && slash > dot)) return kPaletteUnknown;
    const char* ext = dot + 1;
    if (NameIs(ext, "gpl")) return kPaletteGpl;
    if (NameIs(ext, "pal")) return kPaletteJasc;
    if (NameIs(ext, "act")) return kPaletteAct;
    if (NameIs(ext, "bmp")) return kPaletteBmp;
    if (NameIs(ext, "png")) return kPalettePng;
    return kPaletteUnknown;
}

int ParsePaletteFile(const uint8_t* data, size_t size, PaletteEntry* entries, int* count, char* reason,
                     size_t capacity) {
    if (StartsWith(data, size, "GIMP Palette")) return ParseGpl(data, size, entries, count, reason, capacity);
    if (StartsWith(data, size, "JASC-PAL")) return ParseJasc(data, size, entries, count, reason, capacity);
    if (StartsWith(data, size, "BM")) return ParseBmpTable(data, size, entries, count, reason, capacity);
    if (StartsWith(data, size, "\x89PNG\r\n\x1a\n")) return ParsePngPalette(data, size, entries, count, reason, capacity);
    if (size == 768 || size == 772) return ParseAct(data, size, entries, count, reason, capacity);
    if (StartsWith(data, size, "RIFF")) {
        return Refuse(reason, capacity, "a RIFF palette is not read; save it as a JASC .pal, .gpl or .act");
    }
    return Refuse(reason, capacity,
                  "not a palette file this program reads (GIMP .gpl, JASC .pal, 768- or 772-byte .act, "
                  "a BMP of 8 bits or fewer, a PNG with a palette)");
}

}  // namespace bmp256
