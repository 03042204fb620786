// The one way files are replaced: the target holds its old bytes or all the
// new ones, and no temporary file outlives a call, whatever fails.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/bmp_builder.h"
#include "platform/file_io.h"
#include "platform/safe_replace.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

const std::vector<uint8_t> kOld(300, 0x11);
const std::vector<uint8_t> kNew(5000, 0x22);

// Writes kNew in two pieces, as the bitmap writer does in four.
int WriteNew(int fd, void*) {
    return WriteToDescriptor(fd, kNew.data(), 1000) && WriteToDescriptor(fd, kNew.data() + 1000, 4000);
}

int FailWriting(int fd, void*) {
    WriteToDescriptor(fd, kNew.data(), 10);
    errno = EIO;
    return 0;
}

#ifndef _WIN32
// As a signal handler would, mid-write.
int RemoveMidWrite(int fd, void*) {
    RemovePendingReplacements();
    return WriteToDescriptor(fd, kNew.data(), kNew.size());
}
#endif

TEST(SafeReplace, EveryFailureKeepsTheTargetAndLeavesNoTemporaryFile) {
    bmptest::TempDir dir;
    const std::string target = dir.File("target.bmp");
    struct Case {
        const char* what;
        int (*write)(int, void*);
        long failAt;  // 0: no hook
        int error;
    };
    const Case cases[] = {
        {"first write", WriteNew, 1, ENOSPC},
        {"second write", WriteNew, 2, ENOSPC},
        {"close", WriteNew, 3, ENOSPC},
        {"writer's own failure", FailWriting, 0, EIO},
#ifndef _WIN32
        // Windows refuses to unlink a file that is open, so the sweep cannot
        // take a file away mid-write there.
        {"removed mid-write", RemoveMidWrite, 0, EEXIST},
#endif
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(bmptest::WriteFileBytes(target, kOld));
        SetWriteFailureAt(c.failAt);
        errno = 0;
        EXPECT_EQ(SafeReplaceFile(target.c_str(), c.write, nullptr, 0777, kReplaceExisting), 0) << c.what;
        EXPECT_EQ(errno, c.error) << c.what;
        SetWriteFailureAt(0);
        EXPECT_EQ(bmptest::ReadFileBytes(target), kOld) << c.what;
        EXPECT_EQ(bmptest::ListDir(dir.path()), std::vector<std::string>{"target.bmp"}) << c.what;
    }
    SetWriteFailureAt(0);
    EXPECT_EQ(SafeReplaceFile(target.c_str(), WriteNew, nullptr, 0777, kReplaceExisting), 1);
    EXPECT_EQ(SetWriteFailureAt(0), 3) << "two writes and a close, all through the hooks";
    EXPECT_EQ(bmptest::ReadFileBytes(target), kNew);
    EXPECT_EQ(bmptest::ListDir(dir.path()), std::vector<std::string>{"target.bmp"});
}

TEST(SafeReplace, KeepExistingNeverReplaces) {
    bmptest::TempDir dir;
    const std::string target = dir.File("target.bmp");
    ASSERT_TRUE(bmptest::WriteFileBytes(target, kOld));
    errno = 0;
    EXPECT_EQ(SafeReplaceFile(target.c_str(), WriteNew, nullptr, 0777, kKeepExisting), 0);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(bmptest::ReadFileBytes(target), kOld);
    const std::string fresh = dir.File("fresh.bmp");
    EXPECT_EQ(SafeReplaceFile(fresh.c_str(), WriteNew, nullptr, 0777, kKeepExisting), 1);
    EXPECT_EQ(bmptest::ReadFileBytes(fresh), kNew);
    EXPECT_EQ(bmptest::ListDir(dir.path()), (std::vector<std::string>{"fresh.bmp", "target.bmp"}));
    // A directory is not a file to replace.
    errno = 0;
    EXPECT_EQ(SafeReplaceFile(dir.path().c_str(), WriteNew, nullptr, 0777, kReplaceExisting), 0);
    EXPECT_EQ(errno, EISDIR);
}

}  // namespace
