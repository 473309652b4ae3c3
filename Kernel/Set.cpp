// Kernel/Set.cpp: the Set Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class SetModule final : public Module {
public:
    SetModule() : Module("Set") {}
} theSetModule;

} // namespace
