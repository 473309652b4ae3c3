// Interfac/Scrap.cpp: the Scrap Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class ScrapModule final : public Module {
public:
    ScrapModule() : Module("Scrap") {}
} theScrapModule;

} // namespace
