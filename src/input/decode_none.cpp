// Stand-ins for the decoders a build lacks; DecodeImage never calls them.
#include "input/decoders.h"

namespace bmp256 {

#ifndef BMP256_HAVE_PNG
const bool kHavePngDecoder = false;
DecodeStatus DecodePng(const uint8_t*, size_t, uint64_t, BITMAPINFOHEADER*, uint8_t**, DecodeDetail*,
                       const ReadOptions&) {
    return kDecodeUnavailable;
}
#endif

#ifndef BMP256_HAVE_JPEG
const bool kHaveJpegDecoder = false;
DecodeStatus DecodeJpeg(const uint8_t*, size_t, uint64_t, BITMAPINFOHEADER*, uint8_t**, DecodeDetail*,
                       const ReadOptions&) {
    return kDecodeUnavailable;
}
#endif

}  // namespace bmp256
