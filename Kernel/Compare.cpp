// Kernel/Compare.cpp: the Compare Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class CompareModule final : public Module {
public:
    CompareModule() : Module("Compare") {}
} theCompareModule;

} // namespace
