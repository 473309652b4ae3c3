// Kernel/Persist.h: configurations and the native class chain of the application framework.
#pragma once

#include "Kernel/Value.h"

// The value of symbol's property for object: the first hit of its keyword in object's constructor
// list, else the slot's initial value in object's context (nil when object has no such slot).
Value searchPropertyIn(Value object, Value symbol);
// The same in the current object's context.
Value searchProperty(Value symbol);

// The native classes of the chain (nil before the Persist Module starts).
extern Value gNodeWithChildren, gObjPersistence, gObjKernelClass, gObjInterface, gObjBehavior;
