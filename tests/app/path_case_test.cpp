// Lower-casing of paths and the temporary path formed from the executable's.
#include <gtest/gtest.h>

#include <locale.h>
#include <string.h>

#include <string>
#include <vector>

#include "desktop/module_path.h"
#include "desktop/path.h"
#include "platform/platform.h"

namespace {

std::string Lowered(const char* text) {
    std::vector<char> buffer(text, text + strlen(text) + 1);
    LowerCasePath(buffer.data());
    return buffer.data();
}

TEST(PathLowerCase, OnlyAsciiCapitals) {
    EXPECT_EQ("c:\\bin\\tool.exe", Lowered("C:\\Bin\\Tool.EXE"));
    EXPECT_EQ("az", Lowered("AZ"));
    // The neighbours of A and Z stay.
    EXPECT_EQ("@[\\]^_`{|}~", Lowered("@[\\]^_`{|}~"));
    EXPECT_EQ("", Lowered(""));
    EXPECT_EQ("abc123", Lowered("abc123"));
}

// Whether the current code page steps over 0x83 0x41 as one character.
bool StepsDoubleByte() {
    const char* text = "\x83\x41";
    return CharNextA(text) == text + 2;
}

// 0x83 0x41 ends in the code of 'A': under a double-byte code page it is one
// character and stays; under a single-byte one it is two and 'A' changes.
void ExpectDoubleByteRule() {
    if (StepsDoubleByte()) {
        EXPECT_EQ("\x83\x41", Lowered("\x83\x41"));
        EXPECT_EQ("\x83\x41" "a\x83\x41" "b", Lowered("\x83\x41" "A\x83\x41" "B"));
        EXPECT_EQ("c:\\\x95\x5c" "a", Lowered("C:\\\x95\x5c" "A"));
    } else {
        EXPECT_EQ("\x83\x61", Lowered("\x83\x41"));
    }
}

TEST(PathLowerCase, FollowsTheCharacterStepping) {
    ExpectDoubleByteRule();
}

#ifndef _WIN32
// On Linux the stepping follows the process's locale; the build generates a
// Shift-JIS one (LOCPATH) for this case.
TEST(PathLowerCase, LeavesDoubleByteTrailsUnderShiftJis) {
    std::string saved = setlocale(LC_CTYPE, nullptr);
    if (setlocale(LC_CTYPE, "ja_JP.SJIS") == nullptr) {
        GTEST_SKIP() << "no ja_JP.SJIS locale";
    }
    EXPECT_TRUE(StepsDoubleByte());
    ExpectDoubleByteRule();
    setlocale(LC_CTYPE, saved.c_str());
}

TEST(PathLowerCase, SingleByteLocaleChangesEveryCapital) {
    std::string saved = setlocale(LC_CTYPE, nullptr);
    setlocale(LC_CTYPE, "C");
    EXPECT_FALSE(StepsDoubleByte());
    ExpectDoubleByteRule();
    setlocale(LC_CTYPE, saved.c_str());
}
#endif

struct ModuleCase {
    const char* path;
    const char* extension;
    char separator;
    bool lowerDirectories;
    const char* expected;
};

const ModuleCase kModuleCases[] = {
    {"C:\\Bin\\Tool.EXE", ".tmp", '\\', true, "c:\\bin\\tool.tmp"},
    {"C:\\Bin\\app.old.EXE", ".tmp", '\\', true, "c:\\bin\\app.old.tmp"},
    {"C:\\My.Tools\\app", ".tmp", '\\', true, "c:\\my.tools\\app.tmp"},
    // Without an extension the path is only lower-cased.
    {"C:\\Bin\\Tool.EXE", nullptr, '\\', true, "c:\\bin\\tool.exe"},
    // Linux keeps its case-sensitive directories.
    {"/opt/My Apps/Bmp256", ".tmp", '/', false, "/opt/My Apps/bmp256.tmp"},
    {"/Home/U.V/BMP256.Bin", ".tmp", '/', false, "/Home/U.V/bmp256.tmp"},
    {"/Home/U.V/BMP256.Bin", nullptr, '/', false, "/Home/U.V/bmp256.bin"},
};

TEST(PathModulePath, ReplacesTheExtensionAndLowerCases) {
    for (const ModuleCase& c : kModuleCases) {
        char buffer[MAX_PATH];
        strcpy(buffer, c.path);
        ASSERT_EQ(1, FormModulePath(buffer, sizeof buffer, c.extension, c.separator,
                                    c.lowerDirectories))
            << c.path;
        EXPECT_STREQ(c.expected, buffer) << c.path;
    }
}

// A path of `length` bytes that ends in "\\x" (and ".exe" when asked).
std::string LongPath(size_t length, bool withExtension) {
    std::string tail = withExtension ? "\\x.exe" : "\\x";
    return "C:" + std::string(length - 2 - tail.size(), 'd') + tail;
}

// In the Windows buffer of 260 bytes: 255 bytes plus ".tmp" leave room for
// the zero, 256 do not; a longer extension replaced by ".tmp" fits even at
// the limit. A formed path is 259 bytes either way.
TEST(PathModulePath, RefusesWhatDoesNotFit) {
    const struct { size_t length; bool withExtension; int result; } cases[] = {
        {255, false, 1}, {256, false, 0}, {259, false, 0}, {259, true, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "length " << c.length << (c.withExtension ? " with .exe" : ""));
        char buffer[260];
        strcpy(buffer, LongPath(c.length, c.withExtension).c_str());
        EXPECT_EQ(c.result, FormModulePath(buffer, sizeof buffer, ".tmp", '\\', true));
        EXPECT_LT(strlen(buffer), sizeof buffer);
        if (c.result == 1) {
            EXPECT_EQ(259u, strlen(buffer));
        }
    }
}

}  // namespace
