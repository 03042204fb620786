// The 8-bit writer: golden bytes, layout, replacement of an existing file, and
// failures that leave nothing behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "input/input.h"
#include "support/bmp_builder.h"
#include "platform/alloc.h"

using namespace bmp256;

#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// The 8-bit info header the driver hands over for a 5 x 2 source.
BITMAPINFOHEADER EightBitFiveByTwo() { return BITMAPINFOHEADER{40, 5, 2, 1, 8, 0, 16, 2835, 2835, 0, 0}; }

std::vector<PaletteEntry> TestPalette() {
    std::vector<PaletteEntry> palette(256);
    for (int i = 0; i < 256; ++i) {
        palette[i] = PaletteEntry{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                  static_cast<uint8_t>(i ^ 0x5A), 0};
    }
    return palette;
}

const uint8_t kIndices5x2[16] = {10, 11, 12, 13, 14, 0, 0, 0, 245, 244, 243, 242, 241, 0, 0, 0};

// WriteBitmap8 of the 5 x 2 indices with TestPalette().
int Write(const std::string& path, const BITMAPINFOHEADER& info = EightBitFiveByTwo()) {
    static const std::vector<PaletteEntry> palette = TestPalette();
    return WriteBitmap8(path.c_str(), kIndices5x2, palette.data(), &info);
}

// Over a longer existing file, which is emptied and replaced.
TEST(WriteBitmap8, GoldenBytes) {
    bmptest::TempDir dir;
    std::string path = dir.File("golden.bmp");
    ASSERT_TRUE(bmptest::WriteFileBytes(path, std::vector<uint8_t>(5000, 0xCC)));
    ASSERT_EQ(Write(path), 1);
    bool ok = false;
    std::vector<uint8_t> b = bmptest::ReadFileBytes(path, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(b.size(), 1094u);

    // The 54 header bytes, spelled out.
    const uint8_t headers[54] = {
        0x42, 0x4D,              // "BM"
        0x46, 0x04, 0x00, 0x00,  // bfSize 1094
        0x00, 0x00, 0x00, 0x00,  // reserved
        0x36, 0x04, 0x00, 0x00,  // bfOffBits 1078
        0x28, 0x00, 0x00, 0x00,  // biSize 40
        0x05, 0x00, 0x00, 0x00,  // biWidth 5
        0x02, 0x00, 0x00, 0x00,  // biHeight 2
        0x01, 0x00,              // biPlanes 1
        0x08, 0x00,              // biBitCount 8
        0x00, 0x00, 0x00, 0x00,  // biCompression 0
        0x10, 0x00, 0x00, 0x00,  // biSizeImage 16
        0x13, 0x0B, 0x00, 0x00,  // biXPelsPerMeter 2835
        0x13, 0x0B, 0x00, 0x00,  // biYPelsPerMeter 2835
        0x00, 0x00, 0x00, 0x00,  // biClrUsed
        0x00, 0x00, 0x00, 0x00,  // biClrImportant
    };
    for (int i = 0; i < 54; ++i) EXPECT_EQ(b[i], headers[i]) << "header byte " << i;
    // 256 entries of blue, green, red, 0.
    std::vector<uint8_t> table;
    for (int i = 0; i < 256; ++i) table.insert(table.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A), 0});
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 54, b.begin() + 1078), table);
    // Index rows as handed in, pad bytes included.
    EXPECT_EQ(std::memcmp(b.data() + 1078, kIndices5x2, 16), 0);
    // The 8-bit file reads back as a picture of its size.
    BITMAPINFOHEADER readBack;
    uint8_t* pixels = ReadBitmap24(path.c_str(), &readBack);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(readBack.biWidth, 5);
    EXPECT_EQ(readBack.biHeight, 2);
    FreeBytes(pixels);
}

TEST(WriteBitmap8, InfoHeaderWrittenUnchanged) {
    bmptest::TempDir dir;
    std::string path = dir.File("fields.bmp");
    BITMAPINFOHEADER info = EightBitFiveByTwo();
    info.biCompression = 7;  // carried over, not examined
    info.biPlanes = 3;
    info.biClrUsed = 99;
    info.biXPelsPerMeter = -5;
    ASSERT_EQ(Write(path, info), 1);
    std::vector<uint8_t> b = bmptest::ReadFileBytes(path);
    ASSERT_EQ(b.size(), 1094u);
    BITMAPINFOHEADER back;
    DecodeInfoHeader(b.data() + 14, &back);
    EXPECT_EQ(back.biCompression, 7u);
    EXPECT_EQ(back.biPlanes, 3);
    EXPECT_EQ(back.biClrUsed, 99u);
    EXPECT_EQ(back.biXPelsPerMeter, -5);
}

// Nothing is left behind, and errno says why.
TEST(WriteBitmap8, UnwritablePathsFail) {
    bmptest::TempDir dir;
    struct stat device;
    const bool full = stat("/dev/full", &device) == 0 && S_ISCHR(device.st_mode);
    const struct { std::string path; int error; } cases[] = {
        {dir.File("no-such-dir/out.bmp"), ENOENT}, {"/dev/full", ENOSPC}};
    for (const auto& c : cases) {
        if (c.error == ENOSPC && !full) continue;  // no /dev/full here
        errno = 0;
        EXPECT_EQ(Write(c.path), 0) << c.path;
        EXPECT_EQ(errno, c.error) << c.path;
    }
    EXPECT_FALSE(bmptest::FileExists(cases[0].path));
    if (full) {
        ASSERT_EQ(stat("/dev/full", &device), 0) << "the device node must never be removed";
        EXPECT_TRUE(S_ISCHR(device.st_mode));
    }
}

#ifndef _WIN32
TEST(WriteBitmap8, ReadOnlyDirectoryFails) {
    // Root may create files in a 0555 directory, so the write is made in a
    // child process that runs as nobody when this one is root.
    bmptest::TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    std::string path = dir.File("out.bmp");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        int result = Write(path);
        _exit(result == 0 && errno == EACCES ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: could not become nobody; 1: the write did not fail";
    chmod(dir.path().c_str(), 0755);
    EXPECT_FALSE(bmptest::FileExists(path));
}
#endif

TEST(WriteBitmap8, HeaderThatCannotBeWrittenIsRefusedBeforeOpening) {
    bmptest::TempDir dir;
    std::string path = dir.File("refused.bmp");
    BITMAPINFOHEADER negative = EightBitFiveByTwo();
    negative.biHeight = -2;  // negative ImageSize
    EXPECT_EQ(Write(path, negative), 0);
    BITMAPINFOHEADER huge = EightBitFiveByTwo();
    huge.biWidth = 100000;
    huge.biHeight = 100000;
    EXPECT_EQ(Write(path, huge), 0);
    BITMAPINFOHEADER depth = EightBitFiveByTwo();
    depth.biBitCount = 7;
    EXPECT_EQ(Write(path, depth), 0);
    EXPECT_FALSE(bmptest::FileExists(path));
}

}  // namespace
