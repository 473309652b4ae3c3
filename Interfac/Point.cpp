// Interfac/Point.cpp: the Point Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class PointModule final : public Module {
public:
    PointModule() : Module("Point") {}
} thePointModule;

} // namespace
