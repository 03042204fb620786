// Inside the input layer: what the reading of a source and the parsing of
// its bytes share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/input.h"

namespace bmp256 {

// Fills `report` (status, errno and the formatted reason) and returns 0.
int Refused(InputReport* report, InputStatus status, int systemError, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// 1 when the first `size` bytes of a source start a form this build reads;
// else 0 with the reason ("the file is empty", "not an image ...", or the
// decoder this build lacks) in `report`.
int CheckSignature(const uint8_t* head, size_t size, InputReport* report);

}  // namespace bmp256
