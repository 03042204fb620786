#include "mapping/grid.h"

#include <algorithm>

#include "quantize/tone_table.h"
#include "platform/alloc.h"

namespace bmp256 {

int BuildPaletteGrid(PaletteGrid* grid, const PaletteEntry* palette, int firstSlot, int endSlot) {
    std::fill(grid->heads, grid->heads + kGridCells, nullptr);
    for (int s = firstSlot; s < endSlot; ++s) {
        GridNode* node = static_cast<GridNode*>(AllocateBytes(sizeof(GridNode)));
        if (!node) {
            ReleasePaletteGrid(grid);
            return 0;
        }
        const PaletteEntry& e = palette[s];
        const int cell = GridCellIndex(e.blue, e.green, e.red);
        node->slot = s;
        node->color = PackPaletteEntry(e);
        node->next = grid->heads[cell];
        grid->heads[cell] = node;
    }
    return 1;
}

int32_t ToneDistance(const uint8_t* query, uint32_t color) {
    const int32_t db = int32_t(ToneTable[query[0]]) - int32_t(ToneTable[color & 0xFF]);
    const int32_t dg = int32_t(ToneTable[query[1]]) - int32_t(ToneTable[(color >> 8) & 0xFF]);
    const int32_t dr = int32_t(ToneTable[query[2]]) - int32_t(ToneTable[(color >> 16) & 0xFF]);
    return db * db + dg * dg + dr * dr;
}

void ReleasePaletteGrid(PaletteGrid* grid) {
    for (int c = 0; c < kGridCells; ++c) {
        GridNode* node = grid->heads[c];
        while (node) {
            GridNode* next = node->next;
            FreeBytes(node);
            node = next;
        }
        grid->heads[c] = nullptr;
    }
}

}  // namespace bmp256
