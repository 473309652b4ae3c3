// Interfac/Pen.cpp: the Pen Module. It holds the built-in patterns; pen-size, pen-mode and
// with-pattern need a port and arrive with the windows.
#include "Interfac/Pattern.h"

#include "Kernel/Module.h"

PatternRecord builtInPattern(int index)
{
    switch (index) {
    case 4: return { { 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55 } };
    case 20: return { { 0, 0, 0, 0, 0, 0, 0, 0 } };
    default: return { { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF } };
    }
}

namespace {

class PenModule final : public Module {
public:
    PenModule() : Module("Pen") {}
} thePenModule;

} // namespace
