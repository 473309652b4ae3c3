// Kernel/VString.cpp: the VString Module.
#include "Kernel/VString.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Printer.h"
#include "Kernel/Symbol.h"

std::string stringOf(Value v)
{
    switch (tagOf(v)) {
    case Tag::String:
        return stringChars(v);
    case Tag::Symbol:
        return symbolName(v);
    default:
        return printedText(v, PrintStyle::Print);
    }
}

std::string toStdString(Value v)
{
    if (!isString(v))
        raiseWrongType(v);
    return stringChars(v);
}

namespace {

class VStringModule final : public Module {
public:
    VStringModule() : Module("VString") {}
} vstringModule;

} // namespace
