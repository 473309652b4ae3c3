// Kernel/VArray.cpp: the VArray Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VArrayModule final : public Module {
public:
    VArrayModule() : Module("VArray") {}
} theVArrayModule;

} // namespace
