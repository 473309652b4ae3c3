// Interfac/Grafport.cpp: the Grafport Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class GrafportModule final : public Module {
public:
    GrafportModule() : Module("Grafport") {}
} theGrafportModule;

} // namespace
