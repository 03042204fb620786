#include "support/bmp_builder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "sample_image.h"

namespace bmptest {

namespace fs = std::filesystem;

int Stride24(int width) { return (3 * width + 3) & ~3; }

std::vector<uint8_t> MakePixelArray(int width, int height, const PixelFunction& pixel,
                                    uint8_t padByte) {
    std::vector<uint8_t> out;
    if (width <= 0 || height <= 0) return out;
    int stride = Stride24(width);
    out.assign(static_cast<size_t>(stride) * height, padByte);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            Bgr p = pixel(x, y);
            row[3 * x + 0] = p.blue;
            row[3 * x + 1] = p.green;
            row[3 * x + 2] = p.red;
        }
    }
    return out;
}

std::vector<uint8_t> MakePixelArray(int width, int height, const std::vector<Bgr>& pixels,
                                    uint8_t padByte) {
    return MakePixelArray(
        width, height,
        [&](int x, int y) { return pixels.at(static_cast<size_t>(y) * width + x); }, padByte);
}

void Put16(std::vector<uint8_t>& b, size_t o, uint16_t v) {
    b.at(o) = static_cast<uint8_t>(v);
    b.at(o + 1) = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t o, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(o + i) = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t Get16(const std::vector<uint8_t>& b, size_t o) {
    return static_cast<uint16_t>(b.at(o) | (b.at(o + 1) << 8));
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t o) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b.at(o + i)) << (8 * i);
    return v;
}

uint32_t Fnv1a(const std::vector<uint8_t>& bytes) {
    uint32_t h = 2166136261u;
    for (uint8_t b : bytes) h = (h ^ b) * 16777619u;
    return h;
}

namespace {

std::vector<uint8_t> Assemble(int32_t width, int32_t height, const std::vector<uint8_t>& pixels,
                              const BmpOptions& o) {
    std::vector<uint8_t> b(54, 0);
    uint32_t offBits = o.overrideOffBits ? o.offBits : static_cast<uint32_t>(54 + o.gap.size());
    Put16(b, 0, o.signature);
    Put32(b, 2, static_cast<uint32_t>(54 + o.gap.size() + pixels.size()));
    Put32(b, 10, offBits);
    Put32(b, 14, o.infoSize);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    Put16(b, 26, o.planes);
    Put16(b, 28, o.bitCount);
    Put32(b, 30, o.compression);
    Put32(b, 34, static_cast<uint32_t>(pixels.size()));
    Put32(b, 38, static_cast<uint32_t>(o.xPelsPerMeter));
    Put32(b, 42, static_cast<uint32_t>(o.yPelsPerMeter));
    Put32(b, 46, o.clrUsed);
    Put32(b, 50, o.clrImportant);
    b.insert(b.end(), o.gap.begin(), o.gap.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

int RowsFor(int32_t height) {
    if (height > 0) return height;
    if (height < 0 && height > -(1 << 20)) return -height;
    return 0;
}

}  // namespace

std::vector<uint8_t> MakeBmp24(int32_t width, int32_t height, const PixelFunction& pixel,
                               const BmpOptions& options) {
    int rows = RowsFor(height);
    std::vector<uint8_t> pixels;
    if (width > 0 && width < (1 << 20)) pixels = MakePixelArray(width, rows, pixel, options.padByte);
    return Assemble(width, height, pixels, options);
}

std::vector<uint8_t> MakeBmp24(int32_t width, int32_t height, const std::vector<Bgr>& pixels,
                               const BmpOptions& options) {
    int rows = RowsFor(height);
    std::vector<uint8_t> array;
    if (width > 0) array = MakePixelArray(width, rows, pixels, options.padByte);
    return Assemble(width, height, array, options);
}

std::vector<uint8_t> MakeBmpHeaders(int32_t width, int32_t height, const BmpOptions& options) {
    return Assemble(width, height, {}, options);
}

Bgr GradientPixel(int x, int y, int width, int height) {
    int w = width > 1 ? width - 1 : 1;
    int h = height > 1 ? height - 1 : 1;
    return Bgr{static_cast<uint8_t>(255 * y / h), static_cast<uint8_t>(255 * (x + y) / (w + h)),
               static_cast<uint8_t>(255 * x / w)};
}

PixelFunction NoisePixels(uint32_t seed) {
    return [seed](int x, int y) {
        const uint32_t h = sample::LatticeHash(seed, x, y);
        return Bgr{static_cast<uint8_t>(h), static_cast<uint8_t>(h >> 8),
                   static_cast<uint8_t>(h >> 16)};
    };
}

TempDir::TempDir() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = ".";
    std::random_device rd;
    std::mt19937_64 rng((static_cast<uint64_t>(rd()) << 32) ^
                        static_cast<uint64_t>(
                            std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, "bmp256-test-%016llx",
                      static_cast<unsigned long long>(rng()));
        fs::path candidate = base / name;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.string();
            return;
        }
    }
    std::fprintf(stderr, "TempDir: cannot create a temporary directory under %s\n",
                 base.string().c_str());
    std::abort();
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission a test may have taken away, then remove.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all,
                                                  fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0) ok = false;
    return ok;
}

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    static TempDir dir;  // removed at exit
    std::string path = dir.File(name);
    if (!WriteFileBytes(path, bytes)) {
        std::fprintf(stderr, "WriteTempFile: cannot write %s\n", path.c_str());
        std::abort();
    }
    return path;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path, bool* ok) {
    std::vector<uint8_t> out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (ok) *ok = false;
    if (!f) return out;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + got);
    bool good = !std::ferror(f);
    std::fclose(f);
    if (ok) *ok = good;
    if (!good) out.clear();
    return out;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace bmptest
