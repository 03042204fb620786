// CheckBitmapParse: what must hold of the BMP buffer parser for any bytes.
#include <climits>
#include <cstring>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "fuzz/fuzz_checks.h"
#include "platform/alloc.h"
#include "util/test_hooks.h"

using namespace bmp256;

const char* CheckBitmapParse(const uint8_t* data, size_t size) {
    BITMAPINFOHEADER info;
    std::memset(&info, 0, sizeof info);
    BitmapReadDetail detail;
    uint8_t* pixels = ParseBitmap24(data, size, &info, &detail);

    // The gate alone must come to the same verdict, and say where the pixels are.
    BITMAPINFOHEADER gateInfo;
    std::memset(&gateInfo, 0, sizeof gateInfo);
    uint64_t offset = 0;
    BitmapStatus gate = CheckBitmap24Headers(data, size, size, &gateInfo, &offset, nullptr);
    if ((gate == kBitmapOk) != (pixels != nullptr)) {
        FreeBytes(pixels);
        return "the parser and its gate disagree on acceptance";
    }
    if (!pixels) {
        if (detail.status == kBitmapOk) return "a refusal reported as kBitmapOk";
        if (detail.status != gate) return "the parser and its gate give different reasons";
        return nullptr;
    }

    const char* problem = nullptr;
    const int64_t imageBytes = ImageSize64(&info);
    if (detail.status != kBitmapOk) {
        problem = "an accepted file without kBitmapOk";
    } else if (size < size_t(kHeadersSize) || data[0] != 'B' || data[1] != 'M') {
        problem = "accepted without the BM signature and full headers";
    } else if (info.biSize != 40 || info.biBitCount != 24) {
        problem = "accepted with a header size other than 40 or a depth other than 24";
    } else if (info.biWidth <= 0 || info.biHeight <= 0) {
        problem = "accepted with a width or height below 1";
    } else if (imageBytes <= 0 || imageBytes != ImageSize(&info) ||
               kHeadersSize + imageBytes > INT32_MAX || Bitmap8FileSize64(&info) > INT32_MAX) {
        problem = "accepted with sizes that do not fit 32 bits";
    } else if (std::memcmp(&gateInfo, &info, sizeof info) != 0) {
        problem = "the parser and its gate decode different headers";
    } else if (offset < uint64_t(kHeadersSize) || offset + uint64_t(imageBytes) > size) {
        problem = "the pixel array lies outside the file";
    } else if (std::memcmp(pixels, data + offset, size_t(imageBytes)) != 0) {
        problem = "the pixels are not the file's pixel array";
    }
    FreeBytes(pixels);
    if (problem) return problem;

    // Without memory the same file is a clean refusal.
    SetAllocationFailureAt(1);
    pixels = ParseBitmap24(data, size, &info, &detail);
    SetAllocationFailureAt(0);
    if (pixels) {
        FreeBytes(pixels);
        return "accepted although its buffer could not be allocated";
    }
    if (detail.status != kBitmapNoMemory) return "a failed allocation not reported as kBitmapNoMemory";
    return nullptr;
}
