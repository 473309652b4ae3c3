// Interfac/VLW_TextClone.cpp: the VLW_TextClone Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VLWTextCloneModule final : public Module {
public:
    VLWTextCloneModule() : Module("VLW_TextClone") {}
} theVLWTextCloneModule;

} // namespace
