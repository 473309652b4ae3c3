// Kernel/Number.cpp: the Number Module. For now: immediate integers and reals.
#include "Kernel/Number.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"

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

class NumberModule final : public Module {
public:
    NumberModule() : Module("Number") {}
} numberModule;

} // namespace
