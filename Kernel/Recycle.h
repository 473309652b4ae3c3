// Kernel/Recycle.h: the garbage collector.
#pragma once

#include "Kernel/Value.h"

void collectGarbage(bool full);
void mark(Value v);
int collectionCount();
// Stress mode (VELORA_GC_STRESS=1): every allocation collects first.
extern bool gCollectorStress;
