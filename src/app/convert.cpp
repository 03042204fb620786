#include "app/convert.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bitmap/bitmap.h"
#include "decode/decode.h"
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
// biPlanes other than 1 makes other readers refuse the file.
void MendCarriedHeaderFields(BITMAPINFOHEADER* info) {
    info->biPlanes = 1;
    info->biCompression = 0;
    if (info->biClrUsed != uint32_t(kPaletteSize)) info->biClrUsed = 0;
    if (info->biClrImportant > uint32_t(kPaletteSize)) info->biClrImportant = 0;
}

// The 8-bit picture of an accepted source, in memory.
struct Converted {
    BITMAPINFOHEADER info;
    PaletteEntry palette[kPaletteSize];
    uint8_t* indices;  // FreeBytes
};

// Builds the palette and the index rows of `pixels`; frees nothing of the
// caller's. Returns 1, or 0 with the report filled.
int ConvertPixels(const BITMAPINFOHEADER* sourceInfo, const uint8_t* pixels, Converted* out,
                  ConvertReport* report) {
    out->indices = nullptr;
    std::memset(out->palette, 0, sizeof out->palette);
    if (!BuildPalette(&out->palette[kFirstSlot], kColorCount, pixels, sourceInfo)) {
        return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    }
    out->info = *sourceInfo;
    out->info.biBitCount = 8;
    out->info.biSizeImage = uint32_t(ImageSize(&out->info));
    MendCarriedHeaderFields(&out->info);
    out->indices = static_cast<uint8_t*>(AllocateBytes(size_t(out->info.biSizeImage)));
    if (!out->indices) return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    ClearRowPadding(out->indices, &out->info);
    if (!DiffuseToIndices(out->indices, &out->info, out->palette, kFirstSlot, kEndSlot, pixels,
                              sourceInfo, nullptr)) {
        FreeBytes(out->indices);
        out->indices = nullptr;
        return Fail(report, kConvertNoMemory, "not enough memory", ENOMEM);
    }
    return 1;
}

void Succeed(ConvertReport* report) {
    if (report) {
        report->stage = kConvertDone;
        report->reason[0] = '\0';
        report->systemError = 0;
    }
}

int WriteFailed(ConvertReport* report, const char* outputPath) {
    const int error = errno;
    char reason[sizeof(ConvertReport::reason)];
    std::snprintf(reason, sizeof reason, "cannot write %s: %s", outputPath, std::strerror(error));
    return Fail(report, kConvertWriteFailed, reason, error);
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
int DecodeSource(const uint8_t* data, size_t size, BITMAPINFOHEADER* info, uint8_t** pixels,
                 ConvertReport* report) {
    BitmapReadDetail detail;
    *pixels = ParseBitmap24(data, size, info, &detail);
    if (*pixels) return 1;
    if (detail.status == kBitmapNoMemory) return ReadFailed(report, detail);
    DecodeDetail decoded;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        BitmapStatus status = ParseBitmapAny(data, size, info, pixels, &detail);
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
        if (DecodeImage(stream, length, info, pixels, &decoded) == kDecodeOk) return 1;
        return DecodeFailed(report, decoded);
    }
    if (DecodeImage(data, size, info, pixels, &decoded) == kDecodeOk) return 1;
    if (decoded.status != kDecodeUnknown) return DecodeFailed(report, decoded);
    char reason[sizeof(ConvertReport::reason)];
    const char* others = DecodedFormats();
    std::snprintf(reason, sizeof reason, "not an image this program reads (it reads BMP%s%s)",
                  others[0] ? ", " : "", others);
    return Fail(report, kConvertReadFailed, reason, 0);
}

// Reads and converts `source`; the caller writes `out` and frees its indices.
int ConvertStream(FILE* source, Converted* out, ConvertReport* report) {
    out->indices = nullptr;
    BitmapReadDetail detail;
    size_t size = 0;
    uint8_t* data = ReadWholeStream(source, &size, &detail);
    if (!data) return ReadFailed(report, detail);
    BITMAPINFOHEADER info;
    uint8_t* pixels = nullptr;
    int ok = DecodeSource(data, size, &info, &pixels, report);
    FreeBytes(data);
    if (ok) ok = ConvertPixels(&info, pixels, out, report);
    FreeBytes(pixels);
    return ok;
}

}  // namespace

int ConvertFileEx(const char* sourcePath, const char* outputPath, ConvertReport* report) {
    BITMAPINFOHEADER sourceInfo;
    BitmapReadDetail detail;
    uint8_t* pixels = ReadBitmap24Ex(sourcePath, &sourceInfo, &detail);
    if (!pixels) return ReadFailed(report, detail);
    Converted converted;
    int result = ConvertPixels(&sourceInfo, pixels, &converted, report);
    FreeBytes(pixels);
    if (!result) return 0;
    if (!WriteBitmap8(outputPath, converted.indices, converted.palette, &converted.info)) {
        result = WriteFailed(report, outputPath);
    } else {
        Succeed(report);
    }
    FreeBytes(converted.indices);
    return result;
}

int ConvertFile(const char* sourcePath, const char* outputPath) {
    return ConvertFileEx(sourcePath, outputPath, nullptr);
}

int ConvertStreamEx(FILE* source, const char* outputPath, ConvertReport* report) {
    Converted converted;
    if (!ConvertStream(source, &converted, report)) return 0;
    int result = 1;
    if (!WriteBitmap8(outputPath, converted.indices, converted.palette, &converted.info)) {
        result = WriteFailed(report, outputPath);
    } else {
        Succeed(report);
    }
    FreeBytes(converted.indices);
    return result;
}

int ConvertStreamToStreamEx(FILE* source, FILE* output, ConvertReport* report) {
    Converted converted;
    if (!ConvertStream(source, &converted, report)) return 0;
    int result = 1;
    if (!WriteBitmap8ToStream(output, converted.indices, converted.palette, &converted.info)) {
        result = WriteFailed(report, "standard output");
    } else {
        Succeed(report);
    }
    FreeBytes(converted.indices);
    return result;
}

}  // namespace bmp256
