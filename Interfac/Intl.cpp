// Interfac/Intl.cpp: the Intl Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class IntlModule final : public Module {
public:
    IntlModule() : Module("Intl") {}
} theIntlModule;

} // namespace
