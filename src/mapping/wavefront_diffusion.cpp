#include <atomic>
#include <new>

#include "mapping/diffusion.h"
#include "mapping/palette_grid.h"
#include "mapping/worker_threads.h"
#include "util/alloc.h"

namespace {

constexpr int kRowMargin = 2;         // zero cells each side: no edge tests in the kernel
constexpr int kMaxThreads = 16;
constexpr int32_t kPublishEvery = 32;  // columns between progress reports
constexpr size_t kColorCacheSize = size_t(1) << 24;

// How far one row has got. Kept one per cache line so that threads on
// neighbouring rows do not share one.
struct alignas(64) RowProgress {
    std::atomic<int32_t> row;   // the row this record describes now
    std::atomic<int32_t> done;  // columns of that row finished
};

struct Wavefront {
    const uint8_t* source;
    size_t sourceStride;
    uint8_t* indices;
    size_t outputStride;
    int32_t width;
    int32_t height;
    const PaletteEntry* palette;
    const CandidateTable* candidates;
    uint8_t* colorCache;        // null when not used
    ErrorCell* zeroRow;         // the rows before the first
    ErrorCell* ring;            // ringSize rows of width + 2 * kRowMargin cells
    int ringSize;
    size_t rowCells;
    RowProgress* progress;      // ringSize records, one per ring row
    std::atomic<int32_t> nextRow;
    int32_t* scratch;           // per worker: longestList distances
};

inline uint8_t ClampToByte(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : uint8_t(v)); }

ErrorCell* RingRow(Wavefront* w, int32_t y) {
    if (y < 0) return w->zeroRow + kRowMargin;
    return w->ring + size_t(y % w->ringSize) * w->rowCells + kRowMargin;
}

// Where a colour's search result is kept. Neighbouring pixels search close
// colours, so the table is laid out in blocks: a 4x4x4 block of colours (the
// two low bits of each channel) fills one 64-byte line, and a 16x16x16 block
// one 4 KiB page. A mere reordering of the 2^24 entries: every colour still
// has a place of its own.
inline size_t ColorCacheIndex(const uint8_t* q) {
    const size_t b = q[0], g = q[1], r = q[2];
    const size_t page = (b >> 4) << 8 | (g >> 4) << 4 | (r >> 4);
    const size_t line = ((b >> 2) & 3) << 4 | ((g >> 2) & 3) << 2 | ((r >> 2) & 3);
    const size_t byte = (b & 3) << 4 | (g & 3) << 2 | (r & 3);
    return page << 12 | line << 6 | byte;
}

int32_t SearchOrRecall(Wavefront* w, const uint8_t* query, int32_t* scratch) {
    if (!w->colorCache) return FindNearestCandidate(query, w->candidates, scratch);
    uint8_t* entry = w->colorCache + ColorCacheIndex(query);
    // Every thread stores the same slot for the same colour, so relaxed
    // byte accesses are enough; they only keep the sharing well defined.
    int32_t slot = __atomic_load_n(entry, __ATOMIC_RELAXED);
    if (slot == 0) {
        slot = FindNearestCandidate(query, w->candidates, scratch);
        __atomic_store_n(entry, uint8_t(slot), __ATOMIC_RELAXED);
    }
    return slot;
}

// Waits until row y - 1 has finished at least `need` columns; returns how many it has.
int32_t AwaitRow(Wavefront* w, int32_t y, int32_t need) {
    RowProgress& p = w->progress[(y - 1) % w->ringSize];
    for (int spins = 0;; ++spins) {
        if (p.row.load(std::memory_order_acquire) == y - 1) {
            const int32_t done = p.done.load(std::memory_order_acquire);
            if (done >= need) return done;
        }
        if (spins >= 64) YieldWorkerThread();
    }
}

void MapRow(Wavefront* w, int32_t y, int32_t* scratch) {
    const int32_t width = w->width;
    RowProgress& mine = w->progress[y % w->ringSize];
    mine.done.store(0, std::memory_order_relaxed);
    mine.row.store(y, std::memory_order_release);
    const ErrorCell* older = RingRow(w, y - 2);
    const ErrorCell* previous = RingRow(w, y - 1);
    ErrorCell* current = RingRow(w, y);
    const uint8_t* in = w->source + size_t(y) * w->sourceStride;
    uint8_t* out = w->indices + size_t(y) * w->outputStride;
    // Row y - 1 (and through it row y - 2) is complete up to `ready` columns.
    int32_t ready = y == 0 ? width : 0;
    for (int32_t x = 0; x < width; ++x, in += 3) {
        if (ready < width && ready < x + 3) ready = AwaitRow(w, y, x + 3 < width ? x + 3 : width);
        const ErrorCell* o = older + x;
        const ErrorCell* p = previous + x;
        const ErrorCell* c = current + x;
        // Kernel weights: older row 1 3 5 3 1, previous row 3 5 7 5 3, current 5 7.
        const int32_t sumRed = o[-2].red + 3 * o[-1].red + 5 * o[0].red + 3 * o[1].red + o[2].red +
                               3 * p[-2].red + 5 * p[-1].red + 7 * p[0].red + 5 * p[1].red + 3 * p[2].red +
                               5 * c[-2].red + 7 * c[-1].red;
        const int32_t sumGreen = o[-2].green + 3 * o[-1].green + 5 * o[0].green + 3 * o[1].green + o[2].green +
                                 3 * p[-2].green + 5 * p[-1].green + 7 * p[0].green + 5 * p[1].green +
                                 3 * p[2].green + 5 * c[-2].green + 7 * c[-1].green;
        const int32_t sumBlue = o[-2].blue + 3 * o[-1].blue + 5 * o[0].blue + 3 * o[1].blue + o[2].blue +
                                3 * p[-2].blue + 5 * p[-1].blue + 7 * p[0].blue + 5 * p[1].blue +
                                3 * p[2].blue + 5 * c[-2].blue + 7 * c[-1].blue;
        const uint8_t query[3] = {ClampToByte(in[0] + sumBlue / 48), ClampToByte(in[1] + sumGreen / 48),
                                  ClampToByte(in[2] + sumRed / 48)};
        const int32_t slot = SearchOrRecall(w, query, scratch);
        out[x] = uint8_t(slot);
        const PaletteEntry& chosen = w->palette[slot];
        current[x] = ErrorCell{int32_t(in[2]) - chosen.red, int32_t(in[1]) - chosen.green,
                               int32_t(in[0]) - chosen.blue};
        if ((x + 1) % kPublishEvery == 0) mine.done.store(x + 1, std::memory_order_release);
    }
    mine.done.store(width, std::memory_order_release);
}

struct WorkerStart {
    Wavefront* wavefront;
    int32_t* scratch;
};

// Takes the next unmapped row until none is left. Rows are taken in order,
// so the rows in progress are always a few successive ones.
void RunWorker(void* argument) {
    WorkerStart* start = static_cast<WorkerStart*>(argument);
    Wavefront* w = start->wavefront;
    for (;;) {
        const int32_t y = w->nextRow.fetch_add(1, std::memory_order_relaxed);
        if (y >= w->height) return;
        MapRow(w, y, start->scratch);
    }
}

}  // namespace

int DiffuseToIndicesFast(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                         int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo,
                         const DiffusionOptions* options) {
    if (firstSlot < 0 || endSlot > kPaletteSize || firstSlot >= endSlot) return 0;
    const int32_t width = sourceInfo->biWidth > 0 ? sourceInfo->biWidth : 0;
    const int32_t height = sourceInfo->biHeight > 0 ? sourceInfo->biHeight : 0;
    int threads = options && options->threadCount > 0 ? options->threadCount : MachineThreadCount();
    if (threads > kMaxThreads) threads = kMaxThreads;
    if (threads > height) threads = height > 0 ? height : 1;
    const bool cache = (!options || options->useColorCache) && firstSlot > 0 && width > 0 && height > 0;

    // With t rows in progress, the rows up to y - t are finished when row y
    // starts, so t + 2 ring rows never overwrite errors still to be read.
    Wavefront w{};
    w.ringSize = threads + 2;
    w.rowCells = size_t(width) + 2 * kRowMargin;
    PaletteGrid* grid = static_cast<PaletteGrid*>(AllocateBytes(sizeof(PaletteGrid)));
    if (!grid) return 0;
    if (!BuildPaletteGrid(grid, palette, firstSlot, endSlot)) {
        FreeBytes(grid);
        return 0;
    }
    CandidateTable candidates;
    const int haveTable = BuildCandidateTable(&candidates, grid);
    ReleasePaletteGrid(grid);
    FreeBytes(grid);
    if (!haveTable) return 0;

    w.zeroRow = static_cast<ErrorCell*>(AllocateZeroed(w.rowCells, sizeof(ErrorCell)));
    w.ring = static_cast<ErrorCell*>(AllocateZeroed(w.rowCells * size_t(w.ringSize), sizeof(ErrorCell)));
    w.progress = static_cast<RowProgress*>(AllocateBytes(sizeof(RowProgress) * size_t(w.ringSize) + 64));
    w.scratch = static_cast<int32_t*>(
        AllocateBytes(sizeof(int32_t) * size_t(candidates.longestList + 1) * size_t(threads)));
    WorkerStart* starts = static_cast<WorkerStart*>(AllocateBytes(sizeof(WorkerStart) * size_t(threads)));
    WorkerThread* workers = static_cast<WorkerThread*>(AllocateBytes(sizeof(WorkerThread) * size_t(threads)));
    w.colorCache = cache ? static_cast<uint8_t*>(AllocateZeroed(kColorCacheSize, 1)) : nullptr;
    const int ok = w.zeroRow && w.ring && w.progress && w.scratch && starts && workers && (!cache || w.colorCache);
    if (ok) {
        // The block is over-allocated by one line so the records can sit on line boundaries.
        void* raw = w.progress;
        RowProgress* aligned = reinterpret_cast<RowProgress*>((reinterpret_cast<uintptr_t>(raw) + 63) & ~uintptr_t(63));
        for (int i = 0; i < w.ringSize; ++i) {
            new (&aligned[i]) RowProgress();
            aligned[i].row.store(-1, std::memory_order_relaxed);
            aligned[i].done.store(0, std::memory_order_relaxed);
        }
        w.progress = aligned;
        w.source = source;
        w.sourceStride = size_t(RowStride(sourceInfo));
        w.indices = indices;
        w.outputStride = size_t(RowStride(outputInfo));
        w.width = width;
        w.height = height;
        w.palette = palette;
        w.candidates = &candidates;
        w.nextRow.store(0, std::memory_order_relaxed);
        for (int t = 0; t < threads; ++t) {
            starts[t] = WorkerStart{&w, w.scratch + size_t(candidates.longestList + 1) * size_t(t)};
            workers[t].running = 0;
        }
        // Worker 0 is this thread; the others are extra hands when they start.
        for (int t = 1; t < threads; ++t) StartWorkerThread(&workers[t], RunWorker, &starts[t]);
        RunWorker(&starts[0]);
        for (int t = 1; t < threads; ++t) JoinWorkerThread(&workers[t]);
        w.progress = static_cast<RowProgress*>(raw);
    }
    FreeBytes(w.colorCache);
    FreeBytes(workers);
    FreeBytes(starts);
    FreeBytes(w.scratch);
    FreeBytes(w.progress);
    FreeBytes(w.ring);
    FreeBytes(w.zeroRow);
    ReleaseCandidateTable(&candidates);
    return ok;
}
