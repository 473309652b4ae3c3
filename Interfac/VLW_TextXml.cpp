// Interfac/VLW_TextXml.cpp: the VLW_TextXml Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VLWTextXmlModule final : public Module {
public:
    VLWTextXmlModule() : Module("VLW_TextXml") {}
} theVLWTextXmlModule;

} // namespace
