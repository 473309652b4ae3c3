// Kernel/Hash.h: symbol-keyed hash tables (tag 0x10).
//
// A table is a descriptor cell with header 0x1A: word 0 holds only the header, word 1 the Lisp
// address of its bucket block, taken from the handle manager. The bucket block has one Value slot
// per symbol-table entry (a key's slot is its symbol index); an empty slot holds the end marker.
// The bucket block never moves, but it lives outside the areas, so the collector reaches its
// Values only through markHashTable, and releases unreachable tables' blocks through
// releaseUnreachableHashTables.
#pragma once

#include "Kernel/Memory.h"
#include "Kernel/Symbol.h"
#include "Kernel/Value.h"

inline bool isHashTable(Value v) { return tagOf(v) == Tag::HashTable && headerOf(v) == Tag::HashHeader; }

// Calls fn(value) for every Value stored in the table, in symbol-table order.
template <typename Fn> void forEachHashValue(Value table, Fn fn)
{
    uint32_t address = cellOf(table).cdr;
    uint32_t slots = symbolCount();
    if (!isSpaceRange(address, 4ull * slots))
        return;
    for (uint32_t i = 0; i < slots; ++i) {
        Value x;
        std::memcpy(&x, hostAddress(address) + 4 * static_cast<size_t>(i), 4);
        if (x != kEnd)
            fn(x);
    }
}

// The collector's mark routine for header 0x1A: calls mark() on every stored Value. Setting the
// mark bit of the table's own cell stays with the caller.
void markHashTable(Value table);

// Called by the collector after marking and before the cell sweep: frees the bucket block of
// every table whose cell is not marked under markMask (the mask the sweep uses: 0x80000000 in a
// full collection, 0xC0000000 in a partial one, where permanent cells count as marked).
void releaseUnreachableHashTables(uint32_t markMask);

// The number of tables whose bucket block is held, and whether the table's block is held (for
// tests and space reports).
uint32_t liveHashTableCount();
bool holdsHashBucket(Value table);
