#include "mapping/diffusion.h"

#include <atomic>
#include <new>

#include "mapping/nearest.h"
#include "mapping/nearest_cache.h"
#include "platform/alloc.h"
#include "util/worker_threads.h"

namespace bmp256 {
namespace {

// The search's cell walk is done once per cell (CandidateTable), results are
// kept per corrected colour (ColorTable, only when the first slot is above 0,
// as 0 marks a colour not yet known), and successive rows are mapped by
// several threads as a wavefront: row y maps column x once row y - 1 has
// finished column x + 2, which is all the kernel reads of it. Each thread maps
// four successive rows side by side, and the three channels go through the
// kernel together in 16-bit lanes over sliding sums. A thread that cannot be
// started leaves its rows to the others.

constexpr int kRowMargin = 3;         // zero cells each side: no edge tests in the kernel
constexpr int kMaxThreads = 16;
constexpr int32_t kPublishEvery = 32;  // columns between progress reports
constexpr int32_t kReadGap = 96;       // columns kept between a row and the row it reads
constexpr int32_t kRowsPerTake = 4;    // rows a worker maps side by side
// kColorCacheAuto: images of fewer pixels map without the table, whose
// 8 MiB of pages cost more to make present than the searches they save.
constexpr int64_t kTableMinPixels = int64_t(1) << 17;

// How far one row has got. Kept one per cache line so that threads on
// neighbouring rows do not share one.
struct alignas(64) RowProgress {
    std::atomic<int32_t> row;   // the row this record describes now
    std::atomic<int32_t> done;  // columns of that row finished
};

// Blue, green and red (and an unused lane) side by side, so one operation
// serves the three channels; the compiler uses vector instructions where the
// processor has them and plain ones where not. Every value stays far inside
// 16 bits: errors lie in -255 to 255 and the kernel's sums in -12240 to 12240.
typedef int16_t Cell __attribute__((vector_size(8)));

// What one mapped row keeps per pixel for the row after it: with E its
// errors and E' those of the row before, A = E' + 3E and B = E' + E. The next
// row's kernel over the two rows above it, 1 3 5 3 1 on E' and 3 5 7 5 3 on
// E, is then the five-cell sum of A plus twice the three-cell sum of B plus
// twice B itself: sums that slide along the row by one addition and one
// subtraction each. E itself is (A - B) / 2, exactly.
struct RowCell {
    Cell a;
    Cell b;
};

struct Wavefront {
    const uint8_t* source;
    size_t sourceStride;
    uint8_t* indices;
    size_t outputStride;
    int32_t width;
    int32_t height;
    const CandidateTable* candidates;
    ColorTable* colorTable;     // shared by the workers; null when not used
    RowCell* zeroRow;           // the row before the first: all zero
    RowCell* ring;              // ringSize rows of rowCells cells
    int ringSize;
    size_t rowCells;
    RowProgress* progress;      // ringSize records, one per ring row
    std::atomic<int32_t> nextRow;
    Cell paletteCells[kPaletteSize];  // the palette's blue, green, red as cells
};

RowCell* RingRow(Wavefront* w, int32_t y) {
    return (y < 0 ? w->zeroRow : w->ring + size_t(y % w->ringSize) * w->rowCells) + kRowMargin;
}

inline int32_t SearchOrRecall(Wavefront* w, ColorTable* table, uint8_t blue, uint8_t green, uint8_t red) {
    if (table) return FindNearestCached(table, w->candidates, blue, green, red);
    const uint8_t query[3] = {blue, green, red};
    return FindNearestColor(query, w->candidates);
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

// One row being mapped: where it reads and writes, the errors of the two
// pixels to its left, and the sliding sums over the row above; all kept in
// registers, as each pixel waits for the one before it.
struct RowState {
    const RowCell* above;
    RowCell* mine;
    const uint8_t* in;
    uint8_t* out;
    RowProgress* progress;
    Cell left;      // error of x - 1, zero before the row starts
    Cell far;       // error of x - 2
    Cell sumA;      // A[x - 2 .. x + 2] of the row above, once x is reached
    Cell sumB;      // B[x - 1 .. x + 1]
};

RowState StartRow(Wavefront* w, int32_t y) {
    RowState r{};
    r.above = RingRow(w, y - 1);
    r.mine = RingRow(w, y);
    r.in = w->source + size_t(y) * w->sourceStride;
    r.out = w->indices + size_t(y) * w->outputStride;
    r.progress = &w->progress[y % w->ringSize];
    r.progress->done.store(0, std::memory_order_relaxed);
    r.progress->row.store(y, std::memory_order_release);
    return r;
}

inline void MapPixel(Wavefront* w, ColorTable* cache, RowState& r, int32_t x) {
    const RowCell* above = r.above + x;
    if (x == 0) {
        // The sums as they stand one column before the row (margins are zero).
        r.sumA = above[0].a + above[1].a;
        r.sumB = above[0].b;
    }
    r.sumA += above[2].a - above[-3].a;
    r.sumB += above[1].b - above[-2].b;
    // Kernel: older row 1 3 5 3 1, previous row 3 5 7 5 3, current row 5 7.
    const Cell sum = r.sumA + 2 * (r.sumB + above[0].b) + 5 * r.far + 7 * r.left;
    const uint8_t* in = r.in + 3 * size_t(x);
    const Cell source = {int16_t(in[0]), int16_t(in[1]), int16_t(in[2]), 0};
    Cell corrected = source + sum / 48;  // the division truncates toward zero, lane by lane
    const Cell black = {0, 0, 0, 0}, white = {255, 255, 255, 255};
    corrected = corrected < black ? black : corrected;
    corrected = corrected > white ? white : corrected;
    const int32_t slot =
        SearchOrRecall(w, cache, uint8_t(corrected[0]), uint8_t(corrected[1]), uint8_t(corrected[2]));
    r.out[x] = uint8_t(slot);
    const Cell error = source - w->paletteCells[slot];
    const Cell errorAbove = (above[0].a - above[0].b) >> 1;
    r.far = r.left;
    r.left = error;
    r.mine[x] = RowCell{errorAbove + 3 * error, errorAbove + error};
}

constexpr int32_t kLag = 3;  // columns between a row and the row before it in a take

// Steps from .. to - 1 where every one of the four rows has a column to map.
// The rows' state is copied into locals for the loop, so that the compiler
// can keep it in registers rather than in the array.
inline void MapFullSteps(Wavefront* w, ColorTable* cache, RowState* rows, int32_t from, int32_t to) {
    static_assert(kRowsPerTake == 4, "four rows side by side");
    RowState r0 = rows[0], r1 = rows[1], r2 = rows[2], r3 = rows[3];
    for (int32_t step = from; step < to; ++step) {
        MapPixel(w, cache, r0, step);
        MapPixel(w, cache, r1, step - kLag);
        MapPixel(w, cache, r2, step - 2 * kLag);
        MapPixel(w, cache, r3, step - 3 * kLag);
    }
    rows[0] = r0;
    rows[1] = r1;
    rows[2] = r2;
    rows[3] = r3;
}

// Steps where some rows have no column to map (the first and last few).
void MapPartSteps(Wavefront* w, ColorTable* cache, RowState* rows, int32_t count, int32_t from, int32_t to) {
    for (int32_t step = from; step < to; ++step) {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t x = step - kLag * i;
            if (x >= 0 && x < w->width) MapPixel(w, cache, rows[i], x);
        }
    }
}

// Maps rows y .. y + count - 1 (count at most kRowsPerTake) side by side,
// each three columns behind the one before: row y + i + 1 maps column x after
// row y + i has mapped column x + 2, which is all it reads of it. The rows'
// pixels do not wait for each other, so the processor works on all at once,
// and a table line that one row fetches is at hand for the rows below.
void MapRows(Wavefront* w, ColorTable* cache, int32_t y, int32_t count) {
    const int32_t width = w->width;
    RowState rows[kRowsPerTake];
    for (int32_t i = 0; i < count; ++i) rows[i] = StartRow(w, y + i);
    // Row y - 1, the one row a row reads, is complete up to `ready` columns.
    int32_t ready = y == 0 ? width : 0;
    const int32_t steps = width + kLag * (count - 1);
    // Steps at which every row has a column to map; the steps before and
    // after, where some have none, take the general path.
    const int32_t fullFrom = count == kRowsPerTake ? kLag * (kRowsPerTake - 1) : steps;
    const int32_t fullTo = count == kRowsPerTake && width > fullFrom ? width : fullFrom;
    for (int32_t step = 0; step < steps;) {
        if (step < width && ready < width && ready < step + 3) {
            // Waits for more than the kernel needs, so that this thread reads
            // only cache lines the other has long finished writing.
            const int32_t want = step + 3 + kReadGap;
            ready = AwaitRow(w, y, want < width ? want : width);
        }
        // Step s maps column s of row y, which reads row y - 1 up to column s + 2.
        int32_t end = ready >= width ? steps : ready - 2;
        if (end > step + kPublishEvery) end = step + kPublishEvery;
        int32_t at = step;
        if (at < fullFrom) {
            const int32_t to = end < fullFrom ? end : fullFrom;
            MapPartSteps(w, cache, rows, count, at, to);
            at = to;
        }
        if (at < end && at < fullTo) {
            const int32_t to = end < fullTo ? end : fullTo;
            MapFullSteps(w, cache, rows, at, to);
            at = to;
        }
        MapPartSteps(w, cache, rows, count, at, end);
        for (int32_t i = 0; i < count; ++i) {
            const int32_t done = end - kLag * i;
            if (done > 0) rows[i].progress->done.store(done < width ? done : width, std::memory_order_release);
        }
        step = end;
    }
    for (int32_t i = 0; i < count; ++i) rows[i].progress->done.store(width, std::memory_order_release);
}

// Takes the next kRowsPerTake unmapped rows until none is left. Rows are taken in
// order, so the rows in progress are always a few successive ones.
void RunWorker(void* argument) {
    Wavefront* w = static_cast<Wavefront*>(argument);
    for (;;) {
        const int32_t y = w->nextRow.fetch_add(kRowsPerTake, std::memory_order_relaxed);
        if (y >= w->height) return;
        MapRows(w, w->colorTable, y, w->height - y < kRowsPerTake ? w->height - y : kRowsPerTake);
    }
}

}  // namespace

int DiffuseToIndices(uint8_t* indices, const BITMAPINFOHEADER* outputInfo, const PaletteEntry* palette,
                     int firstSlot, int endSlot, const uint8_t* source, const BITMAPINFOHEADER* sourceInfo,
                     const DiffusionOptions* options) {
    if (firstSlot < 0 || endSlot > kPaletteSize || firstSlot >= endSlot) return 0;
    const int32_t width = sourceInfo->biWidth > 0 ? sourceInfo->biWidth : 0;
    const int32_t height = sourceInfo->biHeight > 0 ? sourceInfo->biHeight : 0;
    int threads = options && options->threadCount > 0 ? options->threadCount : MachineThreadCount();
    if (threads > kMaxThreads) threads = kMaxThreads;
    if (threads > height) threads = height > 0 ? height : 1;
    const int use = options ? options->useColorCache : kColorCacheAuto;
    const bool cache = use != kColorCacheOff && firstSlot > 0 && int64_t(width) * height >= kTableMinPixels;

    // Rows finish in order and are taken in order, k = kRowsPerTake at a
    // time. With t workers, when a worker takes rows y .. y + k - 1 the rows
    // in progress lie within y - k(t - 1) .. y + k - 1, so the rows before
    // those are finished; row y + k - 1 overwrites row y + k - 1 - R, which
    // only row y + k - R reads, so R = kt + 2 ring rows never overwrite cells
    // still to be read.
    Wavefront w{};
    w.ringSize = kRowsPerTake * threads + 2;
    w.rowCells = size_t(width) + 2 * kRowMargin;
    CandidateTable candidates;
    if (!BuildPaletteCandidates(&candidates, palette, firstSlot, endSlot)) return 0;

    w.zeroRow = static_cast<RowCell*>(AllocateZeroed(w.rowCells, sizeof(RowCell)));
    w.ring = static_cast<RowCell*>(AllocateZeroed(w.rowCells * size_t(w.ringSize), sizeof(RowCell)));
    w.progress = static_cast<RowProgress*>(AllocateBytes(sizeof(RowProgress) * size_t(w.ringSize) + 64));
    // One table for all workers: a line is written once, when its block is
    // first met, and only read after that, so workers on other processors
    // mostly find it in their own caches.
    w.colorTable = cache ? CreateColorTable() : nullptr;
    const int ok = w.zeroRow && w.ring && w.progress && (!cache || w.colorTable);
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
        for (int i = 0; i < kPaletteSize; ++i)
            w.paletteCells[i] = Cell{int16_t(palette[i].blue), int16_t(palette[i].green), int16_t(palette[i].red), 0};
        w.candidates = &candidates;
        w.nextRow.store(0, std::memory_order_relaxed);
        // Worker 0 is this thread; the others are extra hands when they start.
        // Rows are taken as they come, so a worker that never started takes
        // none, and when run here afterwards finds none left.
        RunShares(RunWorker, &w, 0, threads);
        w.progress = static_cast<RowProgress*>(raw);
    }
    ReleaseColorTable(w.colorTable);
    FreeBytes(w.progress);
    FreeBytes(w.ring);
    FreeBytes(w.zeroRow);
    ReleaseCandidateTable(&candidates);
    return ok;
}

}  // namespace bmp256
