#include "reference/reference.h"

#include "platform/alloc.h"

namespace bmp256 {
namespace reference {

int CountBits8(uint8_t value) {
    unsigned x = value;
    x = (x & 0x55) + ((x >> 1) & 0x55);
    x = (x & 0x33) + ((x >> 2) & 0x33);
    return int((x & 0x0F) + (x >> 4));
}

int32_t MarkColorKeys(OccupancyCell* table, const uint8_t* pixels, const BITMAPINFOHEADER* info) {
    const int32_t width = info->biWidth;
    const int32_t height = info->biHeight;
    if (width > 0 && height > 0) {
        const int32_t stride = RowStride(info);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* p = pixels + size_t(y) * size_t(stride);
            for (int32_t x = 0; x < width; ++x, p += 3) {
                const uint32_t key = PixelColorKey(p);
                table[key >> 3].bitMask |= uint8_t(1u << (key & 7));
            }
        }
    }
    int32_t total = 0;
    for (int32_t c = 0; c < kOccupancyCellCount; ++c) {
        table[c].rankBase = total;
        total += CountBits8(table[c].bitMask);
    }
    return total;
}

int32_t ColorKeyRank(uint32_t key, const OccupancyCell* table) {
    const OccupancyCell& cell = table[key >> 3];
    int32_t rank = cell.rankBase;
    for (unsigned k = 0; k < (key & 7); ++k) rank += (cell.bitMask >> k) & 1;
    return rank;
}

void FillColorEntries(ColorEntry* entries, const OccupancyCell* table, const uint8_t* pixels,
                      const BITMAPINFOHEADER* info) {
    const int32_t width = info->biWidth;
    const int32_t height = info->biHeight;
    if (width <= 0 || height <= 0) return;
    const int32_t stride = RowStride(info);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* p = pixels + size_t(y) * size_t(stride);
        for (int32_t x = 0; x < width; ++x, p += 3) {
            const uint32_t key = PixelColorKey(p);
            ColorEntry& entry = entries[ColorKeyRank(key, table)];
            entry.colorKey = key;
            entry.pixelCount += 1;
        }
    }
}

ColorEntry* BuildColorHistogram(const uint8_t* pixels, const BITMAPINFOHEADER* info, int32_t* count) {
    OccupancyCell* table =
        static_cast<OccupancyCell*>(AllocateZeroed(kOccupancyCellCount, sizeof(OccupancyCell)));
    if (!table) return nullptr;
    const int32_t k = MarkColorKeys(table, pixels, info);
    ColorEntry* entries = static_cast<ColorEntry*>(AllocateZeroed(size_t(k), sizeof(ColorEntry)));
    if (entries) {
        FillColorEntries(entries, table, pixels, info);
        *count = k;
    }
    FreeBytes(table);
    return entries;
}

}  // namespace reference
}  // namespace bmp256
