// Interfac/VApplication.cpp: the VApplication Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VApplicationModule final : public Module {
public:
    VApplicationModule() : Module("VApplication") {}
} theVApplicationModule;

} // namespace
