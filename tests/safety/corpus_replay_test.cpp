// Replays the fuzz corpora (and the BMP suite) through the fuzz targets' own
// checks, so every input that once found a fault stays a regression test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "desktop/convert_file.h"
#include "bitmap/bitmap.h"
#include "input/input.h"
#include "common/test_image.h"
#include "fuzz/fuzz_checks.h"
#include "mapping/diffusion.h"
#include "quantize/palette.h"
#include "support/bmp_builder.h"
#include "platform/alloc.h"
#include "reference/reference.h"

using namespace bmp256;

namespace {

namespace fs = std::filesystem;

// Every regular file under `directory`, in name order.
std::vector<std::string> FilesUnder(const std::string& directory) {
    std::vector<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file()) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string CorpusDir(const char* target) { return std::string(BMP256_FUZZ_CORPUS_DIR) + "/" + target; }

using Check = const char* (*)(const uint8_t*, size_t);

// Runs `check` on every file; returns how many there were.
size_t Replay(const std::vector<std::string>& files, Check check) {
    for (const std::string& file : files) {
        bool ok = false;
        std::vector<uint8_t> bytes = bmptest::ReadFileBytes(file, &ok);
        EXPECT_TRUE(ok) << file;
        const char* problem = check(bytes.data(), bytes.size());
        EXPECT_EQ(problem, nullptr) << file << ": " << (problem ? problem : "");
    }
    return files.size();
}

TEST(CorpusReplay, ReaderCorpusAndSuite) {
    EXPECT_GT(Replay(FilesUnder(CorpusDir("reader")), CheckBitmapParse), 20u);
    EXPECT_GT(Replay(FilesUnder(BMP256_SUITE_DIR), CheckBitmapParse), 50u);
    EXPECT_GT(Replay(FilesUnder(CorpusDir("reader")), CheckImageRead), 20u);
    EXPECT_GT(Replay(FilesUnder(BMP256_SUITE_DIR), CheckImageRead), 50u);
}

// A file read from disk and the same bytes parsed in memory give the same
// verdict and the same picture.
TEST(CorpusReplay, FileReaderAgreesWithBufferParser) {
    std::vector<std::string> files = FilesUnder(CorpusDir("reader"));
    std::vector<std::string> suite = FilesUnder(BMP256_SUITE_DIR);
    files.insert(files.end(), suite.begin(), suite.end());
    for (const std::string& file : files) {
        std::vector<uint8_t> bytes = bmptest::ReadFileBytes(file);
        Picture parsed, read;
        InputReport parsedReport, readReport;
        const int fromBytes = ParsePicture(bytes.data(), bytes.size(), 0, &parsed, &parsedReport);
        const int fromFile = ReadPicture(file.c_str(), 0, &read, &readReport);
        ASSERT_EQ(fromBytes, fromFile) << file;
        if (fromBytes) {
            EXPECT_EQ(0, std::memcmp(&parsed.info, &read.info, sizeof read.info)) << file;
            EXPECT_EQ(0, std::memcmp(parsed.pixels, read.pixels, read.info.biSizeImage)) << file;
        } else {
            EXPECT_STREQ(parsedReport.reason, readReport.reason) << file;
        }
        FreePicture(&parsed);
        FreePicture(&read);
    }
}

TEST(CorpusReplay, ConversionCorpus) {
    EXPECT_GT(Replay(FilesUnder(CorpusDir("convert")), CheckSmallConversion), 10u);
}

// The fuzz target calls the stages directly; a whole file conversion of the
// same images must give what they give: the palette and indices it checked.
TEST(CorpusReplay, FileConversionMatchesTheStages) {
    bmptest::TempDir dir;
    const std::string source = dir.File("small.bmp"), output = dir.File("small8.bmp");
    for (const std::string& file : FilesUnder(CorpusDir("convert"))) {
        std::vector<uint8_t> bytes = bmptest::ReadFileBytes(file);
        int width = 0, height = 0;
        std::vector<uint8_t> pixels(kSmallImageCapacity);
        BuildSmallImage(bytes.data(), bytes.size(), &width, &height, pixels.data(), pixels.size());
        const int stride = bmptest::Stride24(width);
        std::vector<bmptest::Bgr> image;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = &pixels[size_t(y * stride + 3 * x)];
                image.push_back(bmptest::Bgr{p[0], p[1], p[2]});
            }
        }
        ASSERT_TRUE(bmptest::WriteFileBytes(source, bmptest::MakeBmp24(width, height, image)));
        ASSERT_EQ(1, ConvertFile(source.c_str(), output.c_str())) << file;
        std::vector<uint8_t> written = bmptest::ReadFileBytes(output);
        const size_t indexStride = size_t(width + 3) & ~size_t(3);
        ASSERT_EQ(written.size(), 1078 + indexStride * size_t(height)) << file;

        const BITMAPINFOHEADER info = MakeInfoHeader(width, height);
        const BITMAPINFOHEADER indexInfo = MakeInfoHeader(width, height, 8);
        PaletteEntry palette[kPaletteSize];
        std::memset(palette, 0, sizeof palette);
        ASSERT_EQ(1, reference::BuildPalette(&palette[10], 236, pixels.data(), &info));
        std::vector<uint8_t> indices(indexStride * size_t(height));
        ASSERT_EQ(1, reference::DiffuseToIndices(indices.data(), &indexInfo, palette, 10, 246, pixels.data(), &info));
        for (int slot = 10; slot < 246; ++slot) {
            const uint8_t* entry = &written[54 + 4 * size_t(slot)];
            EXPECT_TRUE(entry[0] == palette[slot].blue && entry[1] == palette[slot].green &&
                        entry[2] == palette[slot].red)
                << file << " slot " << slot;
        }
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const size_t at = size_t(y) * indexStride + size_t(x);
                ASSERT_EQ(written[1078 + at], indices[at]) << file << " at " << x << "," << y;
            }
        }
    }
}

#ifdef BMP256_HAVE_PATH_ROUTINES
TEST(CorpusReplay, PathCorpus) {
    EXPECT_GT(Replay(FilesUnder(CorpusDir("path")), CheckPathRoutines), 10u);
}
#endif

}  // namespace
