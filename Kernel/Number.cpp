// Kernel/Number.cpp: the Number Module. For now: immediate integers and reals.
#include "Kernel/Number.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Symbol.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

Value makeInteger(int64_t n)
{
    if (fitsImmediate(n))
        return makeImmediate(static_cast<int32_t>(n));
    // FIXME: big integers arrive with the number tower.
    raiseError(42, kNil);
}

bool isInteger(Value v) { return tagOf(v) == Tag::Integer || tagOf(v) == Tag::BigPositive || tagOf(v) == Tag::BigNegative; }
bool isNumber(Value v)
{
    uint32_t t = tagOf(v);
    return t == Tag::Integer || t == Tag::Real || t == Tag::Rational || t == Tag::Complex || t == Tag::BigPositive
        || t == Tag::BigNegative;
}

int32_t toInt32(Value v)
{
    if (tagOf(v) == Tag::Integer)
        return integerValue(v);
    raiseWrongType(v);
}

int64_t toInt64(Value v) { return toInt32(v); }
uint32_t toUInt32(Value v) { return static_cast<uint32_t>(toInt32(v)); }

double toDouble(Value v)
{
    if (tagOf(v) == Tag::Integer)
        return integerValue(v);
    if (tagOf(v) == Tag::Real)
        return realValue(v);
    raiseWrongType(v);
}

std::optional<Value> parseNumber(std::string_view text, char separator)
{
    std::string s(text);
    for (char& c : s)
        if (c == separator)
            c = '.';
    char* end = nullptr;
    long long n = std::strtoll(s.c_str(), &end, 10);
    if (end && *end == 0 && !s.empty())
        return makeInteger(n);
    double x = std::strtod(s.c_str(), &end);
    if (end && *end == 0 && !s.empty())
        return makeReal(x);
    return std::nullopt;
}

std::string numberText(Value v)
{
    char text[64];
    if (tagOf(v) == Tag::Integer) {
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(integerValue(v)));
        return text;
    }
    std::snprintf(text, sizeof text, "%.15g", realValue(v));
    return text;
}

namespace {

// A first arithmetic on immediates and reals, enough for the test library.
Value arithmetic(Value* rest, int op)
{
    bool real = false;
    for (Value* a = rest; *a != kEnd; ++a) {
        if (tagOf(*a) == Tag::Real)
            real = true;
        else if (tagOf(*a) != Tag::Integer)
            raiseWrongType(*a);
    }
    if (*rest == kEnd)
        return makeInteger(op == 2 ? 1 : 0);
    if (real) {
        double x = toDouble(*rest);
        if (rest[1] == kEnd && op == 1)
            return makeReal(-x);
        for (Value* a = rest + 1; *a != kEnd; ++a)
            x = op == 0 ? x + toDouble(*a) : op == 1 ? x - toDouble(*a) : x * toDouble(*a);
        return makeReal(x);
    }
    int64_t n = integerValue(*rest);
    if (rest[1] == kEnd && op == 1)
        return makeInteger(-n);
    for (Value* a = rest + 1; *a != kEnd; ++a)
        n = op == 0 ? n + integerValue(*a) : op == 1 ? n - integerValue(*a) : n * integerValue(*a);
    return makeInteger(n);
}

Value plus(Value* rest) { return arithmetic(rest, 0); }
Value minus(Value* rest) { return arithmetic(rest, 1); }
Value times(Value* rest) { return arithmetic(rest, 2); }

Value compare(Value* rest, int op)
{
    for (Value* a = rest; *a != kEnd && a[1] != kEnd; ++a) {
        double x = toDouble(a[0]), y = toDouble(a[1]);
        bool ok = op == 0 ? x == y : op == 1 ? x < y : op == 2 ? x > y : op == 3 ? x <= y : x >= y;
        if (!ok)
            return kNil;
    }
    return intern("t");
}

Value equalNumbers(Value* rest) { return compare(rest, 0); }
Value less(Value* rest) { return compare(rest, 1); }
Value greater(Value* rest) { return compare(rest, 2); }
Value lessEqual(Value* rest) { return compare(rest, 3); }
Value greaterEqual(Value* rest) { return compare(rest, 4); }

class NumberModule final : public Module {
public:
    NumberModule() : Module("Number") {}
    void start() override
    {
        Module::start();
        defineFunctionRest0("+", plus);
        defineFunctionRest0("-", minus);
        defineFunctionRest0("*", times);
        defineFunctionRest0("=", equalNumbers);
        defineFunctionRest0("<", less);
        defineFunctionRest0(">", greater);
        defineFunctionRest0("<=", lessEqual);
        defineFunctionRest0(">=", greaterEqual);
    }
} numberModule;

} // namespace
