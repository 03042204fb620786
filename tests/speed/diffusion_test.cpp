// The fast mapping against the plain one, byte for byte, on odd sizes and
// several thread counts, with and without the colour table (one, shared by
// all workers, filled a 4x4x4 block of colours at a time, with a map of the
// blocks that have a single slot in front; used from 2^17 pixels on).
#include <gtest/gtest.h>

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
    std::string name;
    TestImage image;
    uint32_t sparseSeed;  // 0: the conversion's palette over slots 10 to 245, else SparsePalette's
    int first, end;
    std::vector<int> threads;
    bool refuseStarts;
};

std::string SizeOf(const TestImage& image) {
    return std::to_string(image.info.biWidth) + "x" + std::to_string(image.info.biHeight);
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    const std::vector<int> threads = {1, 2, 3, 8};
    // Widths either side of the steps where all three rows of a worker map
    // at once (6 and 7) and of the 32-column progress reports (33, 65, 97).
    // A few scattered colours make the search walk far shells; once per size
    // is enough, as the table build for them is slow.
    for (int32_t w : {1, 2, 3, 6, 7, 33, 65, 97})
        for (int32_t h : {1, 2, 3, 17}) {
            const TestImage random = RandomImage(w, h, uint32_t(w * 100 + h));
            cases.push_back({"random " + SizeOf(random), random, 0, 10, 246, threads, false});
            cases.push_back({"random " + SizeOf(random) + ", 4 scattered colours", random, uint32_t(w), 10, 14, threads, false});
            const TestImage photo = PhotoLikeImage(w, h, uint32_t(w * 7 + h));
            cases.push_back({"photo " + SizeOf(photo), photo, 0, 10, 246, threads, false});
        }
    const TestImage random = RandomImage(129, 67, 6);
    cases.push_back({"photo 257x131", PhotoLikeImage(257, 131, 5), 0, 10, 246, threads, false});
    cases.push_back({"random 129x67", random, 0, 10, 246, threads, false});
    cases.push_back({"random 129x67, 4 scattered colours", random, 129, 10, 14, threads, false});
    // 2^17 pixels: the smaller image maps without the colour table, the
    // larger with it. Widths of 1 to 3 put every pixel at a row's end or next
    // to it; random colours meet nearly every 16x16x16 block of colours and
    // split most 4x4x4 blocks between slots.
    for (const TestImage& image : {PhotoLikeImage(362, 362, 21), PhotoLikeImage(363, 363, 21),
                                   PhotoLikeImage(1, 131073, 21), PhotoLikeImage(2, 65537, 21),
                                   PhotoLikeImage(3, 43691, 21)})
        cases.push_back({"photo " + SizeOf(image), image, 0, 10, 246, {1, 2, 5}, false});
    cases.push_back({"random 363x363", RandomImage(363, 363, 12), 0, 10, 246, {1, 2, 5}, false});
    // Slot 0 cannot live in the zero-means-unknown colour table; the mapping
    // must go on without it.
    cases.push_back({"slot 0 in the range", PhotoLikeImage(363, 363, 3), 9, 0, 40, {3}, false});
    cases.push_back({"threads that cannot start", PhotoLikeImage(37, 29, 8), 0, 10, 246, {8}, true});
    return cases;
}

TEST(DiffuseToIndices, SameBytesAsThePlainMappingForEveryThreadCount) {
    for (const Case& c : Cases()) {
        const std::vector<PaletteEntry> palette =
            c.sparseSeed ? SparsePalette(c.sparseSeed, c.first, c.end) : ConversionPalette(c.image);
        const Mapped want = Map(c.image, palette.data(), c.first, c.end);
        ASSERT_EQ(want.result, 1) << c.name;
        for (int threads : c.threads) {
            RefuseWorkerStarts(c.refuseStarts);
            const Mapped got = Map(c.image, palette.data(), c.first, c.end, threads);
            RefuseWorkerStarts(0);
            ASSERT_EQ(FirstMismatch(c.image, want, got), "") << c.name << ", " << threads << " threads";
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
