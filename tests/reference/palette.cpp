#include "reference/reference.h"

#include <algorithm>
#include <cstring>

#include "quantize/tone_table.h"
#include "platform/alloc.h"

namespace bmp256 {
namespace reference {
namespace {

int CompareBytes(uint8_t a, uint8_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

// Shared scan: the first position whose channel value reaches the mean,
// but never an empty lower part.
template <uint8_t (*Channel)(uint32_t)>
int32_t FindSplit(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean) {
    int32_t s = first;
    const int32_t end = first + count;
    while (s < end && Channel(refs[s]->colorKey) < mean) ++s;
    return s == first ? first + 1 : s;
}

}  // namespace

int CompareRed(const ColorEntry* a, const ColorEntry* b) {
    return CompareBytes(KeyRed(a->colorKey), KeyRed(b->colorKey));
}
int CompareGreen(const ColorEntry* a, const ColorEntry* b) {
    return CompareBytes(KeyGreen(a->colorKey), KeyGreen(b->colorKey));
}
int CompareBlue(const ColorEntry* a, const ColorEntry* b) {
    return CompareBytes(KeyBlue(a->colorKey), KeyBlue(b->colorKey));
}

int32_t FindSplitRed(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean) {
    return FindSplit<KeyRed>(refs, first, count, mean);
}
int32_t FindSplitGreen(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean) {
    return FindSplit<KeyGreen>(refs, first, count, mean);
}
int32_t FindSplitBlue(const ColorEntry* const* refs, int32_t first, int32_t count, uint8_t mean) {
    return FindSplit<KeyBlue>(refs, first, count, mean);
}

void ComputeBoxStats(ColorBox* box, const ColorEntry* const* refs, int32_t first, int32_t count) {
    // Weighted sums pass 32 bits beyond about 8.5 million pixels: 64-bit.
    int64_t total = 0, sumRed = 0, sumGreen = 0, sumBlue = 0;
    for (int32_t i = first; i < first + count; ++i) {
        const ColorEntry* e = refs[i];
        total += e->pixelCount;
        sumRed += int64_t(e->pixelCount) * KeyRed(e->colorKey);
        sumGreen += int64_t(e->pixelCount) * KeyGreen(e->colorKey);
        sumBlue += int64_t(e->pixelCount) * KeyBlue(e->colorKey);
    }
    const uint8_t meanRed = uint8_t(sumRed / total);
    const uint8_t meanGreen = uint8_t(sumGreen / total);
    const uint8_t meanBlue = uint8_t(sumBlue / total);
    box->meanColor = PaletteEntry{meanBlue, meanGreen, meanRed, 0};
    box->firstIndex = first;
    box->entryCount = count;
    box->pixelTotal = int32_t(total);

    // Each product is formed in 64 bits; every partial sum stays an integer far
    // below 2^53, so the double sums are exact whatever the entry order.
    const int toneRed = ToneTable[meanRed], toneGreen = ToneTable[meanGreen],
              toneBlue = ToneTable[meanBlue];
    double varRed = 0, varGreen = 0, varBlue = 0;
    for (int32_t i = first; i < first + count; ++i) {
        const ColorEntry* e = refs[i];
        const int64_t dr = toneRed - ToneTable[KeyRed(e->colorKey)];
        const int64_t dg = toneGreen - ToneTable[KeyGreen(e->colorKey)];
        const int64_t db = toneBlue - ToneTable[KeyBlue(e->colorKey)];
        varRed += double(e->pixelCount * dr * dr);
        varGreen += double(e->pixelCount * dg * dg);
        varBlue += double(e->pixelCount * db * db);
    }
    box->varianceRed = varRed;
    box->varianceGreen = varGreen;
    box->varianceBlue = varBlue;
}

void SplitBox(ColorBox* box, ColorBox* newBox, const ColorEntry** refs) {
    const int32_t first = box->firstIndex;
    const int32_t count = box->entryCount;
    const ColorEntry** begin = refs + first;
    const ColorEntry** end = begin + count;
    int32_t split;
    // Stable sorts keep equal values in their present order, so the one-entry
    // lower part chosen when the lowest value equals the mean is the same with
    // every standard library.
    if (box->varianceRed >= box->varianceGreen && box->varianceRed >= box->varianceBlue) {
        std::stable_sort(begin, end, [](const ColorEntry* a, const ColorEntry* b) {
            return CompareRed(a, b) < 0;
        });
        split = FindSplitRed(refs, first, count, box->meanColor.red);
    } else if (box->varianceGreen >= box->varianceRed && box->varianceGreen >= box->varianceBlue) {
        std::stable_sort(begin, end, [](const ColorEntry* a, const ColorEntry* b) {
            return CompareGreen(a, b) < 0;
        });
        split = FindSplitGreen(refs, first, count, box->meanColor.green);
    } else {
        std::stable_sort(begin, end, [](const ColorEntry* a, const ColorEntry* b) {
            return CompareBlue(a, b) < 0;
        });
        split = FindSplitBlue(refs, first, count, box->meanColor.blue);
    }
    reference::ComputeBoxStats(box, refs, first, split - first);
    reference::ComputeBoxStats(newBox, refs, split, first + count - split);
}

void SplitBoxes(PaletteEntry* palette, int count, ColorBox* boxes, const ColorEntry** refs) {
    if (count <= 0) return;
    int used = 1;
    int written = 0;
    while (written < count) {
        double spread = 0;
        const int best = WidestBox(boxes, used, &spread);
        // Zero exactly when every box holds one colour: distinct quantized
        // values always have distinct tones.
        if (spread <= 0) break;
        if (used == kMaxBoxes) break;
        SplitBox(&boxes[best], &boxes[used], refs);
        ++used;
        written = RebuildPalette(palette, count, boxes, used);
    }
    if (used == 1) palette[0] = PaletteEntry{boxes[0].meanColor.blue, boxes[0].meanColor.green,
                                             boxes[0].meanColor.red, 0};
}

int BuildPalette(PaletteEntry* palette, int count, const uint8_t* pixels, const BITMAPINFOHEADER* info) {
    if (count > 0) std::memset(palette, 0, sizeof(PaletteEntry) * size_t(count));
    int32_t k = 0;
    ColorEntry* entries = BuildColorHistogram(pixels, info, &k);
    if (!entries) return 0;
    int ok = 0;
    const ColorEntry** refs =
        static_cast<const ColorEntry**>(AllocateBytes(sizeof(ColorEntry*) * size_t(k)));
    ColorBox* boxes = static_cast<ColorBox*>(AllocateZeroed(kMaxBoxes, sizeof(ColorBox)));
    if (refs && boxes) {
        for (int32_t i = 0; i < k; ++i) refs[i] = &entries[i];
        // An image without pixels has no colours to describe: all entries stay zero.
        if (k > 0) {
            reference::ComputeBoxStats(&boxes[0], refs, 0, k);
            SplitBoxes(palette, count, boxes, refs);
        }
        ok = 1;
    }
    FreeBytes(boxes);
    FreeBytes(refs);
    FreeBytes(entries);
    return ok;
}

}  // namespace reference
}  // namespace bmp256
