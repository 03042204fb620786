#include "convert/convert.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bitmap/bitmap.h"
#include "mapping/diffusion.h"
#include "mapping/plain_mapping.h"
#include "platform/alloc.h"
#include "platform/processors.h"

namespace bmp256 {

namespace {

// A lone image gets more than one thread only from this size on: below it,
// starting threads and waiting on them costs more than the rows they take
// over (measured with bench/compare.sh, docs/performance.md).
constexpr int64_t kThreadsMinPixels = int64_t(1) << 21;

// Threads for one image: as asked, else one per processor where they pay.
// Not on a machine that other work keeps busy: the wavefront's rows wait on
// each other, so a thread that loses its processor stops them all.
int ThreadsFor(const ConvertOptions* options, const BITMAPINFOHEADER* info) {
    if (options && options->threadCount > 0) return options->threadCount;
    const int64_t width = info->biWidth > 0 ? info->biWidth : 0;
    const int64_t height = info->biHeight > 0 ? info->biHeight : 0;
    return width * height < kThreadsMinPixels || ProcessorsBusy() ? 1 : 0;
}

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
    const int threads = ThreadsFor(options, source);
    const PaletteChoice desktop = {};
    const PaletteChoice* choice = options ? &options->palette : &desktop;
    std::memset(result, 0, sizeof *result);
    PaletteLayout layout;
    if (!ChoosePalette(result->palette, &layout, choice, picture->pixels, source, threads)) {
        return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    }
    result->form = {choice->depth ? choice->depth : 8, choice->rle, layout.tableCount};
    result->info = *source;
    result->info.biBitCount = 8;
    result->info.biSizeImage = uint32_t(ImageSize(&result->info));
    MendCarriedHeaderFields(&result->info);
    result->indices = static_cast<uint8_t*>(AllocateBytes(size_t(result->info.biSizeImage)));
    if (!result->indices) return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    ClearRowPadding(result->indices, &result->info);
    DiffusionOptions diffusion = {threads, kColorCacheAuto};
    if (!MapPixels(result->indices, &result->info, result->palette, layout.firstSlot, layout.endSlot,
                   picture->pixels, source, layout.mapExactly, choice->dither == kDitherJjn, &diffusion)) {
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

bool IsPlain8(const Conversion& result) {
    return result.form.depth == 8 && !result.form.rle && result.form.tableCount == kPaletteSize;
}

int WriteConversion(const Conversion& result, const char* path, int fd) {
    if (!IsPlain8(result)) {
        return WriteIndexedBitmap(path, fd, result.indices, &result.info, result.palette, &result.form);
    }
    return path ? WriteBitmap8(path, result.indices, result.palette, &result.info)
                : WriteBitmap8ToDescriptor(fd, result.indices, result.palette, &result.info);
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
    const bool plain8 = IsPlain8(result);
    FreeConversion(&result);
    if (written) return 1;
    // The packed and run-length forms are encoded in memory before anything is written.
    if (!plain8 && error == ENOMEM) return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    char reason[sizeof(ConvertReport::reason)];
    std::snprintf(reason, sizeof reason, "cannot write %s: %s", outputName, std::strerror(error));
    return Fail(report, kConvertWriteFailed, reason, error);
}

int SourceRefused(const InputReport& input, ConvertReport* report) {
    return Fail(report, input.status == kInputNoMemory ? kConvertNoMemory : kConvertReadFailed,
                input.reason, input.systemError);
}

}  // namespace bmp256
