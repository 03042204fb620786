// The fast mapping against the plain one, byte for byte, on odd sizes and
// several thread counts, with and without the colour table (one, shared by
// all workers, filled a 4x4x4 block of colours at a time, with a map of the
// blocks that have a single slot in front; used from 2^17 pixels on).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/test_image.h"
#include "mapping/diffusion.h"
#include "mapping/grid.h"
#include "util/worker_threads.h"
#include "quantize/palette.h"
#include "platform/alloc.h"
#include "reference/reference.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

struct Mapped {
    int result;
    std::vector<uint8_t> indices;
};

BITMAPINFOHEADER IndexHeader(const TestImage& image) {
    BITMAPINFOHEADER out = image.info;
    out.biBitCount = 8;
    return out;
}

// Threads of none: the plain mapping.
constexpr int kPlain = -1;

// The indices of `image` over slots [first, end), by the plain mapping or the
// fast one with `threads` threads; bytes left unwritten stay 0xA5.
Mapped Map(const TestImage& image, const PaletteEntry* palette, int first, int end, int threads = kPlain) {
    const BITMAPINFOHEADER out = IndexHeader(image);
    Mapped m{0, std::vector<uint8_t>(size_t(ImageSize(&out)), 0xA5)};
    const DiffusionOptions options{threads, kColorCacheAuto};
    m.result = threads == kPlain
                   ? reference::DiffuseToIndices(m.indices.data(), &out, palette, first, end, image.pixels.data(), &image.info)
                   : DiffuseToIndices(m.indices.data(), &out, palette, first, end, image.pixels.data(), &image.info,
                                      &options);
    return m;
}

// Empty string when equal, else where the first difference lies.
std::string FirstMismatch(const TestImage& image, const Mapped& want, const Mapped& got) {
    if (want.result != got.result) return "results differ";
    const BITMAPINFOHEADER out = IndexHeader(image);
    const int32_t stride = RowStride(&out);
    for (size_t i = 0; i < want.indices.size(); ++i) {
        if (want.indices[i] == got.indices[i]) continue;
        return "first mismatch at x " + std::to_string(i % size_t(stride)) + ", y " +
               std::to_string(i / size_t(stride)) + ": plain " + std::to_string(want.indices[i]) + ", fast " +
               std::to_string(got.indices[i]);
    }
    return "";
}

// The palette a conversion of `image` would get, in a 256-entry palette.
std::vector<PaletteEntry> ConversionPalette(const TestImage& image) {
    std::vector<PaletteEntry> palette(kPaletteSize, PaletteEntry{0, 0, 0, 0});
    EXPECT_EQ(reference::BuildPalette(&palette[10], 236, image.pixels.data(), &image.info), 1);
    return palette;
}

// A palette with few, scattered colours: far shells and empty cells get searched.
std::vector<PaletteEntry> SparsePalette(uint32_t seed, int first, int end) {
    std::mt19937 rng(seed);
    std::vector<PaletteEntry> palette(kPaletteSize, PaletteEntry{0, 0, 0, 0});
    for (int s = first; s < end; ++s) palette[size_t(s)] = PaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    return palette;
}

struct Case {
    const char* name;
    TestImage image;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    // Widths either side of the steps where all three rows of a worker map
    // at once (6 and 7) and of the 32-column progress reports (33, 65, 97).
    for (int32_t w : {1, 2, 3, 6, 7, 33, 65, 97})
        for (int32_t h : {1, 2, 3, 17}) {
            cases.push_back(Case{"random", RandomImage(w, h, uint32_t(w * 100 + h))});
            cases.push_back(Case{"photo", PhotoLikeImage(w, h, uint32_t(w * 7 + h))});
        }
    cases.push_back(Case{"photo", PhotoLikeImage(257, 131, 5)});
    cases.push_back(Case{"random", RandomImage(129, 67, 6)});
    return cases;
}

TEST(DiffuseToIndices, SameBytesAsThePlainMappingForEveryThreadCount) {
    for (const Case& c : Cases()) {
        // A few scattered colours make the search walk far shells; once per
        // size is enough, as the table build for them is slow.
        const bool sparse = std::strcmp(c.name, "random") == 0;
        const std::vector<PaletteEntry> palettes[2] = {ConversionPalette(c.image),
                                                       SparsePalette(uint32_t(c.image.info.biWidth), 10, 14)};
        const int ends[2] = {246, 14};
        for (int p = 0; p < (sparse ? 2 : 1); ++p) {
            const Mapped want = Map(c.image, palettes[p].data(), 10, ends[p]);
            ASSERT_EQ(want.result, 1);
            for (int threads : {1, 2, 3, 8}) {
                const Mapped got = Map(c.image, palettes[p].data(), 10, ends[p], threads);
                ASSERT_EQ(FirstMismatch(c.image, want, got), "")
                    << c.name << " " << c.image.info.biWidth << "x" << c.image.info.biHeight << ", palette " << p
                    << ", " << threads << " threads";
            }
        }
    }
}

// 2^17 pixels: the smaller image maps without the colour table, the larger
// with it. Widths of 1 to 3 put every pixel at a row's end or next to it;
// random colours meet nearly every 16x16x16 block of colours and split most
// 4x4x4 blocks between slots. Slot 0 cannot live in the zero-means-unknown
// table; the mapping must go on without it. Workers that cannot start leave
// their rows to the caller.
TEST(DiffuseToIndices, ColourTableMapsExactly) {
    struct Case {
        const char* name;
        TestImage image;
        uint32_t sparseSeed;  // 0: the conversion's palette over slots 10 to 245; else slots 0 to 39 scattered
        std::vector<int> threads;
        bool refuseStarts;
    };
    const Case cases[] = {
        {"photo 362x362", PhotoLikeImage(362, 362, 21), 0, {1, 2, 5}, false},
        {"photo 363x363", PhotoLikeImage(363, 363, 21), 0, {1, 2, 5}, false},
        {"photo 1x131073", PhotoLikeImage(1, 131073, 21), 0, {1, 2, 5}, false},
        {"photo 2x65537", PhotoLikeImage(2, 65537, 21), 0, {1, 2, 5}, false},
        {"photo 3x43691", PhotoLikeImage(3, 43691, 21), 0, {1, 2, 5}, false},
        {"random 363x363", RandomImage(363, 363, 12), 0, {1, 2, 5}, false},
        {"slot 0 in the range", PhotoLikeImage(363, 363, 3), 9, {3}, false},
        {"threads that cannot start", PhotoLikeImage(37, 29, 8), 0, {8}, true},
    };
    for (const Case& c : cases) {
        const int first = c.sparseSeed ? 0 : 10, end = c.sparseSeed ? 40 : 246;
        const std::vector<PaletteEntry> palette =
            c.sparseSeed ? SparsePalette(c.sparseSeed, first, end) : ConversionPalette(c.image);
        const Mapped want = Map(c.image, palette.data(), first, end);
        for (int threads : c.threads) {
            RefuseWorkerStarts(c.refuseStarts);
            const Mapped got = Map(c.image, palette.data(), first, end, threads);
            RefuseWorkerStarts(0);
            EXPECT_EQ(FirstMismatch(c.image, want, got), "") << c.name << ", " << threads << " threads";
        }
    }
}

TEST(DiffuseToIndices, RefusesLikeThePlainMapping) {
    const TestImage image = PhotoLikeImage(9, 7, 1);
    const std::vector<PaletteEntry> palette = ConversionPalette(image);
    EXPECT_EQ(Map(image, palette.data(), 10, 10, 2).result, 0);
    EXPECT_EQ(Map(image, palette.data(), -1, 12, 2).result, 0);
    EXPECT_EQ(Map(image, palette.data(), 10, 257, 2).result, 0);
}

TEST(DiffuseToIndices, EveryFailedAllocationReturnsZeroAndHoldsNothing) {
    // Each allocation of the pass fails in turn, the colour table's among
    // them (the image is large enough to take one); the sanitizer build shows any leak.
    const TestImage image = PhotoLikeImage(363, 363, 4);
    const std::vector<PaletteEntry> palette = ConversionPalette(image);
    const Mapped want = Map(image, palette.data(), 10, 246);
    SetAllocationFailureAt(0);
    ASSERT_EQ(FirstMismatch(image, want, Map(image, palette.data(), 10, 246, 3)), "");
    const long allocations = SetAllocationFailureAt(0);
    ASSERT_GT(allocations, 0);
    for (long n = 1; n <= allocations; ++n) {
        SetAllocationFailureAt(n);
        const Mapped got = Map(image, palette.data(), 10, 246, 3);
        SetAllocationFailureAt(0);
        EXPECT_EQ(got.result, 0) << "allocation " << n;
        EXPECT_EQ(got.indices, std::vector<uint8_t>(got.indices.size(), 0xA5)) << "allocation " << n;
    }
}

}  // namespace
