// libFuzzer target: the 24-bit BMP buffer parser, the reader of every BMP
// form and the PNG and JPEG decoders on arbitrary bytes.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const char* problem = CheckBitmapParse(data, size)) {
        std::fprintf(stderr, "bitmap parse check failed: %s\n", problem);
        std::abort();
    }
    if (const char* problem = CheckImageRead(data, size)) {
        std::fprintf(stderr, "image read check failed: %s\n", problem);
        std::abort();
    }
    return 0;
}
