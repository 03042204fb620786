// RLE8 and RLE4: runs and literal groups of palette indices, row by row from
// the bottom, with end-of-line, delta and end-of-bitmap escapes. Pixels past
// the right edge of a row are dropped (encoders that code the row padding as
// pixels write them, and other readers drop them); a pixel past the last row
// or a jump out of the picture is a damaged file; data that stops early
// leaves the rest transparent, as other readers show it.
#include <cstdio>

#include "input/read_forms.h"

namespace bmp256 {
namespace form {

namespace {

struct Cursor {
    const Layout& l;
    uint8_t* out;
    size_t stride;
    int32_t x = 0;
    int32_t y = 0;
    char* reason;
    size_t capacity;

    bool Put(uint32_t index) {
        if (y >= l.height) {
            std::snprintf(reason, capacity, "the run-length data runs past the last row of the picture");
            return false;
        }
        if (x >= l.width) return true;  // dropped; x stays put, so it cannot overflow
        if (index >= l.paletteCount) {
            std::snprintf(reason, capacity,
                          "a pixel uses colour %u, the colour table has %u entries", index,
                          l.paletteCount);
            return false;
        }
        uint8_t* o = out + size_t(y) * stride + 3 * size_t(x);
        o[0] = l.palette[index].blue;
        o[1] = l.palette[index].green;
        o[2] = l.palette[index].red;
        ++x;
        return true;
    }
};

}  // namespace

bool DecodeRle(const Layout& l, uint8_t* out, char* reason, size_t capacity) {
    Cursor c{l, out, (3 * size_t(l.width) + 3) & ~size_t{3}, 0, 0, reason, capacity};
    const bool four = l.compression == kRle4;
    const uint8_t* p = l.pixels;
    const uint8_t* end = l.pixels + l.pixelBytes;
    while (end - p >= 2) {
        const uint32_t count = p[0];
        const uint32_t value = p[1];
        p += 2;
        if (count > 0) {
            for (uint32_t i = 0; i < count; ++i) {
                uint32_t index = four ? (i % 2 == 0 ? value >> 4 : value & 15) : value;
                if (!c.Put(index)) return false;
            }
            continue;
        }
        if (value == 0) {  // end of line
            c.x = 0;
            ++c.y;
        } else if (value == 1) {  // end of bitmap
            return true;
        } else if (value == 2) {  // delta: move right and up
            if (end - p < 2) break;
            c.x += p[0];
            c.y += p[1];
            p += 2;
            if (c.x > l.width || c.y > l.height) {
                std::snprintf(reason, capacity, "a run-length jump leaves the picture");
                return false;
            }
        } else {  // a literal group, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1) / 2 : value;
            const size_t padded = (bytes + 1) & ~size_t{1};
            if (size_t(end - p) < bytes) break;
            for (uint32_t i = 0; i < value; ++i) {
                uint32_t index = four ? (i % 2 == 0 ? p[i / 2] >> 4 : p[i / 2] & 15) : p[i];
                if (!c.Put(index)) return false;
            }
            p += size_t(end - p) < padded ? size_t(end - p) : padded;
        }
    }
    return true;  // cut short: the rest stays transparent
}

}  // namespace form

}  // namespace bmp256
