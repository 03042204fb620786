#include "app/convert.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bitmap/bitmap.h"
#include "mapping/diffusion.h"
#include "quantize/palette.h"
#include "util/alloc.h"

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
void MendCarriedHeaderFields(BITMAPINFOHEADER* info) {
    info->biCompression = 0;
    if (info->biClrUsed != uint32_t(kPaletteSize)) info->biClrUsed = 0;
    if (info->biClrImportant > uint32_t(kPaletteSize)) info->biClrImportant = 0;
}

// The conversion, written to `outputPath` or, when it is null, through `fd`.
int Convert(const char* sourcePath, const char* outputPath, int fd, const char* outputName,
            const ConvertOptions* options, ConvertReport* report) {
    BITMAPINFOHEADER sourceInfo;
    BitmapReadDetail detail;
    uint8_t* pixels = ReadBitmap24Ex(sourcePath, &sourceInfo, &detail);
    if (!pixels) {
        char reason[sizeof(ConvertReport::reason)];
        DescribeBitmapStatus(&detail, reason, sizeof reason);
        const ConvertStage stage = detail.status == kBitmapNoMemory ? kConvertNoMemory : kConvertReadFailed;
        return Fail(report, stage, reason, detail.systemError);
    }
    PaletteEntry palette[kPaletteSize];
    std::memset(palette, 0, sizeof palette);
    if (!BuildPalette(&palette[kFirstSlot], kColorCount, pixels, &sourceInfo)) {
        FreeBytes(pixels);
        return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    }

    BITMAPINFOHEADER indexInfo = sourceInfo;
    indexInfo.biBitCount = 8;
    indexInfo.biSizeImage = uint32_t(ImageSize(&indexInfo));
    MendCarriedHeaderFields(&indexInfo);
    uint8_t* indices = static_cast<uint8_t*>(AllocateBytes(size_t(indexInfo.biSizeImage)));
    if (!indices) {
        FreeBytes(pixels);
        return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    }
    ClearRowPadding(indices, &indexInfo);

    int result = 0;
    DiffusionOptions diffusion = {options ? options->threadCount : 0, kColorCacheAuto};
    if (!DiffuseToIndices(indices, &indexInfo, palette, kFirstSlot, kEndSlot, pixels, &sourceInfo, &diffusion)) {
        Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    } else if (!(outputPath ? WriteBitmap8(outputPath, indices, palette, &indexInfo)
                            : WriteBitmap8ToDescriptor(fd, indices, palette, &indexInfo))) {
        const int error = errno;
        char reason[sizeof(ConvertReport::reason)];
        std::snprintf(reason, sizeof reason, "cannot write %s: %s", outputName, std::strerror(error));
        Fail(report, kConvertWriteFailed, reason, error);
    } else {
        result = 1;
        if (report) {
            report->stage = kConvertDone;
            report->reason[0] = '\0';
            report->systemError = 0;
        }
    }
    FreeBytes(indices);
    FreeBytes(pixels);
    return result;
}

}  // namespace

int ConvertFileEx(const char* sourcePath, const char* outputPath, ConvertReport* report) {
    return Convert(sourcePath, outputPath, -1, outputPath, nullptr, report);
}

int ConvertFileToDescriptor(const char* sourcePath, int fd, const char* outputName,
                            const ConvertOptions* options, ConvertReport* report) {
    return Convert(sourcePath, nullptr, fd, outputName, options, report);
}

int ConvertFile(const char* sourcePath, const char* outputPath) {
    return ConvertFileEx(sourcePath, outputPath, nullptr);
}

}  // namespace bmp256
