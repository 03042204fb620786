// CheckBitmapParse: what must hold of the input layer's parse for any bytes.
#include <climits>
#include <cstring>

#include "bitmap/bitmap.h"
#include "fuzz/fuzz_checks.h"
#include "input/input.h"
#include "platform/alloc.h"
#include "util/test_hooks.h"

using namespace bmp256;

const char* CheckBitmapParse(const uint8_t* data, size_t size) {
    Picture picture;
    InputReport report;
    if (!ParsePicture(data, size, 0, &picture, &report)) {
        if (report.status == kInputOk || report.reason[0] == '\0') return "a refusal without a reason";
        return picture.block ? "a refusal that holds memory" : nullptr;
    }
    const BITMAPINFOHEADER& info = picture.info;
    const int64_t imageBytes = ImageSize64(&info);
    const char* problem = nullptr;
    if (info.biSize != 40 || info.biBitCount != 24 || info.biPlanes != 1 || info.biCompression != 0) {
        problem = "accepted without the canonical header";
    } else if (info.biWidth <= 0 || info.biHeight <= 0) {
        problem = "accepted with a width or height below 1";
    } else if (imageBytes <= 0 || imageBytes != int64_t(info.biSizeImage) ||
               kHeadersSize + imageBytes > INT32_MAX || Bitmap8FileSize64(&info) > INT32_MAX) {
        problem = "accepted with sizes that do not fit 32 bits";
    } else if (!picture.block &&
               (picture.pixels < data || picture.pixels + imageBytes > data + size)) {
        problem = "rows used in place lie outside the bytes";
    }
    // A BMP the reader decodes into rows of their own gives the same rows
    // as the ones used in place.
    if (!problem && size >= 2 && data[0] == 'B' && data[1] == 'M' && !picture.block) {
        BITMAPINFOHEADER decodedInfo;
        uint8_t* decoded = nullptr;
        if (ParseBitmapAny(data, size, &decodedInfo, &decoded, nullptr) != kBitmapOk) {
            problem = "the in-place rows are refused by the decoding pass";
        } else {
            const size_t stride = size_t(RowStride(&info));
            const size_t used = 3 * size_t(info.biWidth);
            for (int32_t y = 0; y < info.biHeight && !problem; ++y) {
                if (std::memcmp(decoded + y * stride, picture.pixels + y * stride, used) != 0) {
                    problem = "the in-place rows differ from the decoded ones";
                }
            }
        }
        FreeBytes(decoded);
    }
    FreePicture(&picture);
    if (problem) return problem;

    // Without memory a file that needs some is a clean refusal.
    SetAllocationFailureAt(1);
    const int again = ParsePicture(data, size, 0, &picture, &report);
    const long made = SetAllocationFailureAt(0);
    if (again) {
        FreePicture(&picture);
        return made > 0 ? "accepted although its memory could not be had" : nullptr;
    }
    if (report.status != kInputNoMemory) return "a failed allocation not reported as no memory";
    return nullptr;
}
