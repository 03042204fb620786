#include "reference/reference.h"

#include "mapping/grid.h"
#include "platform/alloc.h"

namespace bmp256 {
namespace reference {
namespace {

// Two zero cells on each side of every row let the kernel run without edge
// tests: out-of-row neighbours contribute nothing and the divisor stays 48.
constexpr int kRowMargin = 2;

// Weights by row role (older, previous, current) and column offset -2..+2.
constexpr int32_t kWeights[3][5] = {
    {1, 3, 5, 3, 1},
    {3, 5, 7, 5, 3},
    {5, 7, 0, 0, 0},
};

inline uint8_t ClampToByte(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : uint8_t(v)); }

}  // namespace

int DiffuseToIndices(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                     int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo) {
    // Every pixel needs a slot to map to and a palette entry behind it.
    if (firstSlot < 0 || endSlot > kPaletteSize || firstSlot >= endSlot) return 0;
    PaletteGrid* grid = static_cast<PaletteGrid*>(AllocateBytes(sizeof(PaletteGrid)));
    if (!grid) return 0;
    if (!BuildPaletteGrid(grid, palette, firstSlot, endSlot)) {
        FreeBytes(grid);
        return 0;
    }
    const int32_t width = sourceInfo->biWidth > 0 ? sourceInfo->biWidth : 0;
    const int32_t height = sourceInfo->biHeight > 0 ? sourceInfo->biHeight : 0;
    const size_t rowCells = size_t(width) + 2 * kRowMargin;
    ErrorCell* base[3] = {
        static_cast<ErrorCell*>(AllocateZeroed(rowCells, sizeof(ErrorCell))),
        static_cast<ErrorCell*>(AllocateZeroed(rowCells, sizeof(ErrorCell))),
        static_cast<ErrorCell*>(AllocateZeroed(rowCells, sizeof(ErrorCell))),
    };
    const int ok = base[0] && base[1] && base[2];
    if (ok) {
        ErrorCell* older = base[0] + kRowMargin;
        ErrorCell* previous = base[1] + kRowMargin;
        ErrorCell* current = base[2] + kRowMargin;
        const size_t sourceStride = size_t(RowStride(sourceInfo));
        const size_t outputStride = size_t(RowStride(outputInfo));
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* in = source + size_t(y) * sourceStride;
            uint8_t* out = indices + size_t(y) * outputStride;
            for (int32_t x = 0; x < width; ++x, in += 3) {
                int32_t sumRed = 0, sumGreen = 0, sumBlue = 0;
                const ErrorCell* rows[3] = {older, previous, current};
                for (int role = 0; role < 3; ++role) {
                    for (int d = -2; d <= 2; ++d) {
                        const int32_t w = kWeights[role][d + 2];
                        const ErrorCell& c = rows[role][x + d];
                        sumRed += w * c.red;
                        sumGreen += w * c.green;
                        sumBlue += w * c.blue;
                    }
                }
                // C++ division truncates toward zero, as the kernel wants.
                const uint8_t query[3] = {ClampToByte(in[0] + sumBlue / 48),
                                          ClampToByte(in[1] + sumGreen / 48),
                                          ClampToByte(in[2] + sumRed / 48)};
                const int32_t slot = FindNearestColor(query, grid);
                out[x] = uint8_t(slot);
                // The error passed on is from the source value as read, so a
                // pixel's own correction is not carried forward.
                const PaletteEntry& chosen = palette[slot];
                current[x] = ErrorCell{int32_t(in[2]) - chosen.red, int32_t(in[1]) - chosen.green,
                                       int32_t(in[0]) - chosen.blue};
            }
            ErrorCell* recycled = older;
            older = previous;
            previous = current;
            current = recycled;
        }
    }
    FreeBytes(base[0]);
    FreeBytes(base[1]);
    FreeBytes(base[2]);
    ReleasePaletteGrid(grid);
    FreeBytes(grid);
    return ok;
}

}  // namespace reference
}  // namespace bmp256
