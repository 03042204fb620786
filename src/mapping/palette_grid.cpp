#include "mapping/palette_grid.h"

#include <algorithm>

#include "quantize/tone_table.h"
#include "util/alloc.h"

namespace {

struct SearchState {
    int32_t bestDistance;
    int32_t bestSlot;
    int cells;
};

// Strictly smaller wins, so among equals the first node met stays.
inline void ExamineCell(const GridNode* node, const uint8_t* query, SearchState* s) {
    ++s->cells;
    for (; node; node = node->next) {
        const int32_t d = ToneDistance(query, node->color);
        if (d < s->bestDistance) {
            s->bestDistance = d;
            s->bestSlot = node->slot;
        }
    }
}

}  // namespace

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

int32_t FindNearestColorCounted(const uint8_t* query, const PaletteGrid* grid, int* cellsExamined) {
    const int cb = query[0] >> 4, cg = query[1] >> 4, cr = query[2] >> 4;
    SearchState s{2147483647, -1, 0};
    ExamineCell(grid->heads[cb * 256 + cg * 16 + cr], query, &s);
    if (s.bestDistance == 0 && s.bestSlot >= 0) {
        if (cellsExamined) *cellsExamined = s.cells;
        return s.bestSlot;
    }
    for (int r = 1; r <= 15; ++r) {
        const int x0 = std::max(0, cb - r), x1 = std::min(15, cb + r);
        const int y0 = std::max(0, cg - r), y1 = std::min(15, cg + r);
        const int z0 = std::max(0, cr - r), z1 = std::min(15, cr + r);
        for (int x = x0; x <= x1; ++x) {
            const bool xFace = x == cb - r || x == cb + r;
            for (int y = y0; y <= y1; ++y) {
                const bool face = xFace || y == cg - r || y == cg + r;
                const GridNode* const* row = grid->heads + x * 256 + y * 16;
                if (face) {
                    for (int z = z0; z <= z1; ++z) ExamineCell(row[z], query, &s);
                } else {
                    // Inside the cube only the two red faces belong to the shell;
                    // compared against the unclipped bounds.
                    if (cr - r >= 0) ExamineCell(row[cr - r], query, &s);
                    if (cr + r <= 15) ExamineCell(row[cr + r], query, &s);
                }
            }
        }
        if (s.bestSlot >= 0) break;
    }
    if (cellsExamined) *cellsExamined = s.cells;
    return s.bestSlot;
}

int32_t FindNearestColor(const uint8_t* query, const PaletteGrid* grid) {
    return FindNearestColorCounted(query, grid, nullptr);
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
