// Interfac/Keyboard.cpp: the Keyboard Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class KeyboardModule final : public Module {
public:
    KeyboardModule() : Module("Keyboard") {}
} theKeyboardModule;

} // namespace
