// Interfac/Encoding.cpp: the Encoding Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class EncodingModule final : public Module {
public:
    EncodingModule() : Module("Encoding") {}
} theEncodingModule;

} // namespace
