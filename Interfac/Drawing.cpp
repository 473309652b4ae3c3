// Interfac/Drawing.cpp: the Drawing Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class DrawingModule final : public Module {
public:
    DrawingModule() : Module("Drawing") {}
} theDrawingModule;

} // namespace
