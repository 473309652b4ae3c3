// Kernel/Vector.h: element access for vectors, and the index conversion shared by the collections.
//
// Vector and array blocks start at even (not always 4-byte aligned) addresses, so elements are
// read and written byte-wise. The block may move at the next allocation: callers keep the Value
// and the index, never an element address.
#pragma once

#include "Kernel/Memory.h"
#include "Kernel/Value.h"

#include <cstring>

inline bool isVector(Value v) { return tagOf(v) == Tag::Vector; }

// The vector itself, or the wrong-type error with v.
Value toVector(Value v);

inline Value vectorElement(Value vector, uint32_t index)
{
    Value x;
    std::memcpy(&x, blockData(vector) + 4 + 4 * static_cast<size_t>(index), 4);
    return x;
}

inline void setVectorElement(Value vector, uint32_t index, Value x)
{
    if (isPermanentCell(vector))
        gFullCollectionRequested = true; // a partial collection would not look inside it
    std::memcpy(blockData(vector) + 4 + 4 * static_cast<size_t>(index), &x, 4);
}

// A non-negative integer argument (an index or a size), or the wrong-type error with v.
uint32_t toCollectionIndex(Value v);
// An index below limit, or the wrong-type error with v.
uint32_t toIndexBelow(Value v, uint32_t limit);
// Whether list is a proper list (not dotted, not circular); its length then goes to length.
bool isProperList(Value list, uint32_t& length);
// The length of a proper list, or the wrong-type error with list when it is improper or circular.
uint32_t properListLength(Value list);
