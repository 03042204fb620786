// The uncompressed pixel passes of the wide reader: palette indices, packed
// 16- and 32-bit pixels and 24-bit rows into canonical bottom-up BGR rows.
#include <cstdio>

#include "input/read_forms.h"

namespace bmp256 {
namespace form {

uint8_t WidenChannel(uint32_t value, int bits) {
    if (bits <= 0) return 0;
    if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
    uint32_t wide = 0;
    int have = 0;
    while (have < 8) {
        wide = (wide << bits) | value;
        have += bits;
    }
    return static_cast<uint8_t>(wide >> (have - 8));
}

namespace {

uint8_t Field(uint32_t pixel, const Channel& c) {
    return WidenChannel((pixel & c.mask) >> c.shift, c.bits);
}

uint32_t PackedPixel(const uint8_t* row, int32_t x, int bitCount) {
    if (bitCount == 16) return uint32_t(row[2 * x]) | (uint32_t(row[2 * x + 1]) << 8);
    const uint8_t* p = row + 4 * size_t(x);
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

size_t SourceStride(const Layout& l) {
    return size_t((uint64_t(l.bitCount) * uint64_t(l.width) + 31) / 32 * 4);
}

// Canonical row of file row `y`: a top-down file stores the top row first.
uint8_t* OutRow(const Layout& l, uint8_t* out, int32_t y) {
    size_t stride = (3 * size_t(l.width) + 3) & ~size_t{3};
    int32_t row = l.topDown ? l.height - 1 - y : y;
    return out + size_t(row) * stride;
}

// An alpha channel is in use when some pixel is not fully transparent;
// all-zero alpha is a writer that never filled it in.
bool AlphaInUse(const Layout& l) {
    if (l.alpha.bits == 0) return false;
    const size_t stride = SourceStride(l);
    for (int32_t y = 0; y < l.height; ++y) {
        const uint8_t* row = l.pixels + size_t(y) * stride;
        for (int32_t x = 0; x < l.width; ++x) {
            if (PackedPixel(row, x, l.bitCount) & l.alpha.mask) return true;
        }
    }
    return false;
}

}  // namespace

bool UnpackRows(const Layout& l, uint8_t* out, char* reason, size_t capacity) {
    const size_t stride = SourceStride(l);
    const bool alpha = (l.bitCount == 16 || l.bitCount == 32) && AlphaInUse(l);
    for (int32_t y = 0; y < l.height; ++y) {
        const uint8_t* row = l.pixels + size_t(y) * stride;
        uint8_t* o = OutRow(l, out, y);
        for (int32_t x = 0; x < l.width; ++x, o += 3) {
            if (l.bitCount <= 8) {
                const int perByte = 8 / l.bitCount;
                const int shift = 8 - l.bitCount * (x % perByte + 1);
                const uint32_t index = (row[x / perByte] >> shift) & ((1u << l.bitCount) - 1);
                if (index >= l.paletteCount) {
                    std::snprintf(reason, capacity,
                                  "a pixel uses colour %u, the colour table has %u entries",
                                  index, l.paletteCount);
                    return false;
                }
                o[0] = l.palette[index].blue;
                o[1] = l.palette[index].green;
                o[2] = l.palette[index].red;
            } else if (l.bitCount == 24) {
                o[0] = row[3 * size_t(x)];
                o[1] = row[3 * size_t(x) + 1];
                o[2] = row[3 * size_t(x) + 2];
            } else {
                const uint32_t p = PackedPixel(row, x, l.bitCount);
                o[0] = Field(p, l.blue);
                o[1] = Field(p, l.green);
                o[2] = Field(p, l.red);
                if (alpha) {
                    const uint8_t a = Field(p, l.alpha);
                    for (int c = 0; c < 3; ++c) o[c] = CompositeOn(o[c], a, l.background[c]);
                }
            }
        }
    }
    return true;
}

}  // namespace form

uint8_t CompositeOn(uint8_t colour, uint8_t alpha, uint8_t background) {
    return static_cast<uint8_t>((colour * alpha + background * (255 - alpha) + 127) / 255);
}

}  // namespace bmp256
