// Interfac/Pattern.h: 8x8 one-bit patterns in the classic layout: one byte per row from the top,
// bit 7 the leftmost pixel, 1 meaning the foreground colour.
#pragma once

#include <array>
#include <cstdint>

struct PatternRecord {
    std::array<uint8_t, 8> rows {};

    bool operator==(const PatternRecord&) const = default;
    // Whether the pixel (x, y) of a surface filled with the pattern, aligned at (0, 0), is drawn in
    // the foreground colour.
    bool isForeground(int x, int y) const { return (rows[y & 7] >> (7 - (x & 7))) & 1; }
};

// The built-in pattern list (list 0): index 1 is black, 4 is 50% grey (rows alternating 0xAA and
// 0x55) and 20 is white. Any other index gives black.
PatternRecord builtInPattern(int index);

// The pattern at index (from 1) of a pattern list: list 0 is the built-in one; any other list is
// the PAT# resource of that id (a big-endian 16-bit count, then 8-byte patterns). False when the
// list has no such pattern: an index out of range, a missing resource, or one too short for the
// count it announces.
bool patternFromList(int list, int index, PatternRecord& pattern);
