// Working memory: blocks of every size class (small ones from malloc, large
// ones mapped in large pages) must be whole, writable, zeroed where asked,
// and given back by FreeBytes whichever way they were made.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/alloc.h"
#include "util/worker_threads.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

// The first byte that is not zero, or -1.
long FirstNonZero(const uint8_t* block, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (block[i] != 0) return long(i);
    }
    return -1;
}

const size_t kSizes[] = {0,         1,           4095,          (1u << 20) - 1, 1u << 20,
                         2u << 20,  (2u << 20) + 1, 12001280,   36000000};

TEST(Allocate, EveryByteOfEverySizeIsWritableAndKept) {
    for (size_t size : kSizes) {
        SCOPED_TRACE(size);
        uint8_t* block = static_cast<uint8_t*>(AllocateBytes(size));
        ASSERT_NE(block, nullptr);
        for (size_t i = 0; i < size; ++i) block[i] = uint8_t(i * 7 + 1);
        size_t wrong = 0;
        for (size_t i = 0; i < size; ++i) wrong += block[i] != uint8_t(i * 7 + 1);
        EXPECT_EQ(wrong, 0u);
        FreeBytes(block);
    }
}

TEST(Allocate, ZeroedBlocksAreZeroEvenWhereAFreedBlockWasFilled) {
    for (size_t size : kSizes) {
        SCOPED_TRACE(size);
        for (int round = 0; round < 3; ++round) {
            uint8_t* block = static_cast<uint8_t*>(AllocateZeroed(size, 1));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(FirstNonZero(block, size), -1) << "round " << round;
            std::memset(block, 0xA5, size);  // what the next round must not see
            FreeBytes(block);
        }
    }
    // Counted as count x size, and an overflowing product is refused.
    uint32_t* words = static_cast<uint32_t*>(AllocateZeroed(1u << 19, sizeof(uint32_t)));
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(FirstNonZero(reinterpret_cast<uint8_t*>(words), (1u << 19) * sizeof(uint32_t)), -1);
    FreeBytes(words);
    EXPECT_EQ(AllocateZeroed(SIZE_MAX / 2, 3), nullptr);
}

TEST(Allocate, ManyLargeBlocksAtOnceStayApart) {
    // More large blocks than a conversion ever holds: every one must still be
    // its own, however it was made.
    constexpr int kBlocks = 48;
    constexpr size_t kSize = (1u << 20) + 3;
    std::vector<uint8_t*> blocks;
    for (int i = 0; i < kBlocks; ++i) {
        uint8_t* block = static_cast<uint8_t*>(AllocateBytes(kSize));
        ASSERT_NE(block, nullptr) << i;
        std::memset(block, i + 1, kSize);
        blocks.push_back(block);
    }
    for (int i = 0; i < kBlocks; ++i) {
        EXPECT_EQ(blocks[i][0], uint8_t(i + 1)) << i;
        EXPECT_EQ(blocks[i][kSize - 1], uint8_t(i + 1)) << i;
    }
    // Freed in another order than taken.
    for (int i = kBlocks - 1; i >= 0; i -= 2) FreeBytes(blocks[i]);
    for (int i = 0; i < kBlocks; i += 2) FreeBytes(blocks[i]);
    FreeBytes(nullptr);
}

struct Churn {
    int seed;
    int wrong;
};

void ChurnLargeBlocks(void* argument) {
    Churn* churn = static_cast<Churn*>(argument);
    for (int i = 0; i < 40; ++i) {
        const size_t size = (1u << 20) + size_t(churn->seed * 4096 + i);
        uint8_t* block = static_cast<uint8_t*>(AllocateBytes(size));
        if (!block) {
            ++churn->wrong;
            continue;
        }
        std::memset(block, churn->seed, size);
        churn->wrong += block[size - 1] != uint8_t(churn->seed);
        FreeBytes(block);
    }
}

TEST(Allocate, ThreadsTakeAndFreeLargeBlocksAtOnce) {
    Churn a{1, 0}, b{2, 0};
    WorkerThread worker;
    const int started = StartWorkerThread(&worker, ChurnLargeBlocks, &a);
    ChurnLargeBlocks(&b);
    if (started) {
        JoinWorkerThread(&worker);
    } else {
        ChurnLargeBlocks(&a);
    }
    EXPECT_EQ(a.wrong + b.wrong, 0);
}

TEST(Allocate, LargeBlocksAreWholeWhenNoHelperThreadStarts) {
    // The pages of a large block are made present by helper threads; without
    // them this thread does it all.
    RefuseWorkerStarts(1);
    const size_t size = 24u << 20;
    uint8_t* block = static_cast<uint8_t*>(AllocateZeroed(size, 1));
    RefuseWorkerStarts(0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(FirstNonZero(block, size), -1);
    std::memset(block, 0x5A, size);
    EXPECT_EQ(block[size - 1], 0x5A);
    FreeBytes(block);
}

TEST(Allocate, FailureHookCountsLargeBlocksToo) {
    SetAllocationFailureAt(2);
    void* first = AllocateBytes(4u << 20);
    void* second = AllocateBytes(4u << 20);
    void* third = AllocateZeroed(16, 1);
    EXPECT_EQ(SetAllocationFailureAt(0), 3);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(third, nullptr);
    FreeBytes(first);
}

}  // namespace
