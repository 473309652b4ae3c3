// Kernel/Logical.cpp: the Logical Module: truth values and the three equality predicates.
#include "Kernel/Logical.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <cstring>

namespace {

bool isNumberTag(uint32_t tag)
{
    return tag == Tag::Integer || tag == Tag::Real || tag == Tag::BigPositive || tag == Tag::BigNegative
        || tag == Tag::Rational || tag == Tag::Complex;
}

// Numbers whose value has a double conversion (everything but complex numbers).

uint64_t (*gArrayElementCount)(Value array) = nullptr;

const char* textOf(Value v) { return isSymbol(v) ? symbolName(v) : stringChars(v); }

// Block data is only 2-byte aligned, so the elements are read bytewise.
Value vectorElement(Value v, uint32_t i)
{
    Value element;
    std::memcpy(&element, blockData(v) + 4 + 4 * static_cast<size_t>(i), sizeof element);
    return element;
}

bool vectorsIdentical(Value a, Value b)
{
    uint32_t n = vectorLength(a);
    if (vectorLength(b) != n)
        return false;
    for (uint32_t i = 0; i < n; ++i)
        if (vectorElement(a, i) != vectorElement(b, i))
            return false;
    return true;
}

// equal? on a first argument that is not a pair (identity already tested).
bool atomsEqual(Value a, Value b)
{
    uint32_t ta = tagOf(a), tb = tagOf(b);
    if (isNumberTag(ta))
        return numbersEqual(a, b);
    switch (ta) {
    case Tag::Variable:
        return tb == Tag::Variable && cdr(a) == cdr(b);
    case Tag::Vector:
        return tb == Tag::Vector && vectorsIdentical(a, b);
    case Tag::String:
        return (tb == Tag::String || tb == Tag::Symbol) && std::strcmp(textOf(a), textOf(b)) == 0;
    case Tag::Symbol:
        return tb == Tag::String && std::strcmp(textOf(a), textOf(b)) == 0;
    case Tag::Pointer:
        return tb == Tag::Pointer && pointerAddress(a) == pointerAddress(b);
    default:
        return false;
    }
}

} // namespace

void setArrayElementCounter(uint64_t (*count)(Value array)) { gArrayElementCount = count; }

bool isEqv(Value a, Value b)
{
    if (a == b)
        return true;
    uint32_t ta = tagOf(a), tb = tagOf(b);
    if (isNumberTag(ta) && isNumberTag(tb))
        return numbersEqual(a, b);
    if (ta == Tag::Vector && tb == Tag::Vector)
        return vectorLength(a) == 0 && vectorLength(b) == 0;
    if (ta == Tag::Array && tb == Tag::Array && gArrayElementCount)
        return gArrayElementCount(a) == 0 && gArrayElementCount(b) == 0;
    return false;
}

bool isEqual(Value a, Value b)
{
    // Recursion goes through the cars only; the cdrs are walked in the loop, with the roles of
    // the two arguments swapped at each level. More steps than there are cells means a cycle.
    const Value first = a;
    uint64_t steps = 0;
    for (;;) {
        if (a == b)
            return true;
        if (!isPair(a))
            return atomsEqual(a, b);
        if (!isPair(b))
            return false;
        if (++steps > gAreas.cellCount)
            raiseCircular(first);
        checkCStack();
        if (!isEqual(car(b), car(a)))
            return false;
        Value nextA = cdr(b);
        b = cdr(a);
        a = nextA;
    }
}

namespace {

Value eqP(Value a, Value b) { return boolValue(a == b); }
Value eqvP(Value a, Value b) { return boolValue(isEqv(a, b)); }
Value equalP(Value a, Value b) { return boolValue(isEqual(a, b)); }
Value neqP(Value a, Value b) { return boolValue(a != b); }
Value trueP() { return kTrue; }
Value falseP() { return kNil; }
Value booleanP(Value a) { return boolValue(a == kNil || a == kTrue); }
Value notP(Value a) { return boolValue(a == kNil); }
Value functionP(Value a) { return boolValue(tagOf(a) == Tag::Function); }
Value specialP(Value a) { return boolValue(tagOf(a) == Tag::Special); }

Value procedureP(Value a)
{
    switch (tagOf(a)) {
    case Tag::Function:
    case Tag::Primitive:
    case Tag::Special:
    case Tag::Predicate:
    case Tag::Lexical:
    case Tag::Gamma:
    case Tag::Closed:
        return kTrue;
    default:
        return kNil;
    }
}

class LogicalModule final : public Module {
public:
    LogicalModule() : Module("Logical") {}
    void start() override
    {
        Module::start();
        defineFunction2("eq?", eqP);
        defineFunction2("eqv?", eqvP);
        defineFunction2("equal?", equalP);
        defineFunction2("neq?", neqP);
        defineFunction0("true", trueP);
        defineFunction0("false", falseP);
        defineFunction1("boolean?", booleanP);
        defineFunction1("not", notP);
        defineFunction1("null?", notP);
        defineFunction1("function?", functionP);
        defineFunction1("special?", specialP);
        defineFunction1("procedure?", procedureP);
    }
} logicalModule;

} // namespace
