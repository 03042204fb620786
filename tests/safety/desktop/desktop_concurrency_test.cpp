// Runs of the desktop program at once. They share the temporary file in the
// user's cache folder, so a second run must wait while the first one converts and
// copies, and every destination must get its own source's result.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "safety/desktop/desktop_runs.h"

using bmptest::ReadFileBytes;
using bmptest::WriteFileBytes;
using namespace safetytest;

namespace {

struct Job {
    std::string source;
    std::string destination;
    std::vector<uint8_t> result;
};

// Sources of different sizes, so that a result copied from the wrong run
// can never pass.
Job MakeJob(const RunFolder& folder, int n) {
    Job job;
    job.source = folder.Picture("photo" + std::to_string(n) + ".bmp");
    job.destination = folder.Picture("out" + std::to_string(n) + ".bmp");
    const std::vector<uint8_t> bytes = Picture(5 + 3 * n, 4 + n, 40 + n);
    EXPECT_TRUE(WriteFileBytes(job.source, bytes));
    job.result = ConvertedBytes(bytes);
    EXPECT_FALSE(job.result.empty());
    return job;
}

// Starts a run of `job` that stops at `hold`, its temporary file written and
// not yet copied.
pid_t StartHeldRun(const RunFolder& folder, const Job& job, const HoldPoint& hold) {
    RunRequest request = RequestFor(folder, job.source, job.destination);
    request.environment.push_back(hold.Environment());
    return StartRun(request);
}

// The first run is held with its temporary file written and not yet copied;
// the second must then wait for the lock, and may go on only when the first
// has copied.
TEST(DesktopConcurrency, SecondRunWaitsWhileTheFirstCopies) {
    RunFolder folder;
    const Job first = MakeJob(folder, 1), second = MakeJob(folder, 2);
    HoldPoint hold;
    const pid_t firstRun = StartHeldRun(folder, first, hold);
    ASSERT_TRUE(hold.WaitHeld(firstRun));
    EXPECT_EQ(first.result, ReadFileBytes(folder.temporary));

    const pid_t secondRun = StartRun(RequestFor(folder, second.source, second.destination));
    int secondCode = -1;
    const RunState state = WatchRun(secondRun, &secondCode);
    if (state == RunState::kUnobservable) {
        std::printf("cannot see where the second run waits; only its results are checked\n");
    } else {
        EXPECT_EQ(RunState::kBlockedInFlock, state) << "the second run did not wait";
    }
    // Still the first run's result, and nothing copied yet.
    EXPECT_EQ(first.result, ReadFileBytes(folder.temporary));
    EXPECT_FALSE(bmptest::FileExists(first.destination));
    EXPECT_FALSE(bmptest::FileExists(second.destination));

    ASSERT_TRUE(hold.Release());
    EXPECT_EQ(0, WaitRun(firstRun));
    if (state != RunState::kEnded) secondCode = WaitRun(secondRun);
    EXPECT_EQ(0, secondCode);
    EXPECT_EQ(first.result, ReadFileBytes(first.destination));
    EXPECT_EQ(second.result, ReadFileBytes(second.destination));
    EXPECT_EQ(second.result, ReadFileBytes(folder.temporary));
}

// A run that dies while it holds the lock frees it: the waiting run goes on.
TEST(DesktopConcurrency, LockOfARunThatDiedIsFree) {
    RunFolder folder;
    const Job first = MakeJob(folder, 1), second = MakeJob(folder, 2);
    HoldPoint hold;
    const pid_t firstRun = StartHeldRun(folder, first, hold);
    ASSERT_TRUE(hold.WaitHeld(firstRun));
    const pid_t secondRun = StartRun(RequestFor(folder, second.source, second.destination));
    int secondCode = -1;
    const RunState state = WatchRun(secondRun, &secondCode);
    EXPECT_NE(RunState::kEnded, state);
    EXPECT_NE(RunState::kNeither, state);

    ASSERT_EQ(0, kill(firstRun, SIGKILL));
    EXPECT_EQ(-1, WaitRun(firstRun));
    if (state != RunState::kEnded) secondCode = WaitRun(secondRun);
    EXPECT_EQ(0, secondCode);
    EXPECT_FALSE(bmptest::FileExists(first.destination));
    EXPECT_EQ(second.result, ReadFileBytes(second.destination));
}

// Runs with different cache folders (other users') have different temporary
// files and do not wait for each other.
TEST(DesktopConcurrency, OtherCacheFolderDoesNotWait) {
    RunFolder folder, other;
    const Job first = MakeJob(folder, 1), second = MakeJob(folder, 2);
    HoldPoint hold;
    const pid_t firstRun = StartHeldRun(folder, first, hold);
    ASSERT_TRUE(hold.WaitHeld(firstRun));

    RunRequest secondRequest = RequestFor(folder, second.source, second.destination);
    secondRequest.environment = {"XDG_CACHE_HOME=" + other.cache};
    const pid_t secondRun = StartRun(secondRequest);
    int secondCode = -1;
    EXPECT_EQ(RunState::kEnded, WatchRun(secondRun, &secondCode));
    EXPECT_EQ(0, secondCode);
    EXPECT_EQ(second.result, ReadFileBytes(second.destination));
    EXPECT_EQ(second.result, ReadFileBytes(other.temporary));

    ASSERT_TRUE(hold.Release());
    EXPECT_EQ(0, WaitRun(firstRun));
    EXPECT_EQ(first.result, ReadFileBytes(first.destination));
}

// Several runs started together, as a person dropping files one after the
// other: however they interleave, each destination is its source's result.
TEST(DesktopConcurrency, ManyRunsAtOnce) {
    RunFolder folder;
    std::vector<Job> jobs;
    for (int n = 0; n < 6; ++n) jobs.push_back(MakeJob(folder, n));
    for (int round = 0; round < 3; ++round) {
        std::vector<pid_t> runs;
        for (const Job& job : jobs) {
            unlink(job.destination.c_str());
            runs.push_back(StartRun(RequestFor(folder, job.source, job.destination)));
        }
        for (size_t i = 0; i < jobs.size(); ++i) {
            EXPECT_EQ(0, WaitRun(runs[i])) << "round " << round << ", run " << i;
            EXPECT_EQ(jobs[i].result, ReadFileBytes(jobs[i].destination)) << "round " << round << ", run " << i;
        }
    }
}

}  // namespace
