// Interfac/VAppl.cpp: the VAppl Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VApplModule final : public Module {
public:
    VApplModule() : Module("VAppl") {}
} theVApplModule;

} // namespace
