// Interfac/Scroll.cpp: the Scroll Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class ScrollModule final : public Module {
public:
    ScrollModule() : Module("Scroll") {}
} theScrollModule;

} // namespace
