// Interfac/VLS_File.cpp: the VLS_File Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VLSFileModule final : public Module {
public:
    VLSFileModule() : Module("VLS_File") {}
} theVLSFileModule;

} // namespace
