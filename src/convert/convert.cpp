#include "convert/convert.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bitmap/bitmap.h"
#include "mapping/diffusion.h"
#include "platform/alloc.h"
#include "quantize/palette.h"

namespace bmp256 {

namespace {

constexpr int kFirstSlot = 10;
constexpr int kColorCount = 236;
constexpr int kEndSlot = kFirstSlot + kColorCount;  // 246, one past the last slot used

int Fail(ConvertReport* report, ConvertStage stage, const char* reason, int systemError) {
    if (report) {
        report->stage = stage;
        std::snprintf(report->reason, sizeof report->reason, "%s", reason);
        report->systemError = systemError;
    }
    return 0;
}

// Pad bytes of the index rows are part of the file: keep them zero.
void ClearRowPadding(uint8_t* indices, const BITMAPINFOHEADER* info) {
    const int32_t stride = RowStride(info);
    for (int32_t y = 0; y < info->biHeight; ++y) {
        uint8_t* row = indices + size_t(y) * size_t(stride);
        std::memset(row + info->biWidth, 0, size_t(stride - info->biWidth));
    }
}

// The 8-bit file always holds 256 uncompressed entries and rows, whatever the
// source's header claimed: a carried-over compression code or a colour count
// above 256 (or below it) would make readers misread a correct file.
// biPlanes other than 1 makes other readers refuse the file.
void MendCarriedHeaderFields(BITMAPINFOHEADER* info) {
    info->biPlanes = 1;
    info->biCompression = 0;
    if (info->biClrUsed != uint32_t(kPaletteSize)) info->biClrUsed = 0;
    if (info->biClrImportant > uint32_t(kPaletteSize)) info->biClrImportant = 0;
}

}  // namespace

int ConvertPicture(const Picture* picture, const ConvertOptions* options, Conversion* result,
                   ConvertReport* report) {
    const BITMAPINFOHEADER* source = &picture->info;
    const int threads = options ? options->threadCount : 0;
    std::memset(result, 0, sizeof *result);
    if (!BuildPaletteOnThreads(&result->palette[kFirstSlot], kColorCount, picture->pixels, source,
                               threads)) {
        return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    }
    result->info = *source;
    result->info.biBitCount = 8;
    result->info.biSizeImage = uint32_t(ImageSize(&result->info));
    MendCarriedHeaderFields(&result->info);
    result->indices = static_cast<uint8_t*>(AllocateBytes(size_t(result->info.biSizeImage)));
    if (!result->indices) return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    ClearRowPadding(result->indices, &result->info);
    DiffusionOptions diffusion = {threads, kColorCacheAuto};
    if (!DiffuseToIndices(result->indices, &result->info, result->palette, kFirstSlot, kEndSlot,
                          picture->pixels, source, &diffusion)) {
        FreeConversion(result);
        return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    }
    if (report) {
        report->stage = kConvertDone;
        report->reason[0] = '\0';
        report->systemError = 0;
    }
    return 1;
}

void FreeConversion(Conversion* result) {
    FreeBytes(result->indices);
    result->indices = nullptr;
}

int ConvertAndWrite(const Picture* picture, const ConvertOptions* options, ConversionWriter write,
                    void* context, const char* outputName, ConvertReport* report) {
    Conversion result;
    if (!ConvertPicture(picture, options, &result, report)) return 0;
    const int written = write(result, context);
    const int error = errno;
    FreeConversion(&result);
    if (written) return 1;
    char reason[sizeof(ConvertReport::reason)];
    std::snprintf(reason, sizeof reason, "cannot write %s: %s", outputName, std::strerror(error));
    return Fail(report, kConvertWriteFailed, reason, error);
}

int SourceRefused(const InputReport& input, ConvertReport* report) {
    return Fail(report, input.status == kInputNoMemory ? kConvertNoMemory : kConvertReadFailed,
                input.reason, input.systemError);
}

}  // namespace bmp256
