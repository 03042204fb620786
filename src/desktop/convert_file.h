// The desktop program's conversion: a source file of any form the input
// layer reads, the 256-colour BMP file out.
#pragma once

#include "convert/convert.h"

namespace bmp256 {

// Converts `sourcePath` into `outputPath`. Returns 1 when the output file
// holds the finished 8-bit bitmap, else 0 with nothing left at `outputPath`
// (a file that existed there before a refused read is untouched) and every
// buffer freed. `report` may be null.
int ConvertFileEx(const char* sourcePath, const char* outputPath, ConvertReport* report);

// ConvertFileEx writing the 8-bit bitmap through `fd`, open for writing on
// a regular file, which is emptied only once the result is ready; `fd`
// stays open and the caller removes its file on failure.
// `outputName` names it in the report; `options` may be null.
int ConvertFileToDescriptor(const char* sourcePath, int fd, const char* outputName,
                            const ConvertOptions* options, ConvertReport* report);

// ConvertFileEx without the report.
int ConvertFile(const char* sourcePath, const char* outputPath);

}  // namespace bmp256
