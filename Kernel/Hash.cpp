// Kernel/Hash.cpp: the Hash Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class HashModule final : public Module {
public:
    HashModule() : Module("Hash") {}
} theHashModule;

} // namespace
