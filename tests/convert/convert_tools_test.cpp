// Files as common tools write them read as viewers show them: each is made
// here (by ImageMagick, libpng or Little CMS) and converts to the bytes of
// the twin ImageMagick makes of it, or, where two colour engines meet, to
// pixels within their rounding of ImageMagick's.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>
#ifdef BMP256_HAVE_LCMS2
#include <lcms2.h>
#endif

#include "convert/convert.h"
#include "input/decode.h"
#include "input/input.h"
#include "platform/alloc.h"
#include "support/bmp_builder.h"

using namespace bmp256;

namespace {

// Two colour engines (ours and ImageMagick's, at 16 bits per sample) may
// round each sample of a converted colour apart by this much.
constexpr int kEngineTolerance = 2;

// ImageMagick's command, or empty where it is not installed.
const std::string& MagickCommand() {
    static const std::string command = [] {
        if (std::system("command -v magick >/dev/null 2>&1") == 0) return std::string("magick");
        if (std::system("command -v convert >/dev/null 2>&1") == 0) return std::string("convert");
        return std::string();
    }();
    return command;
}

#define REQUIRE_MAGICK()                                                                    \
    if (MagickCommand().empty()) GTEST_SKIP() << "ImageMagick is not installed (Debian: imagemagick)"

void Magick(const std::string& arguments) {
    const std::string command = MagickCommand() + " " + arguments;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

struct Result {
    int ok;
    std::string reason;
    std::vector<uint8_t> bytes;
};

// bmp256-convert's reading and conversion of the file `path`.
Result Convert(const std::string& path, const ReadOptions& read = ReadOptions()) {
    Picture picture;
    InputReport input;
    if (!ReadPicture(path.c_str(), 0, &picture, &input, &read)) return Result{0, input.reason, {}};
    Conversion conversion;
    ConvertReport report;
    std::memset(&report, 0, sizeof report);
    Result r{ConvertPicture(&picture, nullptr, &conversion, &report), report.reason, {}};
    FreePicture(&picture);
    if (!r.ok) return r;
    const std::string out = path + ".out.bmp";
    EXPECT_EQ(WriteBitmap8(out.c_str(), conversion.indices, conversion.palette, &conversion.info), 1);
    FreeConversion(&conversion);
    r.bytes = bmptest::ReadFileBytes(out);
    return r;
}

// The output of `path` and of its twin hold the same picture: size,
// palette and indices (the headers' resolutions may differ).
void ExpectSameOutput(const std::string& path, const std::string& twin, const std::string& what,
                      const ReadOptions& read = ReadOptions()) {
    const Result a = Convert(path, read), b = Convert(twin);
    ASSERT_EQ(a.ok, 1) << what << ": " << a.reason;
    ASSERT_EQ(b.ok, 1) << what << ": " << b.reason;
    ASSERT_EQ(a.bytes.size(), b.bytes.size()) << what;
    EXPECT_EQ(bmptest::Get32(a.bytes, 18), bmptest::Get32(b.bytes, 18)) << what;
    EXPECT_TRUE(std::equal(a.bytes.begin() + 54, a.bytes.end(), b.bytes.begin() + 54)) << what;
}

struct Canonical {
    BITMAPINFOHEADER info;
    std::vector<uint8_t> pixels;
};

// The canonical picture the input layer reads from a file of any form.
Canonical Decode(const std::string& path) {
    const std::vector<uint8_t> data = bmptest::ReadFileBytes(path);
    Canonical c;
    std::memset(&c.info, 0, sizeof c.info);
    uint8_t* pixels = nullptr;
    bool ok = data.size() > 2 && data[0] == 'B'
                  ? ParseBitmapAny(data.data(), data.size(), &c.info, &pixels, nullptr) == kBitmapOk
                  : DecodeImage(data.data(), data.size(), 0, &c.info, &pixels, nullptr) == kDecodeOk;
    EXPECT_TRUE(ok) << path;
    if (ok) c.pixels.assign(pixels, pixels + c.info.biSizeImage);
    FreeBytes(pixels);
    return c;
}

int LargestDifference(const Canonical& a, const Canonical& b) {
    EXPECT_EQ(a.info.biWidth, b.info.biWidth);
    EXPECT_EQ(a.info.biHeight, b.info.biHeight);
    if (a.pixels.size() != b.pixels.size()) return 256;
    int most = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) most = std::max(most, std::abs(a.pixels[i] - b.pixels[i]));
    return most;
}

// An EXIF block (the TIFF structure): IFD 0 holding the SHORT and RATIONAL
// entries given (tag, value; a rational's denominator is 1).
struct Tag {
    uint16_t tag;
    uint16_t type;  // 3 SHORT, 5 RATIONAL
    uint32_t value;
};

std::vector<uint8_t> ExifTiff(const std::vector<Tag>& tags) {
    std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&tiff](uint32_t v) { tiff.push_back(uint8_t(v)), tiff.push_back(uint8_t(v >> 8)); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
    put16(uint32_t(tags.size()));
    uint32_t extra = uint32_t(8 + 2 + 12 * tags.size() + 4);  // where rationals go
    for (const Tag& t : tags) {
        put16(t.tag), put16(t.type), put32(1);
        if (t.type == 3) {
            put16(t.value), put16(0);
        } else {
            put32(extra);
            extra += 8;
        }
    }
    put32(0);
    for (const Tag& t : tags) {
        if (t.type == 5) put32(t.value), put32(1);
    }
    return tiff;
}

// `jpeg` with the EXIF block in an APP1 segment after its SOI.
std::vector<uint8_t> WithExif(const std::vector<uint8_t>& jpeg, const std::vector<Tag>& tags) {
    const std::vector<uint8_t> tiff = ExifTiff(tags);
    const size_t length = 2 + 6 + tiff.size();
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length), 'E', 'x', 'i', 'f', 0, 0});
    out.insert(out.end(), tiff.begin(), tiff.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// `png` with the EXIF block in an eXIf chunk after its IHDR.
std::vector<uint8_t> PngWithExif(const std::vector<uint8_t>& png, const std::vector<Tag>& tags) {
    auto put = [](std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (24 - 8 * i));
    };
    std::vector<uint8_t> chunk = {0, 0, 0, 0, 'e', 'X', 'I', 'f'};
    const std::vector<uint8_t> tiff = ExifTiff(tags);
    chunk.insert(chunk.end(), tiff.begin(), tiff.end());
    put(chunk, 0, uint32_t(tiff.size()));
    uint32_t crc = 0xFFFFFFFF;  // over the type and the data
    for (size_t i = 4; i < chunk.size(); ++i) {
        crc ^= chunk[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    chunk.resize(chunk.size() + 4);
    put(chunk, chunk.size() - 4, ~crc);
    std::vector<uint8_t> out = png;
    out.insert(out.begin() + 33, chunk.begin(), chunk.end());  // after the signature and IHDR
    return out;
}

std::string Write(const bmptest::TempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(bmptest::WriteFileBytes(path, bytes));
    return path;
}

// An asymmetric picture, so that every turn and mirror shows.
const char kPicture[] = "-size 40x24 gradient:red-blue -fill lime -draw \"rectangle 0,0 9,5\"";

// --- orientation ----------------------------------------------------------

TEST(CommonTools, EveryExifOrientationMatchesImageMagicksAutoOrient) {
    REQUIRE_MAGICK();
    bmptest::TempDir dir;
    Magick(std::string(kPicture) + " -sampling-factor 1x1 -quality 95 " + dir.File("plain.jpg"));
    const std::vector<uint8_t> plain = bmptest::ReadFileBytes(dir.File("plain.jpg"));
    for (uint32_t orientation = 1; orientation <= 8; ++orientation) {
        const std::string name = "o" + std::to_string(orientation);
        const std::string photo = Write(dir, name + ".jpg", WithExif(plain, {{0x112, 3, orientation}}));
        const std::string twin = dir.File(name + "-twin.bmp");
        Magick(photo + " -auto-orient -type TrueColor BMP3:" + twin);
        ExpectSameOutput(photo, twin, name);
        ReadOptions stored;
        stored.autoOrient = false;
        ExpectSameOutput(photo, dir.File("plain.jpg"), name + " --no-auto-orient", stored);
    }
    // A PNG's eXIf chunk is read too: 6 turns the picture a quarter clockwise.
    Magick(std::string(kPicture) + " " + dir.File("plain.png"));
    Magick(dir.File("plain.png") + " -rotate 90 -type TrueColor BMP3:" + dir.File("png-twin.bmp"));
    const std::string png = Write(dir, "o6.png", PngWithExif(bmptest::ReadFileBytes(dir.File("plain.png")),
                                                             {{0x112, 3, 6}}));
    ExpectSameOutput(png, dir.File("png-twin.bmp"), "PNG eXIf 6");
}

// --- run-length files ImageMagick writes -------------------------------------

// The twin is the picture ImageMagick meant to write: its own reader shows
// the top rows of its 1- and 2-pixel-wide RLE8 files wrong.
TEST(CommonTools, ImageMagicksRle8AtEveryWidthTo40) {
    REQUIRE_MAGICK();
    bmptest::TempDir dir;
    for (int width = 1; width <= 40; ++width) {
        const std::string what = "width " + std::to_string(width);
        const std::string rle = dir.File("rle.bmp"), twin = dir.File("twin.bmp");
        Magick("-size " + std::to_string(width) + "x40 gradient:navy-orange -colors 256 -write " +
               rle + " -type TrueColor BMP3:" + twin);
        ASSERT_EQ(bmptest::Get32(bmptest::ReadFileBytes(rle), 30), 1u) << what << ": not RLE8";
        ExpectSameOutput(rle, twin, what);
    }
}

// --- JPEG warnings --------------------------------------------------------

TEST(CommonTools, PaddingBeforeTheEndMarkerIsReadAndACutStreamIsNot) {
    REQUIRE_MAGICK();
    bmptest::TempDir dir;
    Magick(std::string(kPicture) + " " + dir.File("clean.jpg"));
    std::vector<uint8_t> jpeg = bmptest::ReadFileBytes(dir.File("clean.jpg"));
    ASSERT_GT(jpeg.size(), 100u);
    std::vector<uint8_t> padded = jpeg;
    padded.insert(padded.end() - 2, 0x00);  // "1 extraneous bytes before marker 0xd9"
    ExpectSameOutput(Write(dir, "padded.jpg", padded), dir.File("clean.jpg"), "padded");
    jpeg.resize(jpeg.size() * 2 / 3);
    const Result cut = Convert(Write(dir, "cut.jpg", jpeg));
    EXPECT_EQ(cut.ok, 0);
    EXPECT_NE(cut.reason.find("the JPEG cannot be read"), std::string::npos) << cut.reason;
}

// --- colour: CMYK and profiles ---------------------------------------------

TEST(CommonTools, CmykJpegMatchesImageMagicksSrgb) {
    REQUIRE_MAGICK();
    bmptest::TempDir dir;
    const std::string cmyk = dir.File("cmyk.jpg"), twin = dir.File("twin.bmp");
    Magick("-size 48x32 gradient:navy-orange -colorspace CMYK -quality 95 " + cmyk);
    Magick(cmyk + " -colorspace sRGB -type TrueColor BMP3:" + twin);
    EXPECT_LE(LargestDifference(Decode(cmyk), Decode(twin)), kEngineTolerance);
}

#ifdef BMP256_HAVE_LCMS2
bool SaveProfile(cmsHPROFILE profile, const std::string& path) {
    const bool ok = profile && cmsSaveProfileToFile(profile, path.c_str());
    if (profile) cmsCloseProfile(profile);
    return ok;
}

// Display P3: the P3 primaries and D65 white, with sRGB's tone curve.
cmsHPROFILE MakeDisplayP3() {
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p3 = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return p3;
}

TEST(CommonTools, P3PngMatchesImageMagicksSrgbAndDiffersFromItsNumbers) {
    REQUIRE_MAGICK();
    bmptest::TempDir dir;
    const std::string p3 = dir.File("p3.icc"), srgb = dir.File("srgb.icc");
    ASSERT_TRUE(SaveProfile(MakeDisplayP3(), p3));
    ASSERT_TRUE(SaveProfile(cmsCreate_sRGBProfile(), srgb));
    const std::string png = dir.File("p3.png"), twin = dir.File("twin.bmp"), raw = dir.File("raw.bmp");
    Magick("-size 48x32 gradient:red-lime -profile " + p3 + " " + png);
    Magick(png + " -profile " + srgb + " -type TrueColor BMP3:" + twin);
    Magick(png + " +profile '*' -type TrueColor BMP3:" + raw);
    const Canonical ours = Decode(png);
    EXPECT_LE(LargestDifference(ours, Decode(twin)), kEngineTolerance);
    EXPECT_GT(LargestDifference(ours, Decode(raw)), 10) << "the profile made no difference";
}

// A CMYK JPEG that carries its profile goes through it.
TEST(CommonTools, CmykJpegWithItsProfileMatchesImageMagicksSrgb) {
    REQUIRE_MAGICK();
    const std::string cmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
    if (!bmptest::FileExists(cmykProfile)) GTEST_SKIP() << cmykProfile << " missing (Debian: libgs-common)";
    bmptest::TempDir dir;
    const std::string srgb = dir.File("srgb.icc"), cmyk = dir.File("cmyk.jpg"), twin = dir.File("twin.bmp");
    ASSERT_TRUE(SaveProfile(cmsCreate_sRGBProfile(), srgb));
    Magick("-size 48x32 gradient:navy-orange -colorspace CMYK -profile " + cmykProfile + " -quality 95 " + cmyk);
    Magick(cmyk + " -profile " + srgb + " -type TrueColor BMP3:" + twin);
    EXPECT_LE(LargestDifference(Decode(cmyk), Decode(twin)), kEngineTolerance);
}
#endif

// --- header fields ----------------------------------------------------------

TEST(CommonTools, OutputCarriesThePicturesResolution) {
    REQUIRE_MAGICK();
    bmptest::TempDir dir;
    Magick(std::string(kPicture) + " -units PixelsPerInch -density 72 " + dir.File("dpi.jpg"));
    Magick(std::string(kPicture) + " -units PixelsPerCentimeter -density 40 " + dir.File("dpcm.jpg"));
    Magick(std::string(kPicture) + " -units Undefined -density 1 " + dir.File("none.jpg"));
    const std::vector<uint8_t> none = bmptest::ReadFileBytes(dir.File("none.jpg"));
    Write(dir, "exif.jpg", WithExif(none, {{0x11A, 5, 300}, {0x11B, 5, 150}, {0x128, 3, 2}}));
    // A BMP that embeds a PNG (of 40 dots per centimetre): the BMP's own resolution.
    Magick(std::string(kPicture) + " -units PixelsPerCentimeter -density 40 " + dir.File("in.png"));
    const std::vector<uint8_t> png = bmptest::ReadFileBytes(dir.File("in.png"));
    bmptest::BmpOptions options;
    options.compression = 5;
    options.xPelsPerMeter = 1234;
    options.yPelsPerMeter = 5678;
    std::vector<uint8_t> bmp = bmptest::MakeBmpHeaders(40, 24, options);
    bmptest::Put32(bmp, 34, uint32_t(png.size()));
    bmp.insert(bmp.end(), png.begin(), png.end());
    Write(dir, "embedded.bmp", bmp);
    const struct { const char* file; uint32_t x, y; } cases[] = {
        {"dpi.jpg", 2835, 2835}, {"dpcm.jpg", 4000, 4000}, {"exif.jpg", 11811, 5906}, {"in.png", 4000, 4000},
        {"embedded.bmp", 1234, 5678}};
    for (const auto& c : cases) {
        const Result r = Convert(dir.File(c.file));
        ASSERT_EQ(r.ok, 1) << c.file << ": " << r.reason;
        EXPECT_EQ(bmptest::Get32(r.bytes, 38), c.x) << c.file;
        EXPECT_EQ(bmptest::Get32(r.bytes, 42), c.y) << c.file;
    }
}

TEST(CommonTools, ColourCountsOfAPalettedSourceAreNotCarriedOver) {
    REQUIRE_MAGICK();
    bmptest::TempDir dir;
    Magick("-size 40x24 gradient:red-blue -colors 16 BMP3:" + dir.File("pal.bmp"));
    ASSERT_NE(bmptest::Get32(bmptest::ReadFileBytes(dir.File("pal.bmp")), 46), 0u);
    const Result pal = Convert(dir.File("pal.bmp"));
    ASSERT_EQ(pal.ok, 1) << pal.reason;
    EXPECT_EQ(bmptest::Get32(pal.bytes, 46), 0u);  // biClrUsed
    EXPECT_EQ(bmptest::Get32(pal.bytes, 50), 0u);  // biClrImportant
}

// --- transparency and palettes, from files made here -------------------------

// A 32-bit BMP with compression 0 whose fourth bytes are `alpha`.
std::vector<uint8_t> Bmp32(const std::vector<bmptest::Bgr>& colours, const std::vector<uint8_t>& alpha) {
    bmptest::BmpOptions options;
    options.bitCount = 32;
    std::vector<uint8_t> b = bmptest::MakeBmpHeaders(int32_t(colours.size()), 1, options);
    bmptest::Put32(b, 34, uint32_t(4 * colours.size()));
    for (size_t i = 0; i < colours.size(); ++i) {
        b.insert(b.end(), {colours[i].blue, colours[i].green, colours[i].red, alpha[i]});
    }
    bmptest::Put32(b, 2, uint32_t(b.size()));
    return b;
}

TEST(CommonTools, AlphaOfA32BitBmpIsLaidOntoTheBackground) {
    const std::vector<bmptest::Bgr> colours = {{0, 0, 255}, {255, 0, 0}, {10, 200, 30}};
    const std::vector<uint8_t> alpha = {0, 128, 255};
    struct Case {
        const char* what;
        std::vector<uint8_t> alpha;
        bmptest::Bgr background;
    };
    const Case cases[] = {
        {"opaque: every fourth byte 0", {0, 0, 0}, {255, 255, 255}},
        {"alpha on white", alpha, {255, 255, 255}},
        {"alpha on navy", alpha, {128, 0, 0}},
    };
    for (const Case& c : cases) {
        const bool opaque = c.alpha[0] == 0 && c.alpha[1] == 0;
        std::vector<bmptest::Bgr> shown;
        for (size_t i = 0; i < colours.size(); ++i) {
            auto on = [&](uint8_t colour, uint8_t back) {
                return opaque ? colour : CompositeOn(colour, c.alpha[i], back);
            };
            shown.push_back({on(colours[i].blue, c.background.blue),
                             on(colours[i].green, c.background.green),
                             on(colours[i].red, c.background.red)});
        }
        bmptest::TempDir dir;
        ReadOptions read;
        read.background[0] = c.background.blue;
        read.background[1] = c.background.green;
        read.background[2] = c.background.red;
        ExpectSameOutput(Write(dir, "rgba.bmp", Bmp32(colours, c.alpha)),
                         Write(dir, "twin.bmp", bmptest::MakeBmp24(3, 1, shown)), c.what, read);
    }
    EXPECT_EQ(CompositeOn(0, 128, 255), 127);
    EXPECT_EQ(CompositeOn(200, 0, 17), 17);
}

// A palette PNG of `count` grey entries whose one row is `indices`.
std::vector<uint8_t> PalettePng(int count, const std::vector<uint8_t>& indices) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + length);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(indices.size()), 1, 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (int i = 0; i < count; ++i) palette.push_back({uint8_t(i * 40), uint8_t(i * 40), uint8_t(i * 40)});
    png_set_PLTE(png, info, palette.data(), count);
#ifdef PNG_CHECK_FOR_INVALID_INDEX_SUPPORTED
    png_set_check_for_invalid_index(png, 0);
#endif
    png_write_info(png, info);
    std::vector<uint8_t> row = indices;
    png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST(CommonTools, PngPixelThatItsPaletteLacksIsRefusedAsInABmp) {
    bmptest::TempDir dir;
    const Result good = Convert(Write(dir, "good.png", PalettePng(3, {0, 1, 2, 1})));
    EXPECT_EQ(good.ok, 1) << good.reason;
    const Result bad = Convert(Write(dir, "bad.png", PalettePng(3, {0, 1, 5, 1})));
    EXPECT_EQ(bad.ok, 0);
    EXPECT_EQ(bad.reason, "a pixel uses colour 5, the colour table has 3 entries");
}

}  // namespace
