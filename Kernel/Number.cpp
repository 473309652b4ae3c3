// Kernel/Number.cpp: the Number Module: the six kinds of number, their arithmetic, comparison,
// rounding and text, the integer conversions and the random generator.
//
// Two immediates are handled in machine arithmetic. Everything else runs on engines that live on
// the native stack for one primitive: exact reals in the rational engine, inexact reals as
// doubles, and complex numbers as a pair of those (each part exact or inexact on its own). The
// result Value is built in the cell area only at the end.
#include "Kernel/Number.h"

#include "Kernel/BigInteger.h"
#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"
#include "Platform/Host.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr Value kZero = makeImmediate(0);
constexpr Value kOne = makeImmediate(1);

enum class Kind { Integer, Big, Ratio, Real, Complex, None };

Kind kindOf(Value v)
{
    switch (tagOf(v)) {
    case Tag::Integer:
        return Kind::Integer;
    case Tag::BigPositive:
    case Tag::BigNegative:
        return Kind::Big;
    case Tag::Rational:
        return Kind::Ratio;
    case Tag::Real:
        return Kind::Real;
    case Tag::Complex:
        return Kind::Complex;
    default:
        return Kind::None;
    }
}

// The kind of a number; anything else raises the wrong-type error.
Kind numberKind(Value v)
{
    Kind k = kindOf(v);
    if (k == Kind::None)
        raiseWrongType(v);
    return k;
}

bool isIntegerKind(Kind k) { return k == Kind::Integer || k == Kind::Big; }

// A non-complex number in one of the two engines.
struct Scalar {
    bool exact = true;
    Rational q; // when exact
    double d = 0; // when inexact
};

Scalar exactScalar(Rational q)
{
    Scalar s;
    s.q = std::move(q);
    return s;
}

Scalar inexactScalar(double d)
{
    Scalar s;
    s.exact = false;
    s.d = d;
    return s;
}

Scalar scalarOf(Value v)
{
    Kind k = numberKind(v);
    if (k == Kind::Complex)
        raiseWrongType(v);
    if (k == Kind::Real)
        return inexactScalar(realValue(v));
    return exactScalar(Rational::fromValue(v));
}

double asDouble(const Scalar& s) { return s.exact ? s.q.toDouble() : s.d; }
Value scalarValue(const Scalar& s) { return s.exact ? s.q.toValue() : makeReal(s.d); }
bool isExactZero(const Scalar& s) { return s.exact && s.q.num.isZero(); }
bool isZero(const Scalar& s) { return s.exact ? s.q.num.isZero() : s.d == 0; }

Scalar add(const Scalar& a, const Scalar& b)
{
    if (a.exact && b.exact)
        return exactScalar(a.q + b.q);
    return inexactScalar(asDouble(a) + asDouble(b));
}

Scalar negate(const Scalar& a) { return a.exact ? exactScalar(a.q.negated()) : inexactScalar(-a.d); }
Scalar sub(const Scalar& a, const Scalar& b) { return add(a, negate(b)); }

// An exact zero factor gives exact zero, whatever the other factor.
Scalar mul(const Scalar& a, const Scalar& b)
{
    if (isExactZero(a) || isExactZero(b))
        return exactScalar(Rational());
    if (a.exact && b.exact)
        return exactScalar(a.q * b.q);
    return inexactScalar(asDouble(a) * asDouble(b));
}

Scalar div(const Scalar& a, const Scalar& b)
{
    if (isZero(b))
        raiseError(NumberError::DivisionByZero, kNil);
    if (a.exact && b.exact)
        return exactScalar(a.q / b.q);
    return inexactScalar(asDouble(a) / asDouble(b));
}

struct ComplexNumber {
    Scalar re, im;
};

ComplexNumber complexOf(Value v)
{
    if (tagOf(v) == Tag::Complex)
        return { scalarOf(car(v)), scalarOf(cdr(v)) };
    return { scalarOf(v), exactScalar(Rational()) };
}

// An exact zero imaginary part gives the real part; an inexact zero one with an exact real part
// gives the real part as a real; otherwise a complex cell.
Value complexValue(const ComplexNumber& c)
{
    if (isExactZero(c.im))
        return scalarValue(c.re);
    if (isZero(c.im) && c.re.exact)
        return makeReal(asDouble(c.re));
    Value re = scalarValue(c.re);
    Value im = scalarValue(c.im);
    return retag(cons(re, im), Tag::Complex);
}

ComplexNumber add(const ComplexNumber& a, const ComplexNumber& b) { return { add(a.re, b.re), add(a.im, b.im) }; }
ComplexNumber sub(const ComplexNumber& a, const ComplexNumber& b) { return { sub(a.re, b.re), sub(a.im, b.im) }; }
ComplexNumber mul(const ComplexNumber& a, const ComplexNumber& b)
{
    return { sub(mul(a.re, b.re), mul(a.im, b.im)), add(mul(a.re, b.im), mul(a.im, b.re)) };
}
ComplexNumber div(const ComplexNumber& a, const ComplexNumber& b)
{
    if (isZero(b.re) && isZero(b.im))
        raiseError(NumberError::DivisionByZero, kNil);
    Scalar norm = add(mul(b.re, b.re), mul(b.im, b.im));
    return { div(add(mul(a.re, b.re), mul(a.im, b.im)), norm), div(sub(mul(a.im, b.re), mul(a.re, b.im)), norm) };
}

// The "%-27.15g" text of x, cut at the first space.
std::string gText(double x)
{
    char text[64];
    std::snprintf(text, sizeof text, "%-27.15g", x);
    std::string s = text;
    size_t space = s.find(' ');
    if (space != std::string::npos)
        s.resize(space);
    return s;
}

// The exact number that the "%-27.15g" text of x writes (so 0.1 is 1/10).
Rational exactOfDouble(double x, Value culprit)
{
    if (!std::isfinite(x))
        raiseWrongType(culprit);
    std::string text = gText(x);
    std::string digits;
    bool negative = false;
    int fractionDigits = 0, exponent = 0;
    bool inFraction = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '-' && i == 0)
            negative = true;
        else if (c == '.')
            inFraction = true;
        else if (c >= '0' && c <= '9') {
            digits += c;
            if (inFraction)
                ++fractionDigits;
        } else if (c == 'e' || c == 'E') {
            exponent = std::atoi(text.c_str() + i + 1 + (text[i + 1] == '+'));
            break;
        }
    }
    BigInteger num = *BigInteger::parse(digits.empty() ? "0" : digits);
    if (negative)
        num = num.negated();
    int scale = exponent - fractionDigits;
    if (scale >= 0)
        return Rational(num * BigInteger::powerOfTen(scale), BigInteger(1));
    return Rational(num, BigInteger::powerOfTen(-scale));
}

Rational exactOf(Value v)
{
    if (tagOf(v) == Tag::Real)
        return exactOfDouble(realValue(v), v);
    return Rational::fromValue(v);
}

Value negateValue(Value v)
{
    switch (numberKind(v)) {
    case Kind::Integer:
        return makeInteger(-static_cast<int64_t>(integerValue(v)));
    case Kind::Real:
        return makeReal(-realValue(v));
    case Kind::Complex: {
        ComplexNumber c = complexOf(v);
        return complexValue({ negate(c.re), negate(c.im) });
    }
    default:
        return Rational::fromValue(v).negated().toValue();
    }
}

int signOf(Value v)
{
    switch (numberKind(v)) {
    case Kind::Integer:
        return integerValue(v) > 0 ? 1 : integerValue(v) < 0 ? -1 : 0;
    case Kind::Big:
        return tagOf(v) == Tag::BigNegative ? -1 : 1;
    case Kind::Ratio:
        return Rational::fromValue(v).sign();
    case Kind::Real: {
        double x = realValue(v);
        return x > 0 ? 1 : x < 0 ? -1 : 0;
    }
    default:
        raiseWrongType(v);
    }
}

// ---- Comparison

enum class Compare { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };

bool holds(Compare op, int c)
{
    switch (op) {
    case Compare::Equal:
        return c == 0;
    case Compare::NotEqual:
        return c != 0;
    case Compare::Less:
        return c < 0;
    case Compare::Greater:
        return c > 0;
    case Compare::LessEqual:
        return c <= 0;
    case Compare::GreaterEqual:
        return c >= 0;
    }
    return false;
}

Value realPartValue(Value v) { return tagOf(v) == Tag::Complex ? car(v) : v; }
Value imagPartValue(Value v) { return tagOf(v) == Tag::Complex ? cdr(v) : kZero; }

bool comparePair(Value a, Value b, Compare op)
{
    if (isImmediateInteger(a) && isImmediateInteger(b)) {
        int32_t x = integerValue(a), y = integerValue(b);
        return holds(op, x < y ? -1 : x > y ? 1 : 0);
    }
    Kind ka = numberKind(a), kb = numberKind(b);
    if (isIntegerKind(ka) && isIntegerKind(kb))
        return holds(op, BigInteger::compare(BigInteger::fromValue(a), BigInteger::fromValue(b)));
    bool inexact = ka == Kind::Real || ka == Kind::Complex || kb == Kind::Real || kb == Kind::Complex;
    if (inexact) {
        if (op == Compare::Equal || op == Compare::NotEqual) {
            bool equal = ka != Kind::Complex && kb != Kind::Complex
                ? toDouble(a) == toDouble(b)
                : numbersEqual(realPartValue(a), realPartValue(b)) && numbersEqual(imagPartValue(a), imagPartValue(b));
            return equal == (op == Compare::Equal);
        }
        double x = toDouble(a), y = toDouble(b);
        switch (op) {
        case Compare::Less:
            return x < y;
        case Compare::Greater:
            return x > y;
        case Compare::LessEqual:
            return x <= y;
        default:
            return x >= y;
        }
    }
    return holds(op, Rational::compare(Rational::fromValue(a), Rational::fromValue(b)));
}

// Adjacent pairs from the last one backwards; nil at the first pair that fails.
Value compareArguments(Value* args, Compare op)
{
    size_t n = 0;
    while (args[n] != kEnd)
        ++n;
    if (n == 0) {
        if (op == Compare::Equal || op == Compare::NotEqual)
            raiseError(NumberError::NoArgument, kNil);
        return kTrue;
    }
    if (n == 1)
        numberKind(args[0]);
    for (size_t i = n - 1; i > 0; --i)
        if (!comparePair(args[i - 1], args[i], op))
            return kNil;
    return kTrue;
}

Value numEqual(Value* args) { return compareArguments(args, Compare::Equal); }
Value numNotEqual(Value* args) { return compareArguments(args, Compare::NotEqual); }
Value numLess(Value* args) { return compareArguments(args, Compare::Less); }
Value numGreater(Value* args) { return compareArguments(args, Compare::Greater); }
Value numLessEqual(Value* args) { return compareArguments(args, Compare::LessEqual); }
Value numGreaterEqual(Value* args) { return compareArguments(args, Compare::GreaterEqual); }

// The comparisons given exactly two arguments.
template <Compare op> Value compareTwo(Value a, Value b)
{
    if (isImmediateInteger(a) && isImmediateInteger(b)) {
        int32_t x = integerValue(a), y = integerValue(b);
        return boolValue(holds(op, x < y ? -1 : x > y ? 1 : 0));
    }
    return boolValue(comparePair(a, b, op));
}

// ---- Predicates

Value numberP(Value x) { return boolValue(isNumber(x)); }
Value realP(Value x) { return boolValue(isRealNumber(x)); }
Value rationalP(Value x)
{
    Kind k = kindOf(x);
    return boolValue(isIntegerKind(k) || k == Kind::Ratio);
}
Value integerP(Value x) { return boolValue(isInteger(x)); }
Value exactP(Value x)
{
    numberKind(x);
    return boolValue(isExactNumber(x));
}
Value inexactP(Value x)
{
    numberKind(x);
    return boolValue(!isExactNumber(x));
}

Value zeroP(Value x, Value eps)
{
    switch (numberKind(x)) {
    case Kind::Integer:
        return boolValue(x == kZero);
    case Kind::Real: {
        double e = isFlagSet(eps) ? toDouble(eps) : 1e-10;
        double v = realValue(x);
        return boolValue(-e < v && v < e);
    }
    default:
        return kNil; // exact zero is always the immediate 0
    }
}

Value positiveP(Value x) { return boolValue(signOf(x) > 0); }
Value negativeP(Value x) { return boolValue(signOf(x) < 0); }

bool isEven(Value x)
{
    Kind k = numberKind(x);
    if (k == Kind::Real || !isExactNumber(x))
        raiseWrongType(x);
    if (k == Kind::Integer)
        return (integerValue(x) & 1) == 0;
    if (k == Kind::Big)
        return !BigInteger::fromValue(x).isOdd();
    return false;
}
Value evenP(Value x) { return boolValue(isEven(x)); }
Value oddP(Value x) { return boolValue(!isEven(x)); }

// ---- Arithmetic

size_t argumentCount(const Value* args)
{
    size_t n = 0;
    while (args[n] != kEnd)
        ++n;
    return n;
}

Value sumOf(Value* a)
{
    while (*a == kZero)
        ++a;
    if (*a == kEnd)
        return kZero;
    if (a[1] == kEnd) {
        numberKind(*a);
        return *a;
    }
    int64_t sum = 0; // immediates are 24-bit, so a run of them cannot overflow this
    while (isImmediateInteger(*a))
        sum += integerValue(*a++);
    if (*a == kEnd)
        return makeInteger(sum);
    ComplexNumber total { exactScalar(Rational(BigInteger(sum))), exactScalar(Rational()) };
    for (; *a != kEnd; ++a)
        total = add(total, complexOf(*a));
    return complexValue(total);
}

Value productOf(Value* a)
{
    while (*a == kOne)
        ++a;
    if (*a == kEnd)
        return kOne;
    if (a[1] == kEnd) {
        numberKind(*a);
        return *a;
    }
    int64_t product = 1;
    while (isImmediateInteger(*a)) {
        int64_t next;
        if (*a == kZero)
            return kZero;
        if (__builtin_mul_overflow(product, static_cast<int64_t>(integerValue(*a)), &next))
            break;
        product = next;
        ++a;
    }
    if (*a == kEnd)
        return makeInteger(product);
    ComplexNumber total { exactScalar(Rational(BigInteger(product))), exactScalar(Rational()) };
    for (; *a != kEnd; ++a) {
        if (*a == kZero)
            return kZero; // an exact zero wins even over inexact factors
        total = mul(total, complexOf(*a));
    }
    return complexValue(total);
}

Value plus(Value* args) { return sumOf(args); }
Value times(Value* args) { return productOf(args); }

// + and * given exactly two arguments.
Value plusTwo(Value a, Value b)
{
    if (isImmediateInteger(a) && isImmediateInteger(b)) {
        int32_t sum = integerValue(a) + integerValue(b);
        if (fitsImmediate(sum)) [[likely]]
            return makeImmediate(sum);
    }
    Value args[] = { a, b, kEnd };
    return sumOf(args);
}

Value timesTwo(Value a, Value b)
{
    Value args[] = { a, b, kEnd };
    return productOf(args);
}

Value subtractValues(Value a, Value b)
{
    if (isImmediateInteger(a) && isImmediateInteger(b))
        return makeInteger(static_cast<int64_t>(integerValue(a)) - integerValue(b));
    if (b == kZero) {
        numberKind(a);
        return a;
    }
    return complexValue(sub(complexOf(a), complexOf(b)));
}

Value minus(Value* args)
{
    if (args[0] == kEnd)
        return kZero;
    if (args[1] == kEnd)
        return negateValue(args[0]);
    if (args[2] == kEnd)
        return subtractValues(args[0], args[1]);
    numberKind(args[0]);
    return subtractValues(args[0], sumOf(args + 1));
}

Value reciprocal(Value x)
{
    switch (numberKind(x)) {
    case Kind::Real:
        if (realValue(x) == 0)
            raiseError(NumberError::DivisionByZero, kNil);
        return makeReal(1 / realValue(x));
    case Kind::Complex:
        return complexValue(div(complexOf(kOne), complexOf(x)));
    default:
        return (Rational(BigInteger(1)) / Rational::fromValue(x)).toValue();
    }
}

Value divideValues(Value x, Value d)
{
    Kind kx = numberKind(x), kd = numberKind(d);
    if (d == kZero || (kd == Kind::Real && realValue(d) == 0))
        raiseError(NumberError::DivisionByZero, kNil);
    if (kx == Kind::Complex || kd == Kind::Complex)
        return complexValue(div(complexOf(x), complexOf(d)));
    if (kx != Kind::Real && kd != Kind::Real)
        return (Rational::fromValue(x) / Rational::fromValue(d)).toValue();
    return makeReal(toDouble(x) / toDouble(d));
}

Value divide(Value* args)
{
    if (args[0] == kEnd)
        return kOne;
    if (args[1] == kEnd)
        return reciprocal(args[0]);
    if (args[0] == kZero)
        return kZero;
    numberKind(args[0]);
    return divideValues(args[0], productOf(args + 1));
}

// Inexact division: always a real.
Value oldDivide(Value* args)
{
    if (args[0] == kEnd)
        return makeReal(1);
    double x = toDouble(args[0]);
    double divisor = 1;
    if (args[1] == kEnd) {
        divisor = x;
        x = 1;
    }
    for (Value* a = args + 1; *a != kEnd; ++a)
        divisor *= toDouble(*a);
    if (divisor == 0)
        raiseError(NumberError::DivisionByZero, kNil);
    return makeReal(x / divisor);
}

// Scans from the last argument to the first; once a real is seen the rest compare as doubles.
Value extremum(Value* args, bool wantMax)
{
    size_t n = argumentCount(args);
    if (n == 0)
        raiseError(NumberError::NoArgument, kNil);
    Value best = kNil;
    bool inDoubles = false;
    double bestDouble = 0;
    for (size_t i = n; i-- > 0;) {
        Value v = args[i];
        Kind k = numberKind(v);
        if (k == Kind::Complex)
            raiseWrongType(v);
        if (best == kNil) {
            best = v;
            if (k == Kind::Real) {
                inDoubles = true;
                bestDouble = realValue(v);
            }
            continue;
        }
        if (!inDoubles && k == Kind::Real) {
            inDoubles = true;
            bestDouble = toDouble(best);
        }
        if (inDoubles) {
            double x = toDouble(v);
            if (wantMax ? x > bestDouble : x < bestDouble)
                bestDouble = x;
        } else if (comparePair(v, best, wantMax ? Compare::Greater : Compare::Less)) {
            best = v;
        }
    }
    return inDoubles ? makeReal(bestDouble) : best;
}

Value maxPrimitive(Value* args) { return extremum(args, true); }
Value minPrimitive(Value* args) { return extremum(args, false); }

Value absValue(Value x)
{
    switch (numberKind(x)) {
    case Kind::Integer:
        return makeInteger(std::abs(static_cast<int64_t>(integerValue(x))));
    case Kind::Real:
        return makeReal(std::fabs(realValue(x)));
    case Kind::Complex: {
        ComplexNumber c = complexOf(x);
        return makeReal(std::hypot(asDouble(c.re), asDouble(c.im)));
    }
    default: {
        Rational q = Rational::fromValue(x);
        return q.sign() < 0 ? q.negated().toValue() : x;
    }
    }
}

enum class Division { Quotient, Remainder, Modulo };

Value integerDivision(Value a, Value b, Division kind)
{
    if (isImmediateInteger(a) && isImmediateInteger(b)) {
        int32_t x = integerValue(a), y = integerValue(b);
        if (y == 0)
            raiseError(NumberError::DivisionByZero, kNil);
        int64_t q = static_cast<int64_t>(x) / y, r = x % y;
        if (kind == Division::Quotient)
            return makeInteger(q);
        if (kind == Division::Modulo && r != 0 && (r < 0) != (y < 0))
            r += y;
        return makeInteger(r);
    }
    BigInteger x = BigInteger::fromValue(a), y = BigInteger::fromValue(b);
    if (y.isZero())
        raiseError(NumberError::DivisionByZero, kNil);
    BigInteger q, r;
    BigInteger::divide(x, y, q, r);
    if (kind == Division::Quotient)
        return q.toValue();
    if (kind == Division::Modulo && !r.isZero() && r.isNegative() != y.isNegative())
        r = r + y;
    return r.toValue();
}

Value quotientPrimitive(Value a, Value b) { return integerDivision(a, b, Division::Quotient); }
Value remainderPrimitive(Value a, Value b) { return integerDivision(a, b, Division::Remainder); }
Value moduloPrimitive(Value a, Value b) { return integerDivision(a, b, Division::Modulo); }

// An integer argument of gcd or lcm; a real with an integral value counts and marks the result real.
BigInteger gcdArgument(Value v, bool& real)
{
    Kind k = numberKind(v);
    if (isIntegerKind(k))
        return BigInteger::fromValue(v);
    if (k != Kind::Real)
        raiseWrongType(v);
    Rational q = exactOfDouble(realValue(v), v);
    if (!q.isInteger())
        raiseWrongType(v);
    real = true;
    return q.num;
}

Value gcdFold(Value* args, bool lcm)
{
    size_t n = argumentCount(args);
    if (n == 0)
        return lcm ? kOne : kZero;
    if (n == 1)
        return absValue(args[0]);
    bool real = false;
    BigInteger acc = gcdArgument(args[0], real).magnitude();
    for (size_t i = 1; i < n; ++i) {
        BigInteger x = gcdArgument(args[i], real).magnitude();
        if (!lcm) {
            acc = BigInteger::gcd(acc, x);
        } else if (acc.isZero() || x.isZero()) {
            acc = BigInteger(); // the least common multiple with 0 is 0
        } else {
            BigInteger q, r;
            BigInteger::divide(acc * x, BigInteger::gcd(acc, x), q, r);
            acc = q;
        }
    }
    return real ? makeReal(acc.toDouble()) : acc.toValue();
}

Value gcdPrimitive(Value* args) { return gcdFold(args, false); }
Value lcmPrimitive(Value* args) { return gcdFold(args, true); }

Value numeratorPrimitive(Value x)
{
    Kind k = numberKind(x);
    if (k == Kind::Complex)
        raiseWrongType(x);
    if (k == Kind::Real)
        return makeReal(exactOf(x).num.toDouble());
    return k == Kind::Ratio ? car(x) : x;
}

Value denominatorPrimitive(Value x)
{
    Kind k = numberKind(x);
    if (k == Kind::Complex)
        raiseWrongType(x);
    if (k == Kind::Real)
        return makeReal(exactOf(x).den.toDouble());
    return k == Kind::Ratio ? cdr(x) : kOne;
}

enum class Rounding { Floor, Ceiling, Truncate, Round };

Value roundValue(Value x, Value d, Rounding mode)
{
    bool hasDivisor = isFlagSet(d);
    Kind kx = numberKind(x);
    if (kx == Kind::Complex)
        raiseWrongType(x);
    if (!hasDivisor && isIntegerKind(kx))
        return x;
    Kind kd = hasDivisor ? numberKind(d) : Kind::Integer;
    if (kd == Kind::Complex)
        raiseWrongType(d);
    if (kx != Kind::Real && kd != Kind::Real) {
        Rational v = Rational::fromValue(x);
        if (hasDivisor)
            v = v / Rational::fromValue(d);
        BigInteger q, r;
        BigInteger::divide(v.num, v.den, q, r);
        if (r.isZero())
            return q.toValue();
        BigInteger away(v.sign());
        switch (mode) {
        case Rounding::Floor:
            if (v.sign() < 0)
                q = q + away;
            break;
        case Rounding::Ceiling:
            if (v.sign() > 0)
                q = q + away;
            break;
        case Rounding::Truncate:
            break;
        case Rounding::Round: {
            // To nearest; an exact tie goes to the even neighbour.
            int c = BigInteger::compareMagnitude(r.magnitude() * BigInteger(2), v.den);
            if (c > 0 || (c == 0 && q.isOdd()))
                q = q + away;
            break;
        }
        }
        return q.toValue();
    }
    double v = toDouble(x);
    if (hasDivisor) {
        double divisor = toDouble(d);
        if (divisor == 0)
            raiseError(NumberError::DivisionByZero, kNil);
        v /= divisor;
    }
    switch (mode) {
    case Rounding::Floor:
        return makeReal(std::floor(v));
    case Rounding::Ceiling:
        return makeReal(std::ceil(v));
    case Rounding::Truncate:
        return makeReal(v >= 0 ? std::floor(v) : std::ceil(v));
    default:
        return makeReal(std::floor(v + 0.5));
    }
}

Value floorPrimitive(Value x, Value d) { return roundValue(x, d, Rounding::Floor); }
Value ceilingPrimitive(Value x, Value d) { return roundValue(x, d, Rounding::Ceiling); }
Value truncatePrimitive(Value x, Value d) { return roundValue(x, d, Rounding::Truncate); }
Value roundPrimitive(Value x, Value d) { return roundValue(x, d, Rounding::Round); }

Value expPrimitive(Value x) { return makeReal(std::exp(toDouble(x))); }
Value logPrimitive(Value x) { return makeReal(std::log(toDouble(x))); }
Value sinPrimitive(Value x) { return makeReal(std::sin(toDouble(x))); }
Value cosPrimitive(Value x) { return makeReal(std::cos(toDouble(x))); }
Value tanPrimitive(Value x) { return makeReal(std::tan(toDouble(x))); }
Value asinPrimitive(Value x) { return makeReal(std::asin(toDouble(x))); }
Value acosPrimitive(Value x) { return makeReal(std::acos(toDouble(x))); }
Value atanPrimitive(Value y, Value x)
{
    double a = toDouble(y);
    return makeReal(isFlagSet(x) ? std::atan2(a, toDouble(x)) : std::atan(a));
}

Value sqrtPrimitive(Value x)
{
    Kind k = numberKind(x);
    if (k == Kind::Complex) {
        // The principal root, in doubles.
        ComplexNumber c = complexOf(x);
        std::complex<double> root = std::sqrt(std::complex<double>(asDouble(c.re), asDouble(c.im)));
        return complexValue({ inexactScalar(root.real()), inexactScalar(root.imag()) });
    }
    bool negative = signOf(x) < 0;
    double root = std::sqrt(std::fabs(toDouble(x)));
    Scalar result = inexactScalar(root);
    if (k != Kind::Real && std::isfinite(root)) {
        Rational magnitude = Rational::fromValue(x);
        if (negative)
            magnitude = magnitude.negated();
        Rational exactRoot = exactOfDouble(root, x);
        if (Rational::compare(exactRoot * exactRoot, magnitude) == 0)
            result = exactScalar(exactRoot);
    }
    if (!negative)
        return scalarValue(result);
    return complexValue({ exactScalar(Rational()), result });
}

// Results of exact powers are limited to this many bits; past it the memory is exhausted anyway.
constexpr size_t kMaxPowerBits = 1000000;

Value exptPrimitive(Value base, Value exponent)
{
    numberKind(base);
    if (isExactNumber(base) && isImmediateInteger(exponent)) {
        int32_t n = integerValue(exponent);
        ComplexNumber b = complexOf(base);
        if (n < 0) {
            if (base == kZero)
                raiseError(NumberError::DivisionByZero, kNil);
            b = div(complexOf(kOne), b);
            n = -n;
        }
        size_t bits = std::max({ b.re.q.num.bitLength(), b.re.q.den.bitLength(), b.im.q.num.bitLength(),
            b.im.q.den.bitLength() });
        bool unit = tagOf(base) != Tag::Complex && bits <= 1; // 0, 1 and -1 stay small
        if (!unit && (bits - 1 + (tagOf(base) == Tag::Complex)) * static_cast<size_t>(n) > kMaxPowerBits)
            raiseError(ErrorCode::MemoryExhausted, exponent);
        ComplexNumber result { exactScalar(Rational(BigInteger(1))), exactScalar(Rational()) };
        while (n) {
            if (n & 1)
                result = mul(result, b);
            n >>= 1;
            if (n)
                b = mul(b, b);
        }
        return complexValue(result);
    }
    return makeReal(std::pow(toDouble(base), toDouble(exponent)));
}

Value makeRectangular(Value re, Value im) { return complexValue({ scalarOf(re), scalarOf(im) }); }

Value makePolar(Value m, Value a)
{
    double r = toDouble(m), angle = toDouble(a);
    return complexValue({ inexactScalar(r * std::cos(angle)), inexactScalar(r * std::sin(angle)) });
}

Value realPart(Value x)
{
    numberKind(x);
    return realPartValue(x);
}

Value imagPart(Value x)
{
    numberKind(x);
    return imagPartValue(x);
}

Value magnitudePrimitive(Value x) { return absValue(x); }

Value anglePrimitive(Value x)
{
    ComplexNumber c = complexOf(x);
    return makeReal(std::atan2(asDouble(c.im), asDouble(c.re)));
}

Value exactToInexact(Value x)
{
    switch (numberKind(x)) {
    case Kind::Real:
        return x;
    case Kind::Complex: {
        ComplexNumber c = complexOf(x);
        return complexValue({ inexactScalar(asDouble(c.re)), inexactScalar(asDouble(c.im)) });
    }
    default:
        return makeReal(toDouble(x));
    }
}

Value inexactToExact(Value x)
{
    switch (numberKind(x)) {
    case Kind::Real:
        return exactOf(x).toValue();
    case Kind::Complex: {
        Rational re = exactOf(car(x));
        Rational im = exactOf(cdr(x));
        return complexValue({ exactScalar(re), exactScalar(im) });
    }
    default:
        return x;
    }
}

// ---- Text

bool isSpace(char c) { return c == ' '; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Leading spaces, an optional "-", one or more digits, then only spaces. Every digit string reads
// as its exact value: short ones in machine arithmetic, longer ones by the big-integer parser.
std::optional<Value> parseInteger(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    size_t start = i;
    if (i < text.size() && text[i] == '-')
        ++i;
    size_t digitsStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i == digitsStart)
        return std::nullopt;
    std::string_view number = text.substr(start, i - start);
    for (; i < text.size(); ++i)
        if (!isSpace(text[i]))
            return std::nullopt;
    if (number.size() <= 18) {
        int64_t n = 0;
        for (char c : number)
            if (c != '-')
                n = n * 10 + (c - '0');
        return makeInteger(number[0] == '-' ? -n : n);
    }
    return BigInteger::parse(number)->toValue();
}

std::optional<BigInteger> parseIntegerEngine(std::string_view text)
{
    text = trimmed(text);
    if (!parseInteger(text))
        return std::nullopt;
    return BigInteger::parse(text);
}

// An optional "-", digits, optionally the separator and digits, optionally an exponent, then
// only spaces.
std::optional<Value> parseReal(std::string_view text, char separator)
{
    std::string s;
    size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    if (i < text.size() && text[i] == '-')
        s += text[i++];
    size_t digits = 0;
    auto takeDigits = [&] {
        size_t n = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            s += text[i++];
            ++n;
        }
        return n;
    };
    digits += takeDigits();
    if (i < text.size() && text[i] == separator) {
        s += '.';
        ++i;
        digits += takeDigits();
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        s += 'e';
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            s += text[i++];
        if (takeDigits() == 0)
            return std::nullopt;
    }
    for (; i < text.size(); ++i)
        if (!isSpace(text[i]))
            return std::nullopt;
    return makeReal(std::strtod(s.c_str(), nullptr));
}

std::optional<Value> parseRational(std::string_view text)
{
    text = trimmed(text);
    size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    auto num = parseIntegerEngine(text.substr(0, slash));
    auto den = parseIntegerEngine(text.substr(slash + 1));
    if (!num || !den || den->isZero())
        return std::nullopt;
    return Rational(*num, *den).toValue();
}

std::optional<Value> parseRealNumber(std::string_view text, char separator)
{
    if (auto v = parseInteger(text))
        return v;
    if (auto v = parseReal(text, separator))
        return v;
    return parseRational(text);
}

// re+imi, re-imi or imi; an imaginary part without digits counts 1.
std::optional<Value> parseComplex(std::string_view text, char separator)
{
    text = trimmed(text);
    if (text.size() < 2 || text.back() != 'i' || text.find_first_of("0123456789") == std::string_view::npos)
        return std::nullopt;
    std::string_view body = text.substr(0, text.size() - 1);
    size_t split = std::string_view::npos;
    for (size_t i = body.size(); i-- > 1;)
        if ((body[i] == '+' || body[i] == '-') && body[i - 1] != 'e' && body[i - 1] != 'E') {
            split = i;
            break;
        }
    std::string_view reText = split == std::string_view::npos ? std::string_view() : body.substr(0, split);
    std::string imText(split == std::string_view::npos ? body : body.substr(split));
    if (!imText.empty() && imText[0] == '+')
        imText.erase(0, 1);
    if (imText.empty() || imText == "-")
        imText += '1';
    Value re = kZero;
    if (split != std::string_view::npos) {
        auto r = parseRealNumber(reText, separator);
        if (!r)
            return std::nullopt;
        re = *r;
    }
    auto im = parseRealNumber(imText, separator);
    if (!im)
        return std::nullopt;
    return complexValue({ scalarOf(re), scalarOf(*im) });
}

Value toStringArgument(Value s)
{
    if (!isString(s))
        raiseWrongType(s);
    return s;
}

Value stringToInt(Value s)
{
    std::string text = stringChars(toStringArgument(s));
    auto v = parseInteger(text);
    return v ? *v : kNil;
}

Value stringToNumber(Value s)
{
    std::string text = stringChars(toStringArgument(s));
    auto v = parseNumber(text, gDecimalSeparator);
    return v ? *v : kNil;
}

Value numberToString(Value x)
{
    numberKind(x);
    return makeString(numberText(x));
}

// ---- Random numbers: the C runtime's linear congruential generator, never reseeded.

uint32_t gRandomState = 1;

Value randomPrimitive(Value n)
{
    int32_t count = toInt32(n);
    if (count < 1 || count > 32767)
        raiseWrongType(n);
    for (int skip = static_cast<int>((hostMilliseconds() >> 6) & 3); skip > 0; --skip)
        nextRandomOutput();
    int bucket = 32767 / count;
    int c;
    do
        c = nextRandomOutput() / bucket;
    while (c >= count);
    return makeImmediate(c);
}

// ---- Bits: 32-bit two's complement through the signed conversion.

Value bitResult(uint32_t bits) { return makeInteger(static_cast<int32_t>(bits)); }
uint32_t bitsOf(Value v) { return static_cast<uint32_t>(toInt32(v)); }
uint32_t bitMask(Value b) { return 1u << (bitsOf(b) & 31); }

Value bitTest(Value n, Value b) { return boolValue((bitsOf(n) & bitMask(b)) != 0); }
Value bitSet(Value n, Value b) { return bitResult(bitsOf(n) | bitMask(b)); }
Value bitClear(Value n, Value b) { return bitResult(bitsOf(n) & ~bitMask(b)); }
Value bitAnd(Value a, Value b) { return bitResult(bitsOf(a) & bitsOf(b)); }
Value bitOr(Value a, Value b) { return bitResult(bitsOf(a) | bitsOf(b)); }
Value bitXor(Value a, Value b) { return bitResult(bitsOf(a) ^ bitsOf(b)); }
Value bitNot(Value a) { return bitResult(~bitsOf(a)); }

// a + (b - a)·t: exact when a, b and t are exact, else in doubles; rounded as by round on request.
Value interpolate(Value a, Value b, Value t, Value round)
{
    numberKind(a);
    numberKind(b);
    numberKind(t);
    Value result;
    if (isExactNumber(a) && isExactNumber(b) && isExactNumber(t)) {
        ComplexNumber ca = complexOf(a);
        result = complexValue(add(ca, mul(sub(complexOf(b), ca), complexOf(t))));
    } else {
        double x = toDouble(a);
        result = makeReal(x + (toDouble(b) - x) * toDouble(t));
    }
    return isFlagSet(round) ? roundValue(result, kNil, Rounding::Round) : result;
}

// The next capacity of a growing buffer.
Value progressiveGrowth(Value n)
{
    int64_t size = toInt64(n);
    if (size < 0)
        raiseWrongType(n);
    return makeInteger(size == 0 ? 1 : size + (size + 1) / 2);
}

class NumberModule final : public Module {
public:
    NumberModule() : Module("Number") {}
    void start() override
    {
        Module::start();
        defineFunction1("number?", numberP);
        defineFunction1("complex?", numberP);
        defineFunction1("real?", realP);
        defineFunction1("rational?", rationalP);
        defineFunction1("integer?", integerP);
        defineFunction1("exact?", exactP);
        defineFunction1("inexact?", inexactP);
        defineFunctionRest0("=", numEqual, compareTwo<Compare::Equal>);
        defineFunctionRest0("<", numLess, compareTwo<Compare::Less>);
        defineFunctionRest0(">", numGreater, compareTwo<Compare::Greater>);
        defineFunctionRest0("<=", numLessEqual, compareTwo<Compare::LessEqual>);
        defineFunctionRest0(">=", numGreaterEqual, compareTwo<Compare::GreaterEqual>);
        defineFunctionRest0("/=", numNotEqual, compareTwo<Compare::NotEqual>);
        defineFunction2("zero?", zeroP);
        defineFunction1("positive?", positiveP);
        defineFunction1("negative?", negativeP);
        defineFunction1("odd?", oddP);
        defineFunction1("even?", evenP);
        defineFunctionRest0("max", maxPrimitive);
        defineFunctionRest0("min", minPrimitive);
        defineFunctionRest0("+", plus, plusTwo);
        defineFunctionRest0("*", times, timesTwo);
        defineFunctionRest0("-", minus, subtractValues);
        defineFunctionRest0("/", divide);
        defineFunctionRest0("old/", oldDivide);
        defineFunction1("abs", absValue);
        defineFunction2("quotient", quotientPrimitive);
        defineFunction2("remainder", remainderPrimitive);
        defineFunction2("modulo", moduloPrimitive);
        defineFunctionRest0("gcd", gcdPrimitive);
        defineFunctionRest0("lcm", lcmPrimitive);
        defineFunction1("numerator", numeratorPrimitive);
        defineFunction1("denominator", denominatorPrimitive);
        defineFunction2("floor", floorPrimitive);
        defineFunction2("ceiling", ceilingPrimitive);
        defineFunction2("truncate", truncatePrimitive);
        defineFunction2("round", roundPrimitive);
        defineFunction1("exp", expPrimitive);
        defineFunction1("log", logPrimitive);
        defineFunction1("sin", sinPrimitive);
        defineFunction1("cos", cosPrimitive);
        defineFunction1("tan", tanPrimitive);
        defineFunction1("asin", asinPrimitive);
        defineFunction1("acos", acosPrimitive);
        defineFunction2("atan", atanPrimitive);
        defineFunction1("sqrt", sqrtPrimitive);
        defineFunction2("expt", exptPrimitive);
        defineFunction2("make-rectangular", makeRectangular);
        defineFunction2("make-polar", makePolar);
        defineFunction1("real-part", realPart);
        defineFunction1("imag-part", imagPart);
        defineFunction1("magnitude", magnitudePrimitive);
        defineFunction1("angle", anglePrimitive);
        defineFunction1("exact->inexact", exactToInexact);
        defineFunction1("inexact->exact", inexactToExact);
        defineFunction1("number->string", numberToString);
        defineFunction1("string->number", stringToNumber);
        defineFunction1("string->int", stringToInt);
        defineFunction1("random", randomPrimitive);
        defineFunction2("bit-test", bitTest);
        defineFunction2("bit-set", bitSet);
        defineFunction2("bit-clear", bitClear);
        defineFunction2("bit-and", bitAnd);
        defineFunction2("bit-or", bitOr);
        defineFunction2("bit-xor", bitXor);
        defineFunction1("bit-not", bitNot);
        defineFunction4("interpolate", interpolate);
        defineFunction1("progressive-growth", progressiveGrowth);
    }
} numberModule;

} // namespace

int nextRandomOutput()
{
    gRandomState = gRandomState * 214013u + 2531011u;
    return static_cast<int>((gRandomState >> 16) & 0x7FFF);
}

uint32_t randomGeneratorState() { return gRandomState; }

Value makeInteger(int64_t n)
{
    if (fitsImmediate(n))
        return makeImmediate(static_cast<int32_t>(n));
    return BigInteger(n).toValue();
}

bool isInteger(Value v) { return isIntegerKind(kindOf(v)); }
bool isNumber(Value v) { return kindOf(v) != Kind::None; }
bool isRealNumber(Value v) { return isNumber(v) && kindOf(v) != Kind::Complex; }

bool isExactNumber(Value v)
{
    switch (kindOf(v)) {
    case Kind::Integer:
    case Kind::Big:
    case Kind::Ratio:
        return true;
    case Kind::Complex:
        return tagOf(car(v)) != Tag::Real && tagOf(cdr(v)) != Tag::Real;
    default:
        return false;
    }
}

int32_t toInt32(Value v)
{
    if (isImmediateInteger(v))
        return integerValue(v);
    if (kindOf(v) == Kind::Big) {
        auto n = BigInteger::fromValue(v).toInt64();
        if (n && *n >= -INT32_MAX && *n <= INT32_MAX)
            return static_cast<int32_t>(*n);
    }
    raiseWrongType(v);
}

int64_t toInt64(Value v)
{
    if (isImmediateInteger(v))
        return integerValue(v);
    if (kindOf(v) == Kind::Big)
        if (auto n = BigInteger::fromValue(v).toInt64())
            return *n;
    raiseWrongType(v);
}

uint32_t toUInt32(Value v)
{
    if (isImmediateInteger(v) && integerValue(v) >= 0)
        return static_cast<uint32_t>(integerValue(v));
    if (tagOf(v) == Tag::BigPositive) {
        auto n = BigInteger::fromValue(v).toInt64();
        if (n && *n >= 0 && *n <= static_cast<int64_t>(UINT32_MAX))
            return static_cast<uint32_t>(*n);
    }
    raiseWrongType(v);
}

double toDouble(Value v)
{
    switch (kindOf(v)) {
    case Kind::Integer:
        return integerValue(v);
    case Kind::Real:
        return realValue(v);
    case Kind::Big:
        return BigInteger::fromValue(v).toDouble();
    case Kind::Ratio:
        return Rational::fromValue(v).toDouble();
    default:
        raiseWrongType(v);
    }
}

bool numbersEqual(Value a, Value b)
{
    if (a == b)
        return isNumber(a);
    Kind ka = kindOf(a), kb = kindOf(b);
    if (ka == Kind::None || kb == Kind::None)
        return false;
    switch (ka) {
    case Kind::Integer:
    case Kind::Real: {
        if (ka == Kind::Integer && kb == Kind::Integer)
            return false;
        double x = toDouble(a);
        if (kb == Kind::Complex) {
            ComplexNumber c = complexOf(b);
            return isZero(c.im) && asDouble(c.re) == x;
        }
        return toDouble(b) == x;
    }
    case Kind::Big:
        return kb == Kind::Big && tagOf(a) == tagOf(b) && BigInteger::fromValue(a) == BigInteger::fromValue(b);
    case Kind::Ratio:
        return kb == Kind::Ratio && Rational::compare(Rational::fromValue(a), Rational::fromValue(b)) == 0;
    case Kind::Complex:
        return kb == Kind::Complex && numbersEqual(car(a), car(b)) && numbersEqual(cdr(a), cdr(b));
    default:
        return false;
    }
}

std::optional<Value> parseNumber(std::string_view text, char separator)
{
    if (auto v = parseRealNumber(text, separator))
        return v;
    return parseComplex(text, separator);
}

std::string realText(double x, char separator)
{
    std::string text = gText(x);
    bool point = false, exponent = false;
    for (char& c : text) {
        if (c == '.') {
            c = separator;
            point = true;
        } else if (c == 'e') {
            exponent = true;
        }
    }
    if (!point && !exponent) {
        text += separator;
        text += '0';
    }
    return text;
}

std::string numberText(Value v)
{
    switch (kindOf(v)) {
    case Kind::Integer:
        return std::to_string(integerValue(v));
    case Kind::Big:
        return BigInteger::fromValue(v).toString();
    case Kind::Ratio:
        return numberText(car(v)) + "/" + numberText(cdr(v));
    case Kind::Real:
        return realText(realValue(v), gDecimalSeparator);
    case Kind::Complex: {
        if (!isRealNumber(car(v)) || !isRealNumber(cdr(v)))
            raiseWrongType(v); // a damaged complex cell
        std::string re = numberText(car(v)), im = numberText(cdr(v));
        return re + (im[0] == '-' ? "" : "+") + im + "i";
    }
    default:
        raiseWrongType(v);
    }
}
