// Interfac/Menu.cpp: the Menu Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class MenuModule final : public Module {
public:
    MenuModule() : Module("Menu") {}
} theMenuModule;

} // namespace
