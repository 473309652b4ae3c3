// Lexer/lex_interface.cpp: the lex_interface Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class lexinterfaceModule final : public Module {
public:
    lexinterfaceModule() : Module("lex_interface") {}
} thelexinterfaceModule;

} // namespace
