#include <gtest/gtest.h>

#include <set>

#include "quantize/tone_table.h"

using namespace bmp256;

TEST(ToneTable, ListedValues) {
    const struct { int index, tone; } cases[] = {
        {0, 0}, {7, 7}, {8, 7}, {22, 12}, {23, 12}, {24, 12}, {25, 12}, {26, 12},
        {88, 60}, {89, 60}, {127, 98}, {128, 100}, {126, 97}, {252, 251}, {255, 255},
    };
    for (const auto& c : cases) EXPECT_EQ(ToneTable[c.index], c.tone) << "index " << c.index;
}

TEST(ToneTable, ShapeInvariants) {
    std::set<int> distinct;
    int firstStepOfTwo = -1;
    for (int i = 0; i < 256; ++i) {
        distinct.insert(ToneTable[i]);
        EXPECT_LE(ToneTable[i], i) << i;
        const bool identity = i <= 7 || i >= 253;
        EXPECT_EQ(ToneTable[i] == i, identity) << i;
        if (i == 0) continue;
        const int step = ToneTable[i] - ToneTable[i - 1];
        EXPECT_GE(step, 0) << i;
        EXPECT_LE(step, 2) << i;
        if (i >= 90) {
            EXPECT_GT(step, 0) << i;
        }
        if (step == 2 && firstStepOfTwo < 0) firstStepOfTwo = i;
    }
    EXPECT_EQ(distinct.size(), 227u);
    EXPECT_EQ(firstStepOfTwo, 128);
}

TEST(ToneTable, LongestRunIsFiveTwelves) {
    int longest = 0, longestValue = -1, run = 1;
    for (int i = 1; i < 256; ++i) {
        run = ToneTable[i] == ToneTable[i - 1] ? run + 1 : 1;
        if (run > longest) {
            longest = run;
            longestValue = ToneTable[i];
        }
    }
    EXPECT_EQ(longest, 5);
    EXPECT_EQ(longestValue, 12);
}
