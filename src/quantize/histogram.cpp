#include <atomic>
#include <cstring>

#include "quantize/histogram.h"
#include "platform/alloc.h"
#include "util/worker_threads.h"

namespace bmp256 {
namespace {

// One pass over the pixels, with a count per 64-level colour instead of an
// occupancy table over all 2^24 keys: the counts are indexed by the key with
// its six always-zero bits squeezed out, which keeps the key order, so a
// sweep of them lists the entries in ascending key order. Each thread counts
// into its own 1 MiB, summed at the end.
constexpr int32_t kLevelColors = 1 << 18;  // 64 levels in each of three channels
constexpr int kMaxThreads = 16;

// Channel value -> its level 0..63: QuantizeChannel without the two zero bits.
struct LevelTable {
    uint32_t level[256];
};

constexpr LevelTable MakeLevelTable() {
    LevelTable t{};
    for (int x = 0; x < 256; ++x) t.level[x] = uint32_t(QuantizeChannel(uint8_t(x))) >> 2;
    return t;
}

constexpr LevelTable kLevels = MakeLevelTable();

// Rows are handed out a few at a time rather than split evenly up front, so
// that a processor the host runs slower than the other holds nobody up.
constexpr int32_t kRowsPerTake = 16;

struct CountWork {
    const uint8_t* pixels;
    size_t stride;
    int32_t width;
    int32_t height;
    std::atomic<int32_t> nextRow;
};

// One thread's share: the rows it takes, counted into its own counts.
struct CountJob {
    CountWork* work;
    int32_t* counts;
};

void CountRows(void* argument) {
    const CountJob* job = static_cast<const CountJob*>(argument);
    CountWork* work = job->work;
    const uint32_t* level = kLevels.level;
    int32_t* counts = job->counts;
    for (;;) {
        const int32_t first = work->nextRow.fetch_add(kRowsPerTake, std::memory_order_relaxed);
        if (first >= work->height) return;
        const int32_t end = work->height - first < kRowsPerTake ? work->height : first + kRowsPerTake;
        for (int32_t y = first; y < end; ++y) {
            const uint8_t* p = work->pixels + size_t(y) * work->stride;
            for (int32_t x = 0; x < work->width; ++x, p += 3)
                ++counts[level[p[0]] << 12 | level[p[1]] << 6 | level[p[2]]];
        }
    }
}

}  // namespace

ColorEntry* BuildColorHistogram(const uint8_t* pixels, const BITMAPINFOHEADER* info, int32_t* count,
                                int threadCount) {
    const int32_t width = info->biWidth > 0 ? info->biWidth : 0;
    const int32_t height = info->biHeight > 0 ? info->biHeight : 0;
    int threads = threadCount > 0 ? threadCount : MachineThreadCount();
    if (threads > kMaxThreads) threads = kMaxThreads;
    if (threads > height) threads = height > 0 ? height : 1;
    // Every thread counts into counts of its own; the sums are the same in any
    // order. Zeroed here before the threads start: a page that a thread first
    // reads as the system's zero page and then writes costs a second fault
    // and a stop of the other threads' processors.
    const size_t countBytes = sizeof(int32_t) * size_t(kLevelColors) * size_t(threads);
    int32_t* counts = static_cast<int32_t*>(AllocateBytes(countBytes));
    if (!counts) return nullptr;
    std::memset(counts, 0, countBytes);
    CountWork work;
    work.pixels = pixels;
    work.stride = width > 0 ? size_t(RowStride(info)) : 0;
    work.width = width;
    work.height = height;
    work.nextRow.store(0, std::memory_order_relaxed);
    CountJob jobs[kMaxThreads];
    for (int t = 0; t < threads; ++t) jobs[t] = CountJob{&work, counts + size_t(kLevelColors) * size_t(t)};
    RunShares(CountRows, jobs, sizeof(CountJob), threads);
    for (int t = 1; t < threads; ++t) {
        const int32_t* part = jobs[t].counts;
        for (int32_t c = 0; c < kLevelColors; ++c) counts[c] += part[c];
    }

    int32_t k = 0;
    for (int32_t c = 0; c < kLevelColors; ++c) k += counts[c] != 0;
    ColorEntry* entries = static_cast<ColorEntry*>(AllocateZeroed(size_t(k), sizeof(ColorEntry)));
    if (entries) {
        int32_t at = 0;
        for (int32_t c = 0; c < kLevelColors; ++c) {
            if (counts[c] == 0) continue;
            entries[at].colorKey =
                MakeColorKey(uint8_t((c >> 12) << 2), uint8_t(((c >> 6) & 63) << 2), uint8_t((c & 63) << 2));
            entries[at].pixelCount = counts[c];
            ++at;
        }
        *count = k;
    }
    FreeBytes(counts);
    return entries;
}

}  // namespace bmp256
