// The Shift-JIS-aware path routines, with the Windows separator and with '/'.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "desktop/path.h"

namespace {

struct SplitCase {
    const char* path;
    char separator;
    const char* directory;  // what is left in the buffer
    const char* name;       // what SplitFileName returns
    bool unchanged;         // returned the path itself
};

const SplitCase kSplitCases[] = {
    {"C:\\Pictures\\photo.bmp", '\\', "C:\\Pictures", "photo.bmp", false},
    // The root of a drive leaves the bare drive, without its backslash.
    {"C:\\photo.bmp", '\\', "C:", "photo.bmp", false},
    {"photo.bmp", '\\', "photo.bmp", "photo.bmp", true},
    // Forward slashes are no separator on Windows.
    {"C:/Pictures/photo.bmp", '\\', "C:/Pictures/photo.bmp", "C:/Pictures/photo.bmp", true},
    // 0x95 0x5C is one character: the split is at the real backslash.
    {"C:\\dir\\\x95\x5c.bmp", '\\', "C:\\dir", "\x95\x5c.bmp", false},
    {"C:\\dir\\a\x95\x5c", '\\', "C:\\dir", "a\x95\x5c", false},
    {"\x95\x5c", '\\', "\x95\x5c", "\x95\x5c", true},
    // A 0x5C after a byte that cannot lead is a separator again.
    {"\xa0\x5cname", '\\', "\xa0", "name", false},
    {"C:\\dir\\", '\\', "C:\\dir", "", false},
    {"", '\\', "", "", true},
    {"/home/u/photo.bmp", '/', "/home/u", "photo.bmp", false},
    {"/photo.bmp", '/', "", "photo.bmp", false},
    // On Linux a backslash is an ordinary file-name byte.
    {"dir\\photo.bmp", '/', "dir\\photo.bmp", "dir\\photo.bmp", true},
    {"/d/a\x95\x5c", '/', "/d", "a\x95\x5c", false},
    // 0x2F is never a trail byte, so it separates even after a lead byte.
    {"/d/\x95/x", '/', "/d/\x95", "x", false},
};

TEST(PathSplitFileName, CutsAtLastRealSeparator) {
    for (const SplitCase& c : kSplitCases) {
        std::vector<char> buffer(c.path, c.path + strlen(c.path) + 1);
        char* name = SplitFileName(buffer.data(), c.separator);
        EXPECT_STREQ(c.directory, buffer.data()) << "path " << c.path;
        EXPECT_STREQ(c.name, name) << "path " << c.path;
        EXPECT_EQ(c.unchanged, name == buffer.data()) << "path " << c.path;
    }
}

struct ExtensionCase {
    const char* path;
    char separator;
    const char* stem;       // the buffer after CutExtension
    const char* extension;  // what CutExtension returns
    bool hasExtension;
};

const ExtensionCase kExtensionCases[] = {
    {"C:\\Bin\\Tool.EXE", '\\', "C:\\Bin\\Tool", "EXE", true},
    // Only the last dot of the last component starts the extension.
    {"C:\\Bin\\app.old.EXE", '\\', "C:\\Bin\\app.old", "EXE", true},
    // A dot in a directory name is not an extension.
    {"C:\\My.Tools\\app", '\\', "C:\\My.Tools\\app", "", false},
    {"photo", '\\', "photo", "", false},
    {"", '\\', "", "", false},
    {".hidden", '\\', "", "hidden", true},
    {"name.", '\\', "name", "", true},
    // The 0x5C of 0x95 0x5C does not end the component, so the dot counts.
    {"C:\\x\\a.\x95\x5c" "b", '\\', "C:\\x\\a", "\x95\x5c" "b", true},
    // '/' is no separator for Windows paths.
    {"C:\\x.y/z", '\\', "C:\\x", "y/z", true},
    {"/home/my.dir/app", '/', "/home/my.dir/app", "", false},
    {"/home/u/Bmp256.bin", '/', "/home/u/Bmp256", "bin", true},
    {"dir\\x.y\\z", '/', "dir\\x", "y\\z", true},
};

TEST(PathExtension, FindsAndCutsTheLastComponentsDot) {
    for (const ExtensionCase& c : kExtensionCases) {
        std::vector<char> buffer(c.path, c.path + strlen(c.path) + 1);
        char* end = buffer.data() + strlen(c.path);
        char* found = FindExtension(buffer.data(), c.separator);
        if (c.hasExtension) {
            EXPECT_EQ('.', *found) << "path " << c.path;
        } else {
            EXPECT_EQ(end, found) << "path " << c.path;
        }
        char* extension = CutExtension(buffer.data(), c.separator);
        EXPECT_STREQ(c.stem, buffer.data()) << "path " << c.path;
        EXPECT_STREQ(c.extension, extension) << "path " << c.path;
        if (!c.hasExtension) {
            EXPECT_EQ(end, extension) << "path " << c.path;
        }
    }
}

struct KindCase {
    const char* text;
    std::vector<int> kinds;  // for every index, then two past the end
};

const KindCase kKindCases[] = {
    {"", {0, 0}},
    {"a\\b", {0, 0, 0, 0, 0}},
    {"\x95\x5c", {1, 2, 0, 0}},
    {"a\x83\x41", {0, 1, 2, 0, 0}},
    // Trail range edges: 0x40, 0x7E, 0x80, 0xFC follow a lead; 0x3F, 0x7F,
    // 0xFD do not and are single characters, never leads in their own right.
    {"\x81\x40\x81\x7e\x81\x80\x81\xfc", {1, 2, 1, 2, 1, 2, 1, 2, 0, 0}},
    {"\x81\x3f\x81\x7f\x81\xfd", {1, 0, 1, 0, 1, 0, 0, 0}},
    {"\x81\x81\x81", {1, 2, 1, 0, 0}},
    // Lead range edges: 0x80, 0xA0 to 0xDF and 0xFD to 0xFF are single.
    {"\x80\x9f\x40\xa0\xdf\xe0\x40\xfc\x40\xfd\xff", {0, 1, 2, 0, 0, 1, 2, 1, 2, 0, 0, 0, 0}},
    // A lead byte right before the end.
    {"ab\xe0", {0, 0, 1, 0, 0}},
};

TEST(PathShiftJisByteKind, WalksFromTheFirstByte) {
    for (const KindCase& c : kKindCases) {
        for (size_t i = 0; i < c.kinds.size(); ++i) {
            EXPECT_EQ(c.kinds[i], ShiftJisByteKind(c.text, i))
                << "text " << testing::PrintToString(std::string(c.text)) << " index " << i;
        }
    }
}

TEST(PathIsPathSeparatorAt, OnlySingleByteSeparators) {
    EXPECT_TRUE(IsPathSeparatorAt("\\", 0, '\\'));
    EXPECT_TRUE(IsPathSeparatorAt("a\\b", 1, '\\'));
    EXPECT_FALSE(IsPathSeparatorAt("\x95\\", 1, '\\'));
    EXPECT_TRUE(IsPathSeparatorAt("\x95\x3f\\", 2, '\\'));
    EXPECT_FALSE(IsPathSeparatorAt("a/b", 1, '\\'));
    EXPECT_TRUE(IsPathSeparatorAt("a/b", 1, '/'));
    EXPECT_FALSE(IsPathSeparatorAt("a\\b", 1, '/'));
    EXPECT_TRUE(IsPathSeparatorAt("\x95/", 1, '/'));
    EXPECT_FALSE(IsPathSeparatorAt("a", 1, '\\'));
}

}  // namespace
