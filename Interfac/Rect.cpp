// Interfac/Rect.cpp: the Rect Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class RectModule final : public Module {
public:
    RectModule() : Module("Rect") {}
} theRectModule;

} // namespace
