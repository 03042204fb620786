#include "quantize/exact_colors.h"

#include <algorithm>
#include <cstring>

namespace bmp256 {

namespace {

// Open addressing at a load of at most a quarter; key + 1 so that 0 is empty.
constexpr uint32_t kHashSlots = 1024;

struct KeyHash {
    uint32_t slot[kHashSlots];
};

// Inserts `key`; returns 1 when it was new.
int Insert(KeyHash* hash, uint32_t key) {
    uint32_t at = (key * 2654435761u) >> 22;
    for (;;) {
        if (hash->slot[at] == key + 1) return 0;
        if (hash->slot[at] == 0) {
            hash->slot[at] = key + 1;
            return 1;
        }
        at = (at + 1) & (kHashSlots - 1);
    }
}

}  // namespace

int CollectExactColors(ExactColorSet* set, int limit, const uint8_t* pixels, const BITMAPINFOHEADER* info) {
    if (limit > kMaxExactColors) limit = kMaxExactColors;
    if (set->count > limit) return 0;
    KeyHash hash;
    std::memset(&hash, 0, sizeof hash);
    for (int i = 0; i < set->count; ++i) Insert(&hash, set->keys[i]);
    int count = set->count;
    const int32_t stride = RowStride(info);
    bool haveLast = false;
    uint32_t last = 0;
    for (int32_t y = 0; y < info->biHeight; ++y) {
        const uint8_t* p = pixels + size_t(y) * size_t(stride);
        for (int32_t x = 0; x < info->biWidth; ++x, p += 3) {
            const uint32_t key = MakeColorKey(p[0], p[1], p[2]);
            if (haveLast && key == last) continue;
            haveLast = true;
            last = key;
            if (Insert(&hash, key)) {
                if (count == limit) return 0;
                set->keys[count++] = key;
            }
        }
    }
    std::sort(set->keys, set->keys + count);
    set->count = count;
    return 1;
}

int MergeExactColors(ExactColorSet* into, const ExactColorSet* from, int limit) {
    uint32_t merged[2 * kMaxExactColors];
    const uint32_t* end = std::set_union(into->keys, into->keys + into->count, from->keys,
                                         from->keys + from->count, merged);
    const int count = int(end - merged);
    if (count > limit || count > kMaxExactColors) return 0;
    std::memcpy(into->keys, merged, sizeof(uint32_t) * size_t(count));
    into->count = count;
    return 1;
}

void WriteExactPalette(PaletteEntry* palette, const ExactColorSet* set) {
    for (int i = 0; i < set->count; ++i) {
        const uint32_t key = set->keys[i];
        palette[i] = PaletteEntry{KeyBlue(key), KeyGreen(key), KeyRed(key), 0};
    }
}

}  // namespace bmp256
