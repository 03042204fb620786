// DecodeImage: recognises the stream by its signature and hands it to the
// decoder this build has for it.
#include <cstdio>
#include <cstring>

#include "input/decode.h"
#include "input/decoders.h"
#include "input/orientation.h"
#include "platform/alloc.h"

namespace bmp256 {

bool LooksLikePng(const uint8_t* data, size_t size) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

bool LooksLikeJpeg(const uint8_t* data, size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

const char* DecodedFormats() {
    if (kHavePngDecoder && kHaveJpegDecoder) return "PNG, JPEG";
    if (kHavePngDecoder) return "PNG";
    if (kHaveJpegDecoder) return "JPEG";
    return "";
}

bool CanDecode(const uint8_t* data, size_t size, DecodeDetail* detail) {
    std::memset(detail, 0, sizeof *detail);
    const bool png = LooksLikePng(data, size);
    if (!png && !LooksLikeJpeg(data, size)) {
        detail->status = kDecodeUnknown;
        return false;
    }
    if (png ? kHavePngDecoder : kHaveJpegDecoder) return true;
    const char* name = png ? "PNG" : "JPEG";
    std::snprintf(detail->reason, sizeof detail->reason,
                  "a %s file, but this build reads no %s (built without lib%s); "
                  "convert it to BMP first",
                  name, name, png ? "png" : "jpeg");
    detail->status = kDecodeUnavailable;
    return false;
}

DecodeStatus DecodeImage(const uint8_t* data, size_t size, uint64_t maxPixels,
                         BITMAPINFOHEADER* info, uint8_t** pixels, DecodeDetail* detail,
                         const ReadOptions* options) {
    const ReadOptions defaults;
    if (!options) options = &defaults;
    DecodeDetail local;
    if (!detail) detail = &local;
    *pixels = nullptr;
    if (!CanDecode(data, size, detail)) return detail->status;
    detail->status = LooksLikePng(data, size)
                         ? DecodePng(data, size, maxPixels, info, pixels, detail, *options)
                         : DecodeJpeg(data, size, maxPixels, info, pixels, detail, *options);
    if (detail->status == kDecodeOk && options->autoOrient &&
        !OrientPicture(detail->orientation, info, pixels)) {
        FreeBytes(*pixels);
        *pixels = nullptr;
        detail->status = kDecodeNoMemory;
    }
    return detail->status;
}

}  // namespace bmp256
