// Kernel/List.h: list operations for native code. The walks stop at the first value that is not
// a pair (a dotted tail counts as the end), and raise the wrong-type error with the list when it
// has more pairs than the cell area holds (a circular list).
#pragma once

#include "Kernel/Memory.h"

#include <cstdint>

// Builds a fresh list front to back. Keep it in a local: the collector finds its Values there.
struct ListBuilder {
    Value head = kNil;
    Value tail = kNil;
    void add(Value v)
    {
        Value cell = cons(v, kNil);
        if (head == kNil)
            head = cell;
        else
            setCdr(tail, cell);
        tail = cell;
    }
};

// The wrong-type error for a list found to be circular.
[[noreturn]] void raiseCircular(Value list);

uint32_t listLength(Value list);
Value listTail(Value list, uint64_t n); // the list after n cdrs; nil when shorter
Value lastPair(Value list);             // the last pair; a dotted list's final tail; nil for nil
Value appendInPlace(Value a, Value b);  // links b to the last pair of a; returns the head
Value copyList(Value list);             // fresh top-level pairs, same elements and final tail
Value reverseInPlace(Value list);       // returns the new head
Value memq(Value x, Value list);        // first tail whose car is eq? to x, or nil
Value memv(Value x, Value list);        // ... eqv? to x
Value memberEqual(Value x, Value list); // ... equal? to x
