// Interfac/Caption.cpp: the Caption Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class CaptionModule final : public Module {
public:
    CaptionModule() : Module("Caption") {}
} theCaptionModule;

} // namespace
