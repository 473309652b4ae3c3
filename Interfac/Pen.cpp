// Interfac/Pen.cpp: the Pen Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class PenModule final : public Module {
public:
    PenModule() : Module("Pen") {}
} thePenModule;

} // namespace
