#include "mapping/nearest_cache.h"

#include <atomic>
#include <cstddef>
#include <new>

#include "platform/alloc.h"

namespace bmp256 {

namespace {

int32_t Search(const CandidateTable* candidates, uint8_t blue, uint8_t green, uint8_t red) {
    const uint8_t query[3] = {blue, green, red};
    return FindNearestColor(query, candidates);
}

// Gives `block`, which had no page when last looked at, a page; returns that
// page, or the one another worker gave it first, or 0 when none is left.
// Pages are zero from the start, so a page given out needs no clearing.
uint32_t PageOfBlock(ColorTable* table, uint32_t block) {
    if (table->pagesUsed.load(std::memory_order_relaxed) >= kMaxTablePages) return 0;
    const int32_t fresh = table->pagesUsed.fetch_add(1, std::memory_order_relaxed);
    if (fresh >= kMaxTablePages) return 0;
    uint16_t expected = 0;
    // Workers sharing the table may give the block a page at the same time:
    // the first one kept counts, and the other page stays unused.
    if (__atomic_compare_exchange_n(&table->pageOf[block], &expected, uint16_t(fresh + 1), false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE))
        return uint32_t(fresh + 1);
    return expected;
}

}  // namespace

ColorTable* CreateColorTable() {
    ColorTable* table = static_cast<ColorTable*>(AllocateBytes(sizeof(ColorTable)));
    if (!table) return nullptr;
    new (table) ColorTable();  // no page given out yet
    table->pages = static_cast<uint8_t*>(AllocateZeroed(size_t(kMaxTablePages), kColorPageColors));
    if (!table->pages) {
        FreeBytes(table);
        return nullptr;
    }
    return table;
}

void ReleaseColorTable(ColorTable* table) {
    if (!table) return;
    FreeBytes(table->pages);
    FreeBytes(table);
}

int32_t FillNearestCached(ColorTable* table, const CandidateTable* candidates, uint8_t blue, uint8_t green,
                          uint8_t red) {
    const size_t index = ColorCacheIndex(blue, green, red);
    uint32_t page = __atomic_load_n(&table->pageOf[index / kColorPageColors], __ATOMIC_ACQUIRE);
    uint8_t* entry = page != 0 ? table->pages + size_t(page - 1) * kColorPageColors + index % kColorPageColors : nullptr;
    // A colour met is most often met again near by: the whole 4x4x4 block is
    // answered at once, which costs little more than one search.
    const uint8_t query[3] = {blue, green, red};
    uint8_t block[kColorLineColors];
    if (!FindNearestInBlock(query, candidates, block)) return Search(candidates, blue, green, red);
    const int32_t slot = block[index % kColorLineColors];
    // At most two slots in the block: kept in the map, the one first in
    // the block's candidate list first.
    uint8_t other = block[0];
    for (int i = 1; i < kColorLineColors && other == block[0]; ++i) other = block[i];
    int more = 0;
    for (int i = 0; i < kColorLineColors; ++i) more |= (block[i] != block[0]) & (block[i] != other);
    if (!more) {
        const int32_t first = FirstInList(query, candidates, block[0], other);
        const int32_t second = first == block[0] ? other : block[0];
        __atomic_store_n(&table->blockSlots[index / kColorLineColors], uint16_t(first | second << 8),
                         __ATOMIC_RELAXED);
        return slot;
    }
    if (page == 0) {
        page = PageOfBlock(table, uint32_t(index / kColorPageColors));
        if (page == 0) return slot;
        entry = table->pages + size_t(page - 1) * kColorPageColors + index % kColorPageColors;
    }
    uint8_t* line = entry - index % kColorLineColors;
    for (int i = 0; i < kColorLineColors; ++i) __atomic_store_n(&line[i], block[i], __ATOMIC_RELAXED);
    return slot;
}

}  // namespace bmp256
