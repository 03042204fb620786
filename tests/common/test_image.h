// In-memory 24-bit images for the quantize, mapping and conversion tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "bitmap/bitmap.h"
#include "sample_image.h"
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

// The landscape of our own making: smooth gradients and many close colours,
// as in photographs.
inline TestImage PhotoLikeImage(int32_t width, int32_t height, uint32_t seed) {
    const std::vector<uint8_t> sample = sample::MakeSampleImage(width, height, seed);
    const size_t stride = size_t(3 * width + 3) & ~size_t(3);
    return MakeImage(width, height, [&](int32_t x, int32_t y, uint8_t* p) {
        for (int c = 0; c < 3; ++c) p[c] = sample[size_t(y) * stride + 3 * size_t(x) + c];
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
