// make_sample: writes the photo-like 24-bit BMP of tools/sample_image.h.
//
//   make_sample OUTPUT [WIDTH HEIGHT [SEED]]     (defaults 640 480 1)
#include <cstdio>
#include <cstdlib>

#include "sample_image.h"

namespace {

bool ParseInt(const char* text, long low, long high, long* out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!end || *end != '\0' || end == text || v < low || v > high) return false;
    *out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    long width = 640, height = 480, seed = 1;
    if (argc != 2 && argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: make_sample OUTPUT [WIDTH HEIGHT [SEED]]\n");
        return 2;
    }
    if (argc >= 4 && (!ParseInt(argv[2], 1, sample::kMaxSide, &width) ||
                      !ParseInt(argv[3], 1, sample::kMaxSide, &height))) {
        std::fprintf(stderr, "make_sample: width and height must be 1 to %d\n", sample::kMaxSide);
        return 2;
    }
    if (argc == 5 && !ParseInt(argv[4], 0, 0x7FFFFFFF, &seed)) {
        std::fprintf(stderr, "make_sample: the seed must be a number from 0 to 2147483647\n");
        return 2;
    }

    const std::vector<uint8_t> pixels =
        sample::MakeSampleImage(int(width), int(height), static_cast<uint32_t>(seed));
    if (!sample::WriteSampleBmp(argv[1], static_cast<int>(width), static_cast<int>(height), pixels)) {
        std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
