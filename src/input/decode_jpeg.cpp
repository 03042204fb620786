// DecodeJpeg through libjpeg: baseline and progressive, grey and colour,
// into 8-bit BGR rows written straight into the canonical picture. The
// accurate integer transform, no dithering and no block smoothing keep the
// bytes the same on every platform; a warning (damaged or cut-short data) is
// a refusal, not a picture with grey blocks. libjpeg reports errors by
// longjmp; nothing with a destructor lives across the setjmp.
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "input/decoders.h"
#include "platform/alloc.h"

namespace bmp256 {

const bool kHaveJpegDecoder = true;

namespace {

// A JPEG spends at least one bit on every 8 x 8 block of every component,
// so a picture of more than 64 x 8 pixels per byte of data claims more than
// the data can hold; refused before the picture is allocated.
constexpr uint64_t kMaxPixelsPerByte = 512;

// libjpeg's own buffers (a progressive picture's coefficients, two bytes a
// sample) bypass AllocateBytes; they are bounded by what a picture of the
// stated size needs, or by JPEGMEM where that is lower, and running out is
// reported as for every other picture.
constexpr long long kJpegWorkingBytes = 16 << 20;

struct ErrorHandler {
    jpeg_error_mgr base;
    jmp_buf jump;
    char* reason;
    size_t capacity;
    bool noMemory;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    ErrorHandler* e = reinterpret_cast<ErrorHandler*>(cinfo->err);
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::snprintf(e->reason, e->capacity, "the JPEG cannot be read: %s", message);
    e->noMemory = cinfo->err->msg_code == JERR_OUT_OF_MEMORY || cinfo->err->msg_code == JERR_NO_BACKING_STORE;
    std::longjmp(e->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) OnError(cinfo);  // a warning: the data is damaged
}

}  // namespace

DecodeStatus DecodeJpeg(const uint8_t* data, size_t size, uint64_t maxPixels, BITMAPINFOHEADER* info,
                        uint8_t** pixels, DecodeDetail* detail) {
    jpeg_decompress_struct cinfo;
    ErrorHandler handler;
    cinfo.err = jpeg_std_error(&handler.base);
    handler.base.error_exit = OnError;
    handler.base.emit_message = OnMessage;
    handler.reason = detail->reason;
    handler.capacity = sizeof detail->reason;
    handler.noMemory = false;
    uint8_t* volatile picture = nullptr;  // volatile: survives the longjmp
    if (setjmp(handler.jump)) {
        FreeBytes(picture);
        jpeg_destroy_decompress(&cinfo);
        return handler.noMemory ? kDecodeNoMemory : kDecodeFailed;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);

    DecodeStatus status = kDecodeFailed;
    do {
        if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
            std::snprintf(detail->reason, sizeof detail->reason,
                          "CMYK JPEGs are not read; save it as an RGB or grey JPEG, PNG or BMP");
            break;
        }
        if (!CanonicalInfo(cinfo.image_width, cinfo.image_height, info)) {
            status = kDecodeTooLarge;
            break;
        }
        if (!WithinAreaLimit(cinfo.image_width, cinfo.image_height, maxPixels, "JPEG", detail->reason,
                             sizeof detail->reason)) {
            break;
        }
        if (uint64_t(cinfo.image_width) * cinfo.image_height / kMaxPixelsPerByte > size) {
            std::snprintf(detail->reason, sizeof detail->reason,
                          "the JPEG claims %u x %u pixels, more than its %llu bytes can hold",
                          unsigned(cinfo.image_width), unsigned(cinfo.image_height),
                          static_cast<unsigned long long>(size));
            break;
        }
        // Rows and columns padded to whole blocks of the largest sampling.
        const long long needed = (long long)(cinfo.image_width + 32) * (cinfo.image_height + 32) *
                                     cinfo.num_components * 2 + kJpegWorkingBytes;
        const long limit = needed > LONG_MAX ? LONG_MAX : long(needed);
        if (cinfo.mem->max_memory_to_use == 0 || cinfo.mem->max_memory_to_use > limit) {
            cinfo.mem->max_memory_to_use = limit;
        }
        cinfo.out_color_space = JCS_EXT_BGR;
        cinfo.dct_method = JDCT_ISLOW;
        cinfo.dither_mode = JDITHER_NONE;
        cinfo.quantize_colors = FALSE;
        cinfo.do_block_smoothing = FALSE;
        cinfo.do_fancy_upsampling = TRUE;
        picture = static_cast<uint8_t*>(AllocateUntouched(info->biSizeImage));
        if (!picture) {
            status = kDecodeNoMemory;
            break;
        }
        jpeg_start_decompress(&cinfo);
        const size_t stride = size_t(RowStride(info));
        const JDIMENSION height = cinfo.output_height;
        while (cinfo.output_scanline < height) {
            uint8_t* row = picture + size_t(height - 1 - cinfo.output_scanline) * stride;
            std::memset(row + 3 * size_t(cinfo.output_width), 0,
                        stride - 3 * size_t(cinfo.output_width));
            JSAMPROW rows[1] = {row};
            jpeg_read_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_decompress(&cinfo);
        // A JFIF density in dots per centimetre carries over; per inch it
        // would need rounding that other readers do differently.
        if (cinfo.saw_JFIF_marker && cinfo.density_unit == 2) {
            info->biXPelsPerMeter = int32_t(cinfo.X_density) * 100;
            info->biYPelsPerMeter = int32_t(cinfo.Y_density) * 100;
        }
        *pixels = picture;
        picture = nullptr;
        status = kDecodeOk;
    } while (false);
    FreeBytes(picture);
    jpeg_destroy_decompress(&cinfo);
    return status;
}

}  // namespace bmp256
