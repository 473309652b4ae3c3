// Kernel/List.cpp: the List Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class ListModule final : public Module {
public:
    ListModule() : Module("List") {}
} theListModule;

} // namespace
