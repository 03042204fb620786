// Inside the decode module: one decoder per library, each compiled only when
// the build found that library (decode_none.cpp stands in for the rest).
#pragma once

#include "input/decode.h"

namespace bmp256 {

extern const bool kHavePngDecoder;
extern const bool kHaveJpegDecoder;

DecodeStatus DecodePng(const uint8_t* data, size_t size, uint64_t maxPixels, BITMAPINFOHEADER* info,
                       uint8_t** pixels, DecodeDetail* detail, const ReadOptions& options);
DecodeStatus DecodeJpeg(const uint8_t* data, size_t size, uint64_t maxPixels, BITMAPINFOHEADER* info,
                        uint8_t** pixels, DecodeDetail* detail, const ReadOptions& options);

}  // namespace bmp256
