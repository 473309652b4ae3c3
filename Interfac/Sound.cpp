// Interfac/Sound.cpp: the Sound Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class SoundModule final : public Module {
public:
    SoundModule() : Module("Sound") {}
} theSoundModule;

} // namespace
