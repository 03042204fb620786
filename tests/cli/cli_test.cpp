// bmp256-convert as a script runs it: exit codes 0, 1 and 2, one stderr line
// naming the file and the reason, DEST replaced only when complete, nothing
// left behind on failure, --help and --version.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "desktop/convert_file.h"
#include "support/run_program.h"
#include "support/bmp_builder.h"

using namespace bmp256;

namespace {

namespace fs = std::filesystem;
using bmptest::RunProgram;
using bmptest::RunOptions;
using bmptest::RunResult;
using bmptest::ListDir;

const std::string kProgram = BMP256_CONVERT_PROGRAM;
const std::string kMakeSample = BMP256_MAKE_SAMPLE;
const std::string kSuite = BMP256_SUITE_DIR;
const std::string kUsagePrefix = "usage: bmp256-convert SOURCE DEST";

std::string Suite(const std::string& file) { return kSuite + "/" + file; }
const std::string kRgb24 = Suite("g/rgb24.bmp");

int CountLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

bool CopyFile(const std::string& from, const std::string& to) {
    bool ok = false;
    std::vector<uint8_t> bytes = bmptest::ReadFileBytes(from, &ok);
    return ok && bmptest::WriteFileBytes(to, bytes);
}

// What the library's ConvertFile makes of `source`: the bytes the program
// must leave at DEST.
std::vector<uint8_t> Reference(const std::string& source) {
    bmptest::TempDir dir;
    std::string out = dir.File("reference.bmp");
    EXPECT_EQ(ConvertFile(source.c_str(), out.c_str()), 1) << source;
    return bmptest::ReadFileBytes(out);
}

// The 8-bit file as written: layout, sizes, zero
// slots outside 10 to 245, every index in 10 to 245, zero pad bytes.
void ExpectEightBitFile(const std::vector<uint8_t>& b, int32_t width, int32_t height,
                        const std::string& what) {
    int32_t stride = (width + 3) & ~3;
    size_t size = 1078 + static_cast<size_t>(stride) * height;
    ASSERT_EQ(b.size(), size) << what;
    EXPECT_EQ(bmptest::Get16(b, 0), 0x4D42) << what;
    EXPECT_EQ(bmptest::Get32(b, 2), size) << what;
    EXPECT_EQ(bmptest::Get32(b, 10), 1078u) << what;
    EXPECT_EQ(bmptest::Get32(b, 14), 40u) << what;
    EXPECT_EQ(static_cast<int32_t>(bmptest::Get32(b, 18)), width) << what;
    EXPECT_EQ(static_cast<int32_t>(bmptest::Get32(b, 22)), height) << what;
    EXPECT_EQ(bmptest::Get16(b, 28), 8) << what;
    EXPECT_EQ(bmptest::Get32(b, 34), static_cast<uint32_t>(stride * height)) << what;
    for (int slot = 0; slot < 256; ++slot) {
        if (slot >= 10 && slot < 246) continue;
        for (int k = 0; k < 4; ++k) ASSERT_EQ(b[54 + 4 * slot + k], 0) << what << " slot " << slot;
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = b.data() + 1078 + static_cast<size_t>(y) * stride;
        for (int32_t x = 0; x < width; ++x) {
            ASSERT_GE(row[x], 10) << what << " pixel " << x << "," << y;
            ASSERT_LE(row[x], 245) << what << " pixel " << x << "," << y;
        }
        for (int32_t x = width; x < stride; ++x) ASSERT_EQ(row[x], 0) << what << " pad of row " << y;
    }
}

void ExpectOneLine(const RunResult& r, const std::string& expected) {
    EXPECT_EQ(r.err, expected + "\n");
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_EQ(r.out, "");
}

// Accepted suite files and photographs of our own making, 1 x 1 and up: the
// library's bytes as an 8-bit file, silently, and nothing else left behind.
TEST(Convert, GivesTheLibrarysBytes) {
    struct Source {
        const char* file;  // a suite file; null: a photograph of this size and seed
        int width, height, seed;
    };
    const Source sources[] = {
        {"g/rgb24.bmp", 127, 64, 0}, {"g/rgb24pal.bmp", 127, 64, 0}, {"q/rgb24largepal.bmp", 127, 64, 0},
        {nullptr, 1, 1, 1},   {nullptr, 2, 1, 2},    {nullptr, 1, 2, 3},     {nullptr, 3, 3, 4},
        {nullptr, 5, 2, 5},   {nullptr, 7, 5, 6},    {nullptr, 6, 7, 7},     {nullptr, 4, 9, 8},
        {nullptr, 97, 61, 9}, {nullptr, 641, 3, 10}, {nullptr, 3, 123, 11}, {nullptr, 333, 211, 12}};
    for (const Source& s : sources) {
        const std::string name = s.file ? s.file : std::to_string(s.width) + "x" + std::to_string(s.height);
        SCOPED_TRACE(name);
        bmptest::TempDir dir;
        const std::string source = s.file ? Suite(s.file) : dir.File("in.bmp");
        std::vector<std::string> args = {source, dir.File("out.bmp")};
        if (!s.file) {
            RunResult made = RunProgram(kMakeSample, {source, std::to_string(s.width), std::to_string(s.height),
                                                      std::to_string(s.seed)});
            ASSERT_EQ(made.exitCode, 0) << made.err;
            ASSERT_EQ(bmptest::ReadFileBytes(source).size(),
                      54u + static_cast<size_t>(bmptest::Stride24(s.width)) * s.height);
            // The smallest have few enough colours to be kept exactly by default.
            args.insert(args.begin(), "--no-exact");
        }
        RunResult r = RunProgram(kProgram, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err + r.out, "");
        std::vector<uint8_t> out = bmptest::ReadFileBytes(dir.File("out.bmp"));
        ExpectEightBitFile(out, s.width, s.height, name);
        EXPECT_EQ(out, Reference(source));
        EXPECT_EQ(ListDir(dir.path()), (s.file ? std::vector<std::string>{"out.bmp"}
                                               : std::vector<std::string>{"in.bmp", "out.bmp"}));
    }
}

TEST(Convert, BundledSample) {
    bmptest::TempDir dir;
    std::string dest = dir.File("sample-256.bmp");
    RunResult r = RunProgram(kProgram, {BMP256_SAMPLE_BMP, dest});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<uint8_t> out = bmptest::ReadFileBytes(dest);
    ExpectEightBitFile(out, 640, 480, "samples/sample.bmp");
    // The demo's output, byte for byte: any change to a stage shows here.
    EXPECT_EQ(bmptest::Fnv1a(out), 3192003486u);
    // A photo-like picture uses most of the 236 colours.
    std::vector<bool> used(256, false);
    for (size_t i = 1078; i < out.size(); ++i) used[out[i]] = true;
    EXPECT_GE(std::count(used.begin(), used.end(), true), 200);
}

TEST(Convert, DestMaySourceAndIsReplaced) {
    bmptest::TempDir dir;
    std::string path = dir.File("picture.bmp");
    ASSERT_TRUE(CopyFile(kRgb24, path));
    std::vector<uint8_t> expected = Reference(path);
    RunResult r = RunProgram(kProgram, {path, path});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(bmptest::ReadFileBytes(path), expected);
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"picture.bmp"});
    // The 8-bit result is a source like any other.
    RunResult again = RunProgram(kProgram, {path, path});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    ExpectEightBitFile(bmptest::ReadFileBytes(path), 127, 64, "converted twice");
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"picture.bmp"});
}

// Relative SOURCE and DEST are the working directory's; after "--" a name
// may start with a dash.
TEST(Convert, RelativePathsInTheWorkingDirectory) {
    const struct { const char* name; std::vector<std::string> args; } cases[] = {  // args end SOURCE DEST
        {"plain names", {"in.bmp", "out.bmp"}}, {"names that start with a dash", {"--", "-in.bmp", "-out.bmp"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bmptest::TempDir dir;
        const std::string in = c.args[c.args.size() - 2], out = c.args.back();
        ASSERT_TRUE(CopyFile(kRgb24, dir.File(in)));
        RunOptions options;
        options.workingDirectory = dir.path();
        RunResult r = RunProgram(kProgram, c.args, options);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{in, out}));
        EXPECT_EQ(bmptest::ReadFileBytes(dir.File(out)), Reference(kRgb24));
    }
}

// A replaced DEST keeps its mode; a new one gets 0666 less the umask, not
// mkstemp's 0600.
TEST(Convert, DestPermissions) {
    const struct { const char* name; bool existing; mode_t umask; } cases[] = {
        {"existing DEST of mode 0640, umask 022", true, 022}, {"new DEST, umask 027", false, 027}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bmptest::TempDir dir;
        std::string dest = dir.File("out.bmp");
        if (c.existing) {
            ASSERT_TRUE(bmptest::WriteFileBytes(dest, std::vector<uint8_t>(100000, 0xCC)));
            ASSERT_EQ(chmod(dest.c_str(), 0640), 0);
        }
        mode_t old = umask(c.umask);
        RunResult r = RunProgram(kProgram, {"-f", kRgb24, dest});
        umask(old);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(bmptest::ReadFileBytes(dest), Reference(kRgb24));
        struct stat st;
        ASSERT_EQ(stat(dest.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"out.bmp"});
    }
}

TEST(Convert, SymbolicLinkDestReplacesTheFileItNames) {
    bmptest::TempDir dir;
    std::string target = dir.File("target.bmp");
    std::string link = dir.File("link.bmp");
    ASSERT_TRUE(bmptest::WriteFileBytes(target, {1, 2, 3}));
    ASSERT_EQ(symlink("target.bmp", link.c_str()), 0);
    RunResult r = RunProgram(kProgram, {"--force", kRgb24, link});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(bmptest::ReadFileBytes(target), Reference(kRgb24));
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"link.bmp", "target.bmp"}));
}

// "-" as SOURCE and DEST, /dev/stdout as DEST, a pipe and a FIFO: the same
// bytes as from the file.
TEST(Convert, PipesAndStandardStreams) {
    for (const char* file : {"g/rgb24.bmp", "g/pal8rle.bmp", "q/rgba32-1.bmp"}) {
        bmptest::TempDir dir;
        const std::string source = Suite(file), byName = dir.File("name.bmp");
        ASSERT_EQ(RunProgram(kProgram, {source, byName}).exitCode, 0) << file;
        const std::vector<uint8_t> want = bmptest::ReadFileBytes(byName);
        const std::string fifo = dir.File("fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const std::string lines[] = {
            "cat '" + source + "' | '" + kProgram + "' - - > '" + dir.File("a.bmp") + "'",
            "cat '" + source + "' | '" + kProgram + "' - '" + dir.File("b.bmp") + "'",
            "'" + kProgram + "' '" + source + "' - | cat > '" + dir.File("c.bmp") + "'",
            "'" + kProgram + "' '" + source + "' /dev/stdout > '" + dir.File("e.bmp") + "'",
            "cat '" + source + "' > '" + fifo + "' & '" + kProgram + "' '" + fifo + "' '" +
                dir.File("d.bmp") + "'; wait",
        };
        for (const std::string& line : lines) RunProgram("/bin/sh", {"-c", line});
        for (const char* out : {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"}) {
            EXPECT_EQ(bmptest::ReadFileBytes(dir.File(out)), want) << file << " " << out;
        }
    }
    RunResult r = RunProgram("/bin/sh", {"-c", "printf 'hi' | '" + kProgram + "' - - > /dev/null"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "bmp256-convert: standard input: not an image this program reads (it reads BMP, "
                     "PNG, JPEG)\n");
}

// A refused SOURCE: exit 1 and one line naming it and the reason. A new DEST
// is not made, and an existing one, even with -f, is left as it was.
TEST(Refused, OneLineNamingTheFileAndTheReason) {
    bmptest::TempDir sources;
    auto built = [&](const char* name, const std::vector<uint8_t>& bytes) {
        EXPECT_TRUE(bmptest::WriteFileBytes(sources.File(name), bytes));
        return sources.File(name);
    };
    const std::vector<uint8_t> good = bmptest::MakeBmp24(3, 2, bmptest::NoisePixels(5));
    std::vector<uint8_t> compressed = good, lowest = good;
    bmptest::Put32(compressed, 30, 1);
    bmptest::Put32(lowest, 22, 0x80000000u);
    const struct { std::string source, reason; } refusals[] = {
        {Suite("x/ba-bm.bmp"),
         "an OS/2 bitmap array (several bitmaps in one file) is not read; save the bitmap you "
         "want as a BMP of its own"},
        {Suite("q/rgb24rle24.bmp"),
         "OS/2 RLE24 compression is not read (BMP forms read: 12- to 124-byte headers; 1, 2, 4, "
         "8, 16, 24 and 32 bits; RLE4, RLE8, bit fields)"},
        {Suite("b/pal8badindex.bmp"), "a pixel uses colour 103, the colour table has 101 entries"},
        {Suite("b/reallybig.bmp"), "the image is too large"},
        {built("short.bmp", std::vector<uint8_t>(good.begin(), good.end() - 5)), "the pixel data is 5 bytes short"},
        {built("compressed.bmp", compressed), "RLE8 data needs 8 bits per pixel, not 24"},
        {built("empty.bmp", bmptest::MakeBmp24(0, 2, bmptest::NoisePixels(5))), "the image is empty (0 x 2 pixels)"},
        {built("lowest.bmp", lowest), "the height -2147483648 is not valid"},
        {built("text.bmp", {'h', 'i', '\n'}), "not an image this program reads (it reads BMP, PNG, JPEG)"},
        {sources.File("absent.bmp"), std::string("cannot open: ") + std::strerror(ENOENT)},
        {sources.path(), std::string("cannot read: ") + std::strerror(EISDIR)},
    };
    const std::vector<uint8_t> before(3000, 0x77);
    for (const auto& f : refusals) {
        for (bool earlier : {false, true}) {
            SCOPED_TRACE(f.source + (earlier ? ", over an existing DEST with -f" : ", new DEST"));
            bmptest::TempDir dir;
            const std::string dest = dir.File("out.bmp");
            std::vector<std::string> args = {f.source, dest};
            if (earlier) {
                ASSERT_TRUE(bmptest::WriteFileBytes(dest, before));
                args.insert(args.begin(), "-f");
            }
            RunResult r = RunProgram(kProgram, args);
            EXPECT_EQ(r.exitCode, 1);
            ExpectOneLine(r, "bmp256-convert: " + f.source + ": " + f.reason);
            EXPECT_EQ(ListDir(dir.path()), earlier ? std::vector<std::string>{"out.bmp"} : std::vector<std::string>{});
            if (earlier) {
                EXPECT_EQ(bmptest::ReadFileBytes(dest), before);
            }
        }
    }
    EXPECT_EQ(ListDir(sources.path()).size(), 5u) << "only the built sources";
}

// Nobody types an image: "-" on a terminal is refused at once, as a
// terminal on standard output is.
TEST(Refused, StandardInputThatIsATerminal) {
    bmptest::TempDir dir;
    for (const std::string& dest : {dir.File("out.bmp"), std::string("-")}) {
        RunOptions options;
        options.terminalStdin = true;
        RunResult r = RunProgram(kProgram, {"-", dest}, options);
        EXPECT_EQ(r.exitCode, 1) << dest;
        ExpectOneLine(r, "bmp256-convert: standard input is a terminal; pipe or redirect an image into it "
                         "(bmp256-convert - DEST < in.bmp) or name a SOURCE file");
    }
    EXPECT_TRUE(ListDir(dir.path()).empty());
}

TEST(CannotWrite, OneLineWithTheSystemsReason) {
    bmptest::TempDir dir;
    struct stat st;
    const bool full = stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode);
    const struct { std::string dest; int error; } cases[] = {
        {dir.File("missing/out.bmp"), ENOENT}, {dir.path(), EISDIR}, {"/dev/full", ENOSPC}};
    for (const auto& c : cases) {
        if (c.error == ENOSPC && !full) continue;  // no /dev/full here
        SCOPED_TRACE(c.dest);
        RunResult r = RunProgram(kProgram, {kRgb24, c.dest});
        EXPECT_EQ(r.exitCode, 1);
        ExpectOneLine(r, "bmp256-convert: cannot write " + c.dest + ": " + std::strerror(c.error));
        EXPECT_TRUE(ListDir(dir.path()).empty());
    }
    if (full) {
        ASSERT_EQ(stat("/dev/full", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device must stay a device";
    }
}

// An unwritable directory: a non-root user cannot create files in a 0555
// directory; root can, so as root the program runs as nobody.
TEST(CannotWrite, UnwritableDestDirectoryLeavesNothingBehind) {
    RunOptions options;
    if (geteuid() == 0) {
        if (!bmptest::CanDropToNobody()) GTEST_SKIP() << "cannot run as nobody";
        options.asNobody = true;
    }
    bmptest::TempDir dir;  // 0755 under the usual umask: nobody may enter it
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    std::string locked = dir.File("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    std::string source = dir.File("in.bmp");
    ASSERT_TRUE(CopyFile(kRgb24, source));
    ASSERT_EQ(chmod(source.c_str(), 0644), 0);
    // An existing DEST inside, readable and writable by everyone, and the
    // directory itself closed: the rename could not be done.
    std::string dest = locked + "/out.bmp";
    std::vector<uint8_t> before(500, 0x42);
    ASSERT_TRUE(bmptest::WriteFileBytes(dest, before));
    ASSERT_EQ(chmod(dest.c_str(), 0666), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);

    // That DEST, and one that does not exist yet: nothing appears.
    const std::vector<std::string> runs[] = {{"-f", source, dest}, {source, locked + "/new.bmp"}};
    for (const std::vector<std::string>& args : runs) {
        SCOPED_TRACE(args.back());
        RunResult r = RunProgram(kProgram, args, options);
        EXPECT_EQ(r.exitCode, 1);
        ExpectOneLine(r, "bmp256-convert: cannot write " + args.back() + ": " + std::strerror(EACCES));
        EXPECT_EQ(bmptest::ReadFileBytes(dest), before);
        EXPECT_EQ(ListDir(locked), std::vector<std::string>{"out.bmp"});
    }
    chmod(locked.c_str(), 0755);
}

TEST(Usage, WrongArgumentsExitTwo) {
    const std::vector<std::vector<std::string>> wrong = {
        {}, {"only-one.bmp"}, {"a.bmp", "b.bmp", "c.bmp"}, {"-x", "a.bmp", "b.bmp"},
        {"--frobnicate"}, {"", "b.bmp"}, {"--in-place", "-o", "d", "a.bmp"}, {"-j", "0", "--in-place", "a.bmp"},
        {"--suffix", "", "a.bmp"}, {"-o"}, {"-o", "d"}, {"-j", "x", "a.bmp", "b.bmp"},
        {"-fx", "a.bmp", "b.bmp"}, {"--force=1", "a.bmp", "b.bmp"}, {"-j"}, {"--jobs=", "--in-place", "a.bmp"},
        {"-f", "--skip-existing", "a.bmp", "b.bmp"},
        {"--background", "beige", "a.bmp", "b.bmp"}, {"--background=#12345", "a.bmp", "b.bmp"},
        {"--no-auto-orient=1", "a.bmp", "b.bmp"},
    };
    for (const auto& args : wrong) {
        RunResult r = RunProgram(kProgram, args);
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        // The last line is the usage line.
        std::string last = r.err.substr(0, r.err.size() - 1);
        last = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
        EXPECT_EQ(last.compare(0, kUsagePrefix.size(), kUsagePrefix), 0) << r.err;
        EXPECT_LE(CountLines(r.err), 2);
    }
}

// The forms getopt_long accepts: bundles, attached values, --name=value.
TEST(Usage, GetoptForms) {
    const std::vector<std::vector<std::string>> forms = {
        {"-fvj2", "-o", "OUT"}, {"-fvoOUT"}, {"-f", "-v", "--jobs=2", "--output=OUT"}, {"-fv", "-j", "2", "-oOUT"},
    };
    for (const auto& form : forms) {
        bmptest::TempDir dir;
        std::vector<std::string> args;
        for (const std::string& a : form) {
            const size_t at = a.find("OUT");
            args.push_back(at == std::string::npos ? a : a.substr(0, at) + dir.File("out"));
        }
        args.push_back(kRgb24);
        RunResult r = RunProgram(kProgram, args);
        EXPECT_EQ(r.exitCode, 0) << form[0] << ": " << r.err;
        EXPECT_NE(r.err.find("rgb24.bmp"), std::string::npos) << form[0] << ": -v names the file";
        EXPECT_EQ(ListDir(dir.File("out")), std::vector<std::string>{"rgb24.bmp"}) << form[0];
    }
}

// Refusals that say what is wrong and what would work, before anything is
// written.
TEST(Usage, MessagesSayWhatWouldWork) {
    bmptest::TempDir dir;
    const std::string source = kRgb24;
    ASSERT_EQ(symlink("gone.bmp", dir.File("dangling.bmp").c_str()), 0);
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string said;
    } cases[] = {
        {{"-j", "100000", "--in-place", source}, 2, "-j needs a number of threads from 1 to 1024"},
        {{"--suffix=/../../evil", source}, 2, "--suffix cannot hold a folder separator"},
        {{"-o", dir.File("x.bmp"), source}, 2, "looks like a file name; one file is written with SOURCE DEST"},
        {{source, dir.File("out.png")}, 2, "the result is a BMP; name DEST .bmp (several files: -o DIR or --suffix SUF)"},
        {{source, dir.File("out.JPG")}, 2, "the result is a BMP; name DEST .bmp"},
        {{source, dir.File("dangling.bmp")}, 1, "it is a symbolic link to gone.bmp, which does not exist"},
    };
    for (const auto& c : cases) {
        RunResult r = RunProgram(kProgram, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.said;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"dangling.bmp"}) << c.said;
    }
}

// --background reaches the reader in both spellings, names in any case.
TEST(Usage, BackgroundColour) {
    bmptest::TempDir dir;
    auto convert = [&](std::vector<std::string> args) {
        const std::string out = dir.File("out" + std::to_string(args.size()) + ".bmp");
        args.insert(args.end(), {"-f", Suite("q/rgba32-1.bmp"), out});
        RunResult r = RunProgram(kProgram, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return bmptest::ReadFileBytes(out);
    };
    const std::vector<uint8_t> white = convert({});
    const std::vector<uint8_t> black = convert({"--background", "Black"});
    EXPECT_EQ(convert({"--no-auto-orient", "--background=#000000"}), black);
    EXPECT_NE(black, white);
}

TEST(Usage, HelpAndVersion) {
    for (const char* flag : {"--help", "-h"}) {
        RunResult r = RunProgram(kProgram, {flag});
        EXPECT_EQ(r.exitCode, 0) << flag;
        EXPECT_EQ(r.err, "") << flag;
        EXPECT_EQ(r.out.compare(0, kUsagePrefix.size(), kUsagePrefix), 0) << r.out;
        EXPECT_NE(r.out.find("Exit status"), std::string::npos) << flag;
    }
    // --help wins wherever it stands, and nothing is converted.
    bmptest::TempDir dir;
    RunResult r = RunProgram(kProgram, {kRgb24, dir.File("out.bmp"), "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(ListDir(dir.path()).empty());
    r = RunProgram(kProgram, {"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("bmp256-convert ") + BMP256_EXPECTED_VERSION + "\n");
    EXPECT_EQ(r.err, "");
}

// Photos of our own making, of odd sizes, in `dir`; returns their paths.
std::vector<std::string> MakePhotos(const bmptest::TempDir& dir, int count, int width = 97, int height = 61) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        std::string path = dir.File("photo" + std::to_string(i) + ".bmp");
        RunResult made = RunProgram(kMakeSample, {path, std::to_string(width + 2 * i), std::to_string(height + i),
                                                  std::to_string(100 + i)});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        paths.push_back(path);
    }
    return paths;
}

std::vector<std::string> Join(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(Batch, OutputsEqualSingleRunsForEveryJobCount) {
    bmptest::TempDir dir;
    std::vector<std::string> photos = MakePhotos(dir, 5);
    std::vector<std::vector<uint8_t>> single;
    for (const std::string& photo : photos) {
        std::string out = dir.File("single.bmp");
        RunResult r = RunProgram(kProgram, {"-f", photo, out});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        single.push_back(bmptest::ReadFileBytes(out));
    }
    for (const char* jobs : {"1", "2", "3"}) {
        std::string outDir = dir.File(std::string("out") + jobs + "/deeper");
        RunResult r = RunProgram(kProgram, Join({"-j", jobs, "-o", outDir}, photos));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        for (size_t i = 0; i < photos.size(); ++i) {
            EXPECT_EQ(bmptest::ReadFileBytes(outDir + "/photo" + std::to_string(i) + ".bmp"), single[i])
                << "-j " << jobs << ", photo " << i;
        }
    }
    // --suffix writes beside each source, --in-place over it: the same bytes.
    RunResult r = RunProgram(kProgram, Join({"--suffix", "-256", "-j", "2"}, photos));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunProgram(kProgram, Join({"--in-place", "-q"}, photos));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (size_t i = 0; i < photos.size(); ++i) {
        EXPECT_EQ(bmptest::ReadFileBytes(dir.File("photo" + std::to_string(i) + "-256.bmp")), single[i]);
        EXPECT_EQ(bmptest::ReadFileBytes(photos[i]), single[i]);
    }
}

TEST(Batch, RefineGivesItsOwnPaletteTheSameForEveryThreadCount) {
    // Large enough (2^21 pixels) that the default takes both processors.
    bmptest::TempDir dir;
    std::vector<std::string> photos = MakePhotos(dir, 1, 1449, 1449);
    const std::string plain = dir.File("plain.bmp");
    ASSERT_EQ(RunProgram(kProgram, {photos[0], plain}).exitCode, 0);
    std::vector<uint8_t> refined;
    for (const char* jobs : {"1", "2", "3", "0"}) {
        const std::string out = dir.File(std::string("refined") + jobs + ".bmp");
        RunResult r = jobs[0] == '0' ? RunProgram(kProgram, {"--refine", photos[0], out})
                                     : RunProgram(kProgram, {"--refine", "-j", jobs, photos[0], out});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::vector<uint8_t> bytes = bmptest::ReadFileBytes(out);
        ExpectEightBitFile(bytes, 1449, 1449, out);
        if (refined.empty()) refined = bytes;
        EXPECT_EQ(bytes, refined) << "-j " << jobs;
    }
    // Other colours than the default's, from the same picture.
    const std::vector<uint8_t> unrefined = bmptest::ReadFileBytes(plain);
    ASSERT_EQ(unrefined.size(), refined.size());
    EXPECT_NE(std::vector<uint8_t>(unrefined.begin() + 54, unrefined.begin() + 54 + 1024),
              std::vector<uint8_t>(refined.begin() + 54, refined.begin() + 54 + 1024));
}

// A refused file, an existing output and a good file: each failure is one
// line, the others are converted, and the run ends with 1.
TEST(Batch, FailuresDoNotStopTheOthers) {
    bmptest::TempDir dir;
    std::vector<std::string> photos = MakePhotos(dir, 2);
    std::string refused = dir.File("deep.bmp");
    ASSERT_TRUE(CopyFile(Suite("b/pal8badindex.bmp"), refused));
    std::string outDir = dir.File("out");
    ASSERT_EQ(mkdir(outDir.c_str(), 0755), 0);
    std::vector<uint8_t> kept(10, 7);
    ASSERT_TRUE(bmptest::WriteFileBytes(outDir + "/photo1.bmp", kept));

    RunResult r = RunProgram(kProgram, {"-v", "-o", outDir, photos[0], refused, photos[1]});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("bmp256-convert: " + refused + ": a pixel uses colour 103"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("bmp256-convert: " + outDir + "/photo1.bmp: already exists"), std::string::npos);
    EXPECT_NE(r.err.find("bmp256-convert: " + photos[0] + " -> " + outDir + "/photo0.bmp\n"), std::string::npos);
    EXPECT_EQ(CountLines(r.err), 3) << r.err;
    EXPECT_EQ(bmptest::ReadFileBytes(outDir + "/photo0.bmp"), Reference(photos[0]));
    EXPECT_EQ(bmptest::ReadFileBytes(outDir + "/photo1.bmp"), kept);
    EXPECT_EQ(ListDir(outDir), (std::vector<std::string>{"photo0.bmp", "photo1.bmp"}));

    r = RunProgram(kProgram, {"-f", "-o", outDir, photos[1]});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(bmptest::ReadFileBytes(outDir + "/photo1.bmp"), Reference(photos[1]));
}

// -o DIR is made for the first result only: a run that converts nothing
// leaves no folder behind, and a folder that was there stays.
TEST(Batch, OutputFolderIsMadeOnlyForAResult) {
    bmptest::TempDir dir;
    const std::string refused = Suite("b/pal8badindex.bmp"), good = kRgb24;
    ASSERT_EQ(mkdir(dir.File("have").c_str(), 0755), 0);
    const std::vector<std::vector<std::string>> empty = {
        {"-o", dir.File("out2"), dir.File("have")},
        {"-o", dir.File("out2/deeper"), refused},
        {"-o", dir.File("have/new"), refused, dir.File("have")},
    };
    for (const auto& args : empty) {
        RunResult r = RunProgram(kProgram, args);
        EXPECT_EQ(r.exitCode, 1) << args[1];
        EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"have"}) << args[1];
        EXPECT_TRUE(ListDir(dir.File("have")).empty()) << args[1];
    }
    RunResult r = RunProgram(kProgram, {"-o", dir.File("out2/deeper"), refused, good});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(ListDir(dir.File("out2/deeper")), std::vector<std::string>{"rgb24.bmp"});
    // A file where the folder should be: each source says so.
    ASSERT_TRUE(CopyFile(good, dir.File("plain")));
    r = RunProgram(kProgram, {"-o", dir.File("plain/sub"), good});
    EXPECT_EQ(r.exitCode, 1);
    ExpectOneLine(r, "bmp256-convert: cannot write " + dir.File("plain/sub/rgb24.bmp") + ": cannot make " +
                         dir.File("plain/sub") + ": " + std::strerror(ENOTDIR));
}

// What the plan refuses, skips or merges, item by item: the rest of the run
// goes on, and no source is ever written over.
TEST(Batch, PlanRefusesOnlyTheItemsAtFault) {
    struct Case {
        std::vector<std::string> args;  // "@" stands for the test's folder
        int exitCode;
        const char* said;                // a line the run must say
        std::vector<std::string> made;   // the files made, under "@"
    } cases[] = {
        // Two sources for one output: those two only.
        {{"-o", "@/out", "@/a/x.bmp", "@/b/x.PNG", "@/a/y.bmp"}, 1, "as @/a/x.bmp does; neither is converted",
         {"out/y.bmp"}},
        // -o to the sources' own folder, by a link: never in place.
        {{"-o", "@/link", "@/a/y.bmp"}, 1, "would be the source itself (--in-place replaces sources)", {}},
        // --suffix run again: the earlier output is not converted again,
        // and not replaced even with -f.
        {{"-f", "--suffix", "-256", "@/a/x.bmp", "@/a/x-256.bmp"}, 1, "is a source of this run, not replaced", {}},
        {{"--skip-existing", "--suffix", "-256", "@/a/x.bmp", "@/a/x-256.bmp", "@/a/y.bmp"}, 0, "", {"a/y-256.bmp"}},
        // The glob that expanded to exactly two photos: SOURCE DEST, and the
        // second is kept.
        {{"@/a/x.bmp", "@/a/y.bmp"}, 1, "@/a/y.bmp: already exists", {}},
        // --in-place replaces BMP files only, whatever their names say.
        {{"--in-place", "@/b/x.PNG"}, 1, "@/b/x.PNG: not a BMP file; --in-place replaces only BMP files", {}},
    };
    for (const Case& c : cases) {
        bmptest::TempDir dir;
        auto at = [&](std::string text) {
            for (size_t i; (i = text.find('@')) != std::string::npos;) text.replace(i, 1, dir.path());
            return text;
        };
        ASSERT_EQ(mkdir(dir.File("a").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(dir.File("b").c_str(), 0755), 0);
        ASSERT_EQ(symlink("a", dir.File("link").c_str()), 0);
        const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        ASSERT_TRUE(CopyFile(kRgb24, dir.File("a/x.bmp")));
        ASSERT_TRUE(CopyFile(Suite("g/rgb24pal.bmp"), dir.File("a/y.bmp")));
        ASSERT_TRUE(CopyFile(kRgb24, dir.File("a/x-256.bmp")));
        ASSERT_TRUE(bmptest::WriteFileBytes(dir.File("b/x.PNG"), png));
        std::vector<std::string> args;
        for (const std::string& arg : c.args) args.push_back(at(arg));
        RunResult r = RunProgram(kProgram, args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[1] << ": " << r.err;
        EXPECT_NE(r.err.find(at(c.said)), std::string::npos) << c.args[1] << ": " << r.err;
        std::vector<std::string> a = {"x-256.bmp", "x.bmp", "y.bmp"}, out;
        for (const std::string& made : c.made) {
            EXPECT_EQ(bmptest::ReadFileBytes(dir.File(made)), Reference(dir.File("a/y.bmp"))) << made;
            (made.compare(0, 2, "a/") == 0 ? a : out).push_back(made.substr(made.find('/') + 1));
        }
        std::sort(a.begin(), a.end());
        EXPECT_EQ(ListDir(dir.File("a")), a) << c.args[1];
        EXPECT_EQ(bmptest::FileExists(dir.File("out")), !out.empty()) << c.args[1];
        EXPECT_EQ(bmptest::ReadFileBytes(dir.File("a/x.bmp")), bmptest::ReadFileBytes(kRgb24));
        EXPECT_EQ(bmptest::ReadFileBytes(dir.File("a/x-256.bmp")), bmptest::ReadFileBytes(kRgb24));
        EXPECT_EQ(bmptest::ReadFileBytes(dir.File("a/y.bmp")), bmptest::ReadFileBytes(Suite("g/rgb24pal.bmp")));
        EXPECT_EQ(bmptest::ReadFileBytes(dir.File("b/x.PNG")), png);
    }
}

// Paths that lead to one file are one source, converted once whatever -j.
TEST(Batch, OneFileByTwoPathsIsConvertedOnce) {
    for (const char* jobs : {"1", "2"}) {
        bmptest::TempDir dir;
        const std::string photo = MakePhotos(dir, 1)[0], link = dir.File("link.bmp");
        const std::vector<uint8_t> once = Reference(photo);
        ASSERT_EQ(symlink(photo.c_str(), link.c_str()), 0);
        RunResult r = RunProgram(kProgram, {"-v", "-j", jobs, "--in-place", photo, link, dir.File("./photo0.bmp")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.err.find(link + ": the same file as " + photo + ", converted once"), std::string::npos) << r.err;
        EXPECT_EQ(bmptest::ReadFileBytes(photo), once) << "-j " << jobs;
    }
}

// A batch run again: --skip-existing leaves the outputs alone and exits 0;
// without it each is a refusal that says so.
TEST(Batch, RunAgainWithSkipExisting) {
    bmptest::TempDir dir;
    const std::vector<std::string> photos = MakePhotos(dir, 2);
    const std::string out = dir.File("small");
    ASSERT_EQ(RunProgram(kProgram, Join({"-o", out}, photos)).exitCode, 0);
    const std::vector<uint8_t> kept(20, 9);
    ASSERT_TRUE(bmptest::WriteFileBytes(out + "/photo1.bmp", kept));
    RunResult r = RunProgram(kProgram, Join({"-o", out}, photos));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(out + "/photo1.bmp: already exists, not replaced (-f replaces it, --skip-existing skips it)"),
              std::string::npos) << r.err;
    r = RunProgram(kProgram, Join({"--skip-existing", "-v", "-o", out}, photos));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "bmp256-convert: " + out + "/photo0.bmp: exists, skipped\nbmp256-convert: " + out +
                         "/photo1.bmp: exists, skipped\n");
    EXPECT_EQ(bmptest::ReadFileBytes(out + "/photo1.bmp"), kept);
}

// On a terminal of 50 columns: every progress line fits, and the batch ends
// with its count.
TEST(Batch, ProgressFitsTheTerminalAndEndsWithACount) {
    if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "no script(1) to give the run a terminal";
    bmptest::TempDir dir;
    const std::string deep = dir.File("a-folder-whose-name-is-long-enough-to-need-cutting");
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    std::vector<std::string> photos;
    for (const std::string& photo : MakePhotos(dir, 3)) {
        photos.push_back(deep + "/" + fs::path(photo).filename().string());
        ASSERT_EQ(rename(photo.c_str(), photos.back().c_str()), 0);
    }
    const std::string out = dir.File("out");
    std::string line = "stty cols 50; '" + kProgram + "' -j 1 -o '" + out + "'";
    for (const std::string& photo : photos) line += " '" + photo + "'";
    line += " '" + Suite("x/ba-bm.bmp") + "'";
    RunResult r = RunProgram("/usr/bin/script", {"-qec", line, "/dev/null"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("bmp256-convert: 3 converted, 0 skipped, 1 refused\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\r\033[Kbmp256-convert: 1/4 ..."), std::string::npos) << r.out;
    size_t at = 0;
    while ((at = r.out.find("\r\033[K", at)) != std::string::npos) {
        at += 4;
        const size_t end = r.out.find_first_of("\r\n", at);
        const bool progress = r.out.compare(at, 16, "bmp256-convert: ") == 0 && std::isdigit(r.out[at + 16]);
        if (progress) {
            EXPECT_LT(end - at, 50u) << r.out.substr(at, end - at);
        }
    }
}

// Waits until `dir` holds a temporary file (a name starting with '.') and
// returns its name, or "" when the child got done first.
std::string AwaitTemp(const std::string& dir, pid_t pid) {
    for (int i = 0; i < 20000; ++i) {
        for (const std::string& name : ListDir(dir)) {
            if (name[0] == '.') return name;
        }
        siginfo_t info = {};
        if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0) return "";
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return "";
}

std::vector<std::string> TempsIn(const std::string& dir) {
    std::vector<std::string> temps;
    for (const std::string& name : ListDir(dir)) {
        if (name[0] == '.') temps.push_back(name);
    }
    return temps;
}

// A signal while a file is in flight: the caller's ignore stands, else the
// run ends with 128 + the signal, finished files stay and no temporary file
// is left.
TEST(Signals, WhileAFileIsInFlight) {
    struct Case {
        int signal;
        bool ignored;
        int exitCode;
    } cases[] = {
        {SIGINT, false, 130}, {SIGTERM, false, 143}, {SIGHUP, false, 129},
        {SIGHUP, true, 0},    {SIGINT, true, 0},
    };
    bmptest::TempDir dir, other;
    std::vector<std::string> small = MakePhotos(dir, 1);
    std::vector<std::string> large = MakePhotos(other, 1, 2400, 1800);
    std::string big = dir.File("big.bmp");
    ASSERT_TRUE(CopyFile(large[0], big));
    for (const Case& c : cases) {
        std::string outDir = dir.File("out" + std::to_string(c.signal) + (c.ignored ? "i" : ""));
        RunOptions options;
        if (c.ignored) options.ignoredSignals = {c.signal};
        options.outputPath = dir.File("output");
        const pid_t child = bmptest::StartProgram(kProgram, {"-j", "1", "-o", outDir, small[0], big}, options);
        std::string temp;
        for (int attempt = 0; attempt < 5000 && temp.empty(); ++attempt) {
            if (bmptest::FileExists(outDir + "/photo0.bmp")) temp = AwaitTemp(outDir, child);
            else std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ASSERT_FALSE(temp.empty()) << "the large file was never seen in flight";
        kill(child, c.signal);
        EXPECT_EQ(bmptest::WaitProgram(child), c.exitCode) << "signal " << c.signal;
        EXPECT_TRUE(TempsIn(outDir).empty()) << "signal " << c.signal;
        EXPECT_EQ(bmptest::ReadFileBytes(outDir + "/photo0.bmp"), Reference(small[0]));
        EXPECT_EQ(bmptest::FileExists(outDir + "/big.bmp"), c.ignored) << "signal " << c.signal;
    }
}

// A closed pipe and the file-size limit are write failures with a message,
// whether the caller ignored SIGPIPE or not; nothing is left behind.
TEST(Signals, ClosedPipeAndFileSizeLimitAreWriteFailures) {
    bmptest::TempDir dir;
    for (bool ignored : {false, true}) {
        RunOptions options;
        options.stdoutClosedPipe = true;
        if (ignored) options.ignoredSignals = {SIGPIPE};
        RunResult r = RunProgram(kProgram, {kRgb24, "/dev/stdout"}, options);
        EXPECT_EQ(r.exitCode, 1) << "signal " << r.signal;
        ExpectOneLine(r, std::string("bmp256-convert: cannot write /dev/stdout: ") + std::strerror(EPIPE));
    }
    std::string dest = dir.File("out.bmp");
    std::vector<uint8_t> before(100, 1);
    ASSERT_TRUE(bmptest::WriteFileBytes(dest, before));
    RunOptions limited;
    limited.fileSizeLimit = 4096;
    RunResult r = RunProgram(kProgram, {"-f", kRgb24, dest}, limited);
    EXPECT_EQ(r.exitCode, 1) << "signal " << r.signal;
    ExpectOneLine(r, "bmp256-convert: cannot write " + dest + ": " + std::strerror(EFBIG));
    EXPECT_EQ(bmptest::ReadFileBytes(dest), before);
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"out.bmp"});
}

// Another user swaps a link to a file of theirs in under the temporary name
// while the conversion runs: nothing is written through it, and it is not
// installed as DEST.
TEST(Signals, LinkSwappedInForTheTemporaryFileIsNeverWrittenThrough) {
    bmptest::TempDir dir;
    std::vector<std::string> large = MakePhotos(dir, 1, 2400, 1800);
    std::string victim = dir.File("victim");
    std::vector<uint8_t> precious(64, 0x5A);
    ASSERT_TRUE(bmptest::WriteFileBytes(victim, precious));
    std::string outDir = dir.File("out");
    ASSERT_EQ(mkdir(outDir.c_str(), 0755), 0);
    RunOptions options;
    options.outputPath = dir.File("output");
    const pid_t child = bmptest::StartProgram(kProgram, {"-o", outDir, large[0]}, options);
    std::string temp = AwaitTemp(outDir, child);
    ASSERT_FALSE(temp.empty()) << "the file was never seen in flight";
    kill(child, SIGSTOP);
    std::string tempPath = outDir + "/" + temp;
    ASSERT_EQ(unlink(tempPath.c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), tempPath.c_str()), 0);
    kill(child, SIGCONT);
    EXPECT_EQ(bmptest::WaitProgram(child), 1);
    bool read = false;
    const std::vector<uint8_t> said = bmptest::ReadFileBytes(dir.File("output"), &read);
    EXPECT_EQ(std::string(said.begin(), said.end()),
              "bmp256-convert: cannot write " + outDir + "/photo0.bmp: its temporary file was replaced meanwhile\n");
    EXPECT_EQ(bmptest::ReadFileBytes(victim), precious);
    EXPECT_FALSE(bmptest::FileExists(outDir + "/photo0.bmp"));
    EXPECT_TRUE(TempsIn(outDir).empty());
}

// Waits up to a minute for `child`; a run that blocks is killed and fails.
int WaitOrKill(pid_t child) {
    for (int i = 0; i < 1200; ++i) {
        siginfo_t info = {};
        if (waitid(P_PID, id_t(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (i == 1199) kill(child, SIGKILL);
    }
    return bmptest::WaitProgram(child);
}

// A listed source swapped for a FIFO while the run goes on is refused, never
// waited on.
TEST(Signals, FifoSwappedInForASourceDoesNotBlock) {
    bmptest::TempDir dir, other;
    const std::string large = MakePhotos(dir, 1, 2400, 1800)[0], victim = dir.File("victim.bmp");
    ASSERT_TRUE(CopyFile(MakePhotos(other, 1)[0], victim));
    const std::string out = dir.File("out");
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    RunOptions options;
    options.outputPath = dir.File("output");
    const pid_t child = bmptest::StartProgram(kProgram, {"-j", "1", "-o", out, large, victim}, options);
    ASSERT_FALSE(AwaitTemp(out, child).empty()) << "the first file was never seen in flight";
    ASSERT_EQ(unlink(victim.c_str()), 0);
    ASSERT_EQ(mkfifo(victim.c_str(), 0600), 0);
    EXPECT_EQ(WaitOrKill(child), 1);
    const std::vector<uint8_t> said = bmptest::ReadFileBytes(dir.File("output"));
    EXPECT_EQ(std::string(said.begin(), said.end()),
              "bmp256-convert: " + victim + ": no longer the file it was when the run started; not read\n");
    EXPECT_EQ(ListDir(out), std::vector<std::string>{"photo0.bmp"});
}

// A folder of its own under /dev/shm, removed with what it holds.
struct ShmDir {
    std::string path;
    ShmDir() {
        char name[] = "/dev/shm/bmp256-test-XXXXXX";
        if (mkdtemp(name)) path = name;
    }
    ~ShmDir() {
        if (!path.empty()) fs::remove_all(path);
    }
};

// A FAT file system on a loop file at `mount`, where this machine lets the
// tests mount one (root, dosfstools, a kernel with vfat).
bool MountFat(const std::string& image, const std::string& mount) {
    if (geteuid() != 0) return false;
    const std::string line = "PATH=$PATH:/sbin:/usr/sbin; truncate -s 16M '" + image + "' && mkfs.vfat '" + image +
                             "' && mount -o loop '" + image + "' '" + mount + "'";
    return mkdir(mount.c_str(), 0755) == 0 && RunProgram("/bin/sh", {"-c", line}).exitCode == 0;
}

// Where the file system has no hard links (exFAT, FAT, many FUSE and SMB
// mounts) new outputs still appear, existing ones are still kept without -f,
// and a failed write loses nothing: on a real FAT mount where one can be
// made, and with link() failing, then renameat2() too, everywhere. A regular
// file under /dev (the tmpfs /dev/shm) is a file like any other.
TEST(Places, FileSystemsWithoutHardLinksAndUnderDev) {
    bmptest::TempDir dir;
    ShmDir shm;
    const std::string preload = std::string("LD_PRELOAD=") + BMP256_NO_HARD_LINKS;
    const std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
    struct Place {
        std::string folder;
        std::vector<std::string> environment;
    };
    std::vector<Place> places = {{dir.File("no-link"), {preload, asan}},
                                 {dir.File("no-renameat2"), {preload, asan, "NO_RENAME_NOREPLACE=1"}}};
    if (!shm.path.empty()) places.push_back({shm.path, {}});
    const bool fat = MountFat(dir.File("fat.img"), dir.File("fat"));
    if (fat) places.push_back({dir.File("fat"), {}});
    const std::string source = kRgb24;
    for (const Place& place : places) {
        SCOPED_TRACE(place.folder);
        mkdir(place.folder.c_str(), 0755);
        RunOptions options;
        options.environment = place.environment;
        const std::string dest = place.folder + "/new.bmp";
        RunResult r = RunProgram(kProgram, {source, dest}, options);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(bmptest::ReadFileBytes(dest), Reference(source));
        r = RunProgram(kProgram, {Suite("g/rgb24pal.bmp"), dest}, options);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(dest + ": already exists, not replaced"), std::string::npos) << r.err;
        options.fileSizeLimit = 4096;
        r = RunProgram(kProgram, {"--in-place", dest}, options);
        EXPECT_EQ(r.exitCode, 1);
        ExpectOneLine(r, "bmp256-convert: cannot write " + dest + ": " + std::strerror(EFBIG));
        EXPECT_EQ(bmptest::ReadFileBytes(dest), Reference(source));
        EXPECT_EQ(ListDir(place.folder), std::vector<std::string>{"new.bmp"});
    }
    if (fat) RunProgram("/bin/sh", {"-c", "umount '" + dir.File("fat") + "'"});
}

}  // namespace
