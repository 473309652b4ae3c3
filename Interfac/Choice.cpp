// Interfac/Choice.cpp: the Choice Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class ChoiceModule final : public Module {
public:
    ChoiceModule() : Module("Choice") {}
} theChoiceModule;

} // namespace
