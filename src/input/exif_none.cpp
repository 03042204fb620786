// Stands in for libexif in a build without it: no EXIF block is read, so
// pictures keep their stored orientation.
#include <cstring>

#include "input/orientation.h"

namespace bmp256 {

const bool kHaveExif = false;

void ReadExif(const uint8_t*, size_t, ExifFacts* facts) { std::memset(facts, 0, sizeof *facts); }

}  // namespace bmp256
