// Interfac/Poly.cpp: the Poly Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class PolyModule final : public Module {
public:
    PolyModule() : Module("Poly") {}
} thePolyModule;

} // namespace
