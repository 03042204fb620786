// Palette files: each format written and read back, files of other programs'
// common forms, and refusals that name the problem.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/test_image.h"
#include "palette_file/palette_file.h"
#include "platform/alloc.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

int Parse(const std::vector<uint8_t>& data, PaletteEntry* entries, std::string* reason = nullptr) {
    int count = 0;
    char why[256] = "";
    const int ok = ParsePaletteFile(data.data(), data.size(), entries, &count, why, sizeof why);
    if (reason) *reason = why;
    return ok ? count : -1;
}

TEST(PaletteFile, EveryFormatRoundTrips) {
    std::vector<PaletteFormat> formats = {kPaletteGpl, kPaletteJasc, kPaletteAct, kPaletteBmp};
    if (PngPalettesAvailable()) formats.push_back(kPalettePng);
    PaletteEntry palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = PaletteEntry{uint8_t(i * 3), uint8_t(255 - i), uint8_t(i ^ 0x5A), 0};
    for (PaletteFormat format : formats) {
        for (int count : {1, 2, 16, 236, 256}) {
            size_t size = 0;
            uint8_t* data = FormatPaletteFile(format, palette, count, &size);
            ASSERT_NE(data, nullptr);
            PaletteEntry back[256];
            EXPECT_EQ(Parse(std::vector<uint8_t>(data, data + size), back), count) << format << " " << count;
            EXPECT_EQ(std::memcmp(back, palette, sizeof(PaletteEntry) * size_t(count)), 0) << format << " " << count;
            FreeBytes(data);
        }
    }
}

TEST(PaletteFile, OtherProgramsForms) {
    struct Case {
        std::vector<uint8_t> data;
        int count;
        PaletteEntry last;
    };
    std::vector<uint8_t> act(768, 0);
    act[3 * 255] = 10, act[3 * 255 + 1] = 20, act[3 * 255 + 2] = 30;
    std::vector<uint8_t> act4 = act;
    act4.insert(act4.end(), {0, 3, 0xFF, 0xFF});
    act4[6] = 1, act4[7] = 2, act4[8] = 3;
    // A 4-bit BMP with an OS/2 core header (3-byte entries) and biClrUsed 0.
    std::vector<uint8_t> core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 74, 0, 0, 0, 12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 4, 0};
    for (int i = 0; i < 16; ++i) core.insert(core.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i)});
    core.push_back(0);
    const Case cases[] = {
        {Bytes("GIMP Palette\r\nName: Web\r\nColumns: 4\r\n# comment\r\n\r\n  0   0   0\tBlack\r\n255 128 1 Orange\r\n"),
         2, {1, 128, 255, 0}},
        {Bytes("GIMP Palette\n12 34 56"), 1, {56, 34, 12, 0}},
        {Bytes("JASC-PAL\n0100\n3\n1 2 3\n4 5 6\n7 8 9\n"), 3, {9, 8, 7, 0}},
        {act, 256, {30, 20, 10, 0}},
        {act4, 3, {3, 2, 1, 0}},
        {core, 16, {15, 30, 45, 0}},
    };
    for (const Case& c : cases) {
        PaletteEntry back[256];
        std::string reason;
        ASSERT_EQ(Parse(c.data, back, &reason), c.count) << reason;
        EXPECT_EQ(std::memcmp(&back[c.count - 1], &c.last, sizeof c.last), 0) << c.count;
    }
}

TEST(PaletteFile, RefusalsSayWhy) {
    std::string many = "GIMP Palette\n";
    for (int i = 0; i < 300; ++i) many += "1 2 3\n";
    std::vector<uint8_t> wideBmp = bmptest::MakeBmp24(1, 1, [](int, int) { return bmptest::Bgr{1, 2, 3}; });
    std::vector<uint8_t> bigTable = bmptest::MakeBmpHeaders(1, 1);
    bmptest::Put16(bigTable, 28, 8);
    bmptest::Put32(bigTable, 46, 1000);
    std::vector<uint8_t> cut = bmptest::MakeBmpHeaders(1, 1);
    bmptest::Put16(cut, 28, 4);
    struct Case {
        std::vector<uint8_t> data;
        const char* says;
    };
    const Case cases[] = {
        {Bytes(many), "holds 300 colours"},
        {Bytes("JASC-PAL\r\n0100\r\n257\r\n"), "holds 257 colours"},
        {bigTable, "holds 1000 colours"},
        {Bytes("GIMP Palette\n1 2\n"), "line 2"},
        {Bytes("GIMP Palette\n1 2 300\n"), "line 2"},
        {Bytes("GIMP Palette\n# nothing\n"), "no colours"},
        {Bytes("JASC-PAL\n0100\n3\n1 2 3\n"), "colour 2 is missing"},
        {Bytes("JASC-PAL\n0100\n"), "count"},
        {wideBmp, "no colour table"},
        {cut, "runs past"},
        {Bytes("hello"), "not a palette file"},
        {{}, "not a palette file"},
    };
    for (const Case& c : cases) {
        PaletteEntry back[256];
        std::string reason;
        EXPECT_EQ(Parse(c.data, back, &reason), -1) << c.says;
        EXPECT_NE(reason.find(c.says), std::string::npos) << reason;
    }
}

TEST(PaletteFile, FormatOfTheName) {
    EXPECT_EQ(PaletteFormatOfName("a/b.GPL"), kPaletteGpl);
    EXPECT_EQ(PaletteFormatOfName("x.pal"), kPaletteJasc);
    EXPECT_EQ(PaletteFormatOfName("x.Act"), kPaletteAct);
    EXPECT_EQ(PaletteFormatOfName("x.bmp"), kPaletteBmp);
    EXPECT_EQ(PaletteFormatOfName("x.png"), kPalettePng);
    EXPECT_EQ(PaletteFormatOfName("x.gif"), kPaletteUnknown);
    EXPECT_EQ(PaletteFormatOfName("dir.gpl/x"), kPaletteUnknown);
    EXPECT_EQ(PaletteFormatOfName("x.gplx"), kPaletteUnknown);
}

}  // namespace
