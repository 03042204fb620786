// The one conversion: the canonical picture in (24-bit rows and its header),
// the 256-entry palette and the 8-bit index rows out. Both programs are
// shells around it: they read the source through the input layer and write
// the result where they keep it.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"
#include "bitmap/write_indexed.h"
#include "input/input.h"
#include "quantize/palette_choice.h"

namespace bmp256 {

// Where a conversion stopped.
enum ConvertStage {
    kConvertDone = 0,
    kConvertReadFailed,    // the source was refused; reason says why
    kConvertNoMemory,      // working memory of a stage could not be had
    kConvertWriteFailed,   // the output could not be written; see systemError
};

struct ConvertReport {
    ConvertStage stage;
    char reason[256];      // plain words for a person, empty when done
    int systemError;       // errno of a failed open, read or write, else 0
};

// How a conversion may use the machine (no choice of which changes a byte),
// how its source is shown, and bmp256-convert's palette choices (all zero:
// the desktop program's).
struct ConvertOptions {
    int threadCount = 0;     // threads working on one image; 0: as many as pay
    uint64_t maxPixels = 0;  // largest compressed picture read; 0: the input layer's default
    ReadOptions read;        // bmp256-convert's reading: orientation, background
    PaletteChoice palette = {};
};

// The result: the 8-bit header (the source's with biBitCount 8, biSizeImage
// and the fields an 8-bit file must not carry over mended), the palette
// (by default slots 10 to 245 computed, the others zero), the index rows and
// the form the file is written in.
struct Conversion {
    BITMAPINFOHEADER info;
    PaletteEntry palette[kPaletteSize];
    uint8_t* indices;  // ImageSize(info) bytes, zero row padding
    IndexedForm form;  // 8 bits, no RLE, 256 entries unless the choices say otherwise
};

// True when the result is the plain 8-bit file of 256 entries (WriteBitmap8's).
bool IsPlain8(const Conversion& result);

// Converts `picture`. Returns 1 with `result` filled (free it with
// FreeConversion), or 0 with nothing held and `report` (may be null) saying
// why. `options` may be null.
int ConvertPicture(const Picture* picture, const ConvertOptions* options, Conversion* result,
                   ConvertReport* report);

// Writes the result in its form to `path`, or through `fd` (left open) when
// `path` is null: 1, or 0 with errno set (ENOMEM when a packed or
// run-length form could not be encoded).
int WriteConversion(const Conversion& result, const char* path, int fd);

// Frees the index rows; a freed conversion is ignored.
void FreeConversion(Conversion* result);

// Writes a finished conversion: 1, or 0 with errno set.
typedef int (*ConversionWriter)(const Conversion& result, void* context);

// A shell's whole run on one picture: ConvertPicture, then `write`. A write
// failure is reported as "cannot write `outputName`: ...", or as want of
// memory when a packed or run-length form could not be encoded. Returns 1
// when written.
int ConvertAndWrite(const Picture* picture, const ConvertOptions* options, ConversionWriter write,
                    void* context, const char* outputName, ConvertReport* report);

// The report of a source the input layer refused; returns 0.
int SourceRefused(const InputReport& input, ConvertReport* report);

}  // namespace bmp256
