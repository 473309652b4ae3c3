// Kernel/Type.h: the type predicates other units share.
#pragma once

#include "Kernel/Value.h"

bool typeMatches(Value x, Value type); // (type? x type)
Value typeName(Value x);               // (type-of x)
// Installed by the object system.
void setObjectTypeHooks(Value (*classNameOf)(Value), bool (*inheritsFrom)(Value, Value));
