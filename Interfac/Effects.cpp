// Interfac/Effects.cpp: the Effects Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class EffectsModule final : public Module {
public:
    EffectsModule() : Module("Effects") {}
} theEffectsModule;

} // namespace
