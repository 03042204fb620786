// The portable driver's routines over the real Win32 services, run under
// wine. The ANSI code page follows wine's locale: CTest runs the Shift-JIS
// cases under LC_ALL=ja_JP.UTF-8 (code page 932) and the Western ones under
// LC_ALL=C.UTF-8 (code page 1252).
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "desktop/driver.h"
#include "desktop/module_path.h"
#include "desktop/path.h"
#include "desktop/save_dialog.h"
#include "bitmap/bitmap.h"
#include "platform/platform.h"

// The core's records sit beside <windows.h>'s namesakes.
static_assert(sizeof(bmp256::BITMAPINFOHEADER) == sizeof(::BITMAPINFOHEADER), "both are the 40-byte header");

namespace {

std::wstring FromShiftJis(const char* text) {
    wchar_t wide[128];
    int count = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, wide, 128);
    if (count <= 0) return L"<not Shift-JIS>";
    return std::wstring(wide, count - 1);
}

std::string Lowered(const char* text) {
    std::vector<char> buffer(text, text + strlen(text) + 1);
    LowerCasePath(buffer.data());
    return buffer.data();
}

std::string ModulePath() {
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(module) : std::string();
}

// The texts are decoded with code page 932 itself, so this holds whatever
// the process's own code page.
TEST(Win32Services, DialogTextsDecodeFromShiftJis) {
    EXPECT_EQ(L"\u540d\u524d\u3092\u4ed8\u3051\u3066\u4fdd\u5b58", FromShiftJis(kSaveDialogTitle));

    const wchar_t* const expected[] = {
        L"256\u8272\u30d3\u30c3\u30c8\u30de\u30c3\u30d7 (*.bmp)",
        L"*.bmp",
        L"\u3059\u3079\u3066\u306e\u30d5\u30a1\u30a4\u30eb (*.*)",
        L"*",
    };
    const char* entry = kSaveDialogFilter;
    for (const wchar_t* text : expected) {
        EXPECT_EQ(std::wstring(text), FromShiftJis(entry));
        entry += strlen(entry) + 1;
    }
    // The list ends with one further zero, and that is all of it.
    EXPECT_EQ('\0', *entry);
    EXPECT_EQ(kSaveDialogFilterSize, static_cast<size_t>(entry - kSaveDialogFilter) + 1);
}

TEST(Win32Services, TemporaryPathIsTheWholeExecutablePathLowerCased) {
    std::string module = ModulePath();
    ASSERT_FALSE(module.empty());
    char temporary[MAX_PATH];
    ASSERT_EQ(1, BuildModulePath(temporary, ".tmp"));
    std::string result(temporary);

    // wine names the executable Z:\...\windows_tests.exe: the drive letter
    // shows that the directories are lower-cased too.
    ASSERT_EQ(module.size(), result.size()) << result;
    EXPECT_EQ("z:\\", result.substr(0, 3));
    const std::string name = "\\windows_tests.tmp";
    EXPECT_EQ(name, result.substr(result.size() - name.size()));
    for (char c : result) EXPECT_FALSE(c >= 'A' && c <= 'Z') << result;
    EXPECT_EQ(0, _strnicmp(module.c_str(), result.c_str(), module.size() - 4)) << result;
}

TEST(Win32Services, ExistenceCountsDirectoriesAndNothingElse) {
    std::string module = ModulePath();
    ASSERT_FALSE(module.empty());
    std::vector<char> folder(module.begin(), module.end());
    folder.push_back('\0');
    SplitFileName(folder.data());

    EXPECT_TRUE(FileExists(module.c_str()));
    EXPECT_TRUE(FileExists(folder.data()));
    EXPECT_FALSE(FileExists((module + ".missing").c_str()));
    EXPECT_FALSE(FileExists((std::string(folder.data()) + "\\no such folder\\x.bmp").c_str()));
}

struct LockAttempt {
    const char* path;
    volatile LONG held;
};

DWORD WINAPI TakeLockAndLetGo(LPVOID argument) {
    LockAttempt* attempt = static_cast<LockAttempt*>(argument);
    HANDLE lock = LockTemporaryFile(attempt->path);
    if (lock == nullptr) return 1;
    InterlockedExchange(&attempt->held, 1);
    UnlockTemporaryFile(lock);
    return 0;
}

// Two runs with one temporary path take turns; other paths never wait. The
// second taker runs on a thread of its own, as a mutex is owned per thread.
TEST(Win32Services, TemporaryFileLockMakesRunsOfOnePathTakeTurns) {
    const char* path = "c:\\tools\\bmp256.tmp";
    HANDLE first = LockTemporaryFile(path);
    ASSERT_NE(first, nullptr);

    LockAttempt other = {"c:\\other\\bmp256.tmp", 0};
    HANDLE otherThread = CreateThread(nullptr, 0, TakeLockAndLetGo, &other, 0, nullptr);
    ASSERT_NE(otherThread, nullptr);
    EXPECT_EQ(WaitForSingleObject(otherThread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(other.held, 1);
    CloseHandle(otherThread);

    LockAttempt same = {path, 0};
    HANDLE sameThread = CreateThread(nullptr, 0, TakeLockAndLetGo, &same, 0, nullptr);
    ASSERT_NE(sameThread, nullptr);
    EXPECT_EQ(WaitForSingleObject(sameThread, 300), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(same.held, 0);
    UnlockTemporaryFile(first);
    EXPECT_EQ(WaitForSingleObject(sameThread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(same.held, 1);
    CloseHandle(sameThread);
}

TEST(ShiftJisCodePage, IsTheProcessCodePage) {
    ASSERT_EQ(932u, GetACP()) << "run under LC_ALL=ja_JP.UTF-8";
    const char* text = "\x83\x41" "A";
    EXPECT_EQ(text + 2, CharNextA(text));
    EXPECT_TRUE(IsDBCSLeadByte(0x95));
}

struct CaseRow {
    const char* input;
    const char* expected;
};

TEST(ShiftJisCodePage, LowerCasingNeverTouchesATrailByte) {
    ASSERT_EQ(932u, GetACP());
    const CaseRow rows[] = {
        // 0x83 0x41 ends in the code of 'A' and stays whole.
        {"\x83\x41", "\x83\x41"},
        {"\x83\x41" "A\x83\x41" "B", "\x83\x41" "a\x83\x41" "b"},
        // 0x95 0x5C ends in the code of the backslash.
        {"C:\\\x95\x5c" "A\\\x83\x41" "B.EXE", "c:\\\x95\x5c" "a\\\x83\x41" "b.exe"},
        {"", ""},
    };
    for (const CaseRow& row : rows) EXPECT_EQ(row.expected, Lowered(row.input)) << row.input;
}

TEST(ShiftJisCodePage, TemporaryPathBesideDoubleByteFolders) {
    ASSERT_EQ(932u, GetACP());
    const CaseRow rows[] = {
        {"C:\\\x95\x5c\\\x83\x41" "APP.EXE", "c:\\\x95\x5c\\\x83\x41" "app.tmp"},
        {"C:\\\x83\x41.D\\\x95\x5c", "c:\\\x83\x41.d\\\x95\x5c.tmp"},
    };
    for (const CaseRow& row : rows) {
        char buffer[MAX_PATH];
        strcpy(buffer, row.input);
        ASSERT_EQ(1, FormModulePath(buffer, sizeof buffer, ".tmp", '\\', true));
        EXPECT_STREQ(row.expected, buffer);
    }
}

TEST(WesternCodePage, SingleByteSteppingLowersEveryCapital) {
    ASSERT_EQ(1252u, GetACP()) << "run under LC_ALL=C.UTF-8";
    const char* text = "\x83\x41";
    EXPECT_EQ(text + 1, CharNextA(text));
    EXPECT_EQ("\x83\x61", Lowered("\x83\x41"));
    // The separator tests keep the Shift-JIS rule whatever the code page.
    char path[] = "C:\\dir\\\x95\x5c.bmp";
    EXPECT_STREQ("\x95\x5c.bmp", SplitFileName(path));
    EXPECT_STREQ("C:\\dir", path);
}

}  // namespace

namespace {

std::string Contents(const std::string& path) {
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return "<missing>";
    for (int c; (c = fgetc(file)) != EOF;) bytes += char(c);
    fclose(file);
    return bytes;
}

void PutFile(const std::string& path, const std::string& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

// The names in `folder`, so that a left-over new file shows.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string MadeFolder(const char* leaf) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string folder = std::string(base) + leaf;
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string& name : Names(folder)) DeleteFileA((folder + "\\" + name).c_str());
    return folder;
}

}  // namespace

TEST(ReplaceWithCopy, ReplacesTheWholeDestinationAndLeavesNoOtherFile) {
    const std::string folder = MadeFolder("bmp256-copy");
    PutFile(folder + "\\from", std::string(100000, 'n'));
    PutFile(folder + "\\to", "old bytes, longer than nothing");
    EXPECT_TRUE(ReplaceWithCopy((folder + "\\from").c_str(), (folder + "\\to").c_str()));
    EXPECT_EQ(std::string(100000, 'n'), Contents(folder + "\\to"));
    EXPECT_EQ(2u, Names(folder).size());
    // A destination that does not exist yet is simply made.
    EXPECT_TRUE(ReplaceWithCopy((folder + "\\from").c_str(), (folder + "\\new").c_str()));
    EXPECT_EQ(std::string(100000, 'n'), Contents(folder + "\\new"));
    // A source that is gone changes nothing.
    EXPECT_FALSE(ReplaceWithCopy((folder + "\\missing").c_str(), (folder + "\\to").c_str()));
    EXPECT_EQ(3u, Names(folder).size());
}

// tests/windows/full_disk_test.sh hands in a folder on a full file system.
TEST(FullDiskCopy, DestinationKeepsItsOldBytesAndNoNewFileStays) {
    const char* full = getenv("BMP256_FULL_FOLDER");
    ASSERT_NE(full, nullptr) << "run through tests/windows/full_disk_test.sh";
    const std::string folder = MadeFolder("bmp256-full-source");
    PutFile(folder + "\\from", std::string(100000, 'n'));
    const std::string target = std::string(full) + "\\kept.bmp";
    const std::vector<std::string> before = Names(full);
    EXPECT_FALSE(ReplaceWithCopy((folder + "\\from").c_str(), target.c_str()));
    const std::string kept = Contents(target);
    EXPECT_TRUE(kept == "old bytes") << kept.size() << " bytes now";
    EXPECT_EQ(before, Names(full));
}
