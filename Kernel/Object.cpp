// Kernel/Object.cpp: the Object Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class ObjectModule final : public Module {
public:
    ObjectModule() : Module("Object") {}
} theObjectModule;

} // namespace
