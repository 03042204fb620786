// The fast histogram and palette construction against the plain ones, entry
// for entry and byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/test_image.h"
#include "quantize/histogram.h"
#include "quantize/palette.h"
#include "platform/alloc.h"
#include "util/worker_threads.h"
#include "reference/reference.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

std::vector<ColorEntry> Entries(ColorEntry* entries, int32_t k) {
    std::vector<ColorEntry> out(entries, entries + (entries ? k : 0));
    FreeBytes(entries);
    return out;
}

// Empty when equal, else the first differing entry.
std::string EntryMismatch(const std::vector<ColorEntry>& want, const std::vector<ColorEntry>& got) {
    if (want.size() != got.size()) return "K " + std::to_string(want.size()) + " vs " + std::to_string(got.size());
    for (size_t i = 0; i < want.size(); ++i)
        if (want[i].colorKey != got[i].colorKey || want[i].pixelCount != got[i].pixelCount)
            return "entry " + std::to_string(i) + ": key " + std::to_string(want[i].colorKey) + " count " +
                   std::to_string(want[i].pixelCount) + " vs key " + std::to_string(got[i].colorKey) + " count " +
                   std::to_string(got[i].pixelCount);
    return "";
}

std::string PaletteMismatch(const PaletteEntry* want, const PaletteEntry* got, int n) {
    for (int i = 0; i < n; ++i)
        if (std::memcmp(&want[i], &got[i], sizeof(PaletteEntry)) != 0)
            return "entry " + std::to_string(i) + ": " + std::to_string(want[i].blue) + " " +
                   std::to_string(want[i].green) + " " + std::to_string(want[i].red) + " vs " +
                   std::to_string(got[i].blue) + " " + std::to_string(got[i].green) + " " + std::to_string(got[i].red);
    return "";
}

double Spread(const ColorBox& b) { return b.varianceRed + b.varianceGreen + b.varianceBlue; }

struct Case {
    std::string name;
    TestImage image;
};

// Seeded random and photo-like images of odd sizes, few-colour images and the
// channel extremes where the 64 levels end (250 to 255 all give 252).
std::vector<Case> Images() {
    std::vector<Case> cases;
    for (int32_t w : {1, 2, 3, 5, 31})
        for (int32_t h : {1, 2, 7}) {
            cases.push_back({"random", RandomImage(w, h, uint32_t(w * 31 + h))});
            cases.push_back({"photo", PhotoLikeImage(w, h, uint32_t(w + h * 13))});
        }
    cases.push_back({"random", RandomImage(301, 173, 3)});
    cases.push_back({"photo", PhotoLikeImage(403, 211, 4)});
    cases.push_back({"photo", PhotoLikeImage(41, 37, 9)});
    cases.push_back({"white", MakeImage(9, 5, [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 255; })});
    cases.push_back({"extremes", MakeImage(17, 11, [](int32_t x, int32_t y, uint8_t* p) {
                         p[0] = uint8_t(x * 37 % 7 == 0 ? 0 : 249 + (x + y) % 7);
                         p[1] = uint8_t(y % 2 ? 1 : 254);
                         p[2] = uint8_t((x * y) % 6);
                     })});
    std::mt19937 rng(8);
    const uint8_t few[4][3] = {{10, 20, 30}, {200, 20, 30}, {10, 220, 30}, {90, 90, 250}};
    cases.push_back({"four colours", MakeImage(23, 19, [&](int32_t, int32_t, uint8_t* p) {
                         std::memcpy(p, few[rng() % 4], 3);
                     })});
    cases.push_back({"no pixels", MakeImage(0, 3, [](int32_t, int32_t, uint8_t*) {})});
    return cases;
}

}  // namespace

// Four workers of which none can start leave their rows to the caller.
TEST(BuildColorHistogram, SameEntriesAsThePlainHistogramForEveryThreadCount) {
    const struct {
        int threads;
        bool refuseStarts;
    } runs[] = {{1, false}, {2, false}, {3, false}, {8, false}, {4, true}};
    for (const Case& c : Images()) {
        int32_t k = -1;
        ColorEntry* plain = reference::BuildColorHistogram(c.image.pixels.data(), &c.image.info, &k);
        ASSERT_NE(plain, nullptr);
        const std::vector<ColorEntry> want = Entries(plain, k);
        for (const auto& run : runs) {
            int32_t kFast = -2;
            RefuseWorkerStarts(run.refuseStarts);
            ColorEntry* fast = BuildColorHistogram(c.image.pixels.data(), &c.image.info, &kFast, run.threads);
            RefuseWorkerStarts(0);
            ASSERT_NE(fast, nullptr);
            EXPECT_EQ(k, kFast) << c.name;
            EXPECT_EQ(EntryMismatch(want, Entries(fast, kFast)), "")
                << c.name << " " << c.image.info.biWidth << "x" << c.image.info.biHeight << ", " << run.threads
                << " threads" << (run.refuseStarts ? " that cannot start" : "");
        }
    }
}

TEST(ComputeBoxStats, SameStatsAsThePlainPassesAlsoPastThirtyTwoBits) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        // Counts up to 9 million, so weighted sums and products pass 32 bits.
        const int n = 1 + int(rng() % 50);
        std::vector<ColorEntry> entries;
        for (int i = 0; i < n; ++i) {
            const uint32_t count = round % 4 == 0 ? 9000000 - rng() % 1000 : 1 + rng() % (round % 2 ? 40000 : 5);
            entries.push_back({MakeColorKey(uint8_t(rng() % 64 * 4), uint8_t(rng() % 64 * 4), uint8_t(rng() % 64 * 4)),
                               int32_t(count)});
        }
        std::vector<const ColorEntry*> refs;
        for (const ColorEntry& e : entries) refs.push_back(&e);
        const int32_t first = int32_t(rng() % uint32_t(n));
        const int32_t count = 1 + int32_t(rng() % uint32_t(n - first));
        ColorBox want, got;
        std::memset(&want, 0x5A, sizeof want);
        std::memset(&got, 0x5A, sizeof got);
        reference::ComputeBoxStats(&want, refs.data(), first, count);
        ComputeBoxStats(&got, refs.data(), first, count);
        EXPECT_EQ(want.varianceRed, got.varianceRed) << round;
        EXPECT_EQ(want.varianceGreen, got.varianceGreen) << round;
        EXPECT_EQ(want.varianceBlue, got.varianceBlue) << round;
        EXPECT_EQ(want.firstIndex, got.firstIndex) << round;
        EXPECT_EQ(want.entryCount, got.entryCount) << round;
        EXPECT_EQ(want.pixelTotal, got.pixelTotal) << round;
        EXPECT_EQ(PaletteMismatch(&want.meanColor, &got.meanColor, 1), "") << round;
    }
}

TEST(SplitBox, OrdersAndCutsAsTheStableSort) {
    // Few levels per channel: many equal values, whose order the stable sort
    // keeps, and lowest values equal to the mean (the one-entry lower part).
    std::mt19937 rng(6);
    for (int round = 0; round < 500; ++round) {
        const int n = 2 + int(rng() % 60);
        const uint32_t levels = 2 + rng() % 5;
        std::vector<ColorEntry> entries;
        for (int i = 0; i < n; ++i)
            entries.push_back({MakeColorKey(uint8_t(rng() % levels * 4), uint8_t(rng() % levels * 8),
                                            uint8_t(rng() % levels * 12)),
                               int32_t(1 + rng() % (round % 3 ? 3 : 500))});
        if (round % 5 == 0)
            std::sort(entries.begin(), entries.end(),
                      [](const ColorEntry& a, const ColorEntry& b) { return KeyRed(a.colorKey) < KeyRed(b.colorKey); });
        std::vector<const ColorEntry*> plainRefs, fastRefs, scratch(entries.size());
        for (const ColorEntry& e : entries) plainRefs.push_back(&e);
        fastRefs = plainRefs;
        ColorBox plain[2] = {}, fast[2] = {};
        reference::ComputeBoxStats(&plain[0], plainRefs.data(), 0, n);
        fast[0] = plain[0];
        if (Spread(plain[0]) <= 0) continue;
        reference::SplitBox(&plain[0], &plain[1], plainRefs.data());
        SplitBox(&fast[0], &fast[1], fastRefs.data(), scratch.data());
        ASSERT_EQ(plainRefs, fastRefs) << "round " << round;
        for (int b = 0; b < 2; ++b) {
            EXPECT_EQ(plain[b].firstIndex, fast[b].firstIndex) << round;
            EXPECT_EQ(plain[b].entryCount, fast[b].entryCount) << round;
            EXPECT_EQ(Spread(plain[b]), Spread(fast[b])) << round;
        }
    }
}

TEST(BuildPalette, SamePaletteAsThePlainConstructionForEveryCount) {
    for (const Case& c : Images())
        for (int n : {1, 3, 236}) {
            // Both start from the same non-zero fill: whatever they leave or write shows.
            std::vector<PaletteEntry> want(size_t(n), PaletteEntry{9, 9, 9, 9}), got = want;
            ASSERT_EQ(reference::BuildPalette(want.data(), n, c.image.pixels.data(), &c.image.info), 1);
            ASSERT_EQ(BuildPalette(got.data(), n, c.image.pixels.data(), &c.image.info), 1);
            EXPECT_EQ(PaletteMismatch(want.data(), got.data(), n), "")
                << c.name << " " << c.image.info.biWidth << "x" << c.image.info.biHeight << ", n " << n;
        }
}

// Histograms of few levels and counts, whose boxes often share means: the
// distinct-mean count then stays put or falls while boxes are split.
TEST(SplitBoxes, SameBoxesAndPaletteAsThePlainLoopWhenMeansRepeat) {
    std::mt19937 rng(12);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint32_t> keys;
        const int want = 2 + int(rng() % 40);
        for (int tries = 0; tries < 200 && int(keys.size()) < want; ++tries) {
            const uint32_t key = MakeColorKey(uint8_t(rng() % 3 * 8), uint8_t(rng() % 3 * 8), uint8_t(rng() % 5 * 4));
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
        }
        std::sort(keys.begin(), keys.end());
        std::vector<ColorEntry> entries;
        for (uint32_t key : keys) entries.push_back({key, int32_t(1 + rng() % 3)});
        const int32_t k = int32_t(entries.size());
        std::vector<const ColorEntry*> plainRefs, fastRefs, scratch(entries.size());
        for (const ColorEntry& e : entries) plainRefs.push_back(&e);
        fastRefs = plainRefs;
        std::vector<ColorBox> plainBoxes(kMaxBoxes), fastBoxes(kMaxBoxes);
        reference::ComputeBoxStats(&plainBoxes[0], plainRefs.data(), 0, k);
        fastBoxes[0] = plainBoxes[0];
        const int n = 1 + int(rng() % 12);
        std::vector<PaletteEntry> plainPalette(size_t(n), PaletteEntry{7, 7, 7, 7}), fastPalette = plainPalette;
        reference::SplitBoxes(plainPalette.data(), n, plainBoxes.data(), plainRefs.data());
        SplitBoxes(fastPalette.data(), n, fastBoxes.data(), fastRefs.data(), scratch.data());
        ASSERT_EQ(PaletteMismatch(plainPalette.data(), fastPalette.data(), n), "") << "round " << round;
        ASSERT_EQ(plainRefs, fastRefs) << "round " << round;
        for (int b = 0; b < kMaxBoxes; ++b)
            ASSERT_EQ(std::memcmp(&plainBoxes[size_t(b)], &fastBoxes[size_t(b)], sizeof(ColorBox)), 0)
                << "round " << round << ", box " << b;
    }
}

TEST(BuildPalette, EveryFailedAllocationReturnsZeroWithTheRegionZeroAndNothingHeld) {
    const TestImage image = PhotoLikeImage(29, 13, 2);
    std::vector<PaletteEntry> palette(236, PaletteEntry{1, 2, 3, 4});
    SetAllocationFailureAt(0);
    ASSERT_EQ(BuildPalette(palette.data(), 236, image.pixels.data(), &image.info), 1);
    const long allocations = SetAllocationFailureAt(0);
    ASSERT_GT(allocations, 0);
    for (long n = 1; n <= allocations; ++n) {
        std::fill(palette.begin(), palette.end(), PaletteEntry{1, 2, 3, 4});
        SetAllocationFailureAt(n);
        const int result = BuildPalette(palette.data(), 236, image.pixels.data(), &image.info);
        SetAllocationFailureAt(0);
        EXPECT_EQ(result, 0) << "allocation " << n;
        for (const PaletteEntry& e : palette)
            ASSERT_TRUE(e.blue == 0 && e.green == 0 && e.red == 0 && e.reserved == 0) << "allocation " << n;
    }
}
