// Whole conversions with the Nth allocation, or the Nth file write, made to
// fail, for every N a conversion has: each must end in a clean refusal,
// never a crash, a success or a partial output file, and leak nothing.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "desktop/convert_file.h"
#include "support/bmp_builder.h"
#include "platform/alloc.h"
#include "platform/file_io.h"
#include "util/test_hooks.h"

using namespace bmp256;

#ifndef _WIN32
#include <pthread.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define BMP256_HAVE_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BMP256_HAVE_LSAN 1
#endif
#endif
#ifdef BMP256_HAVE_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using bmptest::ReadFileBytes;
using bmptest::WriteFileBytes;

// Non-zero when memory became unreachable since the process started; only
// under LeakSanitizer, elsewhere always 0.
int LeakedSoFar() {
#ifdef BMP256_HAVE_LSAN
    return __lsan_do_recoverable_leak_check();
#else
    return 0;
#endif
}

#ifdef BMP256_HAVE_LSAN
// Leaked by a thread that has ended, so that no stack or register of a live
// thread still holds the block's address; the address is kept scrambled.
uintptr_t g_hiddenBlock = 0;
constexpr uintptr_t kScramble = uintptr_t(0x5a5a5a5a5a5a5a5aull);

void* LeakOneBlock(void*) {
    g_hiddenBlock = reinterpret_cast<uintptr_t>(AllocateBytes(4096)) ^ kScramble;
    return nullptr;
}
#endif

// The leak checks below would pass unseen if LeakSanitizer did not run (it
// cannot under some tracers): a block known to be lost must be reported.
TEST(FaultWalk, LeakCheckSeesALostBlock) {
#ifndef BMP256_HAVE_LSAN
    GTEST_SKIP() << "not built with LeakSanitizer";
#else
    ASSERT_EQ(0, LeakedSoFar());
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(&thread, nullptr, LeakOneBlock, nullptr));
    ASSERT_EQ(0, pthread_join(thread, nullptr));
    ASSERT_NE(0u, g_hiddenBlock ^ kScramble);
    EXPECT_NE(0, LeakedSoFar());
    FreeBytes(reinterpret_cast<void*>(g_hiddenBlock ^ kScramble));
    g_hiddenBlock = 0;
    EXPECT_EQ(0, LeakedSoFar());
#endif
}

struct Source {
    const char* name;
    std::vector<uint8_t> bytes;
};

// Small and larger images: more colours mean more boxes and grid nodes, so
// more allocations to walk over.
std::vector<Source> Sources() {
    std::vector<Source> sources;
    sources.push_back({"1x1", bmptest::MakeBmp24(1, 1, [](int, int) { return bmptest::Bgr{9, 99, 199}; })});
    sources.push_back({"noise 37x23", bmptest::MakeBmp24(37, 23, bmptest::NoisePixels(6))});
    sources.push_back({"gradient 64x48", bmptest::MakeBmp24(64, 48, [](int x, int y) {
                           return bmptest::GradientPixel(x, y, 64, 48);
                       })});
    // Run-length rows are decoded into a block of their own.
    sources.push_back({"RLE4 suite file", bmptest::ReadFileBytes(std::string(BMP256_SUITE_DIR) + "/g/pal4rle.bmp")});
    return sources;
}

const std::vector<uint8_t> kOldOutput = {'o', 'l', 'd', ' ', 'b', 'y', 't', 'e', 's'};

TEST(FaultWalk, EveryAllocationOfAWholeConversion) {
    for (const Source& source : Sources()) {
        bmptest::TempDir dir;
        const std::string input = dir.File("in.bmp"), absent = dir.File("absent.bmp"),
                          existing = dir.File("existing.bmp");
        ASSERT_TRUE(WriteFileBytes(input, source.bytes));
        ASSERT_TRUE(WriteFileBytes(existing, kOldOutput));
        long walked = 0;
        for (long failAt = 1;; ++failAt) {
            ConvertReport report;
            SetAllocationFailureAt(failAt);
            const int toAbsent = ConvertFileEx(input.c_str(), absent.c_str(), &report);
            const long made = SetAllocationFailureAt(0);
            if (made < failAt) {
                // Every allocation has had its turn: the run succeeds now.
                EXPECT_EQ(1, toAbsent) << source.name;
                break;
            }
            ++walked;
            EXPECT_EQ(0, toAbsent) << source.name << ", allocation " << failAt;
            EXPECT_EQ(kConvertNoMemory, report.stage) << source.name << ", allocation " << failAt;
            EXPECT_FALSE(bmptest::FileExists(absent)) << source.name << ", allocation " << failAt;

            // An earlier file at the output is left as it was: nothing is
            // opened for writing before all memory is in hand.
            SetAllocationFailureAt(failAt);
            EXPECT_EQ(0, ConvertFile(input.c_str(), existing.c_str())) << source.name << ", allocation " << failAt;
            SetAllocationFailureAt(0);
            EXPECT_EQ(kOldOutput, ReadFileBytes(existing)) << source.name << ", allocation " << failAt;
        }
        EXPECT_GE(walked, 5) << source.name;
        EXPECT_EQ(0, LeakedSoFar()) << source.name;
    }
}

TEST(FaultWalk, EveryWriteOfAWholeConversion) {
    for (const Source& source : Sources()) {
        bmptest::TempDir dir;
        const std::string input = dir.File("in.bmp"), output = dir.File("out.bmp");
        ASSERT_TRUE(WriteFileBytes(input, source.bytes));
        long walked = 0;
        bool done = false;
        for (long failAt = 1; !done; ++failAt) {
            // Once with no file at the output, once over an earlier one: a
            // failed write leaves no file either way, never a truncated one.
            for (bool earlier : {false, true}) {
                if (earlier) {
                    ASSERT_TRUE(WriteFileBytes(output, kOldOutput));
                }
                ConvertReport report;
                SetWriteFailureAt(failAt);
                const int ok = ConvertFileEx(input.c_str(), output.c_str(), &report);
                const long made = SetWriteFailureAt(0);
                if (made < failAt) {
                    EXPECT_EQ(1, ok) << source.name;
                    EXPECT_GT(ReadFileBytes(output).size(), 1078u) << source.name;
                    done = true;
                    break;
                }
                EXPECT_EQ(0, ok) << source.name << ", write " << failAt;
                EXPECT_EQ(kConvertWriteFailed, report.stage) << source.name << ", write " << failAt;
                EXPECT_EQ(ENOSPC, report.systemError) << source.name << ", write " << failAt;
                EXPECT_FALSE(bmptest::FileExists(output)) << source.name << ", write " << failAt;
            }
            if (!done) ++walked;
        }
        // The headers, the colour table, the indices and the close at least.
        EXPECT_GE(walked, 4) << source.name;
        EXPECT_EQ(0, LeakedSoFar()) << source.name;
    }
}

// Both hooks at once: whichever fires first, the run is refused cleanly.
TEST(FaultWalk, AllocationAndWriteFailuresTogether) {
    bmptest::TempDir dir;
    const std::string input = dir.File("in.bmp"), output = dir.File("out.bmp");
    ASSERT_TRUE(WriteFileBytes(input, Sources()[1].bytes));
    for (long allocation = 1; allocation <= 12; ++allocation) {
        for (long write = 1; write <= 3; ++write) {
            SetAllocationFailureAt(allocation);
            SetWriteFailureAt(write);
            const int ok = ConvertFile(input.c_str(), output.c_str());
            const long allocations = SetAllocationFailureAt(0);
            const long writes = SetWriteFailureAt(0);
            if (allocations < allocation && writes < write) continue;
            EXPECT_EQ(0, ok) << allocation << "/" << write;
            EXPECT_FALSE(bmptest::FileExists(output)) << allocation << "/" << write;
        }
    }
    EXPECT_EQ(0, LeakedSoFar());
}

#ifndef _WIN32
// A device that is always full (the kind /dev/full is), made in a temporary
// directory so that no test ever touches the system's own device files.
TEST(FaultWalk, FullDeviceIsAFailureAndIsNotRemoved) {
    bmptest::TempDir dir;
    const std::string input = dir.File("in.bmp"), device = dir.File("full");
    ASSERT_TRUE(WriteFileBytes(input, Sources()[2].bytes));
    struct stat system;
    if (stat("/dev/full", &system) != 0 || !S_ISCHR(system.st_mode) ||
        mknod(device.c_str(), S_IFCHR | 0666, system.st_rdev) != 0) {
        GTEST_SKIP() << "cannot make a full device here (needs root and a file system with devices)";
    }
    ConvertReport report;
    EXPECT_EQ(0, ConvertFileEx(input.c_str(), device.c_str(), &report));
    EXPECT_EQ(kConvertWriteFailed, report.stage);
    EXPECT_EQ(ENOSPC, report.systemError);
    struct stat after;
    ASSERT_EQ(0, stat(device.c_str(), &after)) << "the device was removed";
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    unlink(device.c_str());
}
#endif

}  // namespace
