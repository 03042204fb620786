// bmp256-convert's reading side: every form of a picture converts to exactly
// the bytes of its canonical twin (the same pixels as a 40-byte, bottom-up,
// uncompressed 24-bit BMP), and every file it cannot read is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#ifdef BMP256_HAVE_PNG
#include <png.h>
#endif
#ifdef BMP256_HAVE_JPEG
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#endif

#include "desktop/convert_file.h"
#include "bitmap/bitmap.h"
#include "input/input.h"
#include "input/decode.h"
#include "support/bmp_builder.h"
#include "support/desktop_conversion.h"
#include "platform/alloc.h"

using namespace bmp256;
using bmptest::Bgr;

namespace {

const std::string kSuite = BMP256_SUITE_DIR;

struct Result {
    int ok;
    std::string reason;
    std::vector<uint8_t> bytes;
};

// bmp256-convert's conversion of `bytes`, over an earlier output, which
// a refused source leaves as it was.
Result ConvertBytes(const std::vector<uint8_t>& bytes) {
    bmptest::TempDir dir;
    std::string in = dir.File("in"), out = dir.File("out.bmp");
    EXPECT_TRUE(bmptest::WriteFileBytes(in, bytes));
    const std::vector<uint8_t> earlier = {1, 2, 3};
    EXPECT_TRUE(bmptest::WriteFileBytes(out, earlier));
    ConvertReport report;
    std::memset(&report, 0, sizeof report);
    Result r{ConvertFileEx(in.c_str(), out.c_str(), &report), report.reason, {}};
    if (r.ok) {
        EXPECT_EQ(report.stage, kConvertDone);
        r.bytes = bmptest::ReadFileBytes(out);
    } else {
        EXPECT_EQ(bmptest::ReadFileBytes(out), earlier) << r.reason;
    }
    return r;
}

// What the desktop program's conversion makes of the canonical twin.
std::vector<uint8_t> TwinOutput(int w, int h, const std::vector<Bgr>& bottomUp) {
    return bmptest::DesktopConversion(bmptest::MakeBmp24(w, h, bottomUp));
}

// Equal from offset 54: the palette and the index rows.
void ExpectSameFrom54(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                      const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    ASSERT_GT(a.size(), 54u) << what;
    EXPECT_TRUE(std::equal(a.begin() + 54, a.end(), b.begin() + 54)) << what;
}

// --- BMP forms built from known pixels -------------------------------------

struct Form {
    const char* name;
    uint32_t headerSize;
    uint16_t bits;
    uint32_t compression;  // 0, 1 (RLE8), 2 (RLE4), 3 (bit fields)
    bool topDown;
    uint32_t masks[4];     // bit fields: red, green, blue, alpha
};

uint8_t Widen5(uint32_t v) { return uint8_t((v << 3) | (v >> 2)); }
uint8_t Widen6(uint32_t v) { return uint8_t((v << 2) | (v >> 4)); }
uint8_t OnWhite(uint8_t c, uint8_t a) { return uint8_t((c * a + 255 * (255 - a) + 127) / 255); }

void Put(std::vector<uint8_t>& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// One RLE row: even rows as runs, odd rows as one literal group.
void RleRow(std::vector<uint8_t>& out, const std::vector<uint32_t>& row, bool four, bool literal) {
    const size_t w = row.size();
    if (literal && w >= 3) {
        out.push_back(0);
        out.push_back(uint8_t(w));
        size_t bytes = four ? (w + 1) / 2 : w;
        for (size_t i = 0; i < bytes; ++i) {
            out.push_back(four ? uint8_t(row[2 * i] << 4 | (2 * i + 1 < w ? row[2 * i + 1] : 0))
                               : uint8_t(row[i]));
        }
        if (bytes % 2) out.push_back(0);
    } else {
        // A run repeats one byte: two alternating indices in RLE4, one in RLE8.
        const size_t step = four ? 2 : 1;
        for (size_t x = 0; x < w; x += step) {
            size_t n = x + 1 < w ? step : 1;
            out.push_back(uint8_t(n));
            out.push_back(four ? uint8_t(row[x] << 4 | (n == 2 ? row[x + 1] : 0)) : uint8_t(row[x]));
        }
    }
    out.push_back(0);
    out.push_back(0);
}

// A BMP of `form`, with seeded pixel values, and the canonical pixels it
// stands for (bottom-up).
std::vector<uint8_t> BuildForm(const Form& f, int w, int h, uint32_t seed, std::vector<Bgr>* want) {
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    const bool pal = f.bits <= 8;
    const uint32_t entries = pal ? 1u << f.bits : 0;
    std::vector<Bgr> palette(entries);
    for (Bgr& e : palette) e = Bgr{uint8_t(next()), uint8_t(next()), uint8_t(next())};

    std::vector<std::vector<uint32_t>> values(h, std::vector<uint32_t>(w));  // file row order
    want->assign(size_t(w) * h, Bgr{});
    for (int fy = 0; fy < h; ++fy) {
        int y = f.topDown ? h - 1 - fy : fy;  // canonical row
        for (int x = 0; x < w; ++x) {
            uint32_t v = next();
            Bgr& o = (*want)[size_t(y) * w + x];
            if (pal) {
                v %= entries;
                o = palette[v];
            } else if (f.bits == 16 && f.compression == 0) {
                v &= 0x7FFF;
                o = Bgr{Widen5(v & 31), Widen5(v >> 5 & 31), Widen5(v >> 10 & 31)};
            } else if (f.bits == 16) {  // 5-6-5
                v &= 0xFFFF;
                o = Bgr{Widen5(v & 31), Widen6(v >> 5 & 63), Widen5(v >> 11 & 31)};
            } else if (f.bits == 24) {
                v &= 0xFFFFFF;
                o = Bgr{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
            } else {  // 32 bits: the top byte is alpha for BI_RGB (not all 0 here) and where a mask says so
                v = v | (next() << 24);
                uint8_t a = uint8_t(v >> 24);
                o = Bgr{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
                if (f.masks[3] || f.compression == 0) {
                    o = Bgr{OnWhite(o.blue, a), OnWhite(o.green, a), OnWhite(o.red, a)};
                }
            }
            values[fy][x] = v;
        }
    }

    std::vector<uint8_t> table;
    for (const Bgr& e : palette) {
        table.insert(table.end(), {e.blue, e.green, e.red});
        if (f.headerSize != 12) table.push_back(0);
    }
    std::vector<uint8_t> masks;
    if (f.compression == 3 && f.headerSize == 40) {
        for (int i = 0; i < 3; ++i) Put(masks, f.masks[i], 4);
    }
    std::vector<uint8_t> rows;
    for (int fy = 0; fy < h; ++fy) {
        if (f.compression == 1 || f.compression == 2) {
            RleRow(rows, values[fy], f.compression == 2, fy % 2 == 1);
            continue;
        }
        std::vector<uint8_t> row;
        if (pal) {
            row.assign((size_t(w) * f.bits + 7) / 8, 0);
            for (int x = 0; x < w; ++x) {
                row[size_t(x) * f.bits / 8] |= uint8_t(values[fy][x] << (8 - f.bits - x * f.bits % 8));
            }
        } else {
            for (int x = 0; x < w; ++x) Put(row, values[fy][x], f.bits / 8);
        }
        row.resize((row.size() + 3) & ~size_t{3}, 0);
        rows.insert(rows.end(), row.begin(), row.end());
    }
    if (f.compression == 1 || f.compression == 2) rows.insert(rows.end(), {0, 1});

    std::vector<uint8_t> b = {'B', 'M'};
    const uint32_t offBits = 14 + f.headerSize + uint32_t(masks.size() + table.size());
    Put(b, offBits + uint32_t(rows.size()), 4);
    Put(b, 0, 4);
    Put(b, offBits, 4);
    Put(b, f.headerSize, 4);
    if (f.headerSize == 12) {
        Put(b, uint32_t(w), 2);
        Put(b, uint32_t(h), 2);
        Put(b, 1, 2);
        Put(b, f.bits, 2);
    } else {
        Put(b, uint32_t(w), 4);
        Put(b, uint32_t(f.topDown ? -h : h), 4);
        Put(b, 1, 2);
        Put(b, f.bits, 2);
        std::vector<uint8_t> rest;
        Put(rest, f.compression, 4);
        Put(rest, uint32_t(rows.size()), 4);
        Put(rest, 2835, 4);
        Put(rest, 2835, 4);
        Put(rest, pal ? entries : 0, 4);
        Put(rest, 0, 4);
        for (int i = 0; i < 4; ++i) Put(rest, f.masks[i], 4);
        rest.resize(f.headerSize - 16, 0);
        b.insert(b.end(), rest.begin(), rest.end());
    }
    b.insert(b.end(), masks.begin(), masks.end());
    b.insert(b.end(), table.begin(), table.end());
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

TEST(ConvertForms, EveryBmpFormGivesItsCanonicalTwinsBytes) {
    const uint32_t k565[4] = {0xF800, 0x07E0, 0x001F, 0};
    const uint32_t k888[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0};
    const uint32_t kArgb[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000};
    const Form forms[] = {
        {"1-bit", 40, 1, 0, false, {}},
        {"2-bit", 40, 2, 0, false, {}},
        {"4-bit", 40, 4, 0, false, {}},
        {"8-bit", 40, 8, 0, false, {}},
        {"8-bit top-down", 40, 8, 0, true, {}},
        {"8-bit OS/2 1.x", 12, 8, 0, false, {}},
        {"8-bit OS/2 2.x, 16-byte header", 16, 8, 0, false, {}},
        {"RLE8", 40, 8, 1, false, {}},
        {"RLE4", 40, 4, 2, false, {}},
        {"16-bit 5-5-5", 40, 16, 0, false, {}},
        {"16-bit 5-6-5 bit fields", 40, 16, 3, false, {k565[0], k565[1], k565[2], 0}},
        {"16-bit 5-6-5, 52-byte header", 52, 16, 3, false, {k565[0], k565[1], k565[2], 0}},
        {"24-bit top-down", 40, 24, 0, true, {}},
        {"24-bit, 108-byte header", 108, 24, 0, false, {}},
        {"24-bit, 124-byte header, top-down", 124, 24, 0, true, {}},
        {"32-bit, fourth byte alpha", 40, 32, 0, false, {}},
        {"32-bit bit fields", 40, 32, 3, false, {k888[0], k888[1], k888[2], 0}},
        {"32-bit, alpha in a 56-byte header", 56, 32, 3, false, {kArgb[0], kArgb[1], kArgb[2], kArgb[3]}},
        {"32-bit, alpha, 124-byte header, top-down", 124, 32, 3, true, {kArgb[0], kArgb[1], kArgb[2], kArgb[3]}},
    };
    const int sizes[][2] = {{1, 1}, {2, 3}, {5, 2}, {7, 5}};
    for (const Form& f : forms) {
        for (const auto& s : sizes) {
            std::vector<Bgr> want;
            std::vector<uint8_t> file = BuildForm(f, s[0], s[1], uint32_t(s[0] * 31 + s[1]), &want);
            std::string what = std::string(f.name) + " " + std::to_string(s[0]) + "x" + std::to_string(s[1]);
            BITMAPINFOHEADER info;
            uint8_t* pixels = nullptr;
            ASSERT_EQ(ParseBitmapAny(file.data(), file.size(), &info, &pixels, nullptr), kBitmapOk) << what;
            EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + info.biSizeImage),
                      bmptest::MakePixelArray(s[0], s[1], want)) << what;
            FreeBytes(pixels);
            Result r = ConvertBytes(file);
            ASSERT_EQ(r.ok, 1) << what << ": " << r.reason;
            ExpectSameFrom54(r.bytes, TwinOutput(s[0], s[1], want), what);
            EXPECT_EQ(bmptest::Get16(r.bytes, 26), 1) << what;        // biPlanes
            EXPECT_EQ(bmptest::Get32(r.bytes, 30), 0u) << what;       // biCompression
            EXPECT_EQ(int32_t(bmptest::Get32(r.bytes, 22)), s[1]) << what;  // positive height
        }
    }
}

// Pixels an RLE stream leaves out are transparent: white on the page.
TEST(ConvertForms, RleLeftOutPixelsAreWhite) {
    std::vector<uint8_t> file = {'B', 'M'};
    Put(file, 0, 4);
    Put(file, 0, 4);
    Put(file, 14 + 40 + 8, 4);
    for (uint32_t v : {40u, 3u, 2u}) Put(file, v, 4);  // 3 x 2
    Put(file, 1 | (8 << 16), 4);
    Put(file, 1, 4);                                  // RLE8
    for (int i = 0; i < 5; ++i) Put(file, i == 3 ? 2 : 0, 4);  // biClrUsed 2
    Put(file, 0x000000FF, 4);                         // colour 0: blue
    Put(file, 0x0000FF00, 4);                         // colour 1: green
    // Green at (0,0), a jump to (2,1), blue there, end of bitmap.
    file.insert(file.end(), {1, 1, 0, 2, 1, 1, 1, 0, 0, 1});
    BITMAPINFOHEADER info;
    uint8_t* pixels = nullptr;
    ASSERT_EQ(ParseBitmapAny(file.data(), file.size(), &info, &pixels, nullptr), kBitmapOk);
    const std::vector<uint8_t> want = bmptest::MakePixelArray(3, 2, std::vector<Bgr>{
        {0, 255, 0}, {255, 255, 255}, {255, 255, 255},
        {255, 255, 255}, {255, 255, 255}, {255, 0, 0}});
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + info.biSizeImage), want);
    FreeBytes(pixels);
}

// Encoders that code the row padding as pixels: what runs past the right
// edge is dropped, so the file converts as the one without it.
TEST(ConvertForms, RlePixelsPastTheRightEdgeAreDropped) {
    for (uint32_t compression : {1u, 2u}) {
        const Form rle{"", 40, uint16_t(compression == 1 ? 8 : 4), compression, false, {}};
        std::vector<Bgr> want;
        std::vector<uint8_t> file = BuildForm(rle, 5, 5, 7, &want);
        const Result clean = ConvertBytes(file);
        file[file.size() - 4] = 200;  // the last row's end-of-line becomes a run of 200
        const Result padded = ConvertBytes(file);
        ASSERT_EQ(padded.ok, 1) << compression << ": " << padded.reason;
        EXPECT_EQ(padded.bytes, clean.bytes) << compression;
    }
}

TEST(ConvertForms, DamagedFormsAreRefusedWithAReason) {
    const Form pal8{"", 40, 8, 0, false, {}};
    const Form rle8{"", 40, 8, 1, false, {}};
    std::vector<Bgr> want;
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> bend;
        const char* reason;  // the start of it
    };
    const Case cases[] = {
        {"depth", [](std::vector<uint8_t>& b) { bmptest::Put16(b, 28, 7); }, "7 bits per pixel is not read"},
        {"header size", [](std::vector<uint8_t>& b) { bmptest::Put32(b, 14, 66); }, "a 66-byte info header"},
        {"colour table past the end", [](std::vector<uint8_t>& b) { bmptest::Put32(b, 46, 1u << 30); },
         "the colour table (1073741824 entries)"},
        {"index past the table", [](std::vector<uint8_t>& b) { bmptest::Put32(b, 46, 1); },
         "a pixel uses colour"},
        {"cut short", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }, "the pixel data is 1 byte short"},
        {"RLE top-down", [](std::vector<uint8_t>& b) { bmptest::Put32(b, 22, uint32_t(-5)); },
         "a run-length compressed bitmap cannot be top-down"},
        {"RLE run past the last row",
         [](std::vector<uint8_t>& b) { b[b.size() - 2] = 1, b[b.size() - 1] = 0; },
         "the run-length data runs past the last row"},
        {"RLE claims far more pixels than its data",
         [](std::vector<uint8_t>& b) { bmptest::Put32(b, 18, 10000); bmptest::Put32(b, 22, 10000); },
         "the run-length data ("},
        {"RLE claims more pixels than the limit",
         [](std::vector<uint8_t>& b) { bmptest::Put32(b, 18, 20000); bmptest::Put32(b, 22, 20000); },
         "the run-length BMP claims 20000 x 20000 pixels, more than the limit of 179 megapixels"},
        {"bit fields on 8 bits", [](std::vector<uint8_t>& b) { bmptest::Put32(b, 30, 3); },
         "bit fields need 16 or 32 bits"},
    };
    for (const Case& c : cases) {
        bool rle = std::strncmp(c.name, "RLE", 3) == 0;
        std::vector<uint8_t> file = BuildForm(rle ? rle8 : pal8, 5, 5, 7, &want);
        c.bend(file);
        Result r = ConvertBytes(file);
        EXPECT_EQ(r.ok, 0) << c.name;
        EXPECT_EQ(r.reason.rfind(c.reason, 0), 0u) << c.name << ": " << r.reason;
    }
    Result text = ConvertBytes({'h', 'i', '\n'});
    EXPECT_EQ(text.ok, 0);
    EXPECT_EQ(text.reason.rfind("not an image this program reads (it reads BMP", 0), 0u) << text.reason;
    EXPECT_EQ(ConvertBytes({}).ok, 0);
}

// --- The suite -------------------------------------------------------------

std::vector<uint8_t> ConvertSuiteFile(const std::string& file, std::string* reason) {
    bool ok = false;
    Result r = ConvertBytes(bmptest::ReadFileBytes(kSuite + "/" + file, &ok));
    EXPECT_TRUE(ok) << file;
    *reason = r.reason;
    return r.bytes;
}

// Files of b/ whose damage is in a field the picture does not depend on (the
// planes, the resolution, bfSize, biSizeImage): they read as the picture of
// g/pal1.bmp, which other readers show too.
const std::set<std::string> kReadAsGood = {"b/badplanes.bmp", "b/badfilesize.bmp", "b/baddens1.bmp",
                                           "b/baddens2.bmp", "b/badbitssize.bmp"};

// Files of the suite that hold the same picture in different forms convert
// to the same palette and indices.
TEST(ConvertForms, SuiteFamiliesGiveTheSameBytes) {
    std::vector<std::vector<std::string>> families = {
        {"g/pal8.bmp", "g/pal8-0.bmp", "g/pal8os2.bmp", "g/pal8rle.bmp", "g/pal8topdown.bmp",
         "g/pal8v4.bmp", "g/pal8v5.bmp", "q/pal8offs.bmp", "q/pal8os2sp.bmp", "q/pal8os2v2.bmp",
         "q/pal8os2v2-16.bmp", "q/pal8oversizepal.bmp"},
        {"g/rgb24.bmp", "g/rgb24pal.bmp", "g/rgb32.bmp", "g/rgb32bf.bmp", "g/rgb32bfdef.bmp",
         "q/rgb24prof.bmp", "q/rgb32-xbgr.bmp", "q/rgb32h52.bmp"},
        {"g/pal4.bmp", "g/pal4rle.bmp"},
        {"g/rgb16.bmp", "g/rgb16bfdef.bmp", "q/rgba16-5551.bmp"},
        {"g/rgb16-565.bmp", "g/rgb16-565pal.bmp"},
        {"q/rgba32-1.bmp", "q/rgba32-2.bmp", "q/rgba32abf.bmp", "q/rgba32h56.bmp"},
        {"g/pal1.bmp"},
    };
    families.back().insert(families.back().end(), kReadAsGood.begin(), kReadAsGood.end());
    for (const auto& family : families) {
        std::string reason;
        std::vector<uint8_t> first = ConvertSuiteFile(family[0], &reason);
        ASSERT_FALSE(first.empty()) << family[0] << ": " << reason;
        for (size_t i = 1; i < family.size(); ++i) {
            ExpectSameFrom54(ConvertSuiteFile(family[i], &reason), first, family[i]);
        }
    }
}

// Whatever the one-block reader reads converts, with every index in the
// picked colours' slots; anything else is refused with a reason.
TEST(ConvertForms, EverySuiteFileConvertsOrIsRefused) {
    // What no mainstream reader shows, or this one does not read, in q/.
    std::set<std::string> refusedQ = {"q/pal1huffmsb.bmp", "q/rgb24rle24.bmp", "q/rgba64.bmp"};
    if (!std::strstr(DecodedFormats(), "JPEG")) refusedQ.insert("q/rgb24jpeg.bmp");
    if (!std::strstr(DecodedFormats(), "PNG")) refusedQ.insert("q/rgb24png.bmp");
    namespace fs = std::filesystem;
    int files = 0;
    for (const char* dir : {"g", "q", "b", "x"}) {
        for (const auto& entry : fs::directory_iterator(kSuite + "/" + dir)) {
            const std::string file = std::string(dir) + "/" + entry.path().filename().string();
            ++files;
            std::string reason;
            const std::vector<uint8_t> out = ConvertSuiteFile(file, &reason);
            const bool converted = !out.empty();
            const bool refuse = (dir[0] == 'b' && !kReadAsGood.count(file)) || dir[0] == 'x' || refusedQ.count(file) > 0;
            EXPECT_EQ(converted, !refuse) << file << ": " << reason;
            BITMAPINFOHEADER info;
            uint8_t* pixels = ReadBitmap24((kSuite + "/" + file).c_str(), &info);
            EXPECT_EQ(pixels != nullptr, converted) << file;
            FreeBytes(pixels);
            if (!converted) {
                EXPECT_NE(reason, "") << file;
                continue;
            }
            ASSERT_GE(out.size(), 1078u) << file;
            for (size_t i = 1078; i < out.size(); ++i) ASSERT_LE(out[i], 245) << file;
        }
    }
    EXPECT_GT(files, 50);
}

// --- PNG and JPEG ----------------------------------------------------------

#ifdef BMP256_HAVE_PNG
// A PNG of `channels` (1 grey, 3 colour, 4 with alpha) made by libpng from
// top-down samples.
std::vector<uint8_t> EncodePng(int w, int h, int channels, const std::vector<uint8_t>& samples) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = uint32_t(w);
    image.height = uint32_t(h);
    image.format = channels == 1 ? PNG_FORMAT_GRAY : channels == 3 ? PNG_FORMAT_BGR : PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, samples.data(), 0, nullptr));
    std::vector<uint8_t> out(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, samples.data(), 0, nullptr));
    out.resize(size);
    return out;
}

TEST(ConvertForms, PngGivesItsCanonicalTwinsBytes) {
    const int sizes[][2] = {{1, 1}, {3, 2}, {7, 5}, {33, 17}};
    for (int channels : {1, 3, 4}) {
        for (const auto& s : sizes) {
            const int w = s[0], h = s[1];
            std::vector<uint8_t> samples;
            std::vector<Bgr> twin(size_t(w) * h);  // bottom-up
            uint32_t state = uint32_t(w * 97 + h + channels);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    uint8_t v[4];
                    for (uint8_t& c : v) c = uint8_t((state = state * 1103515245u + 12345u) >> 16);
                    if (channels == 1) v[1] = v[2] = v[0];
                    samples.insert(samples.end(), v, v + channels);
                    Bgr& t = twin[size_t(h - 1 - y) * w + x];
                    t = Bgr{v[0], v[1], v[2]};
                    if (channels == 4) t = Bgr{OnWhite(v[0], v[3]), OnWhite(v[1], v[3]), OnWhite(v[2], v[3])};
                }
            }
            const std::string what = std::to_string(channels) + " channels " + std::to_string(w) + "x" + std::to_string(h);
            Result r = ConvertBytes(EncodePng(w, h, channels, samples));
            ASSERT_EQ(r.ok, 1) << what << ": " << r.reason;
            ExpectSameFrom54(r.bytes, TwinOutput(w, h, twin), what);
        }
    }
    std::vector<uint8_t> cut = EncodePng(9, 9, 3, std::vector<uint8_t>(243, 9));
    cut.resize(cut.size() - 20);
    Result r = ConvertBytes(cut);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.reason.rfind("the PNG cannot be read", 0), 0u) << r.reason;
}
#endif

#ifdef BMP256_HAVE_JPEG
std::vector<Bgr> Noise(int w, int h, uint32_t seed) {
    std::vector<Bgr> p(size_t(w) * h);
    bmptest::PixelFunction f = bmptest::NoisePixels(seed);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) p[size_t(y) * w + x] = f(x, y);
    }
    return p;
}

std::vector<uint8_t> EncodeJpeg(int w, int h, const std::vector<Bgr>& topDown, bool progressive = false) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&topDown[size_t(c.next_scanline) * w].blue);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

TEST(ConvertForms, JpegGivesTheTwinOfItsDecodedPixels) {
    static_assert(sizeof(Bgr) == 3, "rows of Bgr are the encoder's input rows");
    const int sizes[][2] = {{1, 1}, {5, 3}, {17, 9}, {31, 33}};
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        std::vector<Bgr> smooth(size_t(w) * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) smooth[size_t(y) * w + x] = bmptest::GradientPixel(x, y, w, h);
        }
        std::vector<uint8_t> jpeg = EncodeJpeg(w, h, smooth);
        const std::string what = std::to_string(w) + "x" + std::to_string(h);
        BITMAPINFOHEADER info;
        uint8_t* pixels = nullptr;
        ASSERT_EQ(DecodeImage(jpeg.data(), jpeg.size(), 0, &info, &pixels, nullptr), kDecodeOk) << what;
        std::vector<Bgr> twin(size_t(w) * h);
        const int32_t stride = RowStride(&info);
        long error = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = pixels + size_t(y) * stride + 3 * x;
                twin[size_t(y) * w + x] = Bgr{p[0], p[1], p[2]};
                const Bgr& was = smooth[size_t(h - 1 - y) * w + x];  // the file is top-down
                error += std::abs(p[0] - was.blue) + std::abs(p[1] - was.green) + std::abs(p[2] - was.red);
            }
        }
        FreeBytes(pixels);
        // A lossy copy of the picture, not of another one (rows flipped or
        // channels swapped).
        EXPECT_LT(error, 48L * w * h) << what;
        Result r = ConvertBytes(jpeg);
        ASSERT_EQ(r.ok, 1) << what << ": " << r.reason;
        ExpectSameFrom54(r.bytes, TwinOutput(w, h, twin), what);
    }
    // libjpeg's own buffers out of memory (JPEGMEM, in kilobytes, below what
    // a progressive picture's coefficients need): memory, like any other.
    const std::vector<uint8_t> progressive = EncodeJpeg(256, 256, Noise(256, 256, 5), true);
    Result r;
    setenv("JPEGMEM", "10", 1);
    r = ConvertBytes(progressive);
    unsetenv("JPEGMEM");
    EXPECT_EQ(r.reason, "not enough memory for the image");
    EXPECT_EQ(ConvertBytes(progressive).ok, 1);
    std::vector<uint8_t> cut = EncodeJpeg(16, 16, Noise(16, 16, 4));
    cut.resize(cut.size() / 2);
    r = ConvertBytes(cut);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.reason.rfind("the JPEG cannot be read", 0), 0u) << r.reason;
}
#endif

}  // namespace
