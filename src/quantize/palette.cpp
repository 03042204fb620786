#include <cstring>

#include "quantize/palette.h"
#include "quantize/tone_table.h"
#include "platform/alloc.h"

namespace bmp256 {
namespace {

constexpr int kLevels = 64;  // quantized channel values are the multiples of 4

bool SameColor(const PaletteEntry& a, const PaletteEntry& b) {
    return a.blue == b.blue && a.green == b.green && a.red == b.red;
}

// Whether a box of 0 .. used - 1 other than `skip` has this mean colour.
bool MeanTaken(const ColorBox* boxes, int used, int skip, const PaletteEntry& mean) {
    for (int k = 0; k < used; ++k)
        if (k != skip && SameColor(boxes[k].meanColor, mean)) return true;
    return false;
}

// Mean and tone variance of one channel from its pixel counts per level. The
// sum of exact integer products is an integer below 2^53 (at most 2^31 pixels
// times 255^2), so the double it becomes is exactly the step-by-step sum.
void ChannelStats(const int64_t* weight, int64_t total, uint8_t* mean, double* variance) {
    int64_t sum = 0;
    for (int v = 0; v < kLevels; ++v) sum += weight[v] * (v << 2);
    *mean = uint8_t(sum / total);
    const int tone = ToneTable[*mean];
    int64_t spread = 0;
    for (int v = 0; v < kLevels; ++v) {
        const int64_t d = tone - ToneTable[v << 2];
        spread += weight[v] * d * d;
    }
    *variance = double(spread);
}

// Stable counting sort of refs[first .. first + count - 1] by the channel
// whose byte sits at `shift` in the key; returns how many values lie below `mean`.
int32_t SortByChannel(const ColorEntry** refs, const ColorEntry** scratch, int32_t first, int32_t count, int shift,
                      uint8_t mean) {
    const ColorEntry** range = refs + first;
    int32_t start[kLevels + 1] = {};
    bool ordered = true;
    unsigned last = 0;
    for (int32_t i = 0; i < count; ++i) {
        const unsigned level = ((range[i]->colorKey >> shift) & 0xFF) >> 2;
        ++start[level + 1];
        ordered = ordered && level >= last;
        last = level;
    }
    for (int v = 0; v < kLevels; ++v) start[v + 1] += start[v];
    // Values below the mean are the levels below ceil(mean / 4).
    const int32_t below = start[(mean + 3) >> 2];
    if (!ordered) {
        for (int32_t i = 0; i < count; ++i) scratch[start[((range[i]->colorKey >> shift) & 0xFF) >> 2]++] = range[i];
        std::memcpy(range, scratch, sizeof(const ColorEntry*) * size_t(count));
    }
    return below;
}

}  // namespace

int WidestBox(const ColorBox* boxes, int used, double* spread) {
    int best = 0;
    *spread = boxes[0].varianceRed + boxes[0].varianceGreen + boxes[0].varianceBlue;
    for (int k = 1; k < used; ++k) {
        const double s = boxes[k].varianceRed + boxes[k].varianceGreen + boxes[k].varianceBlue;
        if (s > *spread) {
            *spread = s;
            best = k;
        }
    }
    return best;
}

int RebuildPalette(PaletteEntry* palette, int count, const ColorBox* boxes, int boxCount) {
    int written = 0;
    for (int k = 0; k < boxCount && written < count; ++k) {
        const PaletteEntry& mean = boxes[k].meanColor;
        bool seen = false;
        for (int e = 0; e < written && !seen; ++e) seen = SameColor(palette[e], mean);
        if (!seen) palette[written++] = PaletteEntry{mean.blue, mean.green, mean.red, 0};
    }
    return written;
}

void ComputeBoxStats(ColorBox* box, const ColorEntry* const* refs, int32_t first, int32_t count) {
    int64_t red[kLevels] = {}, green[kLevels] = {}, blue[kLevels] = {};
    int64_t total = 0;
    for (int32_t i = first; i < first + count; ++i) {
        const ColorEntry* e = refs[i];
        const int64_t n = e->pixelCount;
        total += n;
        red[KeyRed(e->colorKey) >> 2] += n;
        green[KeyGreen(e->colorKey) >> 2] += n;
        blue[KeyBlue(e->colorKey) >> 2] += n;
    }
    PaletteEntry mean{0, 0, 0, 0};
    ChannelStats(red, total, &mean.red, &box->varianceRed);
    ChannelStats(green, total, &mean.green, &box->varianceGreen);
    ChannelStats(blue, total, &mean.blue, &box->varianceBlue);
    box->meanColor = mean;
    box->firstIndex = first;
    box->entryCount = count;
    box->pixelTotal = int32_t(total);
}

void SplitBox(ColorBox* box, ColorBox* newBox, const ColorEntry** refs, const ColorEntry** scratch) {
    const int32_t first = box->firstIndex;
    const int32_t count = box->entryCount;
    int32_t below;
    if (box->varianceRed >= box->varianceGreen && box->varianceRed >= box->varianceBlue)
        below = SortByChannel(refs, scratch, first, count, 0, box->meanColor.red);
    else if (box->varianceGreen >= box->varianceRed && box->varianceGreen >= box->varianceBlue)
        below = SortByChannel(refs, scratch, first, count, 8, box->meanColor.green);
    else
        below = SortByChannel(refs, scratch, first, count, 16, box->meanColor.blue);
    const int32_t split = first + (below == 0 ? 1 : below);
    ComputeBoxStats(box, refs, first, split - first);
    ComputeBoxStats(newBox, refs, split, first + count - split);
}

void SplitBoxes(PaletteEntry* palette, int count, ColorBox* boxes, const ColorEntry** refs,
                const ColorEntry** scratch) {
    if (count <= 0) return;
    int used = 1;
    int distinct = 1;  // distinct means among boxes 0 .. used - 1
    int written = 0;   // what a rebuild after every split would have returned
    while (written < count) {
        double spread = 0;
        const int best = WidestBox(boxes, used, &spread);
        if (spread <= 0) break;
        if (used == kMaxBoxes) break;
        const ColorBox before = boxes[best];
        SplitBox(&boxes[best], &boxes[used], refs, scratch);
        if (!MeanTaken(boxes, used, best, before.meanColor)) --distinct;
        if (!MeanTaken(boxes, used, best, boxes[best].meanColor)) ++distinct;
        if (!MeanTaken(boxes, used, -1, boxes[used].meanColor)) ++distinct;
        ++used;
        const int now = distinct < count ? distinct : count;
        if (now < written) {
            // The rebuild after the previous split wrote entries that no later one
            // reaches unless the count grows again: write them as it did.
            const ColorBox after = boxes[best];
            boxes[best] = before;
            RebuildPalette(palette, count, boxes, used - 1);
            boxes[best] = after;
        }
        written = now;
    }
    if (used > 1) RebuildPalette(palette, count, boxes, used);
    if (used == 1) palette[0] = PaletteEntry{boxes[0].meanColor.blue, boxes[0].meanColor.green,
                                             boxes[0].meanColor.red, 0};
}

int BuildPalette(PaletteEntry* palette, int count, const uint8_t* pixels, const BITMAPINFOHEADER* info) {
    return BuildPaletteOnThreads(palette, count, pixels, info, 0);
}

int BuildPaletteFromHistogram(PaletteEntry* palette, int count, const ColorEntry* entries, int32_t entryCount) {
    if (count > 0) std::memset(palette, 0, sizeof(PaletteEntry) * size_t(count));
    int ok = 0;
    const size_t refBytes = sizeof(ColorEntry*) * size_t(entryCount);
    const ColorEntry** refs = static_cast<const ColorEntry**>(AllocateBytes(refBytes));
    const ColorEntry** scratch = static_cast<const ColorEntry**>(AllocateBytes(refBytes));
    ColorBox* boxes = static_cast<ColorBox*>(AllocateZeroed(kMaxBoxes, sizeof(ColorBox)));
    if (refs && scratch && boxes) {
        for (int32_t i = 0; i < entryCount; ++i) refs[i] = &entries[i];
        if (entryCount > 0) {
            ComputeBoxStats(&boxes[0], refs, 0, entryCount);
            SplitBoxes(palette, count, boxes, refs, scratch);
        }
        ok = 1;
    }
    FreeBytes(boxes);
    FreeBytes(scratch);
    FreeBytes(refs);
    return ok;
}

int BuildPaletteOnThreads(PaletteEntry* palette, int count, const uint8_t* pixels, const BITMAPINFOHEADER* info,
                          int threadCount) {
    if (count > 0) std::memset(palette, 0, sizeof(PaletteEntry) * size_t(count));
    int32_t k = 0;
    ColorEntry* entries = BuildColorHistogram(pixels, info, &k, threadCount);
    if (!entries) return 0;
    const int ok = BuildPaletteFromHistogram(palette, count, entries, k);
    FreeBytes(entries);
    return ok;
}

}  // namespace bmp256
