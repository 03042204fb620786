// The properties the fuzz targets hold the code to, as plain functions so that
// the ordinary test run can replay every corpus file through the same checks.
// Each takes arbitrary bytes, exercises one part of the program on them and
// returns null when every property held, else a static text naming the first
// one that did not. A crash, a leak or undefined behaviour is left for the
// sanitizers to report.
#pragma once

#include <cstddef>
#include <cstdint>

// The input layer's parse: an accepted source has the canonical header and
// sound sizes, rows used in place lie inside the bytes and equal the rows
// the decoding pass gives; a refusal has a reason and holds no memory; a
// failed allocation is a refusal.
const char* CheckBitmapParse(const uint8_t* data, size_t size);

// bmp256-convert's readers: the reader of every BMP form and the PNG and JPEG
// decoders. An accepted picture has the canonical 40-byte 24-bit header,
// sound sizes and zero row padding; a refusal holds no memory and, where it
// is about the form, has a reason; a failed allocation is a refusal.
const char* CheckImageRead(const uint8_t* data, size_t size);

// Palette construction and error diffusion on a small image taken from the
// bytes: byte 0 gives the width, byte 1 the height (each 1 to
// kConversionMaxSide), byte 2 an allocation to fail (when below 16, 0 for
// none); the rest are the pixels, repeated to fill the image. The palette is
// built and the image mapped as the conversion does it (the fast stages, the
// mapping in one to three threads by the input's length). Every index lies in
// 10 to 245, row padding and slots outside 10 to 245 are left alone, the
// palette colours are distinct, the plain stages give the same palette and
// indices, and a failed allocation leaves nothing written.
constexpr int kConversionMaxSide = 24;
const char* CheckSmallConversion(const uint8_t* data, size_t size);

// The same image the conversion check builds from `data`, as 24-bit pixels in
// file layout (rows of the 24-bit stride, zero padding); fills width and
// height. For tests that run the whole file conversion on it.
void BuildSmallImage(const uint8_t* data, size_t size, int* width, int* height,
                     uint8_t* pixels, size_t capacity);
constexpr size_t kSmallImageCapacity = size_t(kConversionMaxSide) *
                                       ((3 * kConversionMaxSide + 3) & ~3);

// The Shift-JIS-aware path routines on the bytes up to the first zero (at most
// kPathCheckMaxLength), held in a heap block of exactly that string so that
// any read past its terminator is caught. Byte kinds, separator tests, the
// file-name split, the extension search and cut and the lower-casing must
// agree with one another, for both separators. Byte 0 picks the character
// locale for the lower-casing (the C locale or a multi-byte one when the
// system has it) and is not part of the path.
constexpr size_t kPathCheckMaxLength = 400;
const char* CheckPathRoutines(const uint8_t* data, size_t size);
