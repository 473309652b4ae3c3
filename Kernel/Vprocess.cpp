// Kernel/Vprocess.cpp: the Vprocess Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VprocessModule final : public Module {
public:
    VprocessModule() : Module("Vprocess") {}
} theVprocessModule;

} // namespace
