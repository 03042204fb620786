// DecodeJpeg through libjpeg: baseline and progressive, grey, colour, CMYK
// and YCCK, into 8-bit BGR rows written straight into the canonical picture.
// The accurate integer transform, no dithering and no block smoothing keep
// the bytes the same on every platform. A warning that data was damaged or
// cut short is a refusal, not a picture with grey blocks; the few that leave
// every pixel as the encoder wrote it are not. An embedded ICC profile is
// converted to sRGB; the EXIF block gives the orientation and, without a
// JFIF density, the resolution. libjpeg reports errors by longjmp; nothing
// with a destructor lives across the setjmp.
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "input/color_profile.h"
#include "input/decoders.h"
#include "input/orientation.h"
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

// Warnings about bytes outside the coded data (padding before a marker, a
// newer JFIF revision, a damaged ICC marker) leave the pixels intact; every
// other warning means damaged or missing data.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    const int code = cinfo->err->msg_code;
    if (code == JWRN_EXTRANEOUS_DATA || code == JWRN_JFIF_MAJOR || code == JWRN_BOGUS_ICC) return;
    OnError(cinfo);
}

// Ink without a profile: each colour is (255 - ink) x (255 - black) / 255,
// rounded; Adobe's files store every sample as 255 - ink.
void CmykToBgr(const uint8_t* in, uint8_t* out, size_t count, bool inverted) {
    for (size_t i = 0; i < count; ++i, in += 4, out += 3) {
        const unsigned k = inverted ? in[3] : 255u - in[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned ink = inverted ? in[2 - c] : 255u - in[2 - c];
            out[c] = static_cast<uint8_t>((ink * k + 127) / 255);
        }
    }
}

// The EXIF block of the first APP1 segment that holds one.
void FindExif(const jpeg_decompress_struct& cinfo, ExifFacts* facts) {
    facts->orientation = 0;
    facts->xPelsPerMeter = facts->yPelsPerMeter = 0;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 &&
            std::memcmp(m->data, "Exif\0\0", 6) == 0) {
            ReadExif(m->data, m->data_length, facts);
            return;
        }
    }
}

// The resolution a JFIF density gives, else the EXIF block's.
void SetResolution(const jpeg_decompress_struct& cinfo, const ExifFacts& exif,
                   BITMAPINFOHEADER* info) {
    if (cinfo.saw_JFIF_marker && (cinfo.density_unit == 1 || cinfo.density_unit == 2)) {
        const int32_t x = PelsPerMeter(cinfo.X_density, 1, cinfo.density_unit == 2);
        const int32_t y = PelsPerMeter(cinfo.Y_density, 1, cinfo.density_unit == 2);
        if (x > 0 && y > 0) {
            info->biXPelsPerMeter = x;
            info->biYPelsPerMeter = y;
            return;
        }
    }
    info->biXPelsPerMeter = exif.xPelsPerMeter;
    info->biYPelsPerMeter = exif.yPelsPerMeter;
}

}  // namespace

DecodeStatus DecodeJpeg(const uint8_t* data, size_t size, uint64_t maxPixels, BITMAPINFOHEADER* info,
                        uint8_t** pixels, DecodeDetail* detail, const ReadOptions&) {
    jpeg_decompress_struct cinfo;
    ErrorHandler handler;
    cinfo.err = jpeg_std_error(&handler.base);
    handler.base.error_exit = OnError;
    handler.base.emit_message = OnMessage;
    handler.reason = detail->reason;
    handler.capacity = sizeof detail->reason;
    handler.noMemory = false;
    // volatile: these survive the longjmp
    uint8_t* volatile picture = nullptr;
    uint8_t* volatile inkRow = nullptr;  // CMYK samples of one row
    JOCTET* volatile icc = nullptr;      // libjpeg's malloc
    ProfileTransform* volatile profile = nullptr;
    if (setjmp(handler.jump)) {
        FreeBytes(picture);
        FreeBytes(inkRow);
        std::free(icc);
        CloseProfile(profile);
        jpeg_destroy_decompress(&cinfo);
        return handler.noMemory ? kDecodeNoMemory : kDecodeFailed;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);

    DecodeStatus status = kDecodeFailed;
    do {
        const bool ink = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
        // libjpeg turns YCCK into CMYK; an Adobe marker means inverted samples.
        const bool inverted = ink && cinfo.saw_Adobe_marker;
        // The saved markers live until the decompression starts.
        ExifFacts exif;
        FindExif(cinfo, &exif);
        JOCTET* iccData = nullptr;
        unsigned int iccSize = 0;
        if (jpeg_read_icc_profile(&cinfo, &iccData, &iccSize)) {
            icc = iccData;
            profile = OpenProfileToSrgb(iccData, iccSize,
                                        !ink ? kProfileBgr
                                             : inverted ? kProfileInvertedCmyk : kProfileCmyk);
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
        cinfo.out_color_space = ink ? JCS_CMYK : JCS_EXT_BGR;
        cinfo.dct_method = JDCT_ISLOW;
        cinfo.dither_mode = JDITHER_NONE;
        cinfo.quantize_colors = FALSE;
        cinfo.do_block_smoothing = FALSE;
        cinfo.do_fancy_upsampling = TRUE;
        picture = static_cast<uint8_t*>(AllocateUntouched(info->biSizeImage));
        if (ink) inkRow = static_cast<uint8_t*>(AllocateZeroed(cinfo.image_width, 4));
        if (!picture || (ink && !inkRow)) {
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
            JSAMPROW rows[1] = {ink ? inkRow : row};
            jpeg_read_scanlines(&cinfo, rows, 1);
            if (profile) {
                TransformPixels(profile, rows[0], row, cinfo.output_width);
            } else if (ink) {
                CmykToBgr(inkRow, row, cinfo.output_width, inverted);
            }
        }
        jpeg_finish_decompress(&cinfo);
        SetResolution(cinfo, exif, info);
        detail->orientation = exif.orientation;
        *pixels = picture;
        picture = nullptr;
        status = kDecodeOk;
    } while (false);
    FreeBytes(picture);
    FreeBytes(inkRow);
    std::free(icc);
    CloseProfile(profile);
    jpeg_destroy_decompress(&cinfo);
    return status;
}

}  // namespace bmp256
