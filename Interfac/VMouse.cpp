// Interfac/VMouse.cpp: the VMouse Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VMouseModule final : public Module {
public:
    VMouseModule() : Module("VMouse") {}
} theVMouseModule;

} // namespace
