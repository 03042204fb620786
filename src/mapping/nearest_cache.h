// Nearest-colour results kept per colour, so that a colour met again is not
// searched again: one byte table shared by the mapping threads.
#pragma once

#include <cstdint>

#include "mapping/nearest.h"

namespace bmp256 {

struct ColorTable;

// An empty table (no colour known yet), or null when its memory cannot be had.
ColorTable* CreateColorTable();
// Frees the table and its pages; null is ignored.
void ReleaseColorTable(ColorTable* table);

// FindNearestColor for the colour (blue, green, red), remembered in `table`.
// The candidates must hold no slot 0, which marks a colour not yet known.
// Threads may share a table built for the same candidates.
int32_t FindNearestCached(ColorTable* table, const CandidateTable* candidates, uint8_t blue, uint8_t green,
                          uint8_t red);

}  // namespace bmp256
