#include "quantize/refine.h"

#include <cstring>

#include "platform/alloc.h"

namespace bmp256 {
namespace {

// Lloyd's passes settle within a few dozen on a photograph's histogram; the
// last ones move an entry by a level or so, and a bound keeps a slow one short.
constexpr int kMaxPasses = 64;
constexpr int kMaxEntries = 256;

// The palette channel by channel, padded to a whole number of vectors with
// entries too far to be nearest: the distance loop then has no tail.
struct PaletteChannels {
    int32_t blue[kMaxEntries], green[kMaxEntries], red[kMaxEntries];
    int32_t padded;
};

void LoadChannels(PaletteChannels* channels, const PaletteEntry* palette, int count) {
    channels->padded = (count + 7) / 8 * 8;
    for (int i = 0; i < channels->padded; ++i) {
        const bool real = i < count;
        // 1000 is beyond every channel value: (1000 - 255)^2 * 3 exceeds any real distance.
        channels->blue[i] = real ? palette[i].blue : 1000;
        channels->green[i] = real ? palette[i].green : 1000;
        channels->red[i] = real ? palette[i].red : 1000;
    }
}

// The position of the entry nearest to (b, g, r), the lowest of
// equals: the least of distance * 256 + position, which fits 32 bits (a
// distance is at most 3 * 1000^2 for a filler).
int NearestEntry(const PaletteChannels* channels, int32_t b, int32_t g, int32_t r) {
    int32_t best = 0x7FFFFFFF;
    for (int32_t i = 0; i < channels->padded; ++i) {
        const int32_t db = b - channels->blue[i], dg = g - channels->green[i], dr = r - channels->red[i];
        const int32_t key = (db * db + dg * dg + dr * dr) << 8 | i;
        best = key < best ? key : best;
    }
    return best & 0xFF;
}

struct Sums {
    int64_t blue, green, red, pixels;
};

// Weighted mean of one channel. A histogram level v stands for the values
// v - 2 to v + 1, whose mean is v - 0.5, so the mean of the levels is half a
// value high; rounding it down rounds the values' mean to nearest.
uint8_t Mean(int64_t sum, int64_t pixels) { return uint8_t(sum / pixels); }

}  // namespace

int RefinePalette(PaletteEntry* palette, int count, const ColorEntry* entries, int32_t entryCount) {
    if (count <= 0 || entryCount <= 0) return 1;
    if (count > kMaxEntries) count = kMaxEntries;
    // Each colour's channels apart, for the distance loop.
    int16_t* colour = static_cast<int16_t*>(AllocateBytes(sizeof(int16_t) * 3 * size_t(entryCount)));
    PaletteChannels* channels = static_cast<PaletteChannels*>(AllocateBytes(sizeof(PaletteChannels)));
    if (!colour || !channels) {
        FreeBytes(colour);
        FreeBytes(channels);
        return 0;
    }
    for (int32_t e = 0; e < entryCount; ++e) {
        const uint32_t key = entries[e].colorKey;
        colour[3 * e] = KeyBlue(key);
        colour[3 * e + 1] = KeyGreen(key);
        colour[3 * e + 2] = KeyRed(key);
    }
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        LoadChannels(channels, palette, count);
        Sums sums[kMaxEntries];
        std::memset(sums, 0, sizeof sums);
        for (int32_t e = 0; e < entryCount; ++e) {
            const int nearest = NearestEntry(channels, colour[3 * e], colour[3 * e + 1], colour[3 * e + 2]);
            const uint32_t key = entries[e].colorKey;
            const int64_t n = entries[e].pixelCount;
            Sums& s = sums[nearest];
            s.blue += n * KeyBlue(key);
            s.green += n * KeyGreen(key);
            s.red += n * KeyRed(key);
            s.pixels += n;
        }
        bool moved = false;
        for (int i = 0; i < count; ++i) {
            if (sums[i].pixels == 0) continue;
            const PaletteEntry mean = {Mean(sums[i].blue, sums[i].pixels), Mean(sums[i].green, sums[i].pixels),
                                       Mean(sums[i].red, sums[i].pixels), 0};
            moved = moved || mean.blue != palette[i].blue || mean.green != palette[i].green || mean.red != palette[i].red;
            palette[i].blue = mean.blue;
            palette[i].green = mean.green;
            palette[i].red = mean.red;
        }
        if (!moved) break;
    }
    FreeBytes(colour);
    FreeBytes(channels);
    return 1;
}

}  // namespace bmp256
