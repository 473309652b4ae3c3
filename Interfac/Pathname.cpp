// Interfac/Pathname.cpp: the Pathname Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class PathnameModule final : public Module {
public:
    PathnameModule() : Module("Pathname") {}
} thePathnameModule;

} // namespace
