// libFuzzer target: the Shift-JIS-aware path routines on arbitrary byte strings.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const char* problem = CheckPathRoutines(data, size)) {
        std::fprintf(stderr, "path check failed: %s\n", problem);
        std::abort();
    }
    return 0;
}
