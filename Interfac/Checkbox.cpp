// Interfac/Checkbox.cpp: the Checkbox Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class CheckboxModule final : public Module {
public:
    CheckboxModule() : Module("Checkbox") {}
} theCheckboxModule;

} // namespace
