// CheckImageRead: what must hold of the wide BMP reader and the PNG and JPEG
// decoders for any bytes.
#include <climits>
#include <cstring>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "input/decode.h"
#include "fuzz/fuzz_checks.h"
#include "platform/alloc.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

// An accepted picture is canonical: 40-byte 24-bit header, sound sizes,
// zero row padding.
const char* CheckCanonical(const BITMAPINFOHEADER& info, const uint8_t* pixels) {
    BITMAPINFOHEADER want;
    if (!CanonicalInfo(info.biWidth, info.biHeight, &want)) return "accepted with unsound sizes";
    if (info.biSize != want.biSize || info.biBitCount != 24 || info.biPlanes != 1 ||
        info.biCompression != 0 || info.biSizeImage != want.biSizeImage) {
        return "accepted without the canonical header";
    }
    const size_t stride = size_t(RowStride(&info));
    for (int32_t y = 0; y < info.biHeight; ++y) {
        for (size_t x = 3 * size_t(info.biWidth); x < stride; ++x) {
            if (pixels[size_t(y) * stride + x] != 0) return "row padding is not zero";
        }
    }
    return nullptr;
}

}  // namespace

const char* CheckImageRead(const uint8_t* data, size_t size) {
    BITMAPINFOHEADER info;
    uint8_t* pixels = nullptr;
    BitmapReadDetail detail;
    BitmapStatus status = ParseBitmapAny(data, size, &info, &pixels, &detail);
    const char* problem = nullptr;
    if (status == kBitmapOk) {
        problem = pixels ? CheckCanonical(info, pixels) : "accepted without pixels";
    } else if (pixels) {
        problem = "a refusal that holds pixels";
    } else if (status == kBitmapForm && detail.reason[0] == '\0') {
        problem = "a refusal without a reason";
    } else if (status == kBitmapEmbedded &&
               (detail.embeddedOffset >= size || detail.embeddedSize > size - detail.embeddedOffset)) {
        problem = "the embedded stream lies outside the file";
    }
    FreeBytes(pixels);
    if (problem) return problem;
    if (status == kBitmapOk) {
        // Without memory the same file is a clean refusal.
        SetAllocationFailureAt(1);
        status = ParseBitmapAny(data, size, &info, &pixels, &detail);
        SetAllocationFailureAt(0);
        if (pixels) FreeBytes(pixels);
        if (status != kBitmapNoMemory) return "a failed allocation not reported as kBitmapNoMemory";
    }

    // The image libraries, on the whole input and on a stream embedded in a BMP.
    const uint8_t* stream = data;
    size_t length = size;
    if (status == kBitmapEmbedded) {
        stream = data + detail.embeddedOffset;
        length = size_t(detail.embeddedSize);
    }
    DecodeDetail decoded;
    DecodeStatus result = DecodeImage(stream, length, 0, &info, &pixels, &decoded);
    if (result == kDecodeOk) {
        problem = pixels ? CheckCanonical(info, pixels) : "decoded without pixels";
    } else if (pixels) {
        problem = "a failed decode that holds pixels";
    } else if (result == kDecodeFailed && decoded.reason[0] == '\0') {
        problem = "a failed decode without a reason";
    }
    FreeBytes(pixels);
    return problem;
}
