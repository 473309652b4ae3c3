// Interfac/Clipping.cpp: the Clipping Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class ClippingModule final : public Module {
public:
    ClippingModule() : Module("Clipping") {}
} theClippingModule;

} // namespace
