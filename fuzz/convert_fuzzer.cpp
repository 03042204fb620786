// libFuzzer target: palette construction and error diffusion on small images.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const char* problem = CheckSmallConversion(data, size)) {
        std::fprintf(stderr, "conversion check failed: %s\n", problem);
        std::abort();
    }
    return 0;
}
