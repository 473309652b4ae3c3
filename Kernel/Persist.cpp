// Kernel/Persist.cpp: the Persist Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class PersistModule final : public Module {
public:
    PersistModule() : Module("Persist") {}
} thePersistModule;

} // namespace
