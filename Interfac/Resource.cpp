// Interfac/Resource.cpp: the Resource Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class ResourceModule final : public Module {
public:
    ResourceModule() : Module("Resource") {}
} theResourceModule;

} // namespace
