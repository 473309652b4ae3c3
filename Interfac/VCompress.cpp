// Interfac/VCompress.cpp: the VCompress Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VCompressModule final : public Module {
public:
    VCompressModule() : Module("VCompress") {}
} theVCompressModule;

} // namespace
