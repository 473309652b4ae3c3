// Interfac/Font.cpp: the Font Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class FontModule final : public Module {
public:
    FontModule() : Module("Font") {}
} theFontModule;

} // namespace
