// Kernel/BigInteger.cpp: big integers and rationals.
#include "Kernel/BigInteger.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Number.h"

#include <algorithm>
#include <cmath>

BigInteger::BigInteger(int64_t n)
{
    m_negative = n < 0;
    uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    while (magnitude) {
        m_limbs.push_back(static_cast<uint32_t>(magnitude));
        magnitude >>= 32;
    }
}

void BigInteger::trim()
{
    while (!m_limbs.empty() && m_limbs.back() == 0)
        m_limbs.pop_back();
    if (m_limbs.empty())
        m_negative = false;
}

BigInteger BigInteger::fromValue(Value v)
{
    uint32_t tag = tagOf(v);
    if (tag == Tag::Integer)
        return BigInteger(integerValue(v));
    if (tag != Tag::BigPositive && tag != Tag::BigNegative)
        raiseWrongType(v);
    // Walk the digit chain; a damaged chain (bad link, wrong header, a loop) is reported, not
    // followed. The report names no culprit: the damaged value could not be printed.
    BigInteger result;
    uint32_t offset = payloadOf(v);
    for (;;) {
        if (!isCellOffset(offset) || result.m_limbs.size() > gAreas.cellCount)
            raiseWrongType(kNil);
        const Cell& cell = cellAt(offset);
        uint32_t header = cell.car & ~(kMarkBit | kPermanentBit);
        if (tagOf(header) != Tag::BigDigitHeader)
            raiseWrongType(kNil);
        result.m_limbs.push_back(cell.cdr); // digit 2k in the low half, 2k + 1 in the high half
        offset = payloadOf(header);
        if (offset == 0)
            break;
    }
    result.m_negative = tag == Tag::BigNegative;
    result.trim();
    return result;
}

std::optional<BigInteger> BigInteger::parse(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    BigInteger result;
    // Nine decimal digits at a time: multiply by 10^k and add the chunk.
    size_t first = text.size() % 9 ? text.size() % 9 : 9;
    for (size_t at = 0; at < text.size();) {
        size_t length = at == 0 ? first : 9;
        uint32_t chunk = 0, scale = 1;
        for (size_t i = 0; i < length; ++i) {
            chunk = chunk * 10 + (text[at + i] - '0');
            scale *= 10;
        }
        at += length;
        uint64_t carry = chunk;
        for (uint32_t& limb : result.m_limbs) {
            uint64_t t = static_cast<uint64_t>(limb) * scale + carry;
            limb = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        if (carry)
            result.m_limbs.push_back(static_cast<uint32_t>(carry));
    }
    result.m_negative = negative;
    result.trim();
    return result;
}

Value BigInteger::toValue() const
{
    if (m_limbs.empty())
        return makeImmediate(0);
    if (m_limbs.size() == 1 && m_limbs[0] <= static_cast<uint32_t>(kMaxImmediate))
        return makeImmediate(m_negative ? -static_cast<int32_t>(m_limbs[0]) : static_cast<int32_t>(m_limbs[0]));
    // Cells are linked front to back, so the chain built so far is always whole and reachable
    // from head, whatever collection an allocation runs. The new cell is kept as an offset only:
    // as a list Value its raw digits would read as a cdr.
    Value head = kNil;
    uint32_t previous = 0;
    for (uint32_t limb : m_limbs) {
        uint32_t offset = payloadOf(cons(makeValue(Tag::BigDigitHeader, 0), limb));
        if (previous == 0) {
            head = makeValue(m_negative ? Tag::BigNegative : Tag::BigPositive, offset);
        } else {
            Cell& last = cellAt(previous);
            last.car = (last.car & (kMarkBit | kPermanentBit)) | makeValue(Tag::BigDigitHeader, offset);
        }
        previous = offset;
    }
    return head;
}

size_t BigInteger::bitLength() const
{
    if (m_limbs.empty())
        return 0;
    return (m_limbs.size() - 1) * 32 + (32 - __builtin_clz(m_limbs.back()));
}

size_t BigInteger::digitCount() const
{
    if (m_limbs.empty())
        return 0;
    return m_limbs.size() * 2 - (m_limbs.back() >> 16 ? 0 : 1);
}

std::optional<int64_t> BigInteger::toInt64() const
{
    if (m_limbs.size() > 2)
        return std::nullopt;
    uint64_t magnitude = 0;
    for (size_t i = m_limbs.size(); i-- > 0;)
        magnitude = (magnitude << 32) | m_limbs[i];
    if (magnitude > static_cast<uint64_t>(INT64_MAX) + (m_negative ? 1 : 0))
        return std::nullopt;
    return m_negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

double BigInteger::toDouble() const
{
    // The top 64 bits carry every significant bit a double can hold; the rest scales.
    size_t bits = bitLength();
    if (bits > 64) {
        BigInteger top = shiftedRight(bits - 64);
        return std::ldexp(top.toDouble(), static_cast<int>(std::min<size_t>(bits - 64, 4000)));
    }
    double x = 0;
    for (size_t i = m_limbs.size(); i-- > 0;)
        x = x * 4294967296.0 + m_limbs[i];
    return m_negative ? -x : x;
}

uint32_t BigInteger::divideSmall(uint32_t divisor)
{
    uint64_t remainder = 0;
    for (size_t i = m_limbs.size(); i-- > 0;) {
        uint64_t t = (remainder << 32) | m_limbs[i];
        m_limbs[i] = static_cast<uint32_t>(t / divisor);
        remainder = t % divisor;
    }
    bool negative = m_negative;
    trim();
    m_negative = negative && !m_limbs.empty();
    return static_cast<uint32_t>(remainder);
}

std::string BigInteger::toString() const
{
    if (m_limbs.empty())
        return "0";
    BigInteger work = magnitude();
    std::vector<uint32_t> chunks; // base 10^9, least significant first
    while (!work.isZero())
        chunks.push_back(work.divideSmall(1000000000u));
    std::string text = m_negative ? "-" : "";
    text += std::to_string(chunks.back());
    for (size_t i = chunks.size() - 1; i-- > 0;) {
        std::string part = std::to_string(chunks[i]);
        text.append(9 - part.size(), '0');
        text += part;
    }
    return text;
}

BigInteger BigInteger::negated() const
{
    BigInteger r = *this;
    if (!r.isZero())
        r.m_negative = !r.m_negative;
    return r;
}

BigInteger BigInteger::magnitude() const
{
    BigInteger r = *this;
    r.m_negative = false;
    return r;
}

int BigInteger::compareLimbs(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (size_t i = a.size(); i-- > 0;)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}

int BigInteger::compareMagnitude(const BigInteger& a, const BigInteger& b) { return compareLimbs(a.m_limbs, b.m_limbs); }

int BigInteger::compare(const BigInteger& a, const BigInteger& b)
{
    if (a.sign() != b.sign())
        return a.sign() < b.sign() ? -1 : 1;
    int m = compareLimbs(a.m_limbs, b.m_limbs);
    return a.m_negative ? -m : m;
}

std::vector<uint32_t> BigInteger::addMagnitudes(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    const std::vector<uint32_t>& longer = a.size() >= b.size() ? a : b;
    const std::vector<uint32_t>& shorter = a.size() >= b.size() ? b : a;
    std::vector<uint32_t> r(longer.size() + 1);
    uint64_t carry = 0;
    for (size_t i = 0; i < longer.size(); ++i) {
        uint64_t t = static_cast<uint64_t>(longer[i]) + (i < shorter.size() ? shorter[i] : 0) + carry;
        r[i] = static_cast<uint32_t>(t);
        carry = t >> 32;
    }
    r[longer.size()] = static_cast<uint32_t>(carry);
    return r;
}

// a - b for |a| >= |b|.
std::vector<uint32_t> BigInteger::subtractMagnitudes(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    std::vector<uint32_t> r(a.size());
    int64_t borrow = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int64_t t = static_cast<int64_t>(a[i]) - (i < b.size() ? b[i] : 0) - borrow;
        borrow = t < 0;
        r[i] = static_cast<uint32_t>(t + (borrow << 32));
    }
    return r;
}

BigInteger operator+(const BigInteger& a, const BigInteger& b)
{
    BigInteger r;
    if (a.m_negative == b.m_negative) {
        r.m_limbs = BigInteger::addMagnitudes(a.m_limbs, b.m_limbs);
        r.m_negative = a.m_negative;
    } else if (BigInteger::compareLimbs(a.m_limbs, b.m_limbs) >= 0) {
        r.m_limbs = BigInteger::subtractMagnitudes(a.m_limbs, b.m_limbs);
        r.m_negative = a.m_negative;
    } else {
        r.m_limbs = BigInteger::subtractMagnitudes(b.m_limbs, a.m_limbs);
        r.m_negative = b.m_negative;
    }
    r.trim();
    return r;
}

BigInteger operator-(const BigInteger& a, const BigInteger& b) { return a + b.negated(); }

BigInteger operator*(const BigInteger& a, const BigInteger& b)
{
    BigInteger r;
    if (a.isZero() || b.isZero())
        return r;
    r.m_limbs.assign(a.m_limbs.size() + b.m_limbs.size(), 0);
    for (size_t i = 0; i < a.m_limbs.size(); ++i) {
        uint64_t carry = 0;
        uint64_t x = a.m_limbs[i];
        for (size_t j = 0; j < b.m_limbs.size(); ++j) {
            uint64_t t = x * b.m_limbs[j] + r.m_limbs[i + j] + carry;
            r.m_limbs[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        r.m_limbs[i + b.m_limbs.size()] = static_cast<uint32_t>(carry);
    }
    r.m_negative = a.m_negative != b.m_negative;
    r.trim();
    return r;
}

BigInteger BigInteger::shiftedRight(size_t bits) const
{
    BigInteger r;
    size_t limbs = bits / 32, shift = bits % 32;
    if (limbs >= m_limbs.size())
        return r;
    r.m_limbs.resize(m_limbs.size() - limbs);
    for (size_t i = 0; i < r.m_limbs.size(); ++i) {
        uint64_t low = m_limbs[i + limbs];
        uint64_t high = i + limbs + 1 < m_limbs.size() ? m_limbs[i + limbs + 1] : 0;
        r.m_limbs[i] = static_cast<uint32_t>(((high << 32) | low) >> shift);
    }
    r.m_negative = m_negative;
    r.trim();
    return r;
}

BigInteger BigInteger::shiftedLeft(size_t bits) const
{
    BigInteger r;
    if (isZero())
        return r;
    size_t limbs = bits / 32, shift = bits % 32;
    r.m_limbs.assign(m_limbs.size() + limbs + 1, 0);
    for (size_t i = 0; i < m_limbs.size(); ++i) {
        uint64_t t = static_cast<uint64_t>(m_limbs[i]) << shift;
        r.m_limbs[i + limbs] |= static_cast<uint32_t>(t);
        r.m_limbs[i + limbs + 1] |= static_cast<uint32_t>(t >> 32);
    }
    r.m_negative = m_negative;
    r.trim();
    return r;
}

void BigInteger::divide(const BigInteger& a, const BigInteger& b, BigInteger& quotient, BigInteger& remainder)
{
    bool quotientNegative = a.m_negative != b.m_negative;
    if (b.m_limbs.size() == 1) {
        // Short division by a one-limb divisor.
        BigInteger q = a;
        uint32_t r = q.divideSmall(b.m_limbs[0]);
        q.m_negative = quotientNegative && !q.isZero();
        remainder = BigInteger(a.m_negative ? -static_cast<int64_t>(r) : static_cast<int64_t>(r));
        quotient = std::move(q);
        return;
    }
    // Binary shift-and-subtract long division on the magnitudes, over the bits by which the
    // dividend is longer than the divisor.
    BigInteger r = a.magnitude();
    BigInteger d = b.magnitude();
    BigInteger q;
    if (compareLimbs(r.m_limbs, d.m_limbs) >= 0) {
        size_t shift = r.bitLength() - d.bitLength();
        d = d.shiftedLeft(shift);
        q.m_limbs.assign(shift / 32 + 1, 0);
        for (size_t bit = shift + 1; bit-- > 0;) {
            if (compareLimbs(r.m_limbs, d.m_limbs) >= 0) {
                r.m_limbs = subtractMagnitudes(r.m_limbs, d.m_limbs);
                r.trim();
                q.m_limbs[bit / 32] |= 1u << (bit % 32);
            }
            d = d.shiftedRight(1);
        }
        q.trim();
    }
    q.m_negative = quotientNegative && !q.isZero();
    r.m_negative = a.m_negative && !r.isZero();
    quotient = std::move(q);
    remainder = std::move(r);
}

BigInteger BigInteger::gcd(BigInteger a, BigInteger b)
{
    a = a.magnitude();
    b = b.magnitude();
    while (!b.isZero()) {
        auto small = [](const BigInteger& x) { return x.m_limbs.size() <= 2; };
        if (small(a) && small(b)) {
            auto magnitude64 = [](const BigInteger& v) {
                uint64_t m = 0;
                for (size_t i = v.m_limbs.size(); i-- > 0;)
                    m = (m << 32) | v.m_limbs[i];
                return m;
            };
            uint64_t x = magnitude64(a), y = magnitude64(b);
            while (y) {
                uint64_t t = x % y;
                x = y;
                y = t;
            }
            BigInteger g;
            for (; x; x >>= 32)
                g.m_limbs.push_back(static_cast<uint32_t>(x));
            return g;
        }
        BigInteger q, r;
        divide(a, b, q, r);
        a = std::move(b);
        b = std::move(r);
    }
    return a;
}

BigInteger BigInteger::powerOfTen(uint32_t n)
{
    BigInteger r(1);
    while (n >= 9) {
        r = r * BigInteger(1000000000);
        n -= 9;
    }
    int64_t rest = 1;
    while (n--)
        rest *= 10;
    return r * BigInteger(rest);
}

Rational::Rational(BigInteger n, BigInteger d) : num(std::move(n)), den(std::move(d)) { normalise(); }

void Rational::normalise()
{
    if (den.isZero())
        raiseError(NumberError::DivisionByZero, kNil);
    if (den.isNegative()) {
        num = num.negated();
        den = den.negated();
    }
    if (den.isOne())
        return;
    BigInteger g = BigInteger::gcd(num, den);
    if (!g.isOne() && !g.isZero()) {
        BigInteger q, r;
        BigInteger::divide(num, g, q, r);
        num = std::move(q);
        BigInteger::divide(den, g, q, r);
        den = std::move(q);
    }
    if (num.isZero())
        den = BigInteger(1);
}

Rational Rational::fromValue(Value v)
{
    if (tagOf(v) != Tag::Rational)
        return Rational(BigInteger::fromValue(v));
    Rational r;
    r.num = BigInteger::fromValue(car(v));
    r.den = BigInteger::fromValue(cdr(v));
    if (r.den.sign() <= 0 || r.den.isOne())
        raiseWrongType(v); // a damaged rational cell
    return r;
}

Value Rational::toValue() const
{
    if (den.isOne())
        return num.toValue();
    Value n = num.toValue();
    Value d = den.toValue();
    return retag(cons(n, d), Tag::Rational);
}

double Rational::toDouble() const
{
    if (den.isOne())
        return num.toDouble();
    // Scale both down so neither overflows a double; the quotient keeps its precision.
    size_t bits = std::max(num.bitLength(), den.bitLength());
    if (bits > 900) {
        BigInteger n = num.shiftedRight(bits - 900), d = den.shiftedRight(bits - 900);
        if (d.isZero())
            return num.sign() * HUGE_VAL;
        return n.toDouble() / d.toDouble();
    }
    return num.toDouble() / den.toDouble();
}

Rational operator+(const Rational& a, const Rational& b)
{
    if (a.den.isOne() && b.den.isOne())
        return Rational(a.num + b.num);
    return Rational(a.num * b.den + b.num * a.den, a.den * b.den);
}

Rational operator-(const Rational& a, const Rational& b) { return a + b.negated(); }

Rational operator*(const Rational& a, const Rational& b)
{
    if (a.den.isOne() && b.den.isOne())
        return Rational(a.num * b.num);
    return Rational(a.num * b.num, a.den * b.den);
}

Rational operator/(const Rational& a, const Rational& b)
{
    if (b.num.isZero())
        raiseError(NumberError::DivisionByZero, kNil);
    return Rational(a.num * b.den, a.den * b.num);
}

int Rational::compare(const Rational& a, const Rational& b)
{
    if (a.den.isOne() && b.den.isOne())
        return BigInteger::compare(a.num, b.num);
    return BigInteger::compare(a.num * b.den, b.num * a.den);
}

Rational Rational::negated() const
{
    Rational r = *this;
    r.num = r.num.negated();
    return r;
}
