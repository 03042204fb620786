#include "quantize/palette_choice.h"

#include <cstring>

#include "platform/alloc.h"
#include "quantize/exact_colors.h"
#include "quantize/histogram.h"
#include "quantize/palette.h"
#include "quantize/refine.h"

namespace bmp256 {

namespace {

constexpr int kSystemFirst = 10;   // slots below and from kSystemEnd are the system's
constexpr int kSystemEnd = 246;

// Blue, green, red, as the palette stores them.
constexpr PaletteEntry kSystemColors[20] = {
    {0, 0, 0, 0},       {0, 0, 128, 0},     {0, 128, 0, 0},     {0, 128, 128, 0},   {128, 0, 0, 0},
    {128, 0, 128, 0},   {128, 128, 0, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {240, 202, 166, 0},
    {240, 251, 255, 0}, {164, 160, 160, 0}, {128, 128, 128, 0}, {0, 0, 255, 0},     {0, 255, 0, 0},
    {0, 255, 255, 0},   {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0},   {255, 255, 255, 0},
};

int Depth(const PaletteChoice* choice) { return choice->depth ? choice->depth : 8; }

}  // namespace

void PlanPaletteSlots(const PaletteChoice* choice, int* firstSlot, int* capacity) {
    const int count = choice->given ? choice->givenCount
                                    : (choice->colorCount ? choice->colorCount : kDefaultColorCount);
    *capacity = count;
    if (choice->given) {
        *firstSlot = choice->givenFirstSlot;
    } else {
        *firstSlot = Depth(choice) == 8 && count <= kSystemEnd - kSystemFirst ? kSystemFirst : 0;
    }
}

void WriteSystemColors(PaletteEntry* palette) {
    std::memcpy(palette, kSystemColors, sizeof(PaletteEntry) * kSystemFirst);
    std::memcpy(palette + kSystemEnd, kSystemColors + kSystemFirst,
                sizeof(PaletteEntry) * (kPaletteSize - kSystemEnd));
}

int ChoosePalette(PaletteEntry* palette, PaletteLayout* layout, const PaletteChoice* choice,
                  const uint8_t* pixels, const BITMAPINFOHEADER* info, int threadCount) {
    std::memset(palette, 0, sizeof(PaletteEntry) * kPaletteSize);
    int first = 0, capacity = 0;
    PlanPaletteSlots(choice, &first, &capacity);
    layout->firstSlot = first;
    layout->endSlot = first + capacity;
    layout->mapExactly = choice->exactColors;
    if (choice->given) {
        std::memcpy(palette + first, choice->given, sizeof(PaletteEntry) * size_t(capacity));
    } else {
        ExactColorSet* set = nullptr;
        ExactColorSet local;
        if (choice->exactColors) {
            local.count = 0;
            if (CollectExactColors(&local, capacity, pixels, info)) set = &local;
        }
        if (set) {
            WriteExactPalette(palette + first, set);
            layout->endSlot = first + set->count;
        } else {
            layout->mapExactly = 0;
            // The box splitting as BuildPaletteOnThreads does it (the slots
            // are zero already), then --refine over the same histogram.
            int32_t k = 0;
            ColorEntry* entries = BuildColorHistogram(pixels, info, &k, threadCount);
            if (!entries) return 0;
            const int built = BuildPaletteFromHistogram(palette + first, capacity, entries, k) &&
                              (!choice->refine || RefinePalette(palette + first, capacity, entries, k));
            FreeBytes(entries);
            if (!built) return 0;
        }
    }
    if (choice->systemColors) WriteSystemColors(palette);
    if (Depth(choice) == 8) {
        layout->tableCount = kPaletteSize;
    } else {
        layout->tableCount = layout->endSlot > 2 ? layout->endSlot : 2;
    }
    return 1;
}

int UsedPaletteCount(const PaletteEntry* palette, int capacity) {
    int used = capacity;
    while (used > 0 && palette[used - 1].red == 0 && palette[used - 1].green == 0 && palette[used - 1].blue == 0)
        --used;
    if (used == capacity) return used;
    for (int i = 0; i < used; ++i) {
        if (palette[i].red == 0 && palette[i].green == 0 && palette[i].blue == 0) return used;
    }
    return used + 1;  // the first zero slot may be a black in use
}

}  // namespace bmp256
