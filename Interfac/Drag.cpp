// Interfac/Drag.cpp: the Drag Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class DragModule final : public Module {
public:
    DragModule() : Module("Drag") {}
} theDragModule;

} // namespace
