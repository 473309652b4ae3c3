// Interfac/Booting.cpp: the Booting Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class BootingModule final : public Module {
public:
    BootingModule() : Module("Booting") {}
} theBootingModule;

} // namespace
