// Builds BMP files in memory for the tests, and writes bytes to temporary
// files. Shared by the bitmap, conversion and CLI tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bmptest {

struct Bgr {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
};

// Called for every pixel; x and y are in buffer order (y = 0 is the first
// row stored in the file, the bottom row of a bottom-up picture).
using PixelFunction = std::function<Bgr(int x, int y)>;

// The header fields a test may want to bend. Defaults give a plain,
// acceptable 24-bit bottom-up BMP.
struct BmpOptions {
    uint16_t signature = 0x4D42;
    uint32_t infoSize = 40;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    int32_t xPelsPerMeter = 2835;
    int32_t yPelsPerMeter = 2835;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
    // Bytes placed between the headers and the pixels (a colour table or a
    // gap); bfOffBits then points past them unless `offBits` overrides it.
    std::vector<uint8_t> gap;
    bool overrideOffBits = false;
    uint32_t offBits = 54;
    uint8_t padByte = 0;  // value of the 0 to 3 pad bytes of every row
};

// The row stride of a 24-bit image `width` pixels wide.
int Stride24(int width);

// The pixel array in file layout (rows of Stride24(width) bytes, padded with
// options.padByte) for width x height pixels from `pixel`.
std::vector<uint8_t> MakePixelArray(int width, int height, const PixelFunction& pixel,
                                    uint8_t padByte = 0);
// The same from a vector of width * height pixels in buffer order.
std::vector<uint8_t> MakePixelArray(int width, int height, const std::vector<Bgr>& pixels,
                                    uint8_t padByte = 0);

// A complete 24-bit BMP: 14-byte file header, 40-byte info header (biSize
// and biBitCount from `options`, biSizeImage = the pixel array's size), the
// gap, then the pixel array. `width` and `height` go into the header as given
// (negative, zero or huge values are allowed); the pixel array is only built
// for positive values, with abs(height) rows for a negative height.
std::vector<uint8_t> MakeBmp24(int32_t width, int32_t height, const PixelFunction& pixel,
                               const BmpOptions& options = BmpOptions());
std::vector<uint8_t> MakeBmp24(int32_t width, int32_t height, const std::vector<Bgr>& pixels,
                               const BmpOptions& options = BmpOptions());
// Headers only, for a header that claims whatever `width` and `height` say:
// 54 bytes plus the gap, no pixels.
std::vector<uint8_t> MakeBmpHeaders(int32_t width, int32_t height,
                                    const BmpOptions& options = BmpOptions());

// Deterministic pixel generators: a smooth gradient and seeded noise.
Bgr GradientPixel(int x, int y, int width, int height);
PixelFunction NoisePixels(uint32_t seed);

// Little-endian field access on a byte vector.
void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
uint16_t Get16(const std::vector<uint8_t>& bytes, size_t offset);
uint32_t Get32(const std::vector<uint8_t>& bytes, size_t offset);

// 32-bit FNV-1a of the bytes: pins an output without storing it.
uint32_t Fnv1a(const std::vector<uint8_t>& bytes);

// A fresh, empty directory under the system's temporary directory, removed
// with everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

// Writes `bytes` to `path` (created or replaced); returns false on any failure.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Writes `bytes` to a new file in a per-process temporary directory and
// returns its path; `name` is the file's name there.
std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes);
// The whole file, or an empty vector when it cannot be read (`ok` says which).
std::vector<uint8_t> ReadFileBytes(const std::string& path, bool* ok = nullptr);
bool FileExists(const std::string& path);

// The names in `dir` (not . and ..), sorted; none when it cannot be listed.
std::vector<std::string> ListDir(const std::string& dir);

}  // namespace bmptest
