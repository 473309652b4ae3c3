// Interfac/Time.cpp: the Time Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class TimeModule final : public Module {
public:
    TimeModule() : Module("Time") {}
} theTimeModule;

} // namespace
