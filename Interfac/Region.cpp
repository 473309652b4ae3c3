// Interfac/Region.cpp: the Region Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class RegionModule final : public Module {
public:
    RegionModule() : Module("Region") {}
} theRegionModule;

} // namespace
