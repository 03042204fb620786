// A PNG's PLTE through libpng, read without decoding the pixels, and a small
// indexed PNG (one pixel of each colour) written. libpng reports errors by
// longjmp; nothing with a destructor lives across the setjmp. Builds without
// libpng (the Windows cross-build) get refusals that say so.
#include <cstdio>
#include <cstring>

#include "palette_file/palette_file.h"
#include "platform/alloc.h"

#ifdef BMP256_HAVE_PNG
#include <csetjmp>

#include <png.h>
#endif

namespace bmp256 {

#ifdef BMP256_HAVE_PNG

namespace {

// A palette PNG is well under this: signature, IHDR, PLTE, one small IDAT, IEND.
constexpr size_t kMaxWrittenBytes = 8192;

struct Stream {
    uint8_t* data;
    size_t size;
    size_t at;
    char* reason;
    size_t capacity;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t length) {
    Stream* s = static_cast<Stream*>(png_get_io_ptr(png));
    if (length > s->size - s->at) png_error(png, "the PNG data is cut short");
    std::memcpy(out, s->data + s->at, length);
    s->at += length;
}

void WriteBytes(png_structp png, png_bytep in, png_size_t length) {
    Stream* s = static_cast<Stream*>(png_get_io_ptr(png));
    if (length > s->size - s->at) png_error(png, "palette PNG too large");
    std::memcpy(s->data + s->at, in, length);
    s->at += length;
}

void Flush(png_structp) {}

void OnError(png_structp png, png_const_charp message) {
    Stream* s = static_cast<Stream*>(png_get_error_ptr(png));
    if (s->reason) std::snprintf(s->reason, s->capacity, "the PNG cannot be read: %s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

}  // namespace

bool PngPalettesAvailable() { return true; }

int ParsePngPalette(const uint8_t* data, size_t size, PaletteEntry* entries, int* count, char* reason,
                    size_t capacity) {
    Stream stream{const_cast<uint8_t*>(data), size, 0, reason, capacity};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &stream, OnError, OnWarning);
    if (!png) return std::snprintf(reason, capacity, "not enough memory for the PNG"), 0;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return std::snprintf(reason, capacity, "not enough memory for the PNG"), 0;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return 0;
    }
    png_set_read_fn(png, &stream, ReadBytes);
    // Only the palette is wanted. Skipped chunks cost nothing, where libpng
    // allocates a read chunk's claimed length before reading its bytes.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
    png_colorp plte = nullptr;
    int n = 0;
    int ok = 0;
    if (!png_get_PLTE(png, info, &plte, &n) || n < 1) {
        std::snprintf(reason, capacity, "the PNG has no palette (PLTE); give an indexed PNG");
    } else if (n > kMaxPaletteFileColors) {
        std::snprintf(reason, capacity, "the palette holds %d colours; at most %d fit a colour table", n,
                      kMaxPaletteFileColors);
    } else {
        for (int i = 0; i < n; ++i) entries[i] = PaletteEntry{plte[i].blue, plte[i].green, plte[i].red, 0};
        *count = n;
        ok = 1;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}

uint8_t* FormatPngPalette(const PaletteEntry* entries, int count, size_t* size) {
    if (count < 1 || count > kMaxPaletteFileColors) return nullptr;
    uint8_t* out = static_cast<uint8_t*>(AllocateBytes(kMaxWrittenBytes));
    if (!out) return nullptr;
    Stream stream{out, kMaxWrittenBytes, 0, nullptr, 0};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &stream, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        FreeBytes(out);
        return nullptr;
    }
    png_color colours[kMaxPaletteFileColors];
    png_byte row[kMaxPaletteFileColors];
    for (int i = 0; i < count; ++i) {
        colours[i] = png_color{entries[i].red, entries[i].green, entries[i].blue};
        row[i] = png_byte(i);
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        FreeBytes(out);
        return nullptr;
    }
    png_set_write_fn(png, &stream, WriteBytes, Flush);
    png_set_IHDR(png, info, png_uint_32(count), 1, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, colours, count);
    png_write_info(png, info);
    png_write_row(png, row);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    *size = stream.at;
    return out;
}

#else

bool PngPalettesAvailable() { return false; }

int ParsePngPalette(const uint8_t*, size_t, PaletteEntry*, int*, char* reason, size_t capacity) {
    std::snprintf(reason, capacity, "this build reads no PNG; give the palette as .gpl, .pal, .act or .bmp");
    return 0;
}

uint8_t* FormatPngPalette(const PaletteEntry*, int, size_t*) { return nullptr; }

#endif

}  // namespace bmp256
