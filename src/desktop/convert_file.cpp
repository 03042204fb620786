#include "desktop/convert_file.h"

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "platform/file_system.h"

namespace bmp256 {

namespace {

int WriteToPath(const Conversion& result, void* path) {
    return WriteBitmap8(static_cast<const char*>(path), result.indices, result.palette, &result.info);
}

// What the file held before (an earlier run's result) goes only now, once
// there is a result to take its place.
int WriteToDescriptor(const Conversion& result, void* context) {
    const int fd = *static_cast<int*>(context);
    return EmptyForWriting(fd) &&
           WriteBitmap8ToDescriptor(fd, result.indices, result.palette, &result.info);
}

int Convert(const char* sourcePath, const ConvertOptions* options, ConversionWriter write,
            void* context, const char* outputName, ConvertReport* report) {
    Picture picture;
    InputReport input;
    if (!ReadPicture(sourcePath, options ? options->maxPixels : 0, &picture, &input)) {
        return SourceRefused(input, report);
    }
    const int converted = ConvertAndWrite(&picture, options, write, context, outputName, report);
    FreePicture(&picture);
    return converted;
}

}  // namespace

int ConvertFileEx(const char* sourcePath, const char* outputPath, ConvertReport* report) {
    return Convert(sourcePath, nullptr, WriteToPath, const_cast<char*>(outputPath), outputPath, report);
}

int ConvertFileToDescriptor(const char* sourcePath, int fd, const char* outputName,
                            const ConvertOptions* options, ConvertReport* report) {
    return Convert(sourcePath, options, WriteToDescriptor, &fd, outputName, report);
}

int ConvertFile(const char* sourcePath, const char* outputPath) {
    return ConvertFileEx(sourcePath, outputPath, nullptr);
}

}  // namespace bmp256
