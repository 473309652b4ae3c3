// Kernel/Recycle.cpp: the garbage collector. For now collections reclaim nothing; the areas grow.
#include "Kernel/Recycle.h"

#include "Kernel/Module.h"

bool gCollectorStress = false;

namespace {
int gCollections = 0;
}

void collectGarbage(bool) { ++gCollections; }
void mark(Value) {}
int collectionCount() { return gCollections; }

namespace {

class RecycleModule final : public Module {
public:
    RecycleModule() : Module("Recycle") {}
} recycleModule;

} // namespace
