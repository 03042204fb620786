// Nearest-colour results kept per colour, so that a colour met again is not
// searched again: one byte table shared by the mapping threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "mapping/nearest.h"

namespace bmp256 {

// The table keeps its results in pages of 4096 colours (a 16x16x16 block of
// them, see ColorCacheIndex), given out as blocks are first met that need
// one; a photograph meets well under half of the 4096 blocks
// (docs/performance.md). Blocks met after the last page is given out are
// searched each time. The 8 MiB of pages are made present before the workers
// start (the allocator does so from that size on), so that no worker, and
// none waiting for its rows, stops for the system to supply a page.
constexpr int kColorPageColors = 4096;
constexpr int kColorTableBlocks = (1 << 24) / kColorPageColors;
constexpr int32_t kMaxTablePages = 2048;
constexpr int kColorLineColors = kBlockSide * kBlockSide * kBlockSide;  // one 4x4x4 block, 64 bytes
constexpr int kColorLines = (1 << 24) / kColorLineColors;

// A photograph's corrected colours fall mostly in 4x4x4 blocks whose 64
// colours have one nearest slot, or two (dithered colours gather on the
// border between two palette colours). Those blocks are answered from a map
// of two bytes per block (512 KiB, which stays in the processor's cache)
// and need no page: a block of two slots by comparing the colour's distances
// to both (NearerOfTwo). Only blocks of three slots or more are kept in the
// pages.
struct ColorTable {
    // 0: not known, or the block has more than two slots; else the low byte
    // is the slot met first in the block's candidate list and the high byte
    // the other (the same slot when the block has one). One 16-bit value, so
    // that a worker never sees half of another's.
    uint16_t blockSlots[kColorLines];
    uint16_t pageOf[kColorTableBlocks];     // 0: none yet, else the block's page number + 1
    std::atomic<int32_t> pagesUsed;
    uint8_t* pages;                         // kMaxTablePages pages of kColorPageColors slots (0: not yet known)
};

// An empty table (no colour known yet), or null when its memory cannot be had.
ColorTable* CreateColorTable();
// Frees the table and its pages; null is ignored.
void ReleaseColorTable(ColorTable* table);

// Where a colour's result is kept. Neighbouring pixels search close colours,
// so the table is laid out in blocks: a 4x4x4 block of colours (the two low
// bits of each channel) fills one 64-byte line, and a 16x16x16 block one
// 4 KiB page. A mere reordering of the 2^24 entries: every colour still has a
// place of its own.
//
// Each channel's bits land in fixed places, so the index is the OR of one
// table value per channel: the high four bits of blue, green and red go to
// bits 20, 16 and 12 up, the next two to bits 10, 8 and 6 up, the low two to
// bits 4, 2 and 0 up.
struct CacheIndexTables {
    uint32_t blue[256], green[256], red[256];
};

constexpr uint32_t SpreadChannel(uint32_t v, int step) {
    return ((v >> 4) << (12 + 4 * step)) | (((v >> 2) & 3) << (6 + 2 * step)) | ((v & 3) << (2 * step));
}

constexpr CacheIndexTables MakeCacheIndexTables() {
    CacheIndexTables t{};
    for (uint32_t v = 0; v < 256; ++v) {
        t.blue[v] = SpreadChannel(v, 2);
        t.green[v] = SpreadChannel(v, 1);
        t.red[v] = SpreadChannel(v, 0);
    }
    return t;
}

constexpr CacheIndexTables kCacheIndex = MakeCacheIndexTables();
static_assert(kCacheIndex.blue[1] == 16 && kCacheIndex.green[1] == 4 && kCacheIndex.red[1] == 1,
              "a line holds its block in the order FindNearestInBlock gives it");

inline size_t ColorCacheIndex(uint8_t blue, uint8_t green, uint8_t red) {
    return kCacheIndex.blue[blue] | kCacheIndex.green[green] | kCacheIndex.red[red];
}

// FindNearestCached for a colour whose result is not kept yet: searches it
// (with its whole 4x4x4 block) and keeps the result.
int32_t FillNearestCached(ColorTable* table, const CandidateTable* candidates, uint8_t blue, uint8_t green,
                          uint8_t red);

// FindNearestColor for the colour (blue, green, red), remembered in `table`.
// The candidates must hold no slot 0, which marks a colour not yet known.
// Threads may share a table built for the same candidates. Inline, as it is
// most of the per-pixel work: a kept result costs a few loads.
inline int32_t FindNearestCached(ColorTable* table, const CandidateTable* candidates, uint8_t blue, uint8_t green,
                                 uint8_t red) {
    const size_t index = ColorCacheIndex(blue, green, red);
    // Workers that share a table store the same slots for the same colour, so
    // relaxed accesses are enough; they only keep the sharing well defined.
    const uint32_t pair = __atomic_load_n(&table->blockSlots[index / kColorLineColors], __ATOMIC_RELAXED);
    if (pair != 0) {
        const int32_t first = int32_t(pair & 0xFF), second = int32_t(pair >> 8);
        return NearerOfTwo(candidates, blue, green, red, first, second);
    }
    const uint32_t page = __atomic_load_n(&table->pageOf[index / kColorPageColors], __ATOMIC_ACQUIRE);
    if (page != 0) {
        const int32_t slot = __atomic_load_n(
            &table->pages[size_t(page - 1) * kColorPageColors + index % kColorPageColors], __ATOMIC_RELAXED);
        if (slot != 0) return slot;
    }
    return FillNearestCached(table, candidates, blue, green, red);
}

}  // namespace bmp256
