// Kernel/Profiler.cpp: the Profiler Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class ProfilerModule final : public Module {
public:
    ProfilerModule() : Module("Profiler") {}
} theProfilerModule;

} // namespace
