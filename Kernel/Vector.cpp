// Kernel/Vector.cpp: the Vector Module: one-dimensional vectors and their printed form.
#include "Kernel/Vector.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Printer.h"
#include "Kernel/Symbol.h"

Value toVector(Value v)
{
    if (!isVector(v))
        raiseWrongType(v);
    return v;
}

uint32_t toCollectionIndex(Value v)
{
    if (!isInteger(v))
        raiseWrongType(v);
    int64_t n = toInt64(v);
    if (n < 0 || n > 0xFFFFFFFFll)
        raiseWrongType(v);
    return static_cast<uint32_t>(n);
}

uint32_t toIndexBelow(Value v, uint32_t limit)
{
    uint32_t i = toCollectionIndex(v);
    if (i >= limit)
        raiseWrongType(v);
    return i;
}

bool isProperList(Value list, uint32_t& length)
{
    // Floyd's two pointers: a circular list is refused instead of looping forever.
    uint32_t n = 0;
    Value slow = list, fast = list;
    while (isPair(fast)) {
        fast = cdr(fast);
        ++n;
        if (!isPair(fast))
            break;
        fast = cdr(fast);
        ++n;
        slow = cdr(slow);
        if (slow == fast)
            return false;
    }
    length = n;
    return fast == kNil;
}

uint32_t properListLength(Value list)
{
    uint32_t n;
    if (!isProperList(list, n))
        raiseWrongType(list);
    return n;
}

namespace {

Value vectorPrimitive(Value* rest)
{
    uint32_t n = 0;
    while (rest[n] != kEnd)
        ++n;
    Value v = makeVector(n, kNil);
    for (uint32_t i = 0; i < n; ++i)
        setVectorElement(v, i, rest[i]); // the rest array lives on the Lisp stack, which never moves
    return v;
}

Value makeVectorPrimitive(Value n, Value fill) { return makeVector(toCollectionIndex(n), fill); }

Value vectorP(Value v) { return boolValue(isVector(v)); }

Value vectorLengthPrimitive(Value v) { return makeInteger(vectorLength(toVector(v))); }

Value vectorRef(Value v, Value i)
{
    toVector(v);
    return vectorElement(v, toIndexBelow(i, vectorLength(v)));
}

Value vectorSet(Value v, Value i, Value x)
{
    toVector(v);
    setVectorElement(v, toIndexBelow(i, vectorLength(v)), x);
    return x;
}

Value vectorFill(Value v, Value x)
{
    toVector(v);
    uint32_t n = vectorLength(v);
    for (uint32_t i = 0; i < n; ++i)
        setVectorElement(v, i, x);
    return kNoValue;
}

Value listToVector(Value list)
{
    uint32_t n = properListLength(list);
    Value v = makeVector(n, kNil);
    for (uint32_t i = 0; i < n; ++i, list = cdr(list))
        setVectorElement(v, i, car(list));
    return v;
}

Value vectorToList(Value v)
{
    toVector(v);
    Value result = kNil;
    // Built from the end; each cons may move the block, so every element is fetched afresh.
    for (uint32_t i = vectorLength(v); i > 0; --i)
        result = cons(vectorElement(v, i - 1), result);
    return result;
}

Value copyVector(Value v)
{
    toVector(v);
    uint32_t n = vectorLength(v);
    Value copy = makeVector(n, kNil);
    std::memcpy(blockData(copy) + 4, blockData(v) + 4, 4 * static_cast<size_t>(n));
    return copy;
}

// "#(" the elements in print style, one space apart, ")". Display prints the same way; write
// raises the wrong-type error (the base handler's write).
class VectorPrintHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        checkCStack();
        writeText(out, "#(");
        // Printing an element may run Lisp code (print-self), so the block is asked for again.
        for (uint32_t i = 0; i < vectorLength(v); ++i) {
            if (i > 0)
                out.writeByte(' ');
            printValueTo(vectorElement(v, i), PrintStyle::Print, out);
        }
        out.writeByte(')');
    }
} gVectorPrintHandler;

class VectorModule final : public Module {
public:
    VectorModule() : Module("Vector") {}
    void start() override
    {
        Module::start();
        defineFunctionRest0("vector", vectorPrimitive);
        defineFunction2("make-vector", makeVectorPrimitive);
        defineFunction1("vector?", vectorP);
        defineFunction1("vector-length", vectorLengthPrimitive);
        defineFunction2("vector-ref", vectorRef);
        defineFunction3("vector-set!", vectorSet);
        defineFunction2("vector-fill!", vectorFill);
        defineFunction1("list->vector", listToVector);
        defineFunction1("vector->list", vectorToList);
        defineFunction1("copy-vector", copyVector);
        setPrintHandler(Tag::Vector, &gVectorPrintHandler);
    }
} theVectorModule;

} // namespace
