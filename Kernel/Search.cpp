// Kernel/Search.cpp: the Search Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class SearchModule final : public Module {
public:
    SearchModule() : Module("Search") {}
} theSearchModule;

} // namespace
