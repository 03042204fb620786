// One whole conversion: a 24-bit BMP file in, the 256-colour BMP file out.
#pragma once

#include <cstdio>

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

// ConvertFileEx without the report.
int ConvertFile(const char* sourcePath, const char* outputPath);

// bmp256-convert's conversion: reads everything `source` delivers (a file, a
// pipe, standard input), in any BMP form or as PNG or JPEG where the build has
// the decoder, and converts it to the bytes its canonical 24-bit twin gives.
// The first writes the result to `outputPath` as ConvertFileEx does; the
// second to the open stream `output`, flushed, which receives nothing when
// the source is refused. Both return 1 when done, else 0 with `report` (may
// be null) saying why, and never close `source` or `output`.
int ConvertStreamEx(FILE* source, const char* outputPath, ConvertReport* report);
int ConvertStreamToStreamEx(FILE* source, FILE* output, ConvertReport* report);

}  // namespace bmp256
