// Kernel/Logical.h: the equality tests as native predicates.
#pragma once

#include "Kernel/Value.h"

bool isEqv(Value a, Value b);
bool isEqual(Value a, Value b);
