#include "photo_image.h"

#include <cmath>
#include <cstdio>

using namespace bmp256;

namespace {

uint32_t Hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Value noise in -1..1 on a lattice of `cell` pixels, bilinearly blended.
double LatticeNoise(int32_t x, int32_t y, int cell, uint32_t seed) {
    const int32_t gx = x / cell, gy = y / cell;
    const double fx = double(x % cell) / cell, fy = double(y % cell) / cell;
    auto at = [&](int32_t i, int32_t j) {
        return double(Hash(uint32_t(i) * 73856093U ^ uint32_t(j) * 19349663U ^ seed) & 0xFFFF) / 32767.5 - 1.0;
    };
    const double top = at(gx, gy) * (1 - fx) + at(gx + 1, gy) * fx;
    const double bottom = at(gx, gy + 1) * (1 - fx) + at(gx + 1, gy + 1) * fx;
    return top * (1 - fy) + bottom * fy;
}

uint8_t ToByte(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : int(v)); }

void Put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void Put32(uint8_t* p, uint32_t v) { Put16(p, v & 0xFFFF); Put16(p + 2, v >> 16); }

}  // namespace

PhotoImage MakePhotoImage(int32_t width, int32_t height, uint32_t seed) {
    PhotoImage image{};
    image.info.biSize = 40;
    image.info.biWidth = width;
    image.info.biHeight = height;
    image.info.biPlanes = 1;
    image.info.biBitCount = 24;
    const int32_t stride = RowStride(&image.info);
    image.info.biSizeImage = uint32_t(stride) * uint32_t(height);
    image.pixels.assign(size_t(stride) * size_t(height), 0);
    // Sizes relative to the picture, so every size shows the same scene.
    const double scale = double(width < height ? width : height);
    struct Disc { double cx, cy, radius, b, g, r; };
    Disc discs[12];
    for (int i = 0; i < 12; ++i) {
        const uint32_t h = Hash(seed * 977U + uint32_t(i));
        discs[i] = Disc{double(h % 1000) / 1000 * width, double((h >> 10) % 1000) / 1000 * height,
                        (0.05 + double((h >> 20) % 100) / 500) * scale, double(Hash(h) % 256),
                        double(Hash(h + 1) % 256), double(Hash(h + 2) % 256)};
    }
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = &image.pixels[size_t(y) * size_t(stride)];
        const double v = double(y) / scale;
        for (int32_t x = 0; x < width; ++x, p += 3) {
            const double u = double(x) / scale;
            // Sky-to-ground shading.
            double b = 150 + 70 * std::sin(1.7 * u + 0.4) - 60 * v;
            double g = 110 + 60 * std::sin(2.3 * v + 1.1 * u);
            double r = 90 + 80 * std::cos(1.3 * u - 2.1 * v);
            for (const Disc& d : discs) {
                const double dx = x - d.cx, dy = y - d.cy;
                const double t = 1 - std::sqrt(dx * dx + dy * dy) / d.radius;
                if (t <= 0) continue;
                const double a = t > 0.1 ? 1 : t * 10;  // soft edge
                const double shade = 0.6 + 0.4 * t;     // lit centre
                b += a * (d.b * shade - b);
                g += a * (d.g * shade - g);
                r += a * (d.r * shade - r);
            }
            const int cell = width / 64 > 4 ? width / 64 : 4;
            const double texture = 24 * LatticeNoise(x, y, cell, seed) + 10 * LatticeNoise(x, y, cell / 4 + 1, seed + 1);
            const uint32_t n = Hash(uint32_t(y) * 0x9E3779B1U + uint32_t(x) + seed);
            b += texture + double(int(n & 7) - 4);
            g += texture + double(int((n >> 3) & 7) - 4);
            r += texture + double(int((n >> 6) & 7) - 4);
            p[0] = ToByte(b);
            p[1] = ToByte(g);
            p[2] = ToByte(r);
        }
    }
    return image;
}

bool WritePhotoBmp(const char* path, const PhotoImage& image) {
    uint8_t head[54] = {};
    head[0] = 'B';
    head[1] = 'M';
    Put32(head + 2, uint32_t(54 + image.pixels.size()));
    Put32(head + 10, 54);
    Put32(head + 14, 40);
    Put32(head + 18, uint32_t(image.info.biWidth));
    Put32(head + 22, uint32_t(image.info.biHeight));
    Put16(head + 26, 1);
    Put16(head + 28, 24);
    Put32(head + 34, uint32_t(image.pixels.size()));
    Put32(head + 38, 2835);
    Put32(head + 42, 2835);
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head &&
              std::fwrite(image.pixels.data(), 1, image.pixels.size(), f) == image.pixels.size();
    if (std::fclose(f) != 0) ok = false;
    return ok;
}
