// Interfac/Internet.cpp: the Internet Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class InternetModule final : public Module {
public:
    InternetModule() : Module("Internet") {}
} theInternetModule;

} // namespace
