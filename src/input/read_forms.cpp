// ParseBitmapAny: the header pass of the wide reader. One gate finds the
// form, tests every field against the real length of the data and refuses
// before anything is allocated; the pixel passes then fill the canonical
// buffer.
#include <cstdarg>
#include <cstring>

#include "bitmap/bitmap.h"
#include "input/color_profile.h"
#include "input/input.h"
#include "input/read_forms.h"
#include "platform/alloc.h"

namespace bmp256 {

namespace {

using form::Channel;
using form::Layout;

constexpr uint32_t kCoreHeader = 12;      // OS/2 1.x: 16-bit width and height
constexpr uint32_t kOs2MinHeader = 16;    // OS/2 2.x headers may stop after any field
constexpr uint32_t kOs2MaxHeader = 64;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kMaxInfoHeader = 124;  // the V5 header
constexpr uint32_t kJpeg = 4;             // a JPEG or PNG stream stands in for the rows
constexpr uint32_t kPng = 5;
constexpr uint32_t kAlphaBitfields = 6;
constexpr uint32_t kOs2Huffman = 3;       // the same codes mean other things in OS/2 2.x
constexpr uint32_t kOs2Rle24 = 4;
constexpr uint32_t kProfileEmbedded = 0x4D424544;  // bV5CSType 'MBED'
constexpr uint32_t kV5ProfileFields = 112;         // bV5ProfileData, then bV5ProfileSize
// A run-length stream needs data for its pixels; left-out pixels are
// allowed, but a picture this much larger than its data is a damaged header
// and not a reason to allocate gigabytes.
constexpr uint64_t kMaxRlePixelsPerByte = 4096;

const char kFormsRead[] =
    "BMP forms read: 12- to 124-byte headers; 1, 2, 4, 8, 16, 24 and 32 bits; RLE4, RLE8, "
    "bit fields";

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

BitmapStatus Refuse(BitmapReadDetail* detail, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(detail->reason, sizeof detail->reason, format, args);
    va_end(args);
    detail->status = kBitmapForm;
    return kBitmapForm;
}

BitmapStatus Finish(BitmapReadDetail* detail, BitmapStatus status) {
    detail->status = status;
    return status;
}

// A mask must be one run of bits inside the pixel.
bool MakeChannel(uint32_t mask, int bitCount, Channel* channel) {
    *channel = Channel{mask, 0, 0};
    if (mask == 0) return true;
    if (bitCount < 32 && (mask >> bitCount) != 0) return false;
    while (((mask >> channel->shift) & 1u) == 0) ++channel->shift;
    uint32_t run = mask >> channel->shift;
    while (run & 1u) {
        ++channel->bits;
        run >>= 1;
    }
    return run == 0;
}

// A V5 header's embedded profile, where it lies wholly inside the file. One
// that lies outside is passed over, as viewers pass it over; a linked
// profile names another file, which is not opened.
void FindEmbeddedProfile(const uint8_t* data, size_t size, const uint8_t* fields,
                         uint32_t headerSize, form::Layout* layout) {
    if (headerSize != kMaxInfoHeader || Get32(fields + 56) != kProfileEmbedded) return;
    const uint64_t start = uint64_t(kFileHeaderSize) + Get32(fields + kV5ProfileFields);
    const uint64_t length = Get32(fields + kV5ProfileFields + 4);
    if (start > size || length > size - start || length == 0) return;
    layout->profile = data + start;
    layout->profileSize = size_t(length);
}

bool ValidDepth(uint16_t bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 ||
           bits == 32;
}

}  // namespace

BitmapStatus FindBitmapLayout(const uint8_t* data, size_t size, uint64_t maxPixels,
                              form::Layout* found, BITMAPINFOHEADER* info, BitmapReadDetail* detail) {
    *detail = BitmapReadDetail{};

    // Signature, then a header size that names a known form, all present.
    if (size < 2 || data[0] != 'B' || data[1] != 'M') return Finish(detail, kBitmapNotBmp);
    if (size < size_t(kFileHeaderSize) + 4) {
        detail->missingBytes = kFileHeaderSize + 4 - size;
        return Finish(detail, kBitmapShortHeader);
    }
    const uint32_t headerSize = Get32(data + kFileHeaderSize);
    detail->headerSize = headerSize;
    const bool core = headerSize == kCoreHeader;
    const bool windows = headerSize == 40 || headerSize == 52 || headerSize == 56 ||
                         headerSize == 108 || headerSize == kMaxInfoHeader;
    const bool os2 = !windows && headerSize >= kOs2MinHeader && headerSize <= kOs2MaxHeader &&
                     headerSize % 4 == 0;
    if (!core && !windows && !os2) {
        return Refuse(detail, "a %u-byte info header is not a BMP form (%s)", headerSize,
                      kFormsRead);
    }
    const uint64_t headersEnd = uint64_t(kFileHeaderSize) + headerSize;
    if (size < headersEnd) {
        detail->missingBytes = headersEnd - size;
        return Finish(detail, kBitmapShortHeader);
    }

    // The fields the header has; an OS/2 2.x header that stops early leaves
    // the rest zero.
    const uint8_t* h = data + kFileHeaderSize;
    uint8_t fields[kMaxInfoHeader] = {};
    int64_t width, height;
    uint16_t bitCount;
    if (core) {
        width = Get16(h + 4);
        height = Get16(h + 6);
        bitCount = Get16(h + 10);
    } else {
        std::memcpy(fields, h, headerSize);
        width = static_cast<int32_t>(Get32(fields + 4));
        height = static_cast<int32_t>(Get32(fields + 8));
        bitCount = Get16(fields + 14);
    }
    const uint32_t compression = Get32(fields + 16);
    const uint32_t sizeImage = Get32(fields + 20);
    const int32_t xPels = static_cast<int32_t>(Get32(fields + 24));
    const int32_t yPels = static_cast<int32_t>(Get32(fields + 28));
    const uint32_t clrUsed = Get32(fields + 32);
    const uint32_t clrImportant = Get32(fields + 36);
    detail->bitCount = bitCount;
    detail->compression = compression;
    detail->width = static_cast<int32_t>(width);
    detail->height = static_cast<int32_t>(height);

    // A JPEG or PNG inside: its own decoder reads it, from bfOffBits on.
    if (windows && (compression == kJpeg || compression == kPng)) {
        uint32_t offset = Get32(data + 10);
        if (offset < headersEnd || offset >= size) {
            return Refuse(detail, "the embedded %s stream lies outside the file",
                          compression == kJpeg ? "JPEG" : "PNG");
        }
        // The BMP's own resolution; the stream's decoder fills the rest.
        std::memset(info, 0, sizeof *info);
        info->biXPelsPerMeter = xPels;
        info->biYPelsPerMeter = yPels;
        detail->embeddedOffset = offset;
        detail->embeddedSize = size - offset;
        if (sizeImage != 0 && sizeImage < detail->embeddedSize) detail->embeddedSize = sizeImage;
        return Finish(detail, kBitmapEmbedded);
    }

    if (!ValidDepth(bitCount)) {
        return Refuse(detail, "%u bits per pixel is not read (%s)", bitCount, kFormsRead);
    }
    if (width <= 0) return Finish(detail, kBitmapBadDimensions);
    if (height == 0 || height == INT32_MIN) return Finish(detail, kBitmapBadDimensions);
    const bool topDown = height < 0;
    if (topDown) height = -height;

    Layout& layout = *found;
    std::memset(&layout, 0, sizeof layout);
    layout.width = static_cast<int32_t>(width);
    layout.height = static_cast<int32_t>(height);
    layout.topDown = topDown;
    layout.bitCount = bitCount;
    std::memset(layout.background, 0xFF, sizeof layout.background);
    FindEmbeddedProfile(data, size, fields, headerSize, &layout);

    // Compression against depth and form.
    uint64_t masksEnd = headersEnd;
    if (os2 && (compression == kOs2Huffman || compression == kOs2Rle24)) {
        return Refuse(detail, "OS/2 %s compression is not read (%s)",
                      compression == kOs2Huffman ? "Huffman" : "RLE24", kFormsRead);
    }
    if (compression == form::kRle8 || compression == form::kRle4) {
        if (bitCount != (compression == form::kRle8 ? 8 : 4)) {
            return Refuse(detail, "RLE%d data needs %d bits per pixel, not %u",
                          compression == form::kRle8 ? 8 : 4,
                          compression == form::kRle8 ? 8 : 4, bitCount);
        }
        if (topDown) return Refuse(detail, "a run-length compressed bitmap cannot be top-down");
        layout.compression = compression;
    } else if (compression == form::kBitfields || compression == kAlphaBitfields) {
        if (bitCount != 16 && bitCount != 32) {
            return Refuse(detail, "bit fields need 16 or 32 bits per pixel, not %u", bitCount);
        }
        layout.compression = form::kBitfields;
        uint32_t masks[4] = {};
        if (headerSize == kInfoHeader) {
            // The masks follow the 40-byte header.
            int count = compression == kAlphaBitfields ? 4 : 3;
            masksEnd = headersEnd + 4u * count;
            if (size < masksEnd) {
                detail->missingBytes = masksEnd - size;
                return Finish(detail, kBitmapShortHeader);
            }
            for (int i = 0; i < count; ++i) masks[i] = Get32(h + kInfoHeader + 4 * i);
        } else {
            for (int i = 0; i < 4; ++i) masks[i] = Get32(fields + 40 + 4 * i);
            if (headerSize < 56 && compression != kAlphaBitfields) masks[3] = 0;
        }
        if (!MakeChannel(masks[0], bitCount, &layout.red) ||
            !MakeChannel(masks[1], bitCount, &layout.green) ||
            !MakeChannel(masks[2], bitCount, &layout.blue) ||
            !MakeChannel(masks[3], bitCount, &layout.alpha) || masks[0] == 0 || masks[1] == 0 ||
            masks[2] == 0 || (masks[0] & masks[1]) || (masks[0] & masks[2]) ||
            (masks[1] & masks[2]) || ((masks[0] | masks[1] | masks[2]) & masks[3])) {
            return Refuse(detail,
                          "the colour masks (%08X %08X %08X %08X) are not separate runs of bits",
                          masks[0], masks[1], masks[2], masks[3]);
        }
    } else if (compression != form::kRgb) {
        return Refuse(detail, "compression %u is not read (%s)", compression, kFormsRead);
    } else if (bitCount == 16) {
        // The default 16-bit layout is 5-5-5.
        MakeChannel(0x7C00, 16, &layout.red);
        MakeChannel(0x03E0, 16, &layout.green);
        MakeChannel(0x001F, 16, &layout.blue);
    } else if (bitCount == 32) {
        MakeChannel(0xFF0000, 32, &layout.red);
        MakeChannel(0x00FF00, 32, &layout.green);
        MakeChannel(0x0000FF, 32, &layout.blue);
        // The fourth byte is alpha unless it is 0 everywhere, as browsers
        // read it: common tools write RGBA this way.
        MakeChannel(0xFF000000u, 32, &layout.alpha);
    }

    const uint32_t offBits = Get32(data + 10);
    // The colour table: biClrUsed entries (2^bits when 0), of which at most
    // 2^bits are used; an OS/2 1.x table has 3-byte entries and no count, so
    // the pixel offset bounds it.
    uint64_t tableEnd = masksEnd;
    if (bitCount <= 8) {
        const uint32_t full = 1u << bitCount;
        const uint64_t entryBytes = core ? 3 : 4;
        uint64_t listed = clrUsed != 0 ? clrUsed : full;
        if (masksEnd + listed * entryBytes > size && clrUsed != 0) {
            return Refuse(detail, "the colour table (%llu entries) runs past the end of the file",
                          static_cast<unsigned long long>(listed));
        }
        // A table cut short by bfOffBits has the entries before the pixels
        // (OS/2 1.x headers have no count at all).
        if (offBits > masksEnd) {
            uint64_t room = (offBits - masksEnd) / entryBytes;
            if (room < listed) listed = room;
        }
        if (listed == 0) return Refuse(detail, "the colour table is empty");
        tableEnd = masksEnd + listed * entryBytes;
        if (tableEnd > size) {
            detail->missingBytes = tableEnd - size;
            return Finish(detail, kBitmapShortPixels);
        }
        layout.paletteCount = listed < full ? uint32_t(listed) : full;
        for (uint32_t i = 0; i < layout.paletteCount; ++i) {
            const uint8_t* e = data + masksEnd + i * entryBytes;
            layout.palette[i] = PaletteEntry{e[0], e[1], e[2], 0};
        }
    }
    // bfOffBits is honoured unless it points into the headers.
    const uint64_t pixelOffset = offBits >= tableEnd ? offBits : tableEnd;
    if (pixelOffset > size) {
        detail->missingBytes = pixelOffset - size;
        return Finish(detail, kBitmapShortPixels);
    }
    layout.pixels = data + pixelOffset;
    layout.pixelBytes = size - size_t(pixelOffset);

    // Sizes: the canonical picture and the 8-bit file must fit 32 bits, and
    // the file must hold what the form needs.
    if (!CanonicalInfo(width, height, info)) return Finish(detail, kBitmapTooLarge);
    const uint64_t pixelCount = uint64_t(width) * uint64_t(height);
    if (layout.compression == form::kRle8 || layout.compression == form::kRle4) {
        if (!WithinAreaLimit(uint64_t(width), uint64_t(height), maxPixels, "run-length BMP",
                             detail->reason, sizeof detail->reason)) {
            return Finish(detail, kBitmapForm);
        }
        if (pixelCount / kMaxRlePixelsPerByte > layout.pixelBytes) {
            return Refuse(detail, "the run-length data (%llu bytes) is far too short for %lld x %lld pixels",
                          static_cast<unsigned long long>(layout.pixelBytes),
                          static_cast<long long>(width), static_cast<long long>(height));
        }
    } else {
        const uint64_t stride = ((uint64_t(bitCount) * uint64_t(width) + 31) / 32) * 4;
        const uint64_t needed = stride * uint64_t(height);  // < 2^31 * 2^31 / 8 * 4
        if (needed > layout.pixelBytes) {
            detail->missingBytes = needed - layout.pixelBytes;
            return Finish(detail, kBitmapShortPixels);
        }
    }
    // Carried into the 8-bit file as they are; no reader's picture depends
    // on them, so they never refuse a file.
    info->biXPelsPerMeter = xPels;
    info->biYPelsPerMeter = yPels;
    // Except for a 24-bit source, the colour counts describe the source's
    // own table, not the written one.
    info->biClrUsed = bitCount == 24 ? clrUsed : 0;
    info->biClrImportant = bitCount == 24 ? clrImportant : 0;
    return Finish(detail, kBitmapOk);
}

bool RowsInPlace(const form::Layout& layout) {
    return layout.bitCount == 24 && layout.compression == form::kRgb && !layout.topDown &&
           !(layout.profile && kHaveColorProfiles);
}

BitmapStatus DecodeBitmapRows(const form::Layout& layout, const BITMAPINFOHEADER* info,
                              uint8_t** pixels, BitmapReadDetail* detail) {
    *pixels = nullptr;
    uint8_t* out = static_cast<uint8_t*>(AllocateUntouched(info->biSizeImage));
    if (!out) return Finish(detail, kBitmapNoMemory);
    // Row padding is zero; pixels that run-length data leaves out are
    // transparent, which shows the background.
    const bool rle = layout.compression == form::kRle8 || layout.compression == form::kRle4;
    const size_t stride = size_t(RowStride(info));
    const size_t used = 3 * size_t(layout.width);
    for (int32_t y = 0; y < layout.height; ++y) {
        uint8_t* row = out + size_t(y) * stride;
        for (size_t x = 0; rle && x < used; x += 3) std::memcpy(row + x, layout.background, 3);
        std::memset(row + used, 0, stride - used);
    }
    bool ok = rle ? form::DecodeRle(layout, out, detail->reason, sizeof detail->reason)
                  : form::UnpackRows(layout, out, detail->reason, sizeof detail->reason);
    if (!ok) {
        FreeBytes(out);
        return Finish(detail, kBitmapForm);
    }
    if (layout.profile) {
        ProfileTransform* profile = OpenProfileToSrgb(layout.profile, layout.profileSize, kProfileBgr);
        if (profile) TransformPicture(profile, out, layout.width, layout.height, stride);
        CloseProfile(profile);
    }
    *pixels = out;
    return Finish(detail, kBitmapOk);
}

BitmapStatus ParseBitmapAny(const uint8_t* data, size_t size, BITMAPINFOHEADER* info,
                            uint8_t** pixels, BitmapReadDetail* detail, const ReadOptions* options) {
    BitmapReadDetail local;
    if (!detail) detail = &local;
    *pixels = nullptr;
    form::Layout layout;
    BitmapStatus status = FindBitmapLayout(data, size, 0, &layout, info, detail);
    if (options) std::memcpy(layout.background, options->background, sizeof layout.background);
    return status == kBitmapOk ? DecodeBitmapRows(layout, info, pixels, detail) : status;
}

}  // namespace bmp256
