// Interfac/VPlainText.cpp: the VPlainText Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VPlainTextModule final : public Module {
public:
    VPlainTextModule() : Module("VPlainText") {}
} theVPlainTextModule;

} // namespace
