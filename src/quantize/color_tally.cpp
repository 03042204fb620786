#include "quantize/color_tally.h"

#include "platform/alloc.h"

namespace bmp256 {

int OpenColorTally(ColorTally* tally) {
    tally->counts = static_cast<int64_t*>(AllocateZeroed(size_t(kTallyCells), sizeof(int64_t)));
    return tally->counts != nullptr;
}

void CloseColorTally(ColorTally* tally) {
    FreeBytes(tally->counts);
    tally->counts = nullptr;
}

void TallyPixels(ColorTally* tally, const uint8_t* pixels, const BITMAPINFOHEADER* info) {
    const int32_t stride = RowStride(info);
    for (int32_t y = 0; y < info->biHeight; ++y) {
        const uint8_t* p = pixels + size_t(y) * size_t(stride);
        for (int32_t x = 0; x < info->biWidth; ++x, p += 3) {
            const int cell = (QuantizeChannel(p[0]) >> 2) << 12 | (QuantizeChannel(p[1]) >> 2) << 6 |
                             QuantizeChannel(p[2]) >> 2;
            ++tally->counts[cell];
        }
    }
}

void AddColorTally(ColorTally* into, const ColorTally* from) {
    for (int32_t i = 0; i < kTallyCells; ++i) into->counts[i] += from->counts[i];
}

namespace {

int64_t Scaled(int64_t n, int shift) {
    if (n == 0) return 0;
    const int64_t s = n >> shift;
    return s > 0 ? s : 1;
}

}  // namespace

ColorEntry* TallyHistogram(const ColorTally* tally, int32_t* count) {
    int shift = 0;
    for (;; ++shift) {
        int64_t total = 0;
        for (int32_t i = 0; i < kTallyCells; ++i) total += Scaled(tally->counts[i], shift);
        if (total <= INT32_MAX) break;
    }
    int32_t k = 0;
    for (int32_t i = 0; i < kTallyCells; ++i) k += tally->counts[i] != 0;
    ColorEntry* entries = static_cast<ColorEntry*>(AllocateBytes(sizeof(ColorEntry) * size_t(k)));
    if (!entries) return nullptr;
    int32_t at = 0;
    for (int32_t i = 0; i < kTallyCells; ++i) {
        if (tally->counts[i] == 0) continue;
        const uint8_t blue = uint8_t((i >> 12) << 2), green = uint8_t(((i >> 6) & 63) << 2),
                      red = uint8_t((i & 63) << 2);
        entries[at++] = ColorEntry{MakeColorKey(blue, green, red), int32_t(Scaled(tally->counts[i], shift))};
    }
    *count = k;
    return entries;
}

}  // namespace bmp256
