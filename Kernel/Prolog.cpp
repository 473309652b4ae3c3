// Kernel/Prolog.cpp: the Prolog Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class PrologModule final : public Module {
public:
    PrologModule() : Module("Prolog") {}
} thePrologModule;

} // namespace
