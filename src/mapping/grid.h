// The palette sorted into a 16x16x16 grid of buckets addressed by the high
// four bits of blue, green and red, from which the nearest-colour search is
// built.
#pragma once

#include <cstdint>

#include "bitmap/bitmap.h"

namespace bmp256 {

constexpr int kGridCells = 4096;

// One palette slot in a bucket list; lists run in descending slot order.
struct GridNode {
    int32_t slot;
    uint32_t color;  // the palette entry as a little-endian value: blue in the low byte
    GridNode* next;
};

// Bucket heads, held by the grid's owner for the length of its pass.
struct PaletteGrid {
    GridNode* heads[kGridCells];
};

// Palette entry as the 32-bit value a node stores.
inline uint32_t PackPaletteEntry(const PaletteEntry& e) {
    return uint32_t(e.blue) | uint32_t(e.green) << 8 | uint32_t(e.red) << 16 |
           uint32_t(e.reserved) << 24;
}

// Cell index of a colour: blue selects the block of 256, red the cell.
inline int GridCellIndex(uint8_t blue, uint8_t green, uint8_t red) {
    return (blue >> 4) * 256 + (green >> 4) * 16 + (red >> 4);
}

// Enters slots firstSlot .. endSlot - 1 of `palette` (256 entries). Returns 1,
// or 0 when a node cannot be allocated; the grid is then empty and holds no
// memory. An empty range gives an empty grid.
int BuildPaletteGrid(PaletteGrid* grid, const PaletteEntry* palette, int firstSlot, int endSlot);

// Sum of the squared tone differences of blue, green and red; `query` is a
// pixel triple (blue, green, red), `color` a node's packed entry.
int32_t ToneDistance(const uint8_t* query, uint32_t color);

// Returns every node to the heap; the grid is empty afterwards.
void ReleasePaletteGrid(PaletteGrid* grid);

}  // namespace bmp256
