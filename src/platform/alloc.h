// Heap access for all working memory, in one place so that test builds can
// make the Nth allocation fail (util/test_hooks.h).
#pragma once

#include <cstddef>

namespace bmp256 {

// Returns `size` bytes, or null when the memory cannot be had. A size of 0 still returns a unique non-null block.
void* AllocateBytes(size_t size);

// AllocateBytes for a block that is filled as data arrives (a file being
// read, a picture being decoded): its pages become memory only when first
// written, so a source that stops early, or claims more than it holds, costs
// memory in proportion to what was written, and a read does not first make
// present the pages it will overwrite anyway.
void* AllocateUntouched(size_t size);

// Returns count * size zeroed bytes, or null (also when the product overflows).
void* AllocateZeroed(size_t count, size_t size);

// Frees a block from either allocator; null is ignored.
void FreeBytes(void* block);

// From now on the heap keeps freed blocks for the next ones instead of
// handing them back to the system and mapping them again: for runs that
// convert many files one after another.
void KeepFreedMemory();


}  // namespace bmp256
