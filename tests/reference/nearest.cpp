#include "reference/reference.h"

#include <algorithm>

#include "mapping/grid.h"

namespace bmp256 {
namespace reference {
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

}  // namespace reference
}  // namespace bmp256
