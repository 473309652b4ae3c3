// tests/kernel/TypeTest.cpp: type-of by tag and type?.
#include "Support.h"

#include "Kernel/Type.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// A Value with the given tag designating a fresh cell (type-of looks at the tag only).
Value tagged(uint32_t tag) { return retag(cons(makeImmediate(1), makeImmediate(2)), tag); }

std::string typeText(Value v)
{
    std::string name;
    std::string report = reportOf([&] { name = printedText(typeName(v)); });
    return report.empty() ? name : report;
}

} // namespace

TEST(Type, TypeOfByTag)
{
    const struct {
        Value v;
        const char* type;
    } cases[] = {
        { makeValue(Tag::Address, 12), "address" },
        { makeImmediate(-3), "integer" },
        { makeReal(1.5), "real" },
        { tagged(Tag::Variable), "variable" },
        { kNoValue, "no-value" },
        { makeVector(2, kNil), "vector" },
        { makeString("s"), "string" },
        { intern("if"), "symbol" },
        { tagged(Tag::Syntax), "syntax" },
        { tagged(Tag::Function), "function" },
        { globalValue(intern("car")), "primitive" },
        { globalValue(intern("catch")), "special" },
        { tagged(Tag::Predicate), "predicate" },
        { tagged(Tag::HashTable), "hash-table" },
        { tagged(Tag::Lexical), "lexical" },
        { tagged(Tag::Gamma), "gamma" },
        { tagged(Tag::Rational), "rational" },
        { makePointer(gPlainPointerKind, 0), "pointer" },
        { tagged(Tag::Closed), "closed" },
        { tagged(Tag::BigPositive), "big-integer" },
        { tagged(Tag::BigNegative), "big-integer" },
        { kNil, "list" },
        { cons(kNil, kNil), "list" },
        { globalValue(intern("if")), "keyword" },
        { kNoObject, "#<class VELORA>" }, // the no-object Value comes back unchanged
    };
    for (auto& c : cases)
        EXPECT_EQ(typeText(c.v), c.type) << std::hex << c.v;
    EXPECT_EQ(typeName(kNoObject), kNoObject);
}

TEST(Type, EveryCoreSpecialFormIsAKeyword)
{
    for (uint32_t tag = 0x20; tag <= 0x36; ++tag) {
        bool form = tag != 0x23 && tag != 0x33 && tag != 0x34 && tag != 0x35;
        if (form)
            EXPECT_EQ(typeText(makeValue(tag, 0)), "keyword") << std::hex << tag;
    }
}

TEST(Type, TagsWithoutATypeRaiseTheWrongTypeError)
{
    for (uint32_t tag : { 0x01u, 0x16u, 0x17u, 0x18u, 0x19u, 0x1Au, 0x1Bu, 0x1Cu, 0x1Du, 0x1Eu, 0x1Fu, 0x23u, 0x35u,
             0x37u, 0x38u, 0x39u, 0x3Au, 0x3Bu, 0x3Cu, 0x3Du, 0x3Eu }) {
        Value v = tag == Tag::End ? kEnd : tagged(tag);
        std::string expected = "Error: 1010-2, " + printedText(v) + ", #<class VELORA>, (), ()";
        EXPECT_EQ(typeText(v), expected) << std::hex << tag;
    }
}

TEST(Type, TypeP)
{
    Value complex = tagged(Tag::Complex);
    const struct {
        Value x;
        const char* type;
        const char* result; // "t", "()" or the report
    } cases[] = {
        { makeImmediate(5), "integer", "t" },
        { makeImmediate(5), "real", "()" },
        { makeReal(0.5), "real", "t" },
        { kNil, "list", "t" },
        { kNil, "symbol", "()" },
        { intern("abc"), "symbol", "t" },
        { globalValue(intern("if")), "keyword", "t" },
        { complex, "t", "t" },
        { kNoObject, "t", "t" },
        { kNoObject, "object", "t" },
        { kNoObject, "class", "t" },
        { kNoObject, "instance", "()" },
        { makeImmediate(5), "object", "()" },
        { makeImmediate(5), "class", "()" },
        { makeString("x"), "string", "t" },
        { makeString("x"), "instance", "()" },
        { complex, "integer", "Error: 1010-2, " },
    };
    for (auto& c : cases) {
        std::string text;
        std::string report = reportOf([&] { text = printedText(boolValue(typeMatches(c.x, intern(c.type)))); });
        if (!report.empty())
            text = report.substr(0, 15);
        EXPECT_EQ(text, c.result) << c.type;
    }
}

TEST(Type, ThroughLisp)
{
    const struct {
        const char* form;
        const char* result;
    } cases[] = {
        { "(type-of nil)", "list" },
        { "(type-of '(1))", "list" },
        { "(type-of 'if)", "symbol" },
        { "(type-of if)", "keyword" },
        { "(type-of car)", "primitive" },
        { "(type-of 1.5)", "real" },
        { "(type-of \"a\")", "string" },
        { "(type-of (void))", "no-value" },
        { "(type-of (lambda (_x) _x))", "function" },
        { "(type? 3 'integer)", "t" },
        { "(type? 3 t)", "t" },
        { "(type? 'a 'list)", "()" },
    };
    for (auto& c : cases)
        EXPECT_EQ(evalText(c.form), c.result) << c.form;
    EXPECT_EQ(evalText("(type-of)"), "list") << "a missing argument is nil";
}
