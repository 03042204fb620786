#include <gtest/gtest.h>

#include <vector>

#include "common/test_image.h"
#include "mapping/diffusion.h"
#include "mapping/grid.h"
#include "platform/alloc.h"
#include "reference/reference.h"
#include "util/test_hooks.h"

using namespace bmp256;

namespace {

// The mapping as plainly described: a full error plane, explicit bounds tests,
// the divisor never adjusted at the edges.
std::vector<uint8_t> ReferenceDiffusion(const TestImage& image, const PaletteEntry* palette, int first, int end) {
    static const int kWeight[3][5] = {{1, 3, 5, 3, 1}, {3, 5, 7, 5, 3}, {5, 7, 0, 0, 0}};
    const int w = image.info.biWidth, h = image.info.biHeight;
    BITMAPINFOHEADER out = image.info;
    out.biBitCount = 8;
    std::vector<uint8_t> indices(size_t(ImageSize(&out)), 0);
    std::vector<reference::ErrorCell> errors(size_t(w) * size_t(h));
    PaletteGrid grid;
    EXPECT_EQ(BuildPaletteGrid(&grid, palette, first, end), 1);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int sum[3] = {0, 0, 0};  // blue, green, red
            for (int role = 0; role < 3; ++role) {
                const int row = y - 2 + role;
                if (row < 0) continue;
                for (int d = -2; d <= 2; ++d) {
                    if (x + d < 0 || x + d >= w || (role == 2 && d >= 0)) continue;
                    const reference::ErrorCell& e = errors[size_t(row) * w + size_t(x + d)];
                    sum[0] += kWeight[role][d + 2] * e.blue;
                    sum[1] += kWeight[role][d + 2] * e.green;
                    sum[2] += kWeight[role][d + 2] * e.red;
                }
            }
            const uint8_t* p = &image.pixels[size_t(y) * RowStride(&image.info) + 3 * size_t(x)];
            uint8_t q[3];
            for (int c = 0; c < 3; ++c) {
                const int v = p[c] + sum[c] / 48;
                q[c] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
            }
            const int slot = reference::FindNearestColor(q, &grid);
            indices[size_t(y) * RowStride(&out) + size_t(x)] = uint8_t(slot);
            errors[size_t(y) * w + size_t(x)] = reference::ErrorCell{p[2] - palette[slot].red, p[1] - palette[slot].green,
                                                          p[0] - palette[slot].blue};
        }
    }
    ReleasePaletteGrid(&grid);
    return indices;
}

std::vector<uint8_t> Diffuse(const TestImage& image, const PaletteEntry* palette, int first, int end,
                             uint8_t fill = 0) {
    BITMAPINFOHEADER out = image.info;
    out.biBitCount = 8;
    std::vector<uint8_t> indices(size_t(ImageSize(&out)), fill);
    EXPECT_EQ(reference::DiffuseToIndices(indices.data(), &out, palette, first, end, image.pixels.data(), &image.info), 1);
    return indices;
}

void Gray(PaletteEntry* palette, int slot, int v) { palette[slot] = PaletteEntry{uint8_t(v), uint8_t(v), uint8_t(v), 0}; }

}  // namespace

// Slots 10 = gray 128 and 11 = gray 150. A lone pixel maps by its own
// colour. In a row of two, the second pixel, 139 or 140, sits where one step
// of correction changes its slot; the first pixel's error (first value - 128)
// decides whether 7 * error / 48 gives that step.
TEST(DiffuseToIndices, FirstRowCorrectionTruncatesTowardZero) {
    const struct {
        const char* name;
        std::vector<int> grays;
        std::vector<int> slots;
    } cases[] = {
        {"lone 0", {0}, {10}},
        {"lone 139", {139}, {10}},
        {"lone 140", {140}, {11}},
        {"lone 255", {255}, {11}},
        {"error +6: no correction", {134, 139}, {10, 10}},
        {"error +7: +1 carries 139 to 140", {135, 139}, {10, 11}},
        {"error -6: no correction", {122, 140}, {10, 11}},
        {"error -7: -1 carries 140 to 139", {121, 140}, {10, 10}},
    };
    PaletteEntry palette[kPaletteSize] = {};
    Gray(palette, 10, 128);
    Gray(palette, 11, 150);
    for (const auto& c : cases) {
        std::vector<std::vector<int>> row;
        for (int v : c.grays) row.push_back({v, v, v});
        const std::vector<uint8_t> indices = Diffuse(ImageFromTriples(int32_t(row.size()), 1, row), palette, 10, 12);
        EXPECT_EQ(std::vector<int>(indices.begin(), indices.begin() + long(row.size())), c.slots) << c.name;
    }
}

TEST(DiffuseToIndices, UniformImageOnAPaletteColourHasNoError) {
    PaletteEntry palette[kPaletteSize] = {};
    for (int s = 10; s < 246; ++s) palette[s] = PaletteEntry{uint8_t(s), uint8_t(255 - s), uint8_t(s / 2), 0};
    const TestImage image = MakeImage(7, 5, [](int32_t, int32_t, uint8_t* p) {
        p[0] = 77;
        p[1] = 255 - 77;
        p[2] = 77 / 2;
    });
    const std::vector<uint8_t> indices = Diffuse(image, palette, 10, 246, 0xEE);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(indices[size_t(y) * 8 + size_t(x)], 77);
    for (int y = 0; y < 5; ++y) EXPECT_EQ(indices[size_t(y) * 8 + 7], 0xEE) << "padding untouched";
}

TEST(DiffuseToIndices, MatchesThePlainRuleOnOddSizes) {
    PaletteEntry palette[kPaletteSize] = {};
    std::mt19937 rng(99);
    for (int s = 10; s < 246; ++s) palette[s] = PaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    const struct { int w, h; } sizes[] = {{1, 1}, {1, 7}, {2, 3}, {3, 3}, {5, 4}, {7, 2}, {13, 11}, {33, 9}};
    for (const auto& size : sizes) {
        for (uint32_t seed : {1u, 2u}) {
            const TestImage image = seed == 1 ? RandomImage(size.w, size.h, seed + size.w)
                                              : PhotoLikeImage(size.w, size.h, seed + size.h);
            const std::vector<uint8_t> want = ReferenceDiffusion(image, palette, 10, 246);
            const std::vector<uint8_t> got = Diffuse(image, palette, 10, 246);
            ASSERT_EQ(got.size(), want.size());
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_EQ(got[i], want[i]) << size.w << "x" << size.h << " byte " << i;
        }
    }
}

// Clamped channels: a near-white first pixel pushes its neighbour beyond 255
// and the search sees 255, while the stored error still comes from the source.
TEST(DiffuseToIndices, ClampsTheSearchNotTheError) {
    PaletteEntry palette[kPaletteSize] = {};
    Gray(palette, 10, 0);
    Gray(palette, 11, 200);
    const TestImage image = ImageFromTriples(3, 1, {{250, 250, 250}, {250, 250, 250}, {250, 250, 250}});
    const std::vector<uint8_t> got = Diffuse(image, palette, 10, 12);
    EXPECT_EQ(got, ReferenceDiffusion(image, palette, 10, 12));
    EXPECT_EQ(got[0], 11);
}

TEST(DiffuseToIndices, RefusesWithoutWorkingMemoryOrSlots) {
    PaletteEntry palette[kPaletteSize] = {};
    const TestImage image = RandomImage(5, 5, 3);
    BITMAPINFOHEADER out = image.info;
    out.biBitCount = 8;
    std::vector<uint8_t> indices(size_t(ImageSize(&out)), 0xEE);
    EXPECT_EQ(reference::DiffuseToIndices(indices.data(), &out, palette, 10, 10, image.pixels.data(), &image.info), 0);
    for (long failAt : {1L, 2L, 100L, 237L, 238L, 239L, 240L}) {
        SetAllocationFailureAt(failAt);
        const int ok = reference::DiffuseToIndices(indices.data(), &out, palette, 10, 246, image.pixels.data(), &image.info);
        SetAllocationFailureAt(0);
        EXPECT_EQ(ok, 0) << failAt;
    }
    for (uint8_t b : indices) EXPECT_EQ(b, 0xEE);
}
