// Kernel/Logical.h: the equality tests as native predicates.
#pragma once

#include "Kernel/Value.h"

// Numbers compared the way equal? compares them: the type of the first argument decides which
// second arguments can be equal to it (an integer never equals a different integer, a real equals
// any number of the same value). The one place where the numeric part of equality lives.
// The numeric part of equality is numbersEqual in Kernel/Number.h.
bool isEqv(Value a, Value b);
// Arrays (tag 0x3E) are eqv? when both have no elements; the array unit installs how their
// elements are counted. Until then arrays are eqv? only to themselves.
void setArrayElementCounter(uint64_t (*count)(Value array));
// Structural equality. Raises an error instead of recursing without end on structures that are
// too deep or circular.
bool isEqual(Value a, Value b);
