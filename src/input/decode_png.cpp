// DecodePng through libpng: every PNG colour type and depth, expanded to
// 8-bit BGR (16-bit samples scaled exactly, low depths expanded, transparency
// as alpha), without gamma handling, so that the bytes are the stored
// samples. Palette indices are looked up here, so that one the palette lacks
// is refused as in a BMP. An iCCP profile is converted to sRGB before the
// alpha is composited; an eXIf block gives the orientation. libpng reports
// errors by longjmp; nothing with a destructor lives across the setjmp.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "input/color_profile.h"
#include "input/decoders.h"
#include "input/orientation.h"
#include "platform/alloc.h"

namespace bmp256 {

const bool kHavePngDecoder = true;

namespace {

// Deflate expands at most 1032 to 1: a picture that claims more filtered
// bytes than its data could hold is refused before its rows are allocated.
constexpr uint64_t kMaxInflateRatio = 1032;

struct Source {
    const uint8_t* data;
    size_t size;
    size_t at;
    char* reason;
    size_t capacity;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t length) {
    Source* s = static_cast<Source*>(png_get_io_ptr(png));
    if (length > s->size - s->at) png_error(png, "the PNG data is cut short");
    std::memcpy(out, s->data + s->at, length);
    s->at += length;
}

void OnError(png_structp png, png_const_charp message) {
    Source* s = static_cast<Source*>(png_get_error_ptr(png));
    std::snprintf(s->reason, s->capacity, "the PNG cannot be read: %s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Whether some chunk before IEND claims more bytes than the file holds.
// libpng allocates a chunk it reads (eXIf) at its claimed length before
// reading it, and only warns when the length is absurd: a 1 KB file could
// cost a gigabyte. Such a file always ends in a read past its end, so it is
// refused first, with the same words. The walk steps as libpng does.
bool ChunkRunsPastEnd(const uint8_t* data, size_t size) {
    size_t at = 8;  // past the signature
    while (size - at >= 8) {
        const png_uint_32 length = png_get_uint_32(data + at);
        if (length > size - at - 8 || size - at - 8 - length < 4) return true;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) return false;
        at += size_t(length) + 12;
    }
    return false;
}

// The decoded rows, whose pages are taken as libpng writes them: a stream
// that ends early costs what it held.
uint8_t* AllocateRows(png_uint_32 height, size_t rowBytes) {
    if (rowBytes != 0 && height > SIZE_MAX / rowBytes) return nullptr;
    return static_cast<uint8_t*>(AllocateUntouched(size_t(height) * rowBytes));
}

// What the decode holds, freed in one place whichever way it ends; volatile
// so that the values set after the setjmp survive its longjmp.
struct Held {
    uint8_t* volatile rows;  // the decoded rows, top first
    png_bytep* volatile pointers;
    uint8_t* volatile pixels;  // the canonical picture
    uint8_t* volatile line;    // one row as BGR or BGRA samples
    ProfileTransform* volatile profile;
};

void Release(Held* held) {
    FreeBytes(held->rows);
    FreeBytes(held->pointers);
    FreeBytes(held->pixels);
    FreeBytes(held->line);
    CloseProfile(held->profile);
    held->rows = nullptr;
    held->pointers = nullptr;
    held->pixels = nullptr;
    held->line = nullptr;
    held->profile = nullptr;
}

// The palette and its transparency, looked up here rather than by libpng,
// which shows an index past the palette's end as black.
struct Palette {
    png_colorp colours;
    int count;
    png_bytep alpha;
    int alphaCount;
};

// One row of palette indices as BGRA; false naming the first index the
// palette lacks.
bool LookUpRow(const Palette& p, const uint8_t* in, uint8_t* out, png_uint_32 width,
               char* reason, size_t capacity) {
    for (png_uint_32 x = 0; x < width; ++x, out += 4) {
        const int index = in[x];
        if (index >= p.count) {
            std::snprintf(reason, capacity,
                          "a pixel uses colour %d, the colour table has %d entries", index,
                          p.count);
            return false;
        }
        out[0] = p.colours[index].blue;
        out[1] = p.colours[index].green;
        out[2] = p.colours[index].red;
        out[3] = index < p.alphaCount ? p.alpha[index] : 255;
    }
    return true;
}

// An iCCP profile, unless an sRGB chunk says the samples are sRGB already.
ProfileTransform* OpenPngProfile(png_structp png, png_infop pngInfo, bool alpha) {
    if (png_get_valid(png, pngInfo, PNG_INFO_sRGB)) return nullptr;
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (!png_get_iCCP(png, pngInfo, &name, &compression, &profile, &length)) return nullptr;
    return OpenProfileToSrgb(profile, length, alpha ? kProfileBgra : kProfileBgr);
}

// The orientation of an eXIf block, which holds the TIFF structure without
// the "Exif\0\0" that libexif reads it after.
int PngOrientation(png_structp png, png_infop pngInfo) {
#ifdef PNG_eXIf_SUPPORTED
    png_uint_32 length = 0;
    png_bytep exif = nullptr;
    // Orientation sits in the first directory; a longer block is thumbnails.
    constexpr png_uint_32 kMaxExif = 1 << 20;
    if (!png_get_eXIf_1(png, pngInfo, &length, &exif) || !exif || length > kMaxExif) return 0;
    uint8_t* block = static_cast<uint8_t*>(AllocateBytes(size_t(length) + 6));
    if (!block) return 0;
    std::memcpy(block, "Exif\0\0", 6);
    std::memcpy(block + 6, exif, length);
    ExifFacts facts;
    ReadExif(block, size_t(length) + 6, &facts);
    FreeBytes(block);
    return facts.orientation;
#else
    (void)png;
    (void)pngInfo;
    return 0;
#endif
}

}  // namespace

DecodeStatus DecodePng(const uint8_t* data, size_t size, uint64_t maxPixels, BITMAPINFOHEADER* info,
                       uint8_t** pixels, DecodeDetail* detail, const ReadOptions& options) {
    if (size >= 8 && png_sig_cmp(data, 0, 8) == 0 && ChunkRunsPastEnd(data, size)) {
        std::snprintf(detail->reason, sizeof detail->reason,
                      "the PNG cannot be read: the PNG data is cut short");
        return kDecodeFailed;
    }
    Source source{data, size, 0, detail->reason, sizeof detail->reason};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnError, OnWarning);
    if (!png) return kDecodeNoMemory;
    png_infop pngInfo = png_create_info_struct(png);
    if (!pngInfo) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return kDecodeNoMemory;
    }
    Held held{nullptr, nullptr, nullptr, nullptr, nullptr};
    DecodeStatus status = kDecodeFailed;
    if (setjmp(png_jmpbuf(png))) {
        Release(&held);
        png_destroy_read_struct(&png, &pngInfo, nullptr);
        return kDecodeFailed;
    }
    png_set_read_fn(png, &source, ReadBytes);
    // Only the chunks that change the pixels or the header are read; the rest
    // are skipped unread, so a file of text chunks that each inflate to
    // megabytes costs nothing. The palette and transparency are always read.
    static const png_byte kUsedChunks[] = "iCCP\0sRGB\0pHYs\0eXIf";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kUsedChunks, 4);
    png_set_user_limits(png, INT32_MAX, INT32_MAX);
    png_read_info(png, pngInfo);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, pngInfo, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    const int channels = png_get_channels(png, pngInfo);
    const uint64_t filtered =
        uint64_t(height) * (1 + (uint64_t(width) * uint64_t(channels) * uint64_t(depth) + 7) / 8);
    do {
        if (!CanonicalInfo(width, height, info)) {
            status = kDecodeTooLarge;
            break;
        }
        if (!WithinAreaLimit(width, height, maxPixels, "PNG", detail->reason, sizeof detail->reason)) {
            break;
        }
        if (filtered / kMaxInflateRatio > size) {
            std::snprintf(detail->reason, sizeof detail->reason,
                          "the PNG claims %u x %u pixels, more than its %llu bytes can hold",
                          unsigned(width), unsigned(height), static_cast<unsigned long long>(size));
            break;
        }
        const bool indexed = colourType == PNG_COLOR_TYPE_PALETTE;
        Palette palette{nullptr, 0, nullptr, 0};
        if (indexed) {
            png_get_PLTE(png, pngInfo, &palette.colours, &palette.count);
            png_get_tRNS(png, pngInfo, &palette.alpha, &palette.alphaCount, nullptr);
            png_set_packing(png);
#ifdef PNG_CHECK_FOR_INVALID_INDEX_SUPPORTED
            png_set_check_for_invalid_index(png, 0);  // LookUpRow refuses them with our words
#endif
        } else {
            if (png_get_valid(png, pngInfo, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
            png_set_expand_gray_1_2_4_to_8(png);
            png_set_gray_to_rgb(png);  // also expands a palette, so only here
        }
        png_set_scale_16(png);
        png_set_bgr(png);
        png_set_interlace_handling(png);
        png_read_update_info(png, pngInfo);
        const size_t rowBytes = png_get_rowbytes(png, pngInfo);
        const int outChannels = indexed ? 4 : png_get_channels(png, pngInfo);
        if (outChannels != 3 && outChannels != 4) {
            std::snprintf(detail->reason, sizeof detail->reason, "this kind of PNG is not read");
            break;
        }
        held.rows = AllocateRows(height, rowBytes);
        held.pointers = static_cast<png_bytep*>(AllocateZeroed(height, sizeof(png_bytep)));
        held.pixels = static_cast<uint8_t*>(AllocateUntouched(info->biSizeImage));
        held.line = static_cast<uint8_t*>(AllocateZeroed(width, 4));
        if (!held.rows || !held.pointers || !held.pixels || !held.line) {
            status = kDecodeNoMemory;
            break;
        }
        for (png_uint_32 y = 0; y < height; ++y) held.pointers[y] = held.rows + size_t(y) * rowBytes;
        png_read_image(png, held.pointers);
        png_read_end(png, pngInfo);

        held.profile = OpenPngProfile(png, pngInfo, outChannels == 4);
        const size_t stride = size_t(RowStride(info));
        bool looked = true;
        for (png_uint_32 y = 0; y < height && looked; ++y) {
            const uint8_t* in = held.rows + size_t(y) * rowBytes;
            if (indexed) {
                looked = LookUpRow(palette, in, held.line, width, detail->reason,
                                   sizeof detail->reason);
            } else {
                std::memcpy(held.line, in, size_t(width) * size_t(outChannels));
            }
            if (held.profile) TransformPixels(held.profile, held.line, held.line, width);
            in = held.line;
            uint8_t* out = held.pixels + size_t(height - 1 - y) * stride;
            for (png_uint_32 x = 0; x < width; ++x, in += outChannels, out += 3) {
                for (int c = 0; c < 3; ++c) {
                    out[c] = outChannels == 4 ? CompositeOn(in[c], in[3], options.background[c])
                                              : in[c];
                }
            }
            std::memset(out, 0, stride - 3 * size_t(width));
        }
        if (!looked) break;
        detail->orientation = PngOrientation(png, pngInfo);
        png_uint_32 xRes = 0, yRes = 0;
        int unit = 0;
        if (png_get_pHYs(png, pngInfo, &xRes, &yRes, &unit) && unit == PNG_RESOLUTION_METER &&
            xRes <= INT32_MAX && yRes <= INT32_MAX) {
            info->biXPelsPerMeter = int32_t(xRes);
            info->biYPelsPerMeter = int32_t(yRes);
        }
        *pixels = held.pixels;
        held.pixels = nullptr;
        status = kDecodeOk;
    } while (false);
    Release(&held);
    png_destroy_read_struct(&png, &pngInfo, nullptr);
    return status;
}

}  // namespace bmp256
