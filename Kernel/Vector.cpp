// Kernel/Vector.cpp: the Vector Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VectorModule final : public Module {
public:
    VectorModule() : Module("Vector") {}
} theVectorModule;

} // namespace
