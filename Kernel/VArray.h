// Kernel/VArray.h: multi-dimensional arrays (tag 0x3E).
//
// Block layout: a 32-bit element count n, a 16-bit rank r, r 16-bit dimensions, then n Values
// (byte 6 + 2r on), the first index varying fastest. Elements are not 4-byte aligned, so they are
// read byte-wise; the block moves at the next allocation, so callers keep the Value, never an
// address into it.
#pragma once

#include "Kernel/Memory.h"
#include "Kernel/Value.h"

#include <cstring>

constexpr uint32_t kMaxArrayElements = 65536;

inline bool isArray(Value v) { return tagOf(v) == Tag::Array; }

inline uint32_t arrayElementCount(Value a)
{
    uint32_t n;
    std::memcpy(&n, blockData(a), 4);
    return n;
}

inline uint32_t arrayRank(Value a)
{
    uint16_t r;
    std::memcpy(&r, blockData(a) + 4, 2);
    return r;
}

inline uint32_t arrayDimension(Value a, uint32_t k)
{
    uint16_t d;
    std::memcpy(&d, blockData(a) + 6 + 2 * static_cast<size_t>(k), 2);
    return d;
}

inline uint8_t* arrayElementAddress(Value a, uint32_t position)
{
    return blockData(a) + 6 + 2 * static_cast<size_t>(arrayRank(a)) + 4 * static_cast<size_t>(position);
}

inline Value arrayElement(Value a, uint32_t position)
{
    Value x;
    std::memcpy(&x, arrayElementAddress(a, position), 4);
    return x;
}

inline void setArrayElement(Value a, uint32_t position, Value x)
{
    if (isPermanentCell(a))
        gFullCollectionRequested = true;
    std::memcpy(arrayElementAddress(a, position), &x, 4);
}
