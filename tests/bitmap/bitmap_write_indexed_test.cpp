// 1-, 4- and 8-bit BMPs, plain and run-length encoded: exact bytes of small
// rows, and every form read back by the wide reader as the same picture.
#include <gtest/gtest.h>

#include <random>

#include "bitmap/write_indexed.h"
#include "common/test_image.h"
#include "input/input.h"
#include "platform/alloc.h"

namespace {

std::vector<uint8_t> Encode(const std::vector<std::vector<uint8_t>>& rows, const IndexedForm& form,
                            const PaletteEntry* palette) {
    const int32_t width = int32_t(rows[0].size());
    BITMAPINFOHEADER info = MakeInfoHeader(width, int32_t(rows.size()), 8);
    const int32_t stride = RowStride(&info);
    std::vector<uint8_t> indices(size_t(stride) * rows.size(), 0);
    for (size_t y = 0; y < rows.size(); ++y) std::copy(rows[y].begin(), rows[y].end(), indices.begin() + y * stride);
    size_t size = 0;
    uint8_t* file = EncodeIndexedBitmap(indices.data(), &info, palette, &form, &size);
    EXPECT_NE(file, nullptr);
    std::vector<uint8_t> bytes(file, file + size);
    FreeBytes(file);
    return bytes;
}

TEST(IndexedBitmap, ExactBytesOfSmallRows) {
    PaletteEntry palette[256] = {};
    struct Case {
        IndexedForm form;
        std::vector<std::vector<uint8_t>> rows;
        std::vector<uint8_t> pixels;  // what follows the colour table
        uint32_t compression;
    };
    const Case cases[] = {
        // A run, a literal group (padded to 16 bits), a run, end of bitmap.
        {{8, 1, 256}, {{5, 5, 5, 1, 2, 3, 4, 4}}, {3, 5, 0, 3, 1, 2, 3, 0, 2, 4, 0, 1}, 1},
        // One or two lone pixels are runs of one.
        {{8, 1, 256}, {{7, 8}}, {1, 7, 1, 8, 0, 1}, 1},
        {{8, 1, 256}, {{9}, {9}}, {1, 9, 0, 0, 1, 9, 0, 1}, 1},
        {{4, 1, 16}, {{1, 1, 1, 2, 3, 4, 5}}, {3, 0x11, 0, 4, 0x23, 0x45, 0, 1}, 2},
        {{4, 1, 6}, {{1, 2, 3, 5, 5}}, {0, 3, 0x12, 0x30, 2, 0x55, 0, 1}, 2},
        {{4, 0, 16}, {{1, 2, 3}}, {0x12, 0x30, 0, 0}, 0},
        {{1, 0, 2}, {{1, 0, 1, 1, 0, 0, 0, 0, 1}, {0, 1, 0, 0, 0, 0, 0, 0, 0}}, {0xB0, 0x80, 0, 0, 0x40, 0, 0, 0}, 0},
        {{8, 0, 256}, {{1, 2, 3}}, {1, 2, 3, 0}, 0},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> b = Encode(c.rows, c.form, palette);
        const uint32_t offset = 54 + 4 * uint32_t(c.form.tableCount);
        ASSERT_EQ(b.size(), offset + c.pixels.size());
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + offset, b.end()), c.pixels);
        EXPECT_EQ(bmptest::Get32(b, 2), b.size());
        EXPECT_EQ(bmptest::Get32(b, 10), offset);
        EXPECT_EQ(bmptest::Get16(b, 28), c.form.depth);
        EXPECT_EQ(bmptest::Get32(b, 30), c.compression);
        EXPECT_EQ(bmptest::Get32(b, 34), c.pixels.size());
        EXPECT_EQ(bmptest::Get32(b, 46), c.form.tableCount == (1 << c.form.depth) ? 0u : uint32_t(c.form.tableCount));
    }
}

TEST(IndexedBitmap, RefusesFormsTheFormatLacks) {
    PaletteEntry palette[256] = {};
    for (const IndexedForm& form : {IndexedForm{1, 1, 2}, IndexedForm{2, 0, 4}, IndexedForm{4, 0, 17},
                                    IndexedForm{8, 0, 0}}) {
        BITMAPINFOHEADER info = MakeInfoHeader(1, 1, 8);
        uint8_t indices[4] = {};
        size_t size = 0;
        EXPECT_EQ(EncodeIndexedBitmap(indices, &info, palette, &form, &size), nullptr) << form.depth;
    }
}

TEST(IndexedBitmap, EveryFormReadsBackAsThePicture) {
    PaletteEntry palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
    std::mt19937 rng(23);
    for (const IndexedForm& form : {IndexedForm{8, 1, 256}, IndexedForm{4, 1, 16}, IndexedForm{4, 0, 11},
                                    IndexedForm{1, 0, 2}, IndexedForm{8, 0, 200}}) {
        for (int width : {1, 2, 3, 5, 8, 9, 31, 260, 600}) {
            std::vector<std::vector<uint8_t>> rows(3, std::vector<uint8_t>(size_t(width)));
            for (auto& row : rows) {
                for (size_t x = 0; x < row.size(); ++x) {
                    // Runs, lone pixels and literal stretches alike.
                    const uint8_t v = uint8_t(rng() % uint32_t(form.tableCount));
                    row[x] = x > 0 && rng() % 3 == 0 ? row[x - 1] : v;
                }
            }
            const std::vector<uint8_t> file = Encode(rows, form, palette);
            BITMAPINFOHEADER info;
            uint8_t* pixels = nullptr;
            ASSERT_EQ(ParseBitmapAny(file.data(), file.size(), &info, &pixels, nullptr), kBitmapOk)
                << form.depth << " " << width;
            const int32_t stride = RowStride(&info);
            for (size_t y = 0; y < rows.size(); ++y)
                for (int x = 0; x < width; ++x) {
                    const uint8_t* p = pixels + y * size_t(stride) + 3 * size_t(x);
                    const PaletteEntry& e = palette[rows[y][size_t(x)]];
                    ASSERT_EQ(p[0] | p[1] << 8 | p[2] << 16, e.blue | e.green << 8 | e.red << 16)
                        << "depth " << form.depth << " rle " << form.rle << " width " << width << " at " << x << "," << y;
                }
            FreeBytes(pixels);
        }
    }
}

}  // namespace
