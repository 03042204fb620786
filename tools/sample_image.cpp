#include "sample_image.h"

#include <cmath>
#include <cstdio>

namespace sample {

uint32_t LatticeHash(uint32_t seed, int32_t x, int32_t y) {
    uint32_t h = seed * 0x9E3779B9u ^ static_cast<uint32_t>(x) * 0x85EBCA6Bu ^
                 static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

namespace {

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(Rgb a, double k) { return Rgb{a.r * k, a.g * k, a.b * k}; }

Rgb Add(Rgb a, Rgb b) { return Rgb{a.r + b.r, a.g + b.g, a.b + b.b}; }

double Clamp01(double t) { return t < 0 ? 0 : t > 1 ? 1 : t; }

double Smooth(double t) {
    t = Clamp01(t);
    return t * t * (3 - 2 * t);
}

double Unit(uint32_t h) { return static_cast<double>(h >> 8) / 16777216.0; }

int32_t Floor(double v) {
    int32_t i = static_cast<int32_t>(v);
    return (v < i) ? i - 1 : i;
}

// Smoothly interpolated value noise in one and two dimensions, in [0, 1).
double Noise1(uint32_t seed, double x) {
    int32_t i = Floor(x);
    double t = x - i;
    double s = t * t * (3 - 2 * t);
    double a = Unit(LatticeHash(seed, i, 0));
    double b = Unit(LatticeHash(seed, i + 1, 0));
    return a + (b - a) * s;
}

double Noise2(uint32_t seed, double x, double y) {
    int32_t i = Floor(x), j = Floor(y);
    double tx = x - i, ty = y - j;
    double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    double a = Unit(LatticeHash(seed, i, j)), b = Unit(LatticeHash(seed, i + 1, j));
    double c = Unit(LatticeHash(seed, i, j + 1)), d = Unit(LatticeHash(seed, i + 1, j + 1));
    double top = a + (b - a) * sx, bottom = c + (d - c) * sx;
    return top + (bottom - top) * sy;
}

// Fractal sums of octaves, in [0, 1).
double Fbm1(uint32_t seed, double x, int octaves) {
    double sum = 0, amplitude = 0.5, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * Noise1(seed + o * 101u, x);
        total += amplitude;
        x *= 2.03;
        amplitude *= 0.5;
    }
    return sum / total;
}

double Fbm2(uint32_t seed, double x, double y, int octaves) {
    double sum = 0, amplitude = 0.5, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * Noise2(seed + o * 131u, x, y);
        total += amplitude;
        x *= 2.01;
        y *= 2.01;
        amplitude *= 0.5;
    }
    return sum / total;
}

struct Scene {
    uint32_t seed;
    double aspect;   // width / height
    double horizon;  // picture height units from the top
    double sunX, sunY, sunRadius;
};

// Sky colour at (u, v), u across in height units, v down from the top.
Rgb Sky(const Scene& s, double u, double v, bool withClouds) {
    const Rgb zenith{28, 52, 128};
    const Rgb middle{120, 130, 190};
    const Rgb horizon{252, 176, 112};
    double t = Clamp01(v / s.horizon);
    Rgb c = t < 0.55 ? Mix(zenith, middle, Smooth(t / 0.55))
                     : Mix(middle, horizon, Smooth((t - 0.55) / 0.45));
    double dx = u - s.sunX, dy = v - s.sunY;
    double d2 = dx * dx + dy * dy;
    // Glow: a rational fall-off around the sun, warmer near it.
    double glow = 1.0 / (1.0 + d2 / (s.sunRadius * s.sunRadius * 6.0));
    c = Add(c, Scale(Rgb{120, 70, 20}, glow));
    if (withClouds) {
        double n = Fbm2(s.seed + 7, u * 3.0, v * 9.0, 5);
        double cover = Smooth((n - 0.52) / 0.22) * Smooth((s.horizon - v) / (s.horizon * 0.5));
        Rgb lit = Mix(Rgb{250, 215, 200}, Rgb{255, 236, 190}, glow);
        Rgb shade = Mix(Rgb{150, 110, 140}, lit, Smooth((0.75 - n) / 0.25 + 0.3));
        c = Mix(c, shade, cover * 0.85);
    }
    double d = std::sqrt(d2);
    if (d < s.sunRadius * 1.1) {
        double disc = Smooth((s.sunRadius * 1.1 - d) / (s.sunRadius * 0.2));
        c = Mix(c, Rgb{255, 244, 214}, disc);
    }
    return c;
}

// Top edge of a hill range (distance from the top of the picture) at u:
// range 0 is the far one, range 1 the nearer one in front of it.
double Ridge(const Scene& s, int range, double u) {
    const double base[2] = {0.035, 0.008};
    const double depth[2] = {0.11, 0.08};
    const double scale[2] = {2.2, 1.3};
    return s.horizon - base[range] - depth[range] * Fbm1(s.seed + 31u * range, u * scale[range], 5);
}

Rgb Hills(const Scene& s, int range, double u, double v) {
    const Rgb colour[2] = {{104, 112, 150}, {58, 94, 64}};
    const double haze[2] = {0.5, 0.18};
    const double e = 0.002;
    double slope = (Ridge(s, range, u + e) - Ridge(s, range, u - e)) / (2 * e);
    // Faces that rise towards the sun are lit, the others shaded; the side
    // turns smoothly below the sun.
    double side = (u - s.sunX) / 0.25;
    side = side < -1 ? -1 : side > 1 ? 1 : side;
    double towardSun = slope * side;
    double light = 0.7 + 0.45 * Clamp01(towardSun * 1.5 + 0.4);
    double below = v - Ridge(s, range, u);
    light *= 1.0 - 0.3 * Clamp01(below / 0.12);  // darker down the slope
    double texture = 0.88 + 0.24 * Fbm2(s.seed + 55u + range, u * 40, v * 40, 3);
    Rgb c = Scale(colour[range], light * texture);
    return Mix(c, Sky(s, u, s.horizon, false), haze[range]);
}

// Everything above the horizon: sky, clouds, sun and the two hill ranges.
Rgb Above(const Scene& s, double u, double v, bool withClouds) {
    if (v >= Ridge(s, 1, u)) return Hills(s, 1, u, v);
    if (v >= Ridge(s, 0, u)) return Hills(s, 0, u, v);
    return Sky(s, u, v, withClouds);
}

Rgb Scenery(const Scene& s, double u, double v) {
    if (v < s.horizon) return Above(s, u, v, true);
    double meadowTop = 0.80 - 0.05 * Fbm1(s.seed + 91, u * 2.5, 4);
    if (v >= meadowTop) {
        // The meadow: lighter far, darker near, with grass texture and flowers.
        double t = Clamp01((v - meadowTop) / (1.0 - meadowTop));
        Rgb c = Mix(Rgb{128, 150, 62}, Rgb{54, 84, 28}, Smooth(t));
        double grass = Fbm2(s.seed + 17, u * 60, v * 12, 4);
        c = Scale(c, 0.78 + 0.44 * grass);
        double f = Noise2(s.seed + 23, u * 140, v * 140);
        if (f > 0.93) c = Mix(c, Rgb{236, 204, 86}, Smooth((f - 0.93) / 0.04));
        return c;
    }
    // The lake mirrors what is above the horizon, darkened, with ripples
    // that grow towards the shore.
    double depth = (v - s.horizon) / (meadowTop - s.horizon);
    double ripple = (Fbm2(s.seed + 3, u * 8, v * 120, 3) - 0.5) * 0.02 * (0.3 + depth);
    double mirrored = 2 * s.horizon - v + ripple;
    if (mirrored < 0) mirrored = 0;
    Rgb c = Above(s, u + ripple, mirrored, true);
    return Mix(Scale(c, 0.82), Rgb{20, 40, 62}, 0.15 + 0.3 * depth);
}

}  // namespace

std::vector<uint8_t> MakeSampleImage(int width, int height, uint32_t seed) {
    Scene s;
    s.seed = seed;
    s.aspect = static_cast<double>(width) / static_cast<double>(height);
    s.horizon = 0.56 + 0.06 * (Unit(LatticeHash(s.seed, 1, 1)) - 0.5);
    s.sunX = s.aspect * (0.25 + 0.5 * Unit(LatticeHash(s.seed, 2, 2)));
    s.sunY = s.horizon * (0.62 + 0.2 * Unit(LatticeHash(s.seed, 3, 3)));
    s.sunRadius = 0.045;

    int stride = (3 * static_cast<int>(width) + 3) & ~3;
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        // BMP rows are stored bottom-up: picture row y goes to file row height-1-y.
        uint8_t* row = pixels.data() + static_cast<size_t>(height - 1 - y) * stride;
        double v = (y + 0.5) / static_cast<double>(height);
        for (int x = 0; x < width; ++x) {
            double u = (x + 0.5) / static_cast<double>(height);
            Rgb c = Scenery(s, u, v);
            // Vignette: darker towards the corners.
            double cx = u / s.aspect - 0.5, cy = v - 0.5;
            c = Scale(c, 1.0 - 0.45 * (cx * cx + cy * cy));
            // Film grain, a few levels per channel.
            uint32_t g = LatticeHash(s.seed + 1000u, static_cast<int32_t>(x), static_cast<int32_t>(y));
            double grain[3] = {static_cast<double>(g & 7) - 3.5,
                               static_cast<double>((g >> 3) & 7) - 3.5,
                               static_cast<double>((g >> 6) & 7) - 3.5};
            double channel[3] = {c.b + grain[0], c.g + grain[1], c.r + grain[2]};
            for (int k = 0; k < 3; ++k) {
                double value = channel[k];
                int byte = value <= 0 ? 0 : value >= 255 ? 255 : static_cast<int>(value + 0.5);
                row[3 * x + k] = static_cast<uint8_t>(byte);
            }
        }
    }
    return pixels;
}

bool WriteSampleBmp(const char* path, int width, int height, const std::vector<uint8_t>& pixels) {
    int stride = (3 * width + 3) & ~3;
    uint32_t imageSize = static_cast<uint32_t>(stride) * static_cast<uint32_t>(height);
    uint8_t h[54] = {};
    auto put16 = [&](int o, uint32_t v) {
        h[o] = static_cast<uint8_t>(v);
        h[o + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](int o, uint32_t v) {
        for (int i = 0; i < 4; ++i) h[o + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put16(0, 0x4D42);
    put32(2, 54 + imageSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, imageSize);
    put32(38, 2835);  // 72 dpi
    put32(42, 2835);
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(h, 1, sizeof h, f) == sizeof h &&
              std::fwrite(pixels.data(), 1, pixels.size(), f) == pixels.size();
    if (std::fclose(f) != 0) ok = false;
    if (!ok) std::remove(path);
    return ok;
}

}  // namespace sample
