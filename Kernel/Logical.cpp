// Kernel/Logical.cpp: the Logical Module. For now: eqv on immediates and reals, equal on lists
// and strings.
#include "Kernel/Logical.h"

#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <cstring>

bool isEqv(Value a, Value b)
{
    if (a == b)
        return true;
    uint32_t ta = tagOf(a), tb = tagOf(b);
    if ((ta == Tag::Integer || ta == Tag::Real) && (tb == Tag::Integer || tb == Tag::Real))
        return toDouble(a) == toDouble(b);
    return false;
}

bool isEqual(Value a, Value b)
{
    while (isPair(a) && isPair(b)) {
        if (!isEqual(car(a), car(b)))
            return false;
        a = cdr(a);
        b = cdr(b);
    }
    if (isString(a) && isString(b))
        return std::strcmp(stringChars(a), stringChars(b)) == 0;
    return isEqv(a, b);
}

namespace {

Value eqP(Value a, Value b) { return boolValue(a == b); }
Value eqvP(Value a, Value b) { return boolValue(isEqv(a, b)); }
Value equalP(Value a, Value b) { return boolValue(isEqual(a, b)); }
Value notP(Value a) { return boolValue(a == kNil); }

class LogicalModule final : public Module {
public:
    LogicalModule() : Module("Logical") {}
    void start() override
    {
        Module::start();
        defineFunction2("eq?", eqP);
        defineFunction2("eqv?", eqvP);
        defineFunction2("equal?", equalP);
        defineFunction1("not", notP);
        defineFunction1("null?", notP);
    }
} logicalModule;

} // namespace
