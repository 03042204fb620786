#include "util/alloc.h"

#include <cstdint>
#include <cstdlib>

namespace {
long g_failAt = 0;     // 0: never fail
long g_counted = 0;    // allocations since the hook was last set

bool ShouldFail() {
    ++g_counted;
    return g_failAt > 0 && g_counted >= g_failAt;
}
}  // namespace

void* AllocateBytes(size_t size) {
    if (ShouldFail()) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateZeroed(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    if (ShouldFail()) return nullptr;
    if (count == 0 || size == 0) return std::calloc(1, 1);
    return std::calloc(count, size);
}

void FreeBytes(void* block) { std::free(block); }

long SetAllocationFailureAt(long n) {
    long made = g_counted;
    g_failAt = n;
    g_counted = 0;
    return made;
}
