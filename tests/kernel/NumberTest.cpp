// tests/kernel/NumberTest.cpp: the number tower against independent references: a small decimal
// big-number reference written here, bc when it is installed, and text round trips.
#include "Kernel/BigInteger.h"
#include "Kernel/Number.h"
#include "Support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

namespace {

// ---- A decimal reference: sign and base-10 digits, most significant first, schoolbook only.

struct Decimal {
    bool negative = false;
    std::string digits = "0"; // no leading zeros
};

Decimal decimal(const std::string& text)
{
    Decimal d;
    size_t i = 0;
    if (text[0] == '-') {
        d.negative = true;
        i = 1;
    }
    d.digits = text.substr(i);
    d.digits.erase(0, std::min(d.digits.find_first_not_of('0'), d.digits.size() - 1));
    if (d.digits == "0")
        d.negative = false;
    return d;
}

std::string text(const Decimal& d) { return (d.negative ? "-" : "") + d.digits; }

int compareDigits(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

std::string trimZeros(std::string s)
{
    s.erase(0, std::min(s.find_first_not_of('0'), s.size() - 1));
    return s;
}

std::string addDigits(const std::string& a, const std::string& b)
{
    std::string r;
    int carry = 0;
    for (size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
        int x = carry + (i < a.size() ? a[a.size() - 1 - i] - '0' : 0) + (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        r.insert(r.begin(), char('0' + x % 10));
        carry = x / 10;
    }
    return trimZeros(r);
}

std::string subDigits(const std::string& a, const std::string& b) // a >= b
{
    std::string r;
    int borrow = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int x = a[a.size() - 1 - i] - '0' - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        borrow = x < 0;
        r.insert(r.begin(), char('0' + x + 10 * borrow));
    }
    return trimZeros(r);
}

Decimal make(bool negative, std::string digits)
{
    Decimal d { negative, trimZeros(std::move(digits)) };
    if (d.digits == "0")
        d.negative = false;
    return d;
}

Decimal add(const Decimal& a, const Decimal& b)
{
    if (a.negative == b.negative)
        return make(a.negative, addDigits(a.digits, b.digits));
    if (compareDigits(a.digits, b.digits) >= 0)
        return make(a.negative, subDigits(a.digits, b.digits));
    return make(b.negative, subDigits(b.digits, a.digits));
}

Decimal negate(Decimal a)
{
    if (a.digits != "0")
        a.negative = !a.negative;
    return a;
}

Decimal mul(const Decimal& a, const Decimal& b)
{
    std::vector<int> r(a.digits.size() + b.digits.size(), 0);
    for (size_t i = 0; i < a.digits.size(); ++i)
        for (size_t j = 0; j < b.digits.size(); ++j)
            r[i + j + 1] += (a.digits[i] - '0') * (b.digits[j] - '0');
    for (size_t k = r.size(); k-- > 1;) {
        r[k - 1] += r[k] / 10;
        r[k] %= 10;
    }
    std::string s;
    for (int x : r)
        s += char('0' + x);
    return make(a.negative != b.negative, s);
}

// Truncating division by decimal long division: each quotient digit by repeated subtraction.
void divide(const Decimal& a, const Decimal& b, Decimal& q, Decimal& r)
{
    std::string quotient, rest = "0";
    for (char c : a.digits) {
        rest = trimZeros(rest + c);
        int digit = 0;
        while (compareDigits(rest, b.digits) >= 0) {
            rest = subDigits(rest, b.digits);
            ++digit;
        }
        quotient += char('0' + digit);
    }
    q = make(a.negative != b.negative, quotient);
    r = make(a.negative, rest);
}

Decimal modulo(const Decimal& a, const Decimal& b)
{
    Decimal q, r;
    divide(a, b, q, r);
    if (r.digits != "0" && r.negative != b.negative)
        r = add(r, b);
    return r;
}

Decimal gcd(Decimal a, Decimal b)
{
    a.negative = b.negative = false;
    while (b.digits != "0") {
        Decimal q, r;
        divide(a, b, q, r);
        a = b;
        b = r;
    }
    return a;
}

int compareDecimals(const Decimal& a, const Decimal& b)
{
    if (a.negative != b.negative)
        return a.negative ? -1 : 1;
    int m = compareDigits(a.digits, b.digits);
    return a.negative ? -m : m;
}

// The text of the reduced fraction n/d (d not zero), as the runtime writes it.
std::string fractionText(Decimal n, Decimal d)
{
    if (d.negative) {
        n = negate(n);
        d = negate(d);
    }
    Decimal g = gcd(n, d), q, r;
    divide(n, g, n, r);
    divide(d, g, d, r);
    return d.digits == "1" ? text(n) : text(n) + "/" + text(d);
}

// Operands: random lengths up to 60 digits, plus the edges of the immediate and machine ranges.
std::vector<std::string> operands()
{
    std::vector<std::string> v = { "0", "1", "-1", "8388607", "8388608", "-8388608", "-8388609", "65535", "65536",
        "2147483647", "2147483648", "4294967295", "4294967296", "18446744073709551615", "18446744073709551616",
        "-9223372036854775808", "340282366920938463463374607431768211456" };
    std::mt19937_64 random(20261210);
    for (int i = 0; i < 40; ++i) {
        int length = 1 + static_cast<int>(random() % 60);
        std::string s = (random() & 1) ? "-" : "";
        s += char('1' + random() % 9);
        for (int k = 1; k < length; ++k)
            s += char('0' + random() % 10);
        v.push_back(s);
    }
    return v;
}

struct Expected {
    std::string expression, value;
};

std::vector<Expected> buildReferenceTable()
{
    std::vector<Expected> table;
    auto ops = operands();
    for (size_t i = 0; i < ops.size(); ++i)
        for (size_t j = i % 3; j < ops.size(); j += 3) {
            Decimal a = decimal(ops[i]), b = decimal(ops[j]);
            auto expr = [&](const char* op) { return std::string("(") + op + " " + ops[i] + " " + ops[j] + ")"; };
            table.push_back({ expr("+"), text(add(a, b)) });
            table.push_back({ expr("-"), text(add(a, negate(b))) });
            table.push_back({ expr("*"), text(mul(a, b)) });
            table.push_back({ expr("gcd"), text(gcd(a, b)) });
            int order = compareDecimals(a, b);
            table.push_back({ expr("<"), order < 0 ? "t" : "()" });
            table.push_back({ expr("="), order == 0 ? "t" : "()" });
            table.push_back({ expr(">="), order >= 0 ? "t" : "()" });
            if (b.digits != "0") {
                Decimal q, r;
                divide(a, b, q, r);
                table.push_back({ expr("quotient"), text(q) });
                table.push_back({ expr("remainder"), text(r) });
                table.push_back({ expr("modulo"), text(modulo(a, b)) });
            }
        }
    return table;
}

const std::vector<Expected>& referenceTable()
{
    static const std::vector<Expected> table = buildReferenceTable();
    return table;
}

std::string kindOf(const std::string& value)
{
    Decimal d = decimal(value);
    bool immediate = compareDigits(d.digits, "8388607") <= 0 && !(d.negative && d.digits == "8388608");
    return immediate ? "integer" : "big-integer";
}

} // namespace

TEST(Number, BigIntegerArithmeticAgainstReference)
{
    auto& table = referenceTable();
    ASSERT_GT(table.size(), 1000u);
    for (auto& c : table) {
        std::string got = reportOf([&] { EXPECT_EQ(evalText(c.expression), c.value) << c.expression; });
        EXPECT_EQ(got, "") << c.expression;
    }
}

TEST(Number, ResultKindFollowsMagnitude)
{
    // Every result within the immediate range is an immediate; beyond it a big integer.
    auto& table = referenceTable();
    for (size_t i = 0; i < table.size(); i += 7) {
        auto& c = table[i];
        if (c.value == "-8388608" || c.value == "t" || c.value == "()")
            continue; // an engine result of -8388608 may be either form (both are =); truth values

        EXPECT_EQ(evalText("(type-of " + c.expression + ")"), kindOf(c.value)) << c.expression;
    }
}

TEST(Number, BigIntegerArithmeticAgainstBc)
{
    if (std::system("command -v bc >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "bc is not installed (scripts/deps.sh installs it)";
    auto ops = operands();
    std::vector<std::pair<std::string, std::string>> cases; // Lisp expression, bc expression
    for (size_t i = 0; i < ops.size(); ++i) {
        size_t j = (i * 7 + 3) % ops.size();
        if (ops[j] == "0")
            j = (j + 1) % ops.size();
        const std::string& a = ops[i];
        const std::string& b = ops[j];
        auto p = [](const std::string& x) { return "(" + x + ")"; };
        cases.push_back({ "(* " + a + " " + b + ")", p(a) + "*" + p(b) });
        cases.push_back({ "(quotient " + a + " " + b + ")", p(a) + "/" + p(b) });
        cases.push_back({ "(remainder " + a + " " + b + ")", p(a) + "%" + p(b) });
        cases.push_back({ "(- (* " + a + " " + a + ") " + b + ")", p(a) + "*" + p(a) + "-" + p(b) });
    }
    cases.push_back({ "(expt 3 200)", "3^200" });
    cases.push_back({ "(quotient (expt 7 90) (expt 3 50))", "(7^90)/(3^50)" });
    std::string script = "/tmp/velora-number-test.bc";
    {
        FILE* f = std::fopen(script.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("scale=0\n", f);
        for (auto& c : cases)
            std::fprintf(f, "%s\n", c.second.c_str());
        std::fputs("quit\n", f);
        std::fclose(f);
    }
    FILE* out = popen(("BC_LINE_LENGTH=0 bc -q " + script).c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string all;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, out))
        all.append(buffer, n);
    pclose(out);
    std::istringstream lines(all);
    std::string line;
    size_t k = 0;
    for (; std::getline(lines, line) && k < cases.size(); ++k)
        EXPECT_EQ(evalText(cases[k].first), line) << cases[k].first;
    EXPECT_EQ(k, cases.size());
}

TEST(Number, DigitCellLayout)
{
    Value v = makeInteger(8388608);
    EXPECT_EQ(tagOf(v), Tag::BigPositive);
    EXPECT_EQ(cellOf(v).car & ~(kMarkBit | kPermanentBit), 0x23000000u);
    EXPECT_EQ(cellOf(v).cdr, 0x00800000u); // digit 0 = 0, digit 1 = 0x80

    Value w = makeInteger(-((int64_t(1) << 32) + 5)); // three digits: 5, 0, 1
    EXPECT_EQ(tagOf(w), Tag::BigNegative);
    uint32_t link = cellOf(w).car & ~(kMarkBit | kPermanentBit);
    EXPECT_EQ(tagOf(link), Tag::BigDigitHeader);
    EXPECT_EQ(cellOf(w).cdr, 5u);
    Cell& second = cellAt(payloadOf(link));
    EXPECT_EQ(second.car & ~(kMarkBit | kPermanentBit), 0x23000000u);
    EXPECT_EQ(second.cdr, 1u); // top digit in the low half, 0 above it
    EXPECT_EQ(numberText(w), "-4294967301");
    EXPECT_EQ(BigInteger::fromValue(w).digitCount(), 3u);

    const struct { int64_t n; uint32_t tag; } cases[] = {
        { 8388607, Tag::Integer }, { -8388608, Tag::Integer }, { 8388608, Tag::BigPositive },
        { -8388609, Tag::BigNegative }, { INT64_MAX, Tag::BigPositive }, { INT64_MIN, Tag::BigNegative },
    };
    for (auto& c : cases) {
        Value x = makeInteger(c.n);
        EXPECT_EQ(tagOf(x), c.tag) << c.n;
        EXPECT_EQ(toInt64(x), c.n);
        EXPECT_EQ(numberText(x), std::to_string(c.n));
    }
}

TEST(Number, DamagedDigitChainIsReported)
{
    Value v = makeInteger(int64_t(1) << 40);
    cellOf(v).car = makeValue(Tag::BigDigitHeader, 4); // a link that is no cell offset
    std::string report = reportOf([&] { numberText(v); });
    EXPECT_EQ(report.rfind("Error: 1010-2, (),", 0), 0u) << report;
}

TEST(Number, IntegerConversions)
{
    const struct { const char* text; bool int32Ok; bool uint32Ok; } cases[] = {
        { "0", true, true }, { "-1", true, false }, { "8388608", true, true },
        { "2147483647", true, true }, { "-2147483647", true, false },
        { "2147483648", false, true }, { "-2147483648", false, false },
        { "4294967295", false, true }, { "4294967296", false, false }, { "1/2", false, false },
        { "1.0", false, false },
    };
    for (auto& c : cases) {
        Value v = *parseNumber(c.text, '.');
        std::string r32 = reportOf([&] { EXPECT_EQ(std::to_string(toInt32(v)), c.text); });
        EXPECT_EQ(r32.empty(), c.int32Ok) << c.text << " " << r32;
        std::string ru = reportOf([&] { EXPECT_EQ(std::to_string(toUInt32(v)), c.text); });
        EXPECT_EQ(ru.empty(), c.uint32Ok) << c.text << " " << ru;
        if (!c.int32Ok) {
            EXPECT_NE(r32.find("Error: 1010-2,"), std::string::npos) << r32;
        }
    }
}

TEST(Number, TextRoundTrips)
{
    std::mt19937_64 random(7);
    auto ops = operands();
    for (auto& s : ops) {
        Value v = *parseNumber(s, '.');
        EXPECT_EQ(numberText(v), text(decimal(s)));
        Value again = *parseNumber(numberText(v), '.');
        EXPECT_TRUE(numbersEqual(v, again)) << s;
    }
    for (int i = 0; i < 200; ++i) {
        // Rationals: a/b reduced, and read back to the same value.
        int64_t a = static_cast<int64_t>(random() % 2000001) - 1000000, b = 1 + static_cast<int64_t>(random() % 99999);
        Value q = *parseNumber(std::to_string(a) + "/" + std::to_string(b), '.');
        std::string t = numberText(q);
        Value back = *parseNumber(t, '.');
        EXPECT_TRUE(numbersEqual(q, back)) << t;
        EXPECT_EQ(numberText(back), t);
        // Reals: the text reads back to a real with the same text.
        double x = std::ldexp(static_cast<double>(random() % 1000000007) - 5e8, static_cast<int>(random() % 200) - 100);
        std::string rt = numberText(makeReal(x));
        Value r = *parseNumber(rt, '.');
        EXPECT_EQ(tagOf(r), Tag::Real) << rt;
        EXPECT_EQ(numberText(r), rt);
        // inexact->exact goes through the same text.
        EXPECT_EQ(evalText("(exact->inexact (inexact->exact " + rt + "))"), rt);
    }
}

TEST(Number, RealTextAndSeparator)
{
    const struct { double x; const char* dot; const char* comma; } cases[] = {
        { 1.0, "1.0", "1,0" }, { 2.5, "2.5", "2,5" }, { -0.125, "-0.125", "-0,125" }, { 1e20, "1e+20", "1e+20" },
        { 1.5e-10, "1.5e-10", "1,5e-10" }, { 1.0 / 3, "0.333333333333333", "0,333333333333333" },
        { 123456789012345.0, "123456789012345.0", "123456789012345,0" },
    };
    for (auto& c : cases) {
        EXPECT_EQ(realText(c.x, '.'), c.dot);
        EXPECT_EQ(realText(c.x, ','), c.comma);
    }
    char saved = gDecimalSeparator;
    gDecimalSeparator = ',';
    EXPECT_EQ(numberText(makeReal(1.5)), "1,5");
    EXPECT_EQ(evalText("(string->number \"2,25\")"), "2,25");
    EXPECT_EQ(evalText("(string->number \"2.25\")"), "()");
    gDecimalSeparator = saved;
    auto v = parseNumber("2,25", ',');
    ASSERT_TRUE(v);
    EXPECT_EQ(numberText(*v), "2.25");
}

TEST(Number, ReaderReadsEveryDigitString)
{
    const char* cases[] = { "4294967296", "4294967295", "429496730", "-2147483649", "99999999999999999999999",
        "-8388609", "8388608" };
    for (const char* c : cases) {
        Value v = readText(c);
        EXPECT_TRUE(isInteger(v)) << c;
        EXPECT_EQ(numberText(v), c);
    }
    EXPECT_EQ(tagOf(readText("8388607")), Tag::Integer);
    EXPECT_EQ(tagOf(readText("+5")), Tag::Symbol);
    EXPECT_EQ(tagOf(readText("1/2")), Tag::Rational);
    EXPECT_EQ(tagOf(readText("1+2i")), Tag::Complex);
}

TEST(Number, NumericEqualityOfEqual)
{
    auto n = [](const char* t) { return *parseNumber(t, '.'); };
    const struct { const char* a; const char* b; bool equal; } cases[] = {
        { "2", "2.0", true }, { "2.0", "2", true }, { "2", "3", false }, { "1/2", "0.5", false },
        { "0.5", "1/2", true }, { "1/2", "2/4", true }, { "1/2", "1/3", false },
        { "8388608", "8388608", true }, { "8388608", "-8388608", false }, { "8388608", "8388608.0", false },
        { "8388608.0", "8388608", true }, { "1+2i", "1+2i", true }, { "1+2i", "1+3i", false },
        { "1.0+2i", "1+2i", true }, { "2", "2.0+0.0i", true }, { "2", "2.0+1.0i", false },
    };
    for (auto& c : cases)
        EXPECT_EQ(numbersEqual(n(c.a), n(c.b)), c.equal) << c.a << " " << c.b;
}

TEST(Number, RandomGenerator)
{
    uint32_t s = randomGeneratorState();
    for (int i = 0; i < 8; ++i) {
        s = s * 214013u + 2531011u;
        EXPECT_EQ(nextRandomOutput(), static_cast<int>((s >> 16) & 0x7FFF));
    }
    EXPECT_EQ(randomGeneratorState(), s);
}

TEST(Number, RationalArithmeticAgainstReference)
{
    std::mt19937_64 random(99);
    auto operand = [&] {
        int length = 1 + static_cast<int>(random() % 25);
        std::string s = (random() & 1) ? "-" : "";
        for (int k = 0; k < length; ++k)
            s += char('0' + random() % 10);
        return decimal(s);
    };
    for (int i = 0; i < 150; ++i) {
        Decimal an = operand(), ad = operand(), bn = operand(), bd = operand();
        if (ad.digits == "0" || bd.digits == "0")
            continue;
        std::string a = fractionText(an, ad), b = fractionText(bn, bd);
        auto expr = [&](const char* op) { return std::string("(") + op + " " + a + " " + b + ")"; };
        EXPECT_EQ(evalText(expr("+")), fractionText(add(mul(an, bd), mul(bn, ad)), mul(ad, bd))) << expr("+");
        EXPECT_EQ(evalText(expr("-")), fractionText(add(mul(an, bd), negate(mul(bn, ad))), mul(ad, bd))) << expr("-");
        EXPECT_EQ(evalText(expr("*")), fractionText(mul(an, bn), mul(ad, bd))) << expr("*");
        if (bn.digits != "0") {
            EXPECT_EQ(evalText(expr("/")), fractionText(mul(an, bd), mul(ad, bn))) << expr("/");
        }
        int order = compareDecimals(mul(an, bd), mul(bn, ad));
        if (ad.negative != bd.negative)
            order = -order; // the cross products compare with the sign of the denominators
        EXPECT_EQ(evalText(expr("<")), order < 0 ? "t" : "()") << expr("<");
    }
}

TEST(Number, ArbitraryTextNeverBreaksTheParser)
{
    // Random texts over the characters of number syntax: either no number, or a number whose
    // own text reads back to the same text.
    const char alphabet[] = "0123456789+-./eEi ,x";
    std::mt19937_64 random(5);
    int numbers = 0;
    for (int i = 0; i < 5000; ++i) {
        std::string t;
        for (int k = 1 + static_cast<int>(random() % 12); k > 0; --k)
            t += alphabet[random() % (sizeof alphabet - 1)];
        std::string report = reportOf([&] {
            auto v = parseNumber(t, '.');
            if (!v)
                return;
            ++numbers;
            ASSERT_TRUE(isNumber(*v)) << t;
            std::string written = numberText(*v);
            if (written.find("inf") != std::string::npos)
                return; // an out-of-range real reads as an infinity, which has no number syntax
            auto back = parseNumber(written, '.');
            ASSERT_TRUE(back) << t << " -> " << written;
            EXPECT_EQ(numberText(*back), written) << t;
        });
        EXPECT_EQ(report, "") << t;
    }
    EXPECT_GT(numbers, 100);
}
