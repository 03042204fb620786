// The desktop program stopped by a signal in the middle of its copy, with
// the new file beside the destination written but not yet renamed.
#include <gtest/gtest.h>

#include <signal.h>
#include <string.h>

#include <string>
#include <vector>

#include "safety/desktop/desktop_runs.h"

using bmptest::ReadFileBytes;
using bmptest::WriteFileBytes;
using namespace safetytest;

namespace {

TEST(DesktopSignals, SignalDuringTheCopyLeavesTheDestination) {
    struct Case {
        int number;
        bool ignoredByCaller;  // then the run goes on and completes
    };
    const Case cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGINT, true}};
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    for (const Case& c : cases) {
        const std::string what = std::string(strsignal(c.number)) + (c.ignoredByCaller ? ", ignored" : "");
        RunFolder folder;
        const std::string source = folder.Picture("photo.bmp");
        const std::string destination = folder.Picture("out.bmp");
        const std::vector<uint8_t> picture = Picture(9, 6, 3);
        ASSERT_TRUE(WriteFileBytes(source, picture));
        ASSERT_TRUE(WriteFileBytes(destination, old));
        HoldPoint hold;
        RunRequest request = RequestFor(folder, source, destination);
        request.environment.push_back(hold.SyncEnvironment());
        // An ignored disposition passes through fork and exec to the run.
        struct sigaction ignore = {}, saved;
        ignore.sa_handler = SIG_IGN;
        if (c.ignoredByCaller) sigaction(c.number, &ignore, &saved);
        const pid_t run = StartRun(request);
        if (c.ignoredByCaller) sigaction(c.number, &saved, nullptr);
        ASSERT_TRUE(hold.WaitHeld(run)) << what;
        // Held in the copy: the new file is there beside the destination.
        EXPECT_EQ(3u, bmptest::ListDir(folder.pictures).size()) << what;
        ASSERT_EQ(0, kill(run, c.number)) << what;
        if (c.ignoredByCaller) {
            ASSERT_TRUE(hold.Release()) << what;
            EXPECT_EQ(0, WaitRun(run)) << what;
            EXPECT_EQ(ConvertedBytes(picture), ReadFileBytes(destination)) << what;
        } else {
            EXPECT_EQ(-1, WaitRun(run)) << what;
            EXPECT_EQ(old, ReadFileBytes(destination)) << what;
        }
        EXPECT_EQ((std::vector<std::string>{"out.bmp", "photo.bmp"}), bmptest::ListDir(folder.pictures)) << what;
    }
}

}  // namespace
