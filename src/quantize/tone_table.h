// The fixed channel-to-tone lookup under every squared colour difference
// (box variances and nearest-colour distances). Colour errors carried by the
// diffusion are raw channel differences and do not use it.
#pragma once

#include <cstdint>

namespace bmp256 {

// Indexed by the channel byte itself; the same table for blue, green and red.
// Non-decreasing, 0 at 0 and 255 at 255, never above its index.
extern const uint8_t ToneTable[256];

}  // namespace bmp256
