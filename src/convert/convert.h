// One whole conversion: a 24-bit BMP file in (bmp256-convert: any image it
// reads), the 256-colour BMP file out.
#pragma once

#include <cstdint>

#include "input/input.h"

namespace bmp256 {

// Where a conversion stopped.
enum ConvertStage {
    kConvertDone = 0,
    kConvertReadFailed,    // the source was refused; see readStatus and friends
    kConvertNoMemory,      // working memory of a stage could not be had
    kConvertWriteFailed,   // the output could not be written; see systemError
};

struct ConvertReport {
    ConvertStage stage;
    char reason[256];      // plain words for a person, empty when done
    int systemError;       // errno of a failed open or write, else 0
};

// Converts `sourcePath` into `outputPath`. Returns 1 when the output file holds
// the finished 8-bit bitmap, else 0 with nothing left at `outputPath` (a file
// that existed there before a refused read is untouched) and every buffer freed.
// `report` may be null.
int ConvertFileEx(const char* sourcePath, const char* outputPath, ConvertReport* report);

// How a conversion may use the machine; no choice but `read` changes a byte.
struct ConvertOptions {
    int threadCount = 0;     // threads working on one image; 0: one per processor
    uint64_t maxPixels = 0;  // largest compressed picture read; 0: the input layer's default
    ReadOptions read;        // bmp256-convert's reading: orientation, background
};

// ConvertFileEx writing the 8-bit bitmap through `fd`, which stays open and
// whose file the caller removes on failure; `outputName` names it in the
// report. `options` may be null.
int ConvertFileToDescriptor(const char* sourcePath, int fd, const char* outputName,
                            const ConvertOptions* options, ConvertReport* report);

// bmp256-convert's conversions: the source (a file, a pipe, a FIFO, or
// standard input when `sourcePath` is "-") is read whole, in any BMP form or
// as PNG or JPEG where the build has the decoder, and converts to exactly the
// bytes its canonical 24-bit twin gives with ConvertFileEx. Otherwise as
// ConvertFileEx and ConvertFileToDescriptor; `options` may be null.
int ConvertImageEx(const char* sourcePath, const char* outputPath, const ConvertOptions* options,
                   ConvertReport* report);
int ConvertImageToDescriptor(const char* sourcePath, int fd, const char* outputName,
                             const ConvertOptions* options, ConvertReport* report);

// ConvertFileEx without the report.
int ConvertFile(const char* sourcePath, const char* outputPath);

}  // namespace bmp256
