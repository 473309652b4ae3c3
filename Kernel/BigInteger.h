// Kernel/BigInteger.h: the arbitrary-precision integer and rational engines.
//
// The engines live on the native stack for the duration of one primitive; their digits are in
// native memory (released by the destructors, also when an error unwinds), and a Lisp Value is
// built only at the end. In the cell area a big integer is a chain of digit cells: the Value
// (tag 0x33 positive, 0x34 negative) designates the cell holding 16-bit digits 0 and 1 (digit 0 in
// the low half of word 1); word 0 is header 0x23 with the offset of the next digit cell, 0 in the
// last one. An odd digit count leaves 0 in the high half of the last cell.
#pragma once

#include "Kernel/Value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class BigInteger {
public:
    BigInteger() = default;
    BigInteger(int64_t n);

    // An integer immediate or a big integer Value; anything else raises the wrong-type error.
    static BigInteger fromValue(Value v);
    // Optional "-" then one or more decimal digits, nothing else.
    static std::optional<BigInteger> parse(std::string_view text);
    // An immediate when the magnitude is at most 8,388,607, else a digit chain.
    Value toValue() const;

    bool isZero() const { return m_limbs.empty(); }
    bool isNegative() const { return m_negative; }
    int sign() const { return isZero() ? 0 : m_negative ? -1 : 1; }
    bool isOdd() const { return !isZero() && (m_limbs[0] & 1); }
    bool isOne() const { return !m_negative && m_limbs.size() == 1 && m_limbs[0] == 1; }
    size_t bitLength() const;
    size_t digitCount() const; // 16-bit digits of the magnitude
    // The value as a machine integer when it fits.
    std::optional<int64_t> toInt64() const;
    double toDouble() const;
    std::string toString() const;

    BigInteger negated() const;
    BigInteger magnitude() const;
    static int compare(const BigInteger& a, const BigInteger& b);
    static int compareMagnitude(const BigInteger& a, const BigInteger& b);
    friend BigInteger operator+(const BigInteger& a, const BigInteger& b);
    friend BigInteger operator-(const BigInteger& a, const BigInteger& b);
    friend BigInteger operator*(const BigInteger& a, const BigInteger& b);
    // Truncating division: the quotient rounds toward zero, the remainder has the dividend's sign.
    // The divisor must not be zero.
    static void divide(const BigInteger& a, const BigInteger& b, BigInteger& quotient, BigInteger& remainder);
    static BigInteger gcd(BigInteger a, BigInteger b); // non-negative
    BigInteger shiftedRight(size_t bits) const;        // of the magnitude; keeps the sign
    BigInteger shiftedLeft(size_t bits) const;
    static BigInteger powerOfTen(uint32_t n);

    friend bool operator==(const BigInteger& a, const BigInteger& b) { return compare(a, b) == 0; }

private:
    void trim();
    static std::vector<uint32_t> addMagnitudes(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);
    static std::vector<uint32_t> subtractMagnitudes(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);
    static int compareLimbs(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);
    uint32_t divideSmall(uint32_t divisor); // magnitude /= divisor, returns the remainder

    std::vector<uint32_t> m_limbs; // magnitude, 32 bits per limb, least significant first, no top zeros
    bool m_negative = false;       // never set for zero
};

// A fraction of two big integers, in lowest terms with a positive denominator once normalised.
struct Rational {
    BigInteger num;
    BigInteger den = BigInteger(1);

    Rational() = default;
    Rational(BigInteger n) : num(std::move(n)) {}
    Rational(BigInteger n, BigInteger d); // normalises; a zero denominator raises error 58
    // An integer, big integer or rational Value; anything else raises the wrong-type error.
    static Rational fromValue(Value v);
    // The numerator alone when the denominator is 1, else a rational cell.
    Value toValue() const;
    bool isInteger() const { return den.isOne(); }
    int sign() const { return num.sign(); }
    double toDouble() const;

    friend Rational operator+(const Rational& a, const Rational& b);
    friend Rational operator-(const Rational& a, const Rational& b);
    friend Rational operator*(const Rational& a, const Rational& b);
    friend Rational operator/(const Rational& a, const Rational& b); // error 58 for a zero divisor
    static int compare(const Rational& a, const Rational& b);
    Rational negated() const;

private:
    void normalise();
};
