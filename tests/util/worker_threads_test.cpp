#include <gtest/gtest.h>

#include <atomic>

#include "util/test_hooks.h"
#include "util/worker_threads.h"

using namespace bmp256;

namespace {

void Mark(void* share) { ++*static_cast<int*>(share); }

// Every share runs once, on a worker or, when none can be started, here; a
// count that cannot be honoured runs nothing rather than part of the work.
TEST(RunShares, RunsEveryShareOrNone) {
    for (int refuse : {0, 1}) {
        RefuseWorkerStarts(refuse);
        for (int count : {1, 2, kMaxShares}) {
            int shares[kMaxShares] = {};
            EXPECT_EQ(RunShares(Mark, shares, sizeof(int), count), 1) << count;
            for (int i = 0; i < kMaxShares; ++i) EXPECT_EQ(shares[i], i < count ? 1 : 0) << count;
        }
    }
    RefuseWorkerStarts(0);
    for (int count : {0, -1, kMaxShares + 1}) {
        int shares[kMaxShares + 1] = {};
        EXPECT_EQ(RunShares(Mark, shares, sizeof(int), count), 0) << count;
        for (int share : shares) EXPECT_EQ(share, 0) << count;
    }
}

}  // namespace
