// bmp256-convert's palette options as a script uses them: refusals that say
// what would work, the shared palette independent of -j and source order,
// and palettes written and given back in every file format.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/convert.h"
#include "bitmap/bitmap.h"
#include "support/bmp_builder.h"
#include "support/run_program.h"
#include "platform/alloc.h"

using namespace bmp256;

namespace {

using bmptest::RunProgram;
using bmptest::RunResult;

const std::string kProgram = BMP256_CONVERT_PROGRAM;
const std::string kMakeSample = BMP256_MAKE_SAMPLE;

std::vector<std::string> Join(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::string Photo(const bmptest::TempDir& dir, const std::string& name, int width, int height, int seed) {
    const std::string path = dir.File(name);
    RunResult made = RunProgram(kMakeSample, {path, std::to_string(width), std::to_string(height), std::to_string(seed)});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return path;
}

// A picture of six flat colours, two of them at tone distance 0.
std::string UiPicture(const bmptest::TempDir& dir, const std::string& name) {
    const bmptest::Bgr colours[] = {{255, 255, 255}, {255, 0, 255}, {0x97, 0x57, 0x2B},
                                    {7, 9, 12},      {8, 11, 14},   {40, 40, 40}};
    const std::string path = dir.File(name);
    EXPECT_TRUE(bmptest::WriteFileBytes(
        path, bmptest::MakeBmp24(30, 20, [&](int x, int y) { return colours[(x / 5 + y / 4) % 6]; })));
    return path;
}

// The picture a file shows, as 24-bit rows.
std::vector<uint8_t> Shown(const std::string& path) {
    const std::vector<uint8_t> file = bmptest::ReadFileBytes(path);
    BITMAPINFOHEADER info;
    uint8_t* pixels = nullptr;
    EXPECT_EQ(ParseBitmapAny(file.data(), file.size(), &info, &pixels, nullptr), kBitmapOk) << path;
    std::vector<uint8_t> shown;
    if (pixels) shown.assign(pixels, pixels + ImageSize(&info));
    FreeBytes(pixels);
    return shown;
}

// Wrong uses exit 2; a palette file of 300 colours is the file's problem,
// exit 1. Nothing is written.
TEST(PaletteOptions, RefusalsSayWhatWouldWork) {
    bmptest::TempDir dir;
    const std::string src = UiPicture(dir, "ui.bmp");
    const std::string out = dir.File("out.bmp");
    std::string many = "GIMP Palette\n";
    for (int i = 0; i < 300; ++i) many += "1 2 3\n";
    ASSERT_TRUE(bmptest::WriteFileBytes(dir.File("many.gpl"), std::vector<uint8_t>(many.begin(), many.end())));
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {{"--colors", "1", src, out}, 2, "use --colors 2 or more"},
        {{"--colors", "257", src, out}, 2, "from 2 to 256"},
        {{"--colors=x", src, out}, 2, "from 2 to 256"},
        {{"--dither", "fs", src, out}, 2, "jjn (error diffusion, the default) or none"},
        {{"--depth", "2", src, out}, 2, "1, 4 or 8"},
        {{"--depth", "4", src, out}, 2, "add --colors 16 (or fewer)"},
        {{"--depth", "1", "--colors", "4", src, out}, 2, "add --colors 2"},
        {{"--depth", "1", "--colors", "2", "--rle", src, out}, 2, "drop --rle, or use --depth 4"},
        {{"--palette", "p.gpl", "--colors", "16", src, out}, 2, "drop --colors"},
        {{"--palette", "p.gpl", "--shared-palette", src, out}, 2, "drop --shared-palette"},
        {{"--palette", "p.gpl", "--refine", src, out}, 2, "drop --refine"},
        {{"--system-colors", "--colors", "256", src, out}, 2, "at most 236 colours"},
        {{"--write-palette", "p.txt", src, out}, 2, ".gpl, .pal, .act, .bmp or .png"},
        {{"--write-palette", dir.File("p.gpl"), "-o", dir.File("o"), src, src + "x"}, 2, "needs --shared-palette"},
        {{"--shared-palette", "-", out}, 2, "read only once"},
        {{"--palette", dir.File("many.gpl"), src, out}, 1, "many.gpl: the palette holds 300 colours"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        RunResult r = RunProgram(kProgram, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(bmptest::ListDir(dir.path()), (std::vector<std::string>{"many.gpl", "ui.bmp"}));
    }
}

TEST(SharedPalette, SameBytesForEveryJobCountAndSourceOrder) {
    bmptest::TempDir dir;
    std::vector<std::string> sources = {Photo(dir, "a.bmp", 97, 61, 1), Photo(dir, "b.bmp", 40, 70, 2),
                                        Photo(dir, "c.bmp", 131, 17, 3), UiPicture(dir, "d.bmp")};
    std::vector<std::string> reversed(sources.rbegin(), sources.rend());
    std::vector<std::vector<uint8_t>> first;
    std::vector<uint8_t> refinedTable;
    int run = 0;
    for (const char* refine : {"--shared-palette", "--refine"}) {
        std::vector<std::vector<uint8_t>> same;
        for (const auto& order : {sources, reversed}) {
            for (const char* jobs : {"1", "2", "3"}) {
                const std::string outDir = dir.File("out" + std::to_string(run++));
                RunResult r = RunProgram(kProgram, Join({refine, "--shared-palette", "-q", "-j", jobs, "-o", outDir}, order));
                ASSERT_EQ(r.exitCode, 0) << r.err;
                std::vector<std::vector<uint8_t>> outs;
                for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) {
                    outs.push_back(bmptest::ReadFileBytes(outDir + "/" + name));
                }
                if (same.empty()) same = outs;
                EXPECT_EQ(outs, same) << refine << " -j " << jobs;
            }
        }
        if (first.empty()) {
            first = same;
        } else {
            refinedTable.assign(same[0].begin() + 54, same[0].begin() + 1078);
        }
    }
    // --refine moves the shared colours.
    EXPECT_FALSE(std::equal(refinedTable.begin(), refinedTable.end(), first[0].begin() + 54));
    // One colour table for all, and the photos' 64-level histogram summed is
    // not any one photo's: the shared table differs from a lone conversion's.
    for (const auto& out : first) {
        EXPECT_TRUE(std::equal(out.begin() + 54, out.begin() + 1078, first[0].begin() + 54));
    }
    ASSERT_EQ(RunProgram(kProgram, {sources[0], dir.File("alone.bmp")}).exitCode, 0);
    const std::vector<uint8_t> alone = bmptest::ReadFileBytes(dir.File("alone.bmp"));
    EXPECT_FALSE(std::equal(alone.begin() + 54, alone.begin() + 1078, first[0].begin() + 54));
    // A source that cannot be read stops the run before anything is written.
    RunResult r = RunProgram(kProgram, Join({"--shared-palette", "-o", dir.File("none")}, {sources[0], dir.File("missing.bmp")}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing.bmp"), std::string::npos) << r.err;
    EXPECT_FALSE(bmptest::FileExists(dir.File("none/a.bmp")));
}

TEST(SharedPalette, OfOneSourceIsItsOwnConversion) {
    bmptest::TempDir dir;
    for (const std::string& src : {Photo(dir, "p.bmp", 83, 47, 7), UiPicture(dir, "ui.bmp")}) {
        ASSERT_EQ(RunProgram(kProgram, {"-f", src, dir.File("plain.bmp")}).exitCode, 0);
        RunResult r = RunProgram(kProgram, {"-f", "--write-palette", dir.File("used.gpl"), src, dir.File("written.bmp")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(bmptest::ReadFileBytes(dir.File("written.bmp")), bmptest::ReadFileBytes(dir.File("plain.bmp")));
        // The saved palette given back maps the source to the same picture.
        r = RunProgram(kProgram, {"-f", "--palette", dir.File("used.gpl"), src, dir.File("again.bmp")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Shown(dir.File("again.bmp")), Shown(dir.File("plain.bmp"))) << src;
    }
}

TEST(GivenPalette, EveryFormatKeepsAPictureOfItsColoursExact) {
    bmptest::TempDir dir;
    const std::string src = UiPicture(dir, "ui.bmp");
    for (const char* ext : {".gpl", ".pal", ".act", ".bmp", ".png"}) {
        const std::string palette = dir.File(std::string("master") + ext);
        RunResult r = RunProgram(kProgram, {"-f", "--write-palette", palette, src, dir.File("first.bmp")});
        if (std::string(ext) == ".png" && r.exitCode == 2) continue;  // a build without libpng
        ASSERT_EQ(r.exitCode, 0) << ext << ": " << r.err;
        for (const std::vector<std::string>& form : {std::vector<std::string>{}, {"--depth", "4", "--rle"}}) {
            r = RunProgram(kProgram, Join(Join({"-f", "--palette", palette}, form), {src, dir.File("given.bmp")}));
            ASSERT_EQ(r.exitCode, 0) << ext << ": " << r.err;
            EXPECT_EQ(Shown(dir.File("given.bmp")), Shown(src)) << ext;
        }
    }
}

}  // namespace
