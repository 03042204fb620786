// libFuzzer target: the palette file readers (.gpl, JASC .pal, .act, a BMP's
// colour table, a PNG's PLTE) on arbitrary bytes. What one accepts is 1 to
// 256 entries, and writing them as .gpl and reading that back gives them again.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "palette_file/palette_file.h"
#include "platform/alloc.h"

using namespace bmp256;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PaletteEntry entries[kMaxPaletteFileColors];
    int count = 0;
    char reason[256];
    if (!ParsePaletteFile(data, size, entries, &count, reason, sizeof reason)) {
        if (reason[0] == '\0' || std::strlen(reason) >= sizeof reason) std::abort();
        return 0;
    }
    if (count < 1 || count > kMaxPaletteFileColors) std::abort();
    size_t written = 0;
    uint8_t* text = FormatPaletteFile(kPaletteGpl, entries, count, &written);
    if (!text) return 0;  // a failed allocation of the test hooks
    PaletteEntry again[kMaxPaletteFileColors];
    int againCount = 0;
    if (!ParsePaletteFile(text, written, again, &againCount, reason, sizeof reason) || againCount != count ||
        std::memcmp(again, entries, sizeof(PaletteEntry) * size_t(count)) != 0) {
        std::fprintf(stderr, "palette round trip failed\n");
        std::abort();
    }
    FreeBytes(text);
    return 0;
}
