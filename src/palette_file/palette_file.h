// Palette files: a GIMP .gpl, a JASC .pal, an Adobe .act, the colour table of
// a BMP of 8 bits or fewer, and a PNG's PLTE, read into palette entries in
// the file's order and written from them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap/bitmap.h"

namespace bmp256 {

enum PaletteFormat {
    kPaletteUnknown = 0,
    kPaletteGpl,
    kPaletteJasc,
    kPaletteAct,
    kPaletteBmp,
    kPalettePng,
};

// The format a file name's extension names (.gpl, .pal, .act, .bmp, .png, in
// any case), or kPaletteUnknown.
PaletteFormat PaletteFormatOfName(const char* path);

// Whether this build reads and writes PNG palettes (it needs libpng).
bool PngPalettesAvailable();

// Reads a palette from the file's bytes, whatever its name says (the format
// is told by its content; a file of 768 or 772 bytes without a known header
// is an .act). Up to 256 entries go to `entries` and their number to
// `count`. Returns 1, or 0 with `reason` in plain words: a damaged or unknown
// file, no colours, or more than 256 colours (the number is said).
int ParsePaletteFile(const uint8_t* data, size_t size, PaletteEntry* entries, int* count, char* reason,
                     size_t capacity);

// The file's bytes for `count` (1 to 256) entries in `format`, in a heap
// block of `*size` bytes (caller frees with FreeBytes), or null when memory
// cannot be had or the build cannot write the format.
uint8_t* FormatPaletteFile(PaletteFormat format, const PaletteEntry* entries, int count, size_t* size);

// The PNG halves, with stand-ins when the build has no libpng.
int ParsePngPalette(const uint8_t* data, size_t size, PaletteEntry* entries, int* count, char* reason,
                    size_t capacity);
uint8_t* FormatPngPalette(const PaletteEntry* entries, int count, size_t* size);

constexpr int kMaxPaletteFileColors = 256;

}  // namespace bmp256
