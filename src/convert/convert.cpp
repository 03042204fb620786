#include "convert/convert.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "input/decode.h"
#include "mapping/diffusion.h"
#include "quantize/palette.h"
#include "platform/alloc.h"
#include "platform/file_system.h"

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

int ReadFailed(ConvertReport* report, const BitmapReadDetail& detail) {
    char reason[sizeof(ConvertReport::reason)];
    DescribeBitmapStatus(&detail, reason, sizeof reason);
    const ConvertStage stage = detail.status == kBitmapNoMemory ? kConvertNoMemory : kConvertReadFailed;
    return Fail(report, stage, reason, detail.systemError);
}

int DecodeFailed(ConvertReport* report, const DecodeDetail& detail) {
    switch (detail.status) {
        case kDecodeNoMemory:
            return Fail(report, kConvertNoMemory, "not enough memory for the image", ENOMEM);
        case kDecodeTooLarge:
            return Fail(report, kConvertReadFailed, "the image is too large", 0);
        default:
            return Fail(report, kConvertReadFailed,
                        detail.reason[0] ? detail.reason : "the image cannot be read", 0);
    }
}

// The source in any form bmp256-convert reads, as the canonical picture.
// The one canonical form goes through the strict reader, so its bytes are
// the desktop program's; every other BMP through the wide one; the rest
// through the image libraries.
int DecodeSource(const uint8_t* data, size_t size, const ReadOptions& options,
                 BITMAPINFOHEADER* info, uint8_t** pixels, ConvertReport* report) {
    BitmapReadDetail detail;
    *pixels = ParseBitmap24(data, size, info, &detail);
    if (*pixels) return 1;
    if (detail.status == kBitmapNoMemory) return ReadFailed(report, detail);
    DecodeDetail decoded;
    if (size >= 2 && data[0] == 'B' && data[1] == 'A') {
        return Fail(report, kConvertReadFailed,
                    "an OS/2 bitmap array (several bitmaps in one file) is not read; "
                    "save the bitmap you want as a BMP of its own",
                    0);
    }
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        BitmapStatus status = ParseBitmapAny(data, size, info, pixels, &detail, &options);
        if (status == kBitmapOk) return 1;
        if (status != kBitmapEmbedded) return ReadFailed(report, detail);
        const uint8_t* stream = data + detail.embeddedOffset;
        const size_t length = size_t(detail.embeddedSize);
        const bool jpeg = detail.compression == 4;
        if (!(jpeg ? LooksLikeJpeg(stream, length) : LooksLikePng(stream, length))) {
            return Fail(report, kConvertReadFailed,
                        jpeg ? "the JPEG inside this BMP is not a JPEG stream"
                             : "the PNG inside this BMP is not a PNG stream",
                        0);
        }
        // The BMP's own resolution wins over the stream's.
        const int32_t xPels = info->biXPelsPerMeter, yPels = info->biYPelsPerMeter;
        if (DecodeImage(stream, length, info, pixels, &decoded, &options) != kDecodeOk) {
            return DecodeFailed(report, decoded);
        }
        if (xPels > 0) {
            const bool turned = options.autoOrient && decoded.orientation >= 5;
            info->biXPelsPerMeter = turned ? yPels : xPels;
            info->biYPelsPerMeter = turned ? xPels : yPels;
        }
        return 1;
    }
    if (DecodeImage(data, size, info, pixels, &decoded, &options) == kDecodeOk) return 1;
    if (decoded.status != kDecodeUnknown) return DecodeFailed(report, decoded);
    char reason[sizeof(ConvertReport::reason)];
    const char* others = DecodedFormats();
    std::snprintf(reason, sizeof reason, "not an image this program reads (it reads BMP%s%s)",
                  others[0] ? ", " : "", others);
    return Fail(report, kConvertReadFailed, reason, 0);
}

// The desktop program's source: the one canonical form, through the file reader.
uint8_t* ReadStrict(const char* sourcePath, BITMAPINFOHEADER* info, ConvertReport* report) {
    BitmapReadDetail detail;
    uint8_t* pixels = ReadBitmap24Ex(sourcePath, info, &detail);
    if (!pixels) ReadFailed(report, detail);
    return pixels;
}

// bmp256-convert's source, read whole from the file or standard input ("-"),
// so that pipes and FIFOs work like files.
uint8_t* ReadAnyImage(const char* sourcePath, const ReadOptions& options, BITMAPINFOHEADER* info,
                      ConvertReport* report) {
    BitmapReadDetail detail = {};
    FILE* f = stdin;
    if (std::strcmp(sourcePath, "-") == 0) {
        SetBinaryMode(0);
    } else if (!(f = std::fopen(sourcePath, "rb"))) {
        detail.status = kBitmapCannotOpen;
        detail.systemError = errno;
        ReadFailed(report, detail);
        return nullptr;
    }
    size_t size = 0;
    uint8_t* data = ReadWholeStream(f, &size, &detail);
    if (f != stdin) std::fclose(f);  // read-only: nothing to lose on close
    if (!data) {
        ReadFailed(report, detail);
        return nullptr;
    }
    uint8_t* pixels = nullptr;
    DecodeSource(data, size, options, info, &pixels, report);
    FreeBytes(data);
    return pixels;
}

// The conversion, written to `outputPath` or, when it is null, through `fd`.
int Convert(const char* sourcePath, bool anyForm, const char* outputPath, int fd,
            const char* outputName, const ConvertOptions* options, ConvertReport* report) {
    BITMAPINFOHEADER sourceInfo;
    const ConvertOptions defaults;
    uint8_t* pixels = anyForm ? ReadAnyImage(sourcePath, (options ? options : &defaults)->read,
                                             &sourceInfo, report)
                              : ReadStrict(sourcePath, &sourceInfo, report);
    if (!pixels) return 0;
    PaletteEntry palette[kPaletteSize];
    std::memset(palette, 0, sizeof palette);
    if (!BuildPaletteOnThreads(&palette[kFirstSlot], kColorCount, pixels, &sourceInfo,
                               options ? options->threadCount : 0)) {
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
    return Convert(sourcePath, false, outputPath, -1, outputPath, nullptr, report);
}

int ConvertFileToDescriptor(const char* sourcePath, int fd, const char* outputName,
                            const ConvertOptions* options, ConvertReport* report) {
    return Convert(sourcePath, false, nullptr, fd, outputName, options, report);
}

int ConvertImageEx(const char* sourcePath, const char* outputPath, const ConvertOptions* options,
                   ConvertReport* report) {
    return Convert(sourcePath, true, outputPath, -1, outputPath, options, report);
}

int ConvertImageToDescriptor(const char* sourcePath, int fd, const char* outputName,
                             const ConvertOptions* options, ConvertReport* report) {
    return Convert(sourcePath, true, nullptr, fd, outputName, options, report);
}

int ConvertFile(const char* sourcePath, const char* outputPath) {
    return ConvertFileEx(sourcePath, outputPath, nullptr);
}

}  // namespace bmp256
