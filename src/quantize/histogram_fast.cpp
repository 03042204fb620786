#include "quantize/histogram.h"
#include "util/alloc.h"

namespace {

constexpr int32_t kLevelColors = 1 << 18;  // 64 levels in each of three channels

// Channel value -> its level 0..63: QuantizeChannel without the two zero bits.
struct LevelTable {
    uint32_t level[256];
};

LevelTable MakeLevelTable() {
    LevelTable t;
    for (int x = 0; x < 256; ++x) t.level[x] = uint32_t(QuantizeChannel(uint8_t(x))) >> 2;
    return t;
}

}  // namespace

ColorEntry* BuildColorHistogramFast(const uint8_t* pixels, const BITMAPINFOHEADER* info, int32_t* count) {
    int32_t* counts = static_cast<int32_t*>(AllocateZeroed(kLevelColors, sizeof(int32_t)));
    if (!counts) return nullptr;
    static const LevelTable levels = MakeLevelTable();
    const uint32_t* level = levels.level;
    const int32_t width = info->biWidth;
    const int32_t height = info->biHeight;
    if (width > 0 && height > 0) {
        const size_t stride = size_t(RowStride(info));
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* p = pixels + size_t(y) * stride;
            for (int32_t x = 0; x < width; ++x, p += 3) ++counts[level[p[0]] << 12 | level[p[1]] << 6 | level[p[2]]];
        }
    }
    int32_t k = 0;
    for (int32_t c = 0; c < kLevelColors; ++c) k += counts[c] != 0;
    ColorEntry* entries = static_cast<ColorEntry*>(AllocateZeroed(size_t(k), sizeof(ColorEntry)));
    if (entries) {
        int32_t at = 0;
        for (int32_t c = 0; c < kLevelColors; ++c) {
            if (counts[c] == 0) continue;
            entries[at].colorKey = MakeColorKey(uint8_t((c >> 12) << 2), uint8_t(((c >> 6) & 63) << 2), uint8_t((c & 63) << 2));
            entries[at].pixelCount = counts[c];
            ++at;
        }
        *count = k;
    }
    FreeBytes(counts);
    return entries;
}
