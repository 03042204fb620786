#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "common/test_image.h"
#include "quantize/histogram.h"
#include "platform/alloc.h"
#include "reference/reference.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

// Histogram entries as (key, count) pairs.
using Entries = std::vector<std::pair<uint32_t, int32_t>>;

Entries Histogram(const TestImage& image) {
    int32_t k = -1;
    ColorEntry* entries = reference::BuildColorHistogram(image.pixels.data(), &image.info, &k);
    EXPECT_NE(entries, nullptr);
    Entries out;
    for (int32_t i = 0; entries && i < k; ++i) out.emplace_back(entries[i].colorKey, entries[i].pixelCount);
    FreeBytes(entries);
    return out;
}

}  // namespace

TEST(QuantizeChannel, SixtyFourLevels) {
    const struct { int from, to, level; } ranges[] = {
        {0, 1, 0}, {2, 5, 4}, {6, 9, 8}, {246, 249, 248}, {250, 255, 252},
    };
    for (const auto& r : ranges)
        for (int x = r.from; x <= r.to; ++x) EXPECT_EQ(QuantizeChannel(uint8_t(x)), r.level) << x;
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(QuantizeChannel(uint8_t(x)) % 4, 0);
        EXPECT_LE(std::abs(QuantizeChannel(uint8_t(x)) - x), 3) << x;
    }
}

TEST(ColorKey, PackedRedLow) {
    const struct { uint8_t b, g, r; uint32_t key; } cases[] = {
        {255, 255, 255, 16579836}, {250, 251, 253, 16579836}, {1, 2, 3, 1028},
        {0, 0, 255, 252}, {255, 0, 0, 16515072},
    };
    for (const auto& c : cases) {
        const uint8_t bgr[3] = {c.b, c.g, c.r};
        EXPECT_EQ(PixelColorKey(bgr), c.key);
    }
    const uint32_t key = MakeColorKey(8, 16, 24);
    EXPECT_EQ(KeyBlue(key), 8);
    EXPECT_EQ(KeyGreen(key), 16);
    EXPECT_EQ(KeyRed(key), 24);
}

TEST(CountBits8, MatchesBitByBitCount) {
    for (int v = 0; v < 256; ++v) {
        int naive = 0;
        for (int b = 0; b < 8; ++b) naive += (v >> b) & 1;
        EXPECT_EQ(reference::CountBits8(uint8_t(v)), naive) << v;
    }
}

// Sorted by key (red in the low bits), counts summed per 64-level cell.
TEST(BuildColorHistogram, EntriesInKeyOrder) {
    const struct {
        const char* name;
        std::vector<std::vector<int>> pixels;  // (blue, green, red) in one row
        Entries want;
    } cases[] = {
        {"red before blue", {{0, 0, 255}, {255, 0, 0}}, {{252u, 1}, {16515072u, 1}}},
        {"neighbouring reds share a cell", {{40, 80, 12}, {40, 80, 8}, {40, 80, 12}},
         {{MakeColorKey(40, 80, 8), 1}, {MakeColorKey(40, 80, 12), 2}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Histogram(ImageFromTriples(int32_t(c.pixels.size()), 1, c.pixels)), c.want) << c.name;
}

// Pad bytes are 0xEE in test images: read as pixels they would add key 0xECECEC.
TEST(BuildColorHistogram, PaddingNeverCounted) {
    for (int32_t width : {1, 2, 3, 5, 6, 7}) {
        for (int32_t height : {1, 2, 3}) {
            const TestImage image = RandomImage(width, height, uint32_t(width * 31 + height));
            std::map<uint32_t, int32_t> expected;  // in ascending key order
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    ++expected[PixelColorKey(&image.pixels[size_t(y) * RowStride(&image.info) + 3 * x])];
            EXPECT_EQ(Histogram(image), Entries(expected.begin(), expected.end()))
                << width << "x" << height;
        }
    }
}

TEST(BuildColorHistogram, RanksFollowKeys) {
    const TestImage image = RandomImage(64, 64, 7);
    reference::OccupancyCell* table =
        static_cast<reference::OccupancyCell*>(AllocateZeroed(reference::kOccupancyCellCount, sizeof(reference::OccupancyCell)));
    ASSERT_NE(table, nullptr);
    const int32_t k = reference::MarkColorKeys(table, image.pixels.data(), &image.info);
    const auto h = Histogram(image);
    ASSERT_EQ(size_t(k), h.size());
    for (int32_t i = 0; i < k; ++i) EXPECT_EQ(reference::ColorKeyRank(h[size_t(i)].first, table), i);
    FreeBytes(table);
}

TEST(BuildColorHistogram, NoPixelsNoEntries) {
    for (const auto& size : {std::pair<int32_t, int32_t>{0, 3}, {3, 0}}) {
        TestImage image{MakeInfoHeader(size.first, size.second), std::vector<uint8_t>(16, 0)};
        int32_t k = -1;
        ColorEntry* entries = reference::BuildColorHistogram(image.pixels.data(), &image.info, &k);
        ASSERT_NE(entries, nullptr);
        EXPECT_EQ(k, 0);
        FreeBytes(entries);
    }
}

TEST(BuildColorHistogram, RefusesWhenTableCannotBeHad) {
    const TestImage image = RandomImage(4, 4, 1);
    for (long failAt : {1L, 2L}) {
        SetAllocationFailureAt(failAt);
        int32_t k = -1;
        ColorEntry* entries = reference::BuildColorHistogram(image.pixels.data(), &image.info, &k);
        SetAllocationFailureAt(0);
        EXPECT_EQ(entries, nullptr) << failAt;
    }
}
