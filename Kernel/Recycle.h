// Kernel/Recycle.h: the garbage collector.
//
// A stop-the-world mark, compact and sweep collector. A partial collection takes every permanent
// cell as live without looking inside it; a full one ignores the permanent bit. Roots: the
// Modules' markRoots, the symbol table, the block chain's end cells, a conservative scan of the
// C stack and the Lisp stack. Marking uses an explicit stack, so long lists cannot overflow the
// C stack.
#pragma once

#include "Kernel/Value.h"

class PointerKind;

void collectGarbage(bool full);
// Marks v and everything reachable from it. Meant for markRoots and the object system's own mark
// operations; outside a collection it does nothing.
void mark(Value v);
int collectionCount();
bool lastCollectionWasFull();
bool collectionRunning();

// Stress mode (VELORA_GC_STRESS=N): every Nth allocation collects first (N = 1: every one).
extern bool gCollectorStress;
extern uint32_t gCollectorStressInterval; // what the Recycle Module starts with
void setCollectorStress(bool on, uint32_t interval = 1);
// In stress mode: whether this allocation is one that collects.
bool stressCollectionDue();

// The object system's part in marking and sweeping. Any hook may be null; a record, class or
// instance block without its hook is then scanned conservatively for Values.
struct ObjectCollectorHooks {
    void (*markNativeObject)(Value pointer) = nullptr; // a pointer of the native-object kind
    void (*markRecord)(Value record) = nullptr;        // tag 0x3A
    void (*markClass)(Value classValue) = nullptr;     // tag 0x0F
    void (*markInstance)(Value instance) = nullptr;    // the slot values; the class is marked already
    PointerKind* nativeObjectKind = nullptr;           // its dispose runs for every unreachable one
};
extern ObjectCollectorHooks gObjectCollectorHooks;
