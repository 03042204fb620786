// The Linux services under the platform layer: existence, full paths, the
// copy and the character stepping.
#include <gtest/gtest.h>

#include <locale.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/bmp_builder.h"

using bmptest::ReadFileBytes;
using bmptest::TempDir;
using bmptest::WriteFileBytes;

namespace {

TEST(PlatformFileAttributes, DirectoryCountsAsExisting) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("f"), {1}));
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, GetFileAttributesA(dir.File("f").c_str()));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(dir.path().c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dir.File("missing").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(""));
}

TEST(PlatformFullPath, PrefixesTheCurrentDirectory) {
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    std::string expected = std::string(cwd) + "/a/b.bmp";
    char buffer[MAX_PATH];
    LPSTR name = nullptr;
    if (expected.size() < MAX_PATH) {
        EXPECT_EQ(expected.size(), GetFullPathNameA("a/b.bmp", MAX_PATH, buffer, &name));
        EXPECT_EQ(expected, buffer);
        EXPECT_STREQ("b.bmp", name);
    }
    EXPECT_EQ(6u, GetFullPathNameA("/x/y.z", MAX_PATH, buffer, nullptr));
    EXPECT_STREQ("/x/y.z", buffer);
    EXPECT_EQ(0u, GetFullPathNameA("", MAX_PATH, buffer, nullptr));
}

TEST(PlatformFullPath, ReportsTheSizeNeededWhenItDoesNotFit) {
    std::string path = "/" + std::string(MAX_PATH - 2, 'p');  // fits exactly, with its zero
    char buffer[MAX_PATH];
    EXPECT_EQ(MAX_PATH - 1u, GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr));
    path += "q";
    memset(buffer, 'u', sizeof buffer);
    EXPECT_EQ(MAX_PATH + 1u, GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr));
    // Nothing was written into the short buffer.
    EXPECT_EQ('u', buffer[0]);
    EXPECT_EQ('u', buffer[MAX_PATH - 1]);
}

TEST(PlatformCopy, ReplacesTheDestinationAndLeavesNoStagingFile) {
    TempDir dir;
    std::vector<uint8_t> content(200000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(WriteFileBytes(dir.File("from"), content));
    ASSERT_TRUE(WriteFileBytes(dir.File("to"), {9, 9, 9}));
    ASSERT_EQ(0, chmod(dir.File("to").c_str(), 0640));
    EXPECT_TRUE(CopyFileA(dir.File("from").c_str(), dir.File("to").c_str(), FALSE));
    EXPECT_EQ(content, ReadFileBytes(dir.File("to")));
    struct stat info;
    ASSERT_EQ(0, stat(dir.File("to").c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);
    EXPECT_EQ(2u, bmptest::ListDir(dir.path()).size());

    // A new destination.
    EXPECT_TRUE(CopyFileA(dir.File("from").c_str(), dir.File("new").c_str(), FALSE));
    EXPECT_EQ(content, ReadFileBytes(dir.File("new")));
    EXPECT_EQ(3u, bmptest::ListDir(dir.path()).size());

    // A name at the file system's length limit still gets its copy.
    std::string longest = dir.File(std::string(255, 'n'));
    EXPECT_TRUE(CopyFileA(dir.File("from").c_str(), longest.c_str(), FALSE));
    EXPECT_EQ(content, ReadFileBytes(longest));
}

TEST(PlatformCopy, FollowsALinkToTheDestination) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("from"), {1, 2, 3}));
    ASSERT_TRUE(WriteFileBytes(dir.File("real"), {0}));
    ASSERT_EQ(0, symlink("real", dir.File("link").c_str()));
    EXPECT_TRUE(CopyFileA(dir.File("from").c_str(), dir.File("link").c_str(), FALSE));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), ReadFileBytes(dir.File("real")));
    struct stat info;
    ASSERT_EQ(0, lstat(dir.File("link").c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST(PlatformCopy, FailureLeavesTheDestinationAsItWas) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("from"), {1, 2, 3}));
    ASSERT_TRUE(WriteFileBytes(dir.File("to"), {4, 5}));
    // Refused when asked to keep an existing file.
    EXPECT_FALSE(CopyFileA(dir.File("from").c_str(), dir.File("to").c_str(), TRUE));
    // A missing source, a folder in the way, a missing folder.
    EXPECT_FALSE(CopyFileA(dir.File("missing").c_str(), dir.File("to").c_str(), FALSE));
    ASSERT_EQ(0, mkdir(dir.File("folder").c_str(), 0755));
    EXPECT_FALSE(CopyFileA(dir.File("from").c_str(), dir.File("folder").c_str(), FALSE));
    EXPECT_FALSE(CopyFileA(dir.File("from").c_str(), dir.File("gone/to").c_str(), FALSE));
    // A source that cannot be read to its end: a folder.
    EXPECT_FALSE(CopyFileA(dir.File("folder").c_str(), dir.File("to").c_str(), FALSE));
    EXPECT_EQ((std::vector<uint8_t>{4, 5}), ReadFileBytes(dir.File("to")));
    EXPECT_EQ(3u, bmptest::ListDir(dir.path()).size());
    EXPECT_TRUE(bmptest::ListDir(dir.File("folder")).empty());
}

TEST(PlatformCopy, OntoItself) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("same"), {7, 8}));
    EXPECT_TRUE(CopyFileA(dir.File("same").c_str(), dir.File("same").c_str(), FALSE));
    EXPECT_EQ((std::vector<uint8_t>{7, 8}), ReadFileBytes(dir.File("same")));
}

TEST(PlatformCharNext, StepsByTheLocalesCharacters) {
    std::string saved = setlocale(LC_CTYPE, nullptr);
    const char* text = "a\xc3\xa9\xe3\x81\x82\xff" "b";
    if (setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
        EXPECT_EQ(text + 1, CharNextA(text));
        EXPECT_EQ(text + 3, CharNextA(text + 1));
        EXPECT_EQ(text + 6, CharNextA(text + 3));
        // An invalid byte is one character.
        EXPECT_EQ(text + 7, CharNextA(text + 6));
        // A sequence cut short by the end stops at the end.
        const char* cut = "\xe3\x81";
        EXPECT_EQ(cut + 1, CharNextA(cut));
    }
    setlocale(LC_CTYPE, "C");
    EXPECT_EQ(text + 2, CharNextA(text + 1));
    EXPECT_EQ(text + 8, CharNextA(text + 8));
    setlocale(LC_CTYPE, saved.c_str());
}

TEST(PlatformModule, ReportsTheRunningExecutable) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(strlen(path), length);
    EXPECT_EQ(0, access(path, X_OK));
    EXPECT_EQ(nullptr, GetModuleHandleA("other"));
    // A short buffer gets the cut, terminated path and its full size.
    char small[4];
    EXPECT_EQ(4u, GetModuleFileNameA(GetModuleHandleA(nullptr), small, sizeof small));
    EXPECT_EQ(3u, strlen(small));
}

}  // namespace
