// In-memory 24-bit images for the quantize, mapping and conversion tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "bitmap/bitmap.h"
#include "support/bmp_builder.h"

using namespace bmp256;  // the test programs name the core unqualified

struct TestImage {
    BITMAPINFOHEADER info;
    std::vector<uint8_t> pixels;  // file layout: rows of RowStride bytes
};

inline BITMAPINFOHEADER MakeInfoHeader(int32_t width, int32_t height, uint16_t bitCount = 24) {
    BITMAPINFOHEADER info{};
    info.biSize = 40;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = bitCount;
    info.biSizeImage = 0;
    return info;
}

// Pixels from `make(x, y, bgr)`, in buffer order; pad bytes are set to 0xEE so
// that reading them as pixels shows.
template <typename Make>
TestImage MakeImage(int32_t width, int32_t height, Make make) {
    TestImage image{MakeInfoHeader(width, height), {}};
    const int32_t stride = RowStride(&image.info);
    image.pixels.assign(size_t(stride) * size_t(height > 0 ? height : 0), 0xEE);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) make(x, y, &image.pixels[size_t(y) * stride + 3 * x]);
    return image;
}

// Triples (blue, green, red) listed row after row in buffer order.
inline TestImage ImageFromTriples(int32_t width, int32_t height, const std::vector<std::vector<int>>& bgr) {
    return MakeImage(width, height, [&](int32_t x, int32_t y, uint8_t* p) {
        const std::vector<int>& c = bgr[size_t(y) * width + x];
        p[0] = uint8_t(c[0]);
        p[1] = uint8_t(c[1]);
        p[2] = uint8_t(c[2]);
    });
}

inline TestImage RandomImage(int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    return MakeImage(width, height, [&](int32_t, int32_t, uint8_t* p) {
        for (int c = 0; c < 3; ++c) p[c] = uint8_t(rng());
    });
}

// Smooth gradients with a little seeded noise: many close colours, as in photos.
inline TestImage PhotoLikeImage(int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    return MakeImage(width, height, [&](int32_t x, int32_t y, uint8_t* p) {
        const int noise = int(rng() % 9) - 4;
        const int b = 40 + 180 * y / (height > 1 ? height - 1 : 1) + noise;
        const int g = 60 + 150 * x / (width > 1 ? width - 1 : 1) + noise;
        const int r = 128 + ((x * 7 + y * 3) % 96) - 48 + noise;
        p[0] = uint8_t(b < 0 ? 0 : b > 255 ? 255 : b);
        p[1] = uint8_t(g < 0 ? 0 : g > 255 ? 255 : g);
        p[2] = uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
    });
}

// The image as the bytes of a 24-bit BMP file.
inline std::vector<uint8_t> BmpOf(const TestImage& image) {
    const int32_t stride = RowStride(&image.info);
    return bmptest::MakeBmp24(image.info.biWidth, image.info.biHeight, [&](int x, int y) {
        const uint8_t* p = &image.pixels[size_t(y) * stride + 3 * size_t(x)];
        return bmptest::Bgr{p[0], p[1], p[2]};
    });
}
