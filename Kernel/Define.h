// Kernel/Define.h: making values permanent, and the object system's part in define.
#pragma once

#include "Kernel/Value.h"

void makePermanent(Value v);
// With an object context, define declares the name as a slot of self and sets it.
using DefineHook = void (*)(Value self, Value name, Value value);
void setDefineSlotHook(DefineHook hook);
// Before a global define: a class that owns the symbol's value cell gives it back.
using GlobalDefineHook = void (*)(Value symbol);
void setGlobalDefineHook(GlobalDefineHook hook);
