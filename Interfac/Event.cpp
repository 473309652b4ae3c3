// Interfac/Event.cpp: the Event Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class EventModule final : public Module {
public:
    EventModule() : Module("Event") {}
} theEventModule;

} // namespace
