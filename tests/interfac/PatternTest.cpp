// tests/interfac/PatternTest.cpp: the built-in patterns, drawn into 8x8 rows of . and #.
#include "Interfac/Pattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> picture(const PatternRecord& p, int x0, int y0)
{
    std::vector<std::string> rows;
    for (int y = y0; y < y0 + 8; ++y) {
        std::string row;
        for (int x = x0; x < x0 + 8; ++x)
            row += p.isForeground(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

} // namespace

TEST(Pattern, BuiltInPatterns)
{
    const std::vector<std::string> black(8, "########"), white(8, "........");
    const std::vector<std::string> grey { "#.#.#.#.", ".#.#.#.#", "#.#.#.#.", ".#.#.#.#",
                                          "#.#.#.#.", ".#.#.#.#", "#.#.#.#.", ".#.#.#.#" };
    EXPECT_EQ(picture(builtInPattern(1), 0, 0), black);
    EXPECT_EQ(picture(builtInPattern(4), 0, 0), grey);
    EXPECT_EQ(picture(builtInPattern(20), 0, 0), white);
    // Other indices are black; the pattern repeats every 8 pixels, negative coordinates included.
    EXPECT_EQ(builtInPattern(2), builtInPattern(1));
    EXPECT_EQ(builtInPattern(0), builtInPattern(1));
    EXPECT_EQ(picture(builtInPattern(4), 8, -16), grey);
    EXPECT_EQ(picture(builtInPattern(4), 1, 0)[0], ".#.#.#.#");
    EXPECT_EQ(builtInPattern(4).rows[1], 0x55);
}
