// Interfac/Color.cpp: the Color Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class ColorModule final : public Module {
public:
    ColorModule() : Module("Color") {}
} theColorModule;

} // namespace
