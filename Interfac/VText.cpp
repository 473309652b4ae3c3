// Interfac/VText.cpp: the VText Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VTextModule final : public Module {
public:
    VTextModule() : Module("VText") {}
} theVTextModule;

} // namespace
