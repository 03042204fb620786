// Whole runs of the desktop program through its real entry, with the dialog
// and the executable's path answered by the test double (fake_platform.cpp).
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/bmp_builder.h"

using bmptest::Bgr;
using bmptest::ReadFileBytes;
using bmptest::TempDir;
using bmptest::WriteFileBytes;
using bmptest::RunOptions;
using bmptest::RunProgram;

namespace {

const size_t kPixelOffset = 1078;

// The whole-conversion example: 4 x 2 pixels in buffer order.
std::vector<uint8_t> ExampleSource() {
    const Bgr red{0, 0, 255}, blue{255, 0, 0}, black{0, 0, 0}, white{255, 255, 255};
    return bmptest::MakeBmp24(4, 2, std::vector<Bgr>{red, red, blue, blue, black, white, black,
                                                     white});
}

// True when `bytes` is the 8-bit result of ExampleSource().
bool IsExampleResult(const std::vector<uint8_t>& bytes) {
    const uint8_t rows[] = {11, 11, 13, 13, 245, 12, 245, 12};
    if (bytes.size() != kPixelOffset + sizeof rows) return false;
    if (bytes[0] != 'B' || bytes[1] != 'M' || bmptest::Get16(bytes, 28) != 8) return false;
    // Slot 11 is (blue 0, green 0, red 252).
    if (bytes[54 + 4 * 11] != 0 || bytes[54 + 4 * 11 + 2] != 252) return false;
    return memcmp(bytes.data() + kPixelOffset, rows, sizeof rows) == 0;
}

// The record file of the double: "name=value" lines.
std::map<std::string, std::string> ReadRecord(const std::string& path) {
    std::map<std::string, std::string> fields;
    bool ok = false;
    std::vector<uint8_t> bytes = ReadFileBytes(path, &ok);
    std::string text(bytes.begin(), bytes.end());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t equals = line.find('=');
        if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return fields;
}

std::string Hex(const char* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        unsigned char byte = static_cast<unsigned char>(bytes[i]);
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

// One run's folder: Bin/ holds the (pretended) executable Bmp256; cache/ is
// the user's cache folder (XDG_CACHE_HOME), which holds the temporary file
// bmp256/bmp256.tmp (the executable's name, lower-cased); pictures/ the files.
struct RunFolder {
    TempDir root;
    std::string bin = root.File("Bin");
    std::string pictures = root.File("pictures");
    std::string module = bin + "/Bmp256";
    std::string record = root.File("record.txt");
    std::string output = root.File("output.txt");
    std::string outcome = root.File("outcome.txt");
    std::string cache = root.File("cache");
    std::string temporary = cache + "/bmp256/bmp256.tmp";

    RunFolder() {
        mkdir(bin.c_str(), 0755);
        mkdir(pictures.c_str(), 0755);
    }
    std::string Picture(const std::string& name) const { return pictures + "/" + name; }

    // Runs the program with the double answering `answer` ("cancel",
    // "proposed" or a path).
    int Run(const std::vector<std::string>& arguments, const std::string& answer,
            std::vector<std::string> extra = {}) const {
        RunOptions options;
        options.detachTerminal = true;
        options.outputPath = output;
        options.environment = {"BMP256_DOUBLE_ANSWER=" + answer, "BMP256_DOUBLE_RECORD=" + record,
                               "BMP256_DOUBLE_MODULE=" + module, "XDG_CACHE_HOME=" + cache,
                               "BMP256_DOUBLE_OUTCOME=" + outcome};
        options.environment.insert(options.environment.end(), extra.begin(), extra.end());
        options.workingDirectory = root.path();
        return RunProgram(BMP256_DOUBLE_PROGRAM, arguments, options).exitCode;
    }
    bool DialogShown() const { return bmptest::FileExists(record); }
    // The program wrote nothing on stdout or stderr.
    bool Silent() const { return ReadFileBytes(output).empty(); }
};

// The result goes through the temporary file in the user's cache folder:
// $XDG_CACHE_HOME when absolute, else ~/.cache. The file stays, with the same
// bytes, the user's alone, and nothing is made beside the executable.
TEST(DesktopRun, ConvertsThroughTheTemporaryFile) {
    RunFolder run;
    const std::string home = run.root.File("home");
    const struct {
        const char* what;
        std::vector<std::string> extra;
        std::string cache;  // the folder that must hold bmp256/bmp256.tmp
    } cases[] = {
        {"XDG_CACHE_HOME", {}, run.cache},
        {"no XDG_CACHE_HOME: ~/.cache", {"XDG_CACHE_HOME", "HOME=" + home}, home + "/.cache"},
        {"a relative XDG_CACHE_HOME is ignored", {"XDG_CACHE_HOME=cache", "HOME=" + home}, home + "/.cache"},
    };
    const std::string source = run.Picture("photo.bmp"), destination = run.Picture("out.bmp");
    ASSERT_TRUE(WriteFileBytes(source, ExampleSource()));
    ASSERT_EQ(0, mkdir(home.c_str(), 0755));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string temporary = c.cache + "/bmp256/bmp256.tmp";
        for (const std::string& earlier : {destination, temporary, run.record, run.outcome}) unlink(earlier.c_str());
        EXPECT_EQ(0, run.Run({source}, destination, c.extra));
        EXPECT_TRUE(run.DialogShown());
        std::vector<uint8_t> result = ReadFileBytes(destination);
        EXPECT_TRUE(IsExampleResult(result));
        EXPECT_EQ(result, ReadFileBytes(temporary));
        EXPECT_EQ(ExampleSource(), ReadFileBytes(source));
        EXPECT_TRUE(run.Silent());
        struct stat info;
        ASSERT_EQ(0, stat(temporary.c_str(), &info));
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        ASSERT_EQ(0, stat((c.cache + "/bmp256").c_str(), &info));
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_FALSE(bmptest::FileExists(run.bin + "/bmp256.tmp"));
        const std::vector<uint8_t> outcome = ReadFileBytes(run.outcome);
        EXPECT_EQ("Written: " + destination + "\n", std::string(outcome.begin(), outcome.end()));
    }
}

// The record the dialog gets, field by field as the Win32 dialog gets it,
// for sources named in several ways from the folder's root: the folder and
// the name are the source's as given.
TEST(DesktopRun, DialogRecordAsTheWin32DialogGetsIt) {
    RunFolder run;
    ASSERT_TRUE(WriteFileBytes(run.root.File("top.bmp"), ExampleSource()));
    ASSERT_TRUE(WriteFileBytes(run.Picture("photo.bmp"), ExampleSource()));
    const struct {
        std::string argument, initialDir, file;
    } cases[] = {
        {run.Picture("photo.bmp"), run.pictures, "photo.bmp"},
        // No separator: the whole path is both the folder and the name.
        {"top.bmp", "top.bmp", "top.bmp"},
        {"pictures/photo.bmp", "pictures", "photo.bmp"},
        {"./pictures/photo.bmp", "./pictures", "photo.bmp"},
    };
    const char filter[] =
        "256\x90\x46\x83\x72\x83\x62\x83\x67\x83\x7d\x83\x62\x83\x76 (*.bmp)\0*.bmp\0"
        "\x82\xb7\x82\xd7\x82\xc4\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b (*.*)\0*\0";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        unlink(run.record.c_str());
        EXPECT_EQ(0, run.Run({c.argument}, "cancel"));
        std::map<std::string, std::string> record = ReadRecord(run.record);
        const std::pair<const char*, std::string> fields[] = {
            {"lStructSize", "76"}, {"hwndOwner", "null"}, {"hInstance", "null"},
            {"lpstrTitle", "96bc914f82f0957482af82c495db91b6"},  // "名前を付けて保存" in Shift-JIS
            {"lpstrFilter", Hex(filter, sizeof filter)}, {"lpstrCustomFilter", "null"}, {"nMaxCustFilter", "0"},
            {"nFilterIndex", "0"}, {"lpstrFile", c.file},
            {"nMaxFile", std::to_string(PATH_MAX)},  // Linux paths, not Windows's 260
            {"lpstrFileTitle", "null"}, {"nMaxFileTitle", "0"}, {"lpstrInitialDir", c.initialDir},
            {"Flags", "0x880002"}, {"nFileOffset", "0"}, {"nFileExtension", "0"}, {"lpstrDefExt", "null"},
            {"lCustData", "0"}, {"lpfnHook", "null"}, {"lpTemplateName", "null"},
        };
        for (const auto& field : fields) EXPECT_EQ(field.second, record[field.first]) << field.first;
    }
}

// Runs that convert, each in a fresh folder whose pictures/photo.bmp is
// another picture than the source (unless it is the source); the result is
// the temporary file's bytes.
TEST(DesktopRun, ConvertsWhereverTheAnswerPoints) {
    std::string deep = "pictures";
    while (deep.size() < 300) deep += "/" + std::string(40, 'd');
    const struct {
        const char* name;
        std::string source, answer, result;  // under the folder; the answer may be "proposed"
        std::string chdir;                   // where the dialog leaves the current directory
    } cases[] = {
        {"accepting the proposed name replaces the source", "pictures/photo.bmp", "proposed", "pictures/photo.bmp", ""},
        // The relative source is the file named, not a namesake where the dialog went.
        {"relative source, the dialog moves elsewhere", "photo.bmp", "pictures/out.bmp", "pictures/out.bmp",
         "pictures"},
        {"a destination without extension is used as typed", "pictures/photo.bmp", "pictures/result",
         "pictures/result", ""},
        // Longer than Windows's 259 bytes: ordinary on Linux.
        {"long path", deep + "/photo.bmp", deep + "/out.bmp", deep + "/out.bmp", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunFolder run;
        std::filesystem::create_directories(run.root.File(deep));
        ASSERT_TRUE(WriteFileBytes(run.Picture("photo.bmp"), bmptest::MakeBmp24(
            3, 3, [](int x, int y) { return Bgr{uint8_t(x * 80), uint8_t(y * 80), 7}; })));
        ASSERT_TRUE(WriteFileBytes(run.root.File(c.source), ExampleSource()));
        const std::string answer = c.answer == "proposed" ? c.answer : run.root.File(c.answer);
        std::vector<std::string> extra;
        if (!c.chdir.empty()) extra.push_back("BMP256_DOUBLE_CHDIR=" + run.root.File(c.chdir));
        EXPECT_EQ(0, run.Run({c.source}, answer, extra));
        const std::vector<uint8_t> result = ReadFileBytes(run.root.File(c.result));
        EXPECT_TRUE(IsExampleResult(result));
        EXPECT_EQ(result, ReadFileBytes(run.temporary));
        EXPECT_FALSE(bmptest::FileExists(run.root.File(c.result + ".bmp")));
    }
}

// Runs that write nothing: without exactly one existing path the program
// reads they end before the dialog, else after it. The destination is never
// written, the temporary file is as it was (absent, or an earlier run's), and
// nothing is said.
TEST(DesktopRun, RunsThatWriteNothing) {
    RunFolder run;
    const std::string source = run.Picture("photo.bmp"), other = run.Picture("other.bmp");
    const std::string destination = run.Picture("out.bmp");
    ASSERT_TRUE(WriteFileBytes(source, ExampleSource()));
    ASSERT_TRUE(WriteFileBytes(other, ExampleSource()));
    // The real file, named by a path that does not fit the PATH_MAX-byte
    // buffers ("/." steps that the system would walk).
    std::string longPath = run.pictures;
    while (longPath.size() < PATH_MAX) longPath += "/.";
    longPath += "/photo.bmp";
    const std::string notImage = run.Picture("notes.bmp"), empty = run.Picture("empty.bmp"),
                      pipe = run.Picture("pipe.bmp"), damaged = run.Picture("damaged.bmp"),
                      cut = run.Picture("cut.bmp");
    ASSERT_TRUE(WriteFileBytes(notImage, std::vector<uint8_t>(100, 'x')));
    ASSERT_TRUE(WriteFileBytes(empty, {}));
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0644));
    // "BM" and then nothing a BMP holds; a BMP cut short inside its pixels.
    std::vector<uint8_t> bytes(100, 'x');
    bytes[0] = 'B';
    bytes[1] = 'M';
    ASSERT_TRUE(WriteFileBytes(damaged, bytes));
    bytes = bmptest::MakeBmp24(2, 2, bmptest::NoisePixels(3));
    bytes.pop_back();
    ASSERT_TRUE(WriteFileBytes(cut, bytes));
    const std::vector<uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        bool dialog = false;  // shown before the run ends
        std::string answer = "";  // empty: the destination
        std::vector<std::string> extra = {};
        bool earlierTemporary = false;
    };
    const Case cases[] = {
        {"no path", {}}, {"two paths", {source, other}}, {"three paths", {source, source, source}},
        {"a missing file", {run.Picture("missing.bmp")}}, {"an empty path", {""}},
        {"a path longer than PATH_MAX", {longPath}}, {"not an image", {notImage}}, {"an empty file", {empty}},
        {"a folder", {run.pictures}}, {"a FIFO", {pipe}}, {"a device", {"/dev/zero"}},
        {"cancelled", {source}, true, "cancel"},
        {"damaged after its first bytes", {damaged}, true},
        {"no executable path", {source}, true, "", {"BMP256_DOUBLE_MODULE"}},
        {"the cache folder cannot be made", {source}, true, "", {"XDG_CACHE_HOME=" + run.record}},
        {"cut short inside its pixels, an earlier temporary file", {cut}, true, "", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        unlink(run.record.c_str());
        if (c.earlierTemporary) {
            for (const std::string& folder : {run.cache, run.cache + "/bmp256"}) mkdir(folder.c_str(), 0700);
            ASSERT_TRUE(WriteFileBytes(run.temporary, earlier));
            ASSERT_EQ(0, chmod(run.temporary.c_str(), 0600));
        }
        EXPECT_EQ(0, run.Run(c.arguments, c.answer.empty() ? destination : c.answer, c.extra));
        EXPECT_EQ(c.dialog, run.DialogShown());
        EXPECT_FALSE(bmptest::FileExists(destination));
        if (c.earlierTemporary) {
            EXPECT_EQ(earlier, ReadFileBytes(run.temporary));
        } else {
            EXPECT_FALSE(bmptest::FileExists(run.temporary));
        }
        EXPECT_TRUE(run.Silent());
    }
    EXPECT_EQ(ExampleSource(), ReadFileBytes(source));
}

TEST(DesktopRun, FailedCopyLeavesTheResultInTheTemporaryFile) {
    RunFolder run;
    std::string source = run.Picture("photo.bmp");
    ASSERT_TRUE(WriteFileBytes(source, ExampleSource()));
    // A destination in a folder that does not exist, and one that is a folder.
    const std::string destinations[] = {run.root.File("gone/out.bmp"), run.Picture("folder")};
    ASSERT_EQ(0, mkdir(destinations[1].c_str(), 0755));
    for (const std::string& destination : destinations) {
        unlink(run.temporary.c_str());
        EXPECT_EQ(0, run.Run({source}, destination)) << destination;
        EXPECT_TRUE(IsExampleResult(ReadFileBytes(run.temporary))) << destination;
        EXPECT_TRUE(run.Silent());
    }
    struct stat info;
    ASSERT_EQ(0, stat(destinations[1].c_str(), &info));
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

}  // namespace
