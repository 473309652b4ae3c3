// tests/kernel/PrinterTest.cpp: the print handlers of the core types in their three styles.
#include "Support.h"

#include "Kernel/Memory.h"

#include <gtest/gtest.h>

namespace {

std::string styled(const std::string& source, PrintStyle style)
{
    std::string text;
    std::string report = reportOf([&] { text = printedText(eval(readText(source)), style); });
    return report.empty() ? text : "ERROR " + report;
}

} // namespace

TEST(Printer, Styles)
{
    const struct {
        const char* source;
        const char* print;
        const char* display;
        const char* write;
    } cases[] = {
        { "12", "12", "12", "12" },
        { "-7", "-7", "-7", "-7" },
        { "'abc", "abc", "abc", "abc" },
        { "\"a\\\"b\"", "a\"b", "\"a\\\"b\"", "\"a\\\"b\"" },
        { "'(1 \"s\" x)", "(1 s x)", "(1 \"s\" x)", "(1 \"s\" x)" },
        { "'(1 . 2)", "(1 . 2)", "(1 . 2)", "(1 . 2)" },
        { "nil", "()", "()", "()" },
        { "'_x", "_x", "_x", "_x" },
        { "(void)", "<no-value>", "<no-value>", "ERROR Error: 1010-2, <no-value>, #<class VELORA>, (), ()" },
        { "car", "#<primitive 1>", "#<primitive 1>", "ERROR Error: 1010-2, #<primitive 1>, #<class VELORA>, (), ()" },
        { "list", "#<primitive 0 *>", "#<primitive 0 *>", nullptr },
        { "catch", "#<special>", "#<special>", nullptr },
        { "(lambda (_x) _x)", "#<function lambda>", "#<function lambda>", nullptr },
        { "(syntax (_x) _x)", "#<function syntax>", "#<function syntax>", nullptr },
        { "(gamma () () 1)", "#<closed gamma>", "#<closed gamma>", nullptr },
        { "if", "#<keyword>", "#<keyword>", "ERROR Error: 1010-2, #<keyword>, #<class VELORA>, (), ()" },
    };
    for (auto& c : cases) {
        EXPECT_EQ(styled(c.source, PrintStyle::Print), c.print) << c.source;
        EXPECT_EQ(styled(c.source, PrintStyle::Display), c.display) << c.source;
        if (c.write)
            EXPECT_EQ(styled(c.source, PrintStyle::Write), c.write) << c.source;
    }
}

TEST(Printer, SymbolsNeedingEscapesAreWrittenWithBackslashes)
{
    Value symbol = internCopy("a b(c");
    EXPECT_EQ(printedText(symbol, PrintStyle::Print), "a b(c");
    EXPECT_EQ(printedText(symbol, PrintStyle::Write), "a\\ b\\(c");
    EXPECT_EQ(printedText(internCopy(":key"), PrintStyle::Write), ":key");
}

TEST(Printer, ImmediatesOfUnknownTypeAndPointers)
{
    EXPECT_EQ(printedText(makeValue(0x00, 0x1234), PrintStyle::Print), "Unknown type : 1234");
    EXPECT_EQ(printedText(makePointer(gPlainPointerKind, 0), PrintStyle::Print), "<null pointer>");
    EXPECT_EQ(printedText(makePointer(gPlainPointerKind, 0x2a), PrintStyle::Print), "<pointer 2a>");
    EXPECT_EQ(printedText(kNoObject, PrintStyle::Print), "#<class VELORA>");
}

TEST(Printer, ListsCircularThroughTheirCarsReportAnErrorInsteadOfOverflowing)
{
    Value list = cons(kNil, kNil);
    setCar(list, list);
    std::string report = reportOf([&] { printedText(list, PrintStyle::Print); });
    EXPECT_EQ(report.rfind("Error: 1010-9", 0), 0u) << report;
}
