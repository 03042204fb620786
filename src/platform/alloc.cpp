#include "platform/alloc.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "util/test_hooks.h"

// Large blocks come straight from the system in 2 MiB pages where it has
// them. A conversion touches every byte of its pixel, index and colour-table
// blocks once, soon after taking them, so with 4 KiB pages the system's page
// faults can outweigh the conversion itself (docs/performance.md). Not under the
// sanitizers: there every block stays with the allocator they watch, so an
// overrun of a pixel buffer is still reported and a lost block still found.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BMP256_NO_LARGE_PAGES 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || !defined(__linux__)
#define BMP256_NO_LARGE_PAGES 1
#endif

#ifdef __GLIBC__
#include <malloc.h>
#endif

#ifndef BMP256_NO_LARGE_PAGES
#include <sys/mman.h>

#include "util/worker_threads.h"

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it and the pages fault in on use
#endif
#endif

namespace bmp256 {

namespace {
#ifdef BMP256_TEST_HOOKS
FailureCounter g_allocations = {0, 0};

bool ShouldFail() { return CountCall(&g_allocations); }
#else
inline bool ShouldFail() { return false; }
#endif

#ifndef BMP256_NO_LARGE_PAGES
constexpr size_t kLargePage = size_t(2) << 20;
constexpr size_t kSmallPage = 4096;
// From this size on a block is mapped in large pages. Below it the unused
// rest of the last large page would cost more memory than the faults saved.
constexpr size_t kLargeBlockMin = size_t(1) << 20;
// From this size on the pages of a new block are made present by every
// processor at once: on a virtual machine the first touch of memory the host
// has taken back is slow, and that work divides (docs/performance.md).
constexpr size_t kParallelPopulateMin = size_t(8) << 20;
constexpr int kMaxPopulateThreads = 8;
// Blocks mapped at once. A conversion holds at most four large blocks; when
// the table is full a block simply comes from malloc.
constexpr int kMaxLargeBlocks = 32;

struct LargeBlock {
    void* base;     // null: the entry is free
    size_t length;  // as mapped
};

std::mutex g_largeLock;
LargeBlock g_large[kMaxLargeBlocks];

// A block being made present: its large pages are handed out one at a time,
// so that a processor the host runs slower than the others does fewer.
struct PopulateWork {
    uint8_t* block;
    size_t length;
    std::atomic<size_t> next;  // offset of the next large page to hand out
};

void PopulatePages(void* argument) {
    PopulateWork* work = static_cast<PopulateWork*>(argument);
    for (;;) {
        const size_t at = work->next.fetch_add(kLargePage, std::memory_order_relaxed);
        if (at >= work->length) return;
        const size_t length = work->length - at < kLargePage ? work->length - at : kLargePage;
        madvise(work->block + at, length, MADV_POPULATE_WRITE);  // advice only, like the large pages
    }
}

// Makes the pages of a new block present, by every processor at once.
// Populating writes nothing: the block still reads as zero.
void PopulateInParallel(void* block, size_t length) {
    int threads = MachineThreadCount();
    if (threads > kMaxPopulateThreads) threads = kMaxPopulateThreads;
    const size_t largePages = (length + kLargePage - 1) / kLargePage;
    if (size_t(threads) > largePages) threads = int(largePages);
    PopulateWork work;
    work.block = static_cast<uint8_t*>(block);
    work.length = length;
    work.next.store(0, std::memory_order_relaxed);
    RunShares(PopulatePages, &work, 0, threads);
}

// A zero-filled block of at least `size` bytes on large-page boundaries, or
// null (the caller then takes it from malloc). Unless `populate`, its pages
// stay absent until written.
void* MapLarge(size_t size, bool populate) {
    if (size > SIZE_MAX - 2 * kLargePage) return nullptr;
    // A last part of less than half a large page stays in small pages: it
    // costs a few faults more, where a whole large page would cost memory.
    size_t length = (size + kSmallPage - 1) & ~(kSmallPage - 1);
    if (length % kLargePage >= kLargePage / 2) length = (length + kLargePage - 1) & ~(kLargePage - 1);
    // Over-map by one large page and cut the ends so the block starts on a boundary.
    const size_t span = length + kLargePage;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kLargePage - 1) & ~uintptr_t(kLargePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const size_t tail = span - (aligned - start) - length;
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
    void* block = reinterpret_cast<void*>(aligned);
    madvise(block, length, MADV_HUGEPAGE);  // advice only: without it the block still works
    if (populate && length >= kParallelPopulateMin) PopulateInParallel(block, length);

    std::lock_guard<std::mutex> hold(g_largeLock);
    for (LargeBlock& entry : g_large) {
        if (!entry.base) {
            entry.base = block;
            entry.length = length;
            return block;
        }
    }
    munmap(block, length);
    return nullptr;
}

// Unmaps `block` if it is a large one; returns 0 when it came from malloc.
int UnmapLarge(void* block) {
    size_t length = 0;
    {
        std::lock_guard<std::mutex> hold(g_largeLock);
        for (LargeBlock& entry : g_large) {
            if (entry.base == block) {
                length = entry.length;
                entry.base = nullptr;
                break;
            }
        }
    }
    if (length == 0) return 0;
    munmap(block, length);
    return 1;
}
#endif
}  // namespace

namespace {

void* Allocate(size_t size, bool populate) {
    if (ShouldFail()) return nullptr;
#ifndef BMP256_NO_LARGE_PAGES
    if (size >= kLargeBlockMin) {
        if (void* block = MapLarge(size, populate)) return block;
    }
#else
    (void)populate;  // large blocks come from malloc, whose pages appear as written
#endif
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* AllocateBytes(size_t size) { return Allocate(size, true); }

void* AllocateUntouched(size_t size) { return Allocate(size, false); }

void* AllocateZeroed(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    if (ShouldFail()) return nullptr;
    if (count == 0 || size == 0) return std::calloc(1, 1);
#ifndef BMP256_NO_LARGE_PAGES
    if (count * size >= kLargeBlockMin) {
        if (void* block = MapLarge(count * size, true)) return block;  // fresh mappings read as zero
    }
#endif
    return std::calloc(count, size);
}

void FreeBytes(void* block) {
    if (!block) return;
#ifndef BMP256_NO_LARGE_PAGES
    if (UnmapLarge(block)) return;
#endif
    std::free(block);
}

void KeepFreedMemory() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
#endif
}

#ifdef BMP256_TEST_HOOKS
long SetAllocationFailureAt(long n) { return SetFailureAt(&g_allocations, n); }
#endif

}  // namespace bmp256
