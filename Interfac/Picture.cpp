// Interfac/Picture.cpp: the Picture Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class PictureModule final : public Module {
public:
    PictureModule() : Module("Picture") {}
} thePictureModule;

} // namespace
