// Writing palette files in each format's plain common form.
#include <cstdio>
#include <cstring>

#include "palette_file/palette_file.h"
#include "platform/alloc.h"

namespace bmp256 {

namespace {

constexpr size_t kLineBytes = 32;  // room for one colour line of either text form

uint8_t* FormatText(bool gimp, const PaletteEntry* entries, int count, size_t* size) {
    const size_t room = 64 + size_t(count) * kLineBytes;
    char* text = static_cast<char*>(AllocateBytes(room));
    if (!text) return nullptr;
    size_t n = 0;
    if (gimp) {
        n += size_t(std::snprintf(text + n, room - n, "GIMP Palette\nName: bmp256\nColumns: 16\n#\n"));
    } else {
        n += size_t(std::snprintf(text + n, room - n, "JASC-PAL\r\n0100\r\n%d\r\n", count));
    }
    for (int i = 0; i < count; ++i) {
        const PaletteEntry& e = entries[i];
        n += size_t(std::snprintf(text + n, room - n, gimp ? "%3d %3d %3d\n" : "%d %d %d\r\n", e.red, e.green,
                                  e.blue));
    }
    *size = n;
    return reinterpret_cast<uint8_t*>(text);
}

uint8_t* FormatAct(const PaletteEntry* entries, int count, size_t* size) {
    uint8_t* data = static_cast<uint8_t*>(AllocateZeroed(772, 1));
    if (!data) return nullptr;
    for (int i = 0; i < count; ++i) {
        data[3 * i] = entries[i].red;
        data[3 * i + 1] = entries[i].green;
        data[3 * i + 2] = entries[i].blue;
    }
    data[768] = uint8_t(count >> 8);
    data[769] = uint8_t(count);
    data[770] = 0xFF;  // no transparent colour
    data[771] = 0xFF;
    *size = 772;
    return data;
}

// A picture one pixel high with one pixel of each colour, so that the file
// shows its palette as well as holding it.
uint8_t* FormatBmp(const PaletteEntry* entries, int count, size_t* size) {
    const size_t stride = (size_t(count) + 3) & ~size_t(3);
    const size_t offset = kHeadersSize + 4 * size_t(count);
    const size_t total = offset + stride;
    uint8_t* data = static_cast<uint8_t*>(AllocateZeroed(total, 1));
    if (!data) return nullptr;
    BITMAPFILEHEADER file = {kBitmapSignature, uint32_t(total), 0, 0, uint32_t(offset)};
    BITMAPINFOHEADER info = {40, count, 1, 1, 8, 0, uint32_t(stride), 2835, 2835,
                             count == kPaletteSize ? 0u : uint32_t(count), 0};
    EncodeFileHeader(&file, data);
    EncodeInfoHeader(&info, data + kFileHeaderSize);
    for (int i = 0; i < count; ++i) {
        uint8_t* e = data + kHeadersSize + 4 * i;
        e[0] = entries[i].blue;
        e[1] = entries[i].green;
        e[2] = entries[i].red;
        data[offset + size_t(i)] = uint8_t(i);
    }
    *size = total;
    return data;
}

}  // namespace

uint8_t* FormatPaletteFile(PaletteFormat format, const PaletteEntry* entries, int count, size_t* size) {
    if (count < 1 || count > kMaxPaletteFileColors) return nullptr;
    switch (format) {
        case kPaletteGpl:
            return FormatText(true, entries, count, size);
        case kPaletteJasc:
            return FormatText(false, entries, count, size);
        case kPaletteAct:
            return FormatAct(entries, count, size);
        case kPaletteBmp:
            return FormatBmp(entries, count, size);
        case kPalettePng:
            return FormatPngPalette(entries, count, size);
        case kPaletteUnknown:
            break;
    }
    return nullptr;
}

}  // namespace bmp256
