// Heap access for all working memory, with a test hook that makes the Nth
// allocation fail so every refusal path can be exercised.
#pragma once

#include <cstddef>

// Returns `size` bytes, or null when the memory cannot be had or the failure
// hook fires. A size of 0 still returns a unique non-null block.
void* AllocateBytes(size_t size);

// Returns count * size zeroed bytes, or null (also when the product overflows).
void* AllocateZeroed(size_t count, size_t size);

// Frees a block from either allocator; null is ignored.
void FreeBytes(void* block);

// Test hook: the allocation numbered `n` (1 = the next one) and every one after
// it fail until the hook is reset with 0. Returns how many allocations were
// made since the last call.
long SetAllocationFailureAt(long n);
