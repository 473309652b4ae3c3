// Interfac/VLoad.cpp: the VLoad Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VLoadModule final : public Module {
public:
    VLoadModule() : Module("VLoad") {}
} theVLoadModule;

} // namespace
