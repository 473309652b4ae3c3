// Kernel/Heap.cpp: the Heap Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class HeapModule final : public Module {
public:
    HeapModule() : Module("Heap") {}
} theHeapModule;

} // namespace
