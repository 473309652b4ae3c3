// Interfac/Window.cpp: the Window Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class WindowModule final : public Module {
public:
    WindowModule() : Module("Window") {}
} theWindowModule;

} // namespace
