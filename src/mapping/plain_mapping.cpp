#include "mapping/plain_mapping.h"

#include <algorithm>

#include "mapping/nearest.h"

namespace bmp256 {

namespace {

inline uint32_t TripleKey(const uint8_t* bgr) {
    return uint32_t(bgr[0]) << 16 | uint32_t(bgr[1]) << 8 | uint32_t(bgr[2]);
}

}  // namespace

int MapExactColors(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                   int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo) {
    // (key << 8 | slot), sorted: the lowest slot of a colour comes first.
    uint64_t table[kPaletteSize];
    int n = 0;
    for (int slot = firstSlot; slot < endSlot; ++slot) {
        const PaletteEntry& e = palette[slot];
        const uint8_t bgr[3] = {e.blue, e.green, e.red};
        table[n++] = uint64_t(TripleKey(bgr)) << 8 | uint64_t(slot);
    }
    std::sort(table, table + n);
    const int32_t inStride = RowStride(sourceInfo), outStride = RowStride(outputInfo);
    for (int32_t y = 0; y < sourceInfo->biHeight; ++y) {
        const uint8_t* p = source + size_t(y) * size_t(inStride);
        uint8_t* out = indices + size_t(y) * size_t(outStride);
        for (int32_t x = 0; x < sourceInfo->biWidth; ++x, p += 3) {
            const uint64_t want = uint64_t(TripleKey(p)) << 8;
            const uint64_t* at = std::lower_bound(table, table + n, want);
            if (at == table + n || (*at >> 8) != (want >> 8)) return 0;
            out[x] = uint8_t(*at);
        }
    }
    return 1;
}

int MapToNearest(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                 int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo) {
    if (firstSlot >= endSlot) return 0;
    CandidateTable candidates;
    if (!BuildPaletteCandidates(&candidates, palette, firstSlot, endSlot)) return 0;
    const int32_t inStride = RowStride(sourceInfo), outStride = RowStride(outputInfo);
    uint32_t lastKey = 0xFFFFFFFFu;
    uint8_t lastSlot = 0;
    for (int32_t y = 0; y < sourceInfo->biHeight; ++y) {
        const uint8_t* p = source + size_t(y) * size_t(inStride);
        uint8_t* out = indices + size_t(y) * size_t(outStride);
        for (int32_t x = 0; x < sourceInfo->biWidth; ++x, p += 3) {
            const uint32_t key = TripleKey(p);
            if (key != lastKey) {
                lastKey = key;
                lastSlot = uint8_t(FindNearestColor(p, &candidates));
            }
            out[x] = lastSlot;
        }
    }
    ReleaseCandidateTable(&candidates);
    return 1;
}

int MapPixels(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
              int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo,
              int exactFirst, int diffuse, const DiffusionOptions* options) {
    if (exactFirst &&
        MapExactColors(indices, outputInfo, palette, firstSlot, endSlot, source, sourceInfo)) {
        return 1;
    }
    if (diffuse) {
        return DiffuseToIndices(indices, outputInfo, palette, firstSlot, endSlot, source, sourceInfo, options);
    }
    return MapToNearest(indices, outputInfo, palette, firstSlot, endSlot, source, sourceInfo);
}

}  // namespace bmp256
