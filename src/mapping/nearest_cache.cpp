#include "mapping/nearest_cache.h"

#include <atomic>
#include <cstddef>
#include <new>

#include "platform/alloc.h"

namespace bmp256 {

namespace {

// The colour table keeps its results in pages of 4096 colours (a 16x16x16
// block of them, see ColorCacheIndex), given out as colours of a block are
// first met; a photograph meets well under half of the 4096 blocks
// (docs/performance.md). Colours of a block met after the last page is given
// out are searched each time.
// The 8 MiB of pages are made present before the workers start (the
// allocator does so from that size on), so that no worker, and none waiting
// for its rows, stops for the system to supply a page.
constexpr int kPageColors = 4096;
constexpr int kTableBlocks = (1 << 24) / kPageColors;
constexpr int32_t kMaxTablePages = 2048;
constexpr int kLineColors = kBlockSide * kBlockSide * kBlockSide;  // one 4x4x4 block, 64 bytes

}  // namespace

struct ColorTable {
    uint16_t pageOf[kTableBlocks];   // 0: none yet, else the block's page number + 1
    std::atomic<int32_t> pagesUsed;
    uint8_t* pages;                  // kMaxTablePages pages of kPageColors slots (0: not yet known)
};

namespace {

// Where a colour's search result is kept. Neighbouring pixels search close
// colours, so the table is laid out in blocks: a 4x4x4 block of colours (the
// two low bits of each channel) fills one 64-byte line, and a 16x16x16 block
// one 4 KiB page. A mere reordering of the 2^24 entries: every colour still
// has a place of its own.
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
    table->pages = static_cast<uint8_t*>(AllocateZeroed(size_t(kMaxTablePages), kPageColors));
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

int32_t FindNearestCached(ColorTable* table, const CandidateTable* candidates, uint8_t blue, uint8_t green,
                          uint8_t red) {
    const size_t index = ColorCacheIndex(blue, green, red);
    uint32_t page = __atomic_load_n(&table->pageOf[index / kPageColors], __ATOMIC_ACQUIRE);
    if (page == 0) {
        page = PageOfBlock(table, uint32_t(index / kPageColors));
        if (page == 0) return Search(candidates, blue, green, red);
    }
    uint8_t* entry = table->pages + size_t(page - 1) * kPageColors + index % kPageColors;
    // Workers that share a table store the same slot for the same colour, so
    // relaxed byte accesses are enough; they only keep the sharing well defined.
    int32_t slot = __atomic_load_n(entry, __ATOMIC_RELAXED);
    if (slot == 0) {
        // A colour met is most often met again near by: the whole line of its
        // 4x4x4 block is filled at once, which costs little more than one search.
        const uint8_t query[3] = {blue, green, red};
        uint8_t block[kLineColors];
        if (!FindNearestInBlock(query, candidates, block)) return Search(candidates, blue, green, red);
        uint8_t* line = entry - index % kLineColors;
        for (int i = 0; i < kLineColors; ++i) __atomic_store_n(&line[i], block[i], __ATOMIC_RELAXED);
        slot = block[index % kLineColors];
    }
    return slot;
}

}  // namespace bmp256
