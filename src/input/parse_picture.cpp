// ParsePicture: the bytes of a source, in whichever form they come, into
// the canonical picture; the form is told by its first bytes.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "input/decode.h"
#include "input/input.h"
#include "input/read_forms.h"
#include "input/source.h"
#include "platform/alloc.h"

namespace bmp256 {

namespace {

bool LooksLikeBmp(const uint8_t* data, size_t size) {
    return size >= 2 && data[0] == 'B' && data[1] == 'M';
}

int BitmapRefused(InputReport* report, const BitmapReadDetail& detail) {
    char reason[sizeof report->reason];
    DescribeBitmapStatus(&detail, reason, sizeof reason);
    if (detail.status == kBitmapNoMemory) return Refused(report, kInputNoMemory, ENOMEM, "%s", reason);
    return Refused(report, kInputRefused, 0, "%s", reason);
}

int DecodeRefused(InputReport* report, const DecodeDetail& detail) {
    switch (detail.status) {
        case kDecodeNoMemory:
            return Refused(report, kInputNoMemory, ENOMEM, "not enough memory for the image");
        case kDecodeTooLarge:
            return Refused(report, kInputRefused, 0, "the image is too large");
        default:
            return Refused(report, kInputRefused, 0, "%s",
                           detail.reason[0] ? detail.reason : "the image cannot be read");
    }
}

// A PNG or JPEG stream, on its own or inside a BMP.
int ParseStream(const uint8_t* data, size_t size, uint64_t maxPixels, const ReadOptions& options,
                Picture* picture, InputReport* report, int* orientation = nullptr) {
    DecodeDetail decoded;
    uint8_t* pixels = nullptr;
    if (DecodeImage(data, size, maxPixels, &picture->info, &pixels, &decoded, &options) != kDecodeOk) {
        return DecodeRefused(report, decoded);
    }
    if (orientation) *orientation = options.autoOrient ? decoded.orientation : 0;
    picture->pixels = pixels;
    picture->block = pixels;
    return 1;
}

// A JPEG or PNG inside a BMP: the picture the stream holds, with the BMP's
// own resolution where it has one.
int ParseEmbedded(const uint8_t* stream, size_t length, uint64_t maxPixels,
                  const ReadOptions& options, Picture* picture, InputReport* report) {
    const int32_t xPels = picture->info.biXPelsPerMeter, yPels = picture->info.biYPelsPerMeter;
    int orientation = 0;
    if (!ParseStream(stream, length, maxPixels, options, picture, report, &orientation)) return 0;
    if (xPels != 0 || yPels != 0) {
        const bool turned = orientation >= 5;  // width and height swapped
        picture->info.biXPelsPerMeter = turned ? yPels : xPels;
        picture->info.biYPelsPerMeter = turned ? xPels : yPels;
    }
    return 1;
}

int ParseBitmap(const uint8_t* data, size_t size, uint64_t maxPixels, const ReadOptions& options,
                Picture* picture, InputReport* report) {
    form::Layout layout;
    BitmapReadDetail detail;
    const BitmapStatus status = FindBitmapLayout(data, size, maxPixels, &layout, &picture->info, &detail);
    std::memcpy(layout.background, options.background, sizeof layout.background);
    if (status == kBitmapEmbedded) {
        const uint8_t* stream = data + detail.embeddedOffset;
        const size_t length = size_t(detail.embeddedSize);
        const bool jpeg = detail.compression == 4;
        if (!(jpeg ? LooksLikeJpeg(stream, length) : LooksLikePng(stream, length))) {
            return Refused(report, kInputRefused, 0, "the %s inside this BMP is not a %s stream",
                           jpeg ? "JPEG" : "PNG", jpeg ? "JPEG" : "PNG");
        }
        return ParseEmbedded(stream, length, maxPixels, options, picture, report);
    }
    if (status != kBitmapOk) return BitmapRefused(report, detail);
    if (RowsInPlace(layout)) {
        picture->pixels = layout.pixels;  // the caller's bytes: nothing of its own to free
        return 1;
    }
    uint8_t* pixels = nullptr;
    if (DecodeBitmapRows(layout, &picture->info, &pixels, &detail) != kBitmapOk) {
        return BitmapRefused(report, detail);
    }
    picture->pixels = pixels;
    picture->block = pixels;
    return 1;
}

}  // namespace

int Refused(InputReport* report, InputStatus status, int systemError, const char* format, ...) {
    if (!report) return 0;
    report->status = status;
    report->systemError = systemError;
    va_list args;
    va_start(args, format);
    std::vsnprintf(report->reason, sizeof report->reason, format, args);
    va_end(args);
    return 0;
}

int CheckSignature(const uint8_t* head, size_t size, InputReport* report) {
    if (size == 0) return Refused(report, kInputRefused, 0, "the file is empty");
    if (LooksLikeBmp(head, size)) return 1;
    if (size >= 2 && head[0] == 'B' && head[1] == 'A') {
        return Refused(report, kInputRefused, 0,
                       "an OS/2 bitmap array (several bitmaps in one file) is not read; "
                       "save the bitmap you want as a BMP of its own");
    }
    DecodeDetail decoded;
    if (CanDecode(head, size, &decoded)) return 1;
    if (decoded.status != kDecodeUnknown) return DecodeRefused(report, decoded);
    const char* others = DecodedFormats();
    return Refused(report, kInputRefused, 0, "not an image this program reads (it reads BMP%s%s)",
                   others[0] ? ", " : "", others);
}

int ParsePicture(const uint8_t* data, size_t size, uint64_t maxPixels, Picture* picture,
                 InputReport* report, const ReadOptions* options) {
    const ReadOptions defaults;
    if (!options) options = &defaults;
    InputReport local;
    if (!report) report = &local;
    std::memset(report, 0, sizeof *report);
    std::memset(picture, 0, sizeof *picture);
    if (!CheckSignature(data, size, report)) return 0;
    return LooksLikeBmp(data, size) ? ParseBitmap(data, size, maxPixels, *options, picture, report)
                                    : ParseStream(data, size, maxPixels, *options, picture, report);
}

void FreePicture(Picture* picture) {
    FreeBytes(picture->block);
    picture->block = nullptr;
    picture->pixels = nullptr;
}

}  // namespace bmp256
