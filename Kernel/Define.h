// Kernel/Define.h: making values permanent, and the object system's part in define.
#pragma once

#include "Kernel/Value.h"

void makePermanent(Value v);
// With an object context, define declares the name as a slot of self and sets it.
using DefineHook = void (*)(Value self, Value name, Value value);
void setDefineSlotHook(DefineHook hook);
