// CheckSmallConversion: what must hold of palette construction and error
// diffusion for any small image.
#include <cstring>

#include "bitmap/bitmap.h"
#include "fuzz/fuzz_checks.h"
#include "mapping/diffusion.h"
#include "quantize/palette.h"
#include "platform/alloc.h"
#include "reference/reference.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

constexpr int kFirstSlot = 10;
constexpr int kColorCount = 236;
constexpr int kEndSlot = kFirstSlot + kColorCount;
constexpr uint8_t kUnwritten = 3;       // an index no pass may produce
constexpr uint8_t kOutsideSlot = 0x77;  // fill of slots 0 to 9 and 246 to 255
constexpr size_t kIndexCapacity = size_t(kConversionMaxSide) * ((kConversionMaxSide + 3) & ~3);

BITMAPINFOHEADER MakeInfo(int width, int height, int bitCount) {
    BITMAPINFOHEADER info;
    std::memset(&info, 0, sizeof info);
    info.biSize = 40;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = uint16_t(bitCount);
    info.biSizeImage = uint32_t(ImageSize(&info));
    return info;
}

bool SameEntry(const PaletteEntry& a, const PaletteEntry& b) {
    return a.blue == b.blue && a.green == b.green && a.red == b.red && a.reserved == b.reserved;
}

bool IsZero(const PaletteEntry& e) { return e.blue == 0 && e.green == 0 && e.red == 0 && e.reserved == 0; }

bool AllBytes(const uint8_t* bytes, size_t count, uint8_t value) {
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] != value) return false;
    }
    return true;
}

// The computed region: distinct colours with a zero fourth byte, then zeros.
const char* CheckPaletteRegion(const PaletteEntry* palette) {
    const PaletteEntry* region = palette + kFirstSlot;
    int used = kColorCount;
    while (used > 0 && IsZero(region[used - 1])) --used;
    for (int i = 0; i < used; ++i) {
        if (region[i].reserved != 0) return "a palette entry with a non-zero fourth byte";
        for (int j = 0; j < i; ++j) {
            if (SameEntry(region[i], region[j])) return "a palette colour repeats";
        }
    }
    for (int slot = 0; slot < kPaletteSize; ++slot) {
        if (slot >= kFirstSlot && slot < kEndSlot) continue;
        const PaletteEntry& e = palette[slot];
        if (e.blue != kOutsideSlot || e.green != kOutsideSlot || e.red != kOutsideSlot ||
            e.reserved != kOutsideSlot) {
            return "a slot outside 10 to 245 was written";
        }
    }
    return nullptr;
}

}  // namespace

void BuildSmallImage(const uint8_t* data, size_t size, int* width, int* height,
                     uint8_t* pixels, size_t capacity) {
    *width = 1 + (size > 0 ? data[0] : 0) % kConversionMaxSide;
    *height = 1 + (size > 1 ? data[1] : 0) % kConversionMaxSide;
    const uint8_t* source = size > 3 ? data + 3 : nullptr;
    const size_t sourceBytes = size > 3 ? size - 3 : 0;
    const size_t stride = size_t(3 * *width + 3) & ~size_t(3);
    std::memset(pixels, 0, capacity);
    size_t next = 0;
    for (int y = 0; y < *height; ++y) {
        for (int x = 0; x < 3 * *width; ++x) {
            pixels[size_t(y) * stride + size_t(x)] = source ? source[next++ % sourceBytes] : 0;
        }
    }
}

const char* CheckSmallConversion(const uint8_t* data, size_t size) {
    int width = 0, height = 0;
    uint8_t pixels[kSmallImageCapacity];
    BuildSmallImage(data, size, &width, &height, pixels, sizeof pixels);
    const long failAt = size > 2 && data[2] < 16 ? data[2] : 0;
    const BITMAPINFOHEADER sourceInfo = MakeInfo(width, height, 24);
    const BITMAPINFOHEADER indexInfo = MakeInfo(width, height, 8);
    const size_t indexBytes = size_t(ImageSize(&indexInfo));

    PaletteEntry palette[kPaletteSize];
    std::memset(palette, kOutsideSlot, sizeof palette);
    std::memset(palette + kFirstSlot, 0xEE, kColorCount * sizeof palette[0]);
    uint8_t indices[kIndexCapacity];
    std::memset(indices, kUnwritten, sizeof indices);

    // The mapping the conversion runs: threads and the colour cache as the
    // length picks them, so every combination gets its share of inputs.
    DiffusionOptions options;
    options.threadCount = 1 + int(size % 3);
    options.useColorCache = int(size / 3 % 2);

    SetAllocationFailureAt(failAt);
    int built = BuildPalette(palette + kFirstSlot, kColorCount, pixels, &sourceInfo);
    int mapped = built ? DiffuseToIndices(indices, &indexInfo, palette, kFirstSlot, kEndSlot,
                                              pixels, &sourceInfo, &options)
                       : 0;
    SetAllocationFailureAt(0);

    if (const char* problem = CheckPaletteRegion(palette)) return problem;
    if (!built) {
        if (failAt == 0) return "BuildPalette failed without an allocation failure";
        for (int i = 0; i < kColorCount; ++i) {
            if (!IsZero(palette[kFirstSlot + i])) return "a failed BuildPalette left colours behind";
        }
        return nullptr;
    }
    if (!mapped) {
        if (failAt == 0) return "DiffuseToIndices failed without an allocation failure";
        if (!AllBytes(indices, sizeof indices, kUnwritten)) return "a failed DiffuseToIndices wrote indices";
        return nullptr;
    }

    const int32_t stride = RowStride(&indexInfo);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = indices + size_t(y) * size_t(stride);
        for (int x = 0; x < width; ++x) {
            if (row[x] < kFirstSlot || row[x] >= kEndSlot) return "an index outside 10 to 245";
        }
        if (!AllBytes(row + width, size_t(stride - width), kUnwritten)) return "row padding was written";
    }
    if (!AllBytes(indices + indexBytes, sizeof indices - indexBytes, kUnwritten)) {
        return "written past the index buffer's image size";
    }

    // The plain construction gives the same palette, and the plain mapping,
    // pixel by pixel in one thread, the same indices.
    PaletteEntry plainPalette[kPaletteSize];
    std::memset(plainPalette, kOutsideSlot, sizeof plainPalette);
    std::memset(plainPalette + kFirstSlot, 0xEE, kColorCount * sizeof plainPalette[0]);
    if (!reference::BuildPalette(plainPalette + kFirstSlot, kColorCount, pixels, &sourceInfo)) {
        return "the reference BuildPalette failed where the product construction succeeded";
    }
    if (std::memcmp(plainPalette, palette, sizeof palette) != 0) return "the fast and the plain palette differ";
    uint8_t plain[kIndexCapacity];
    std::memset(plain, kUnwritten, sizeof plain);
    if (!reference::DiffuseToIndices(plain, &indexInfo, palette, kFirstSlot, kEndSlot, pixels, &sourceInfo)) {
        return "the reference DiffuseToIndices failed where the product mapping succeeded";
    }
    if (std::memcmp(plain, indices, sizeof plain) != 0) return "the fast and the plain mapping differ";
    return nullptr;
}
