// Kernel/List.cpp: the List Module. For now: cons, car, cdr, list.
#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"

namespace {

Value toPairCar(Value v)
{
    if (!isList(v))
        raiseWrongType(v);
    return v == kNil ? kNil : car(v);
}

Value toPairCdr(Value v)
{
    if (!isList(v))
        raiseWrongType(v);
    return v == kNil ? kNil : cdr(v);
}

Value consPrimitive(Value a, Value d) { return cons(a, d); }

Value listPrimitive(Value* rest)
{
    Value head = kNil, tail = kNil;
    for (; *rest != kEnd; ++rest) {
        Value cell = cons(*rest, kNil);
        if (head == kNil)
            head = cell;
        else
            setCdr(tail, cell);
        tail = cell;
    }
    return head;
}

class ListModule final : public Module {
public:
    ListModule() : Module("List") {}
    void start() override
    {
        Module::start();
        defineFunction2("cons", consPrimitive);
        defineFunction1("car", toPairCar);
        defineFunction1("cdr", toPairCdr);
        defineFunctionRest0("list", listPrimitive);
    }
} listModule;

} // namespace
