// Kernel/VExpr.cpp: the VExpr Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class VExprModule final : public Module {
public:
    VExprModule() : Module("VExpr") {}
} theVExprModule;

} // namespace
