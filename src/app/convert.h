// One whole conversion: a 24-bit BMP file in, the 256-colour BMP file out.
#pragma once

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
    char reason[160];      // plain words for a person, empty when done
    int systemError;       // errno of a failed open or write, else 0
};

// Converts `sourcePath` into `outputPath`. Returns 1 when the output file holds
// the finished 8-bit bitmap, else 0 with nothing left at `outputPath` (a file
// that existed there before a refused read is untouched) and every buffer freed.
// `report` may be null.
int ConvertFileEx(const char* sourcePath, const char* outputPath, ConvertReport* report);

// ConvertFileEx without the report.
int ConvertFile(const char* sourcePath, const char* outputPath);

}  // namespace bmp256
