// The desktop program's conversion of a BMP held in memory, for the tests
// that compare its output bytes with another route's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "desktop/convert_file.h"
#include "support/bmp_builder.h"

namespace bmptest {

// The output file's bytes; none (and a failure) when the conversion refused.
inline std::vector<uint8_t> DesktopConversion(const std::vector<uint8_t>& source) {
    TempDir dir;
    const std::string in = dir.File("source.bmp"), out = dir.File("output.bmp");
    EXPECT_TRUE(WriteFileBytes(in, source));
    EXPECT_EQ(bmp256::ConvertFile(in.c_str(), out.c_str()), 1);
    return ReadFileBytes(out);
}

}  // namespace bmptest
