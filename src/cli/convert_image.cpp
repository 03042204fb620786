// bmp256-convert's conversion of one source: a file, a pipe, a FIFO or
// standard input ("-"), in any form the input layer reads.
#include "cli/cli.h"
#include "input/input.h"

namespace bmp256 {

namespace {

struct Output {
    const char* path;  // null: the descriptor
    int fd;
};

int WriteOutput(const Conversion& result, void* context) {
    const Output* out = static_cast<const Output*>(context);
    return WriteConversion(result, out->path, out->fd);
}

// Reads `sourcePath`, or `sourceFd` when the path is null.
int ConvertImage(const char* sourcePath, int sourceFd, Output out, const char* outputName,
                 const ConvertOptions* options, ConvertReport* report) {
    Picture picture;
    InputReport input;
    const uint64_t limit = options ? options->maxPixels : 0;
    const ReadOptions* read = options ? &options->read : nullptr;
    const int opened = sourcePath ? ReadPicture(sourcePath, limit, &picture, &input, read)
                                  : ReadPictureFrom(sourceFd, limit, &picture, &input, read);
    if (!opened) return SourceRefused(input, report);
    const int done = ConvertAndWrite(&picture, options, WriteOutput, &out, outputName, report);
    FreePicture(&picture);
    return done;
}

}  // namespace

int ConvertImageEx(const char* sourcePath, const char* outputPath, const ConvertOptions* options,
                   ConvertReport* report) {
    return ConvertImage(sourcePath, -1, Output{outputPath, -1}, outputPath, options, report);
}

int ConvertImageToDescriptor(const char* sourcePath, int fd, const char* outputName,
                             const ConvertOptions* options, ConvertReport* report) {
    return ConvertImage(sourcePath, -1, Output{nullptr, fd}, outputName, options, report);
}

int ConvertOpenSourceToDescriptor(int sourceFd, int fd, const char* outputName,
                                  const ConvertOptions* options, ConvertReport* report) {
    return ConvertImage(nullptr, sourceFd, Output{nullptr, fd}, outputName, options, report);
}

}  // namespace bmp256
