// tests/kernel/ReaderTest.cpp: the reader's tokens, data, errors and compact unit tokens.
#include "Support.h"

#include "Kernel/Module.h"
#include "Kernel/Recycle.h"
#include "Kernel/StreamArgument.h"
#include "Kernel/VString.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Vector elements lie 2-byte aligned in the block area: copied bytewise.
Value element(Value vector, uint32_t i)
{
    Value x;
    std::memcpy(&x, blockData(vector) + 4 + 4 * i, 4);
    return x;
}
void setElement(Value vector, uint32_t i, Value x) { std::memcpy(blockData(vector) + 4 + 4 * i, &x, 4); }

std::string written(Value v) { return printedText(v, PrintStyle::Write); }

// The datum read from text, written, or the report when reading failed.
std::string readOutcome(const std::string& text)
{
    std::string result;
    std::string report = reportOf([&] { result = written(readText(text)); });
    return report.empty() ? result : report;
}

// "1010-CODE, CULPRIT" of an error report.
std::string errorOf(const std::string& text)
{
    std::string report = reportOf([&] { readText(text); });
    const std::string prefix = "Error: ";
    if (report.empty())
        return "no report";
    if (report.compare(0, prefix.size(), prefix) != 0)
        return report;
    size_t second = report.find(", ", report.find(", ") + 2);
    return report.substr(prefix.size(), second - prefix.size());
}

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}

} // namespace

TEST(Reader, Data)
{
    setGlobalValue(intern("Features"), cons(intern("windows"), kNil));
    const struct { std::string text, expected; } cases[] = {
        { "(a . b)", "(a . b)" },
        { "[a b)", "(a b)" },
        { "(a b . (c))", "(a b c)" },
        { "(a . b &mac c)", "(a . b)" },
        { "'a", "(quote a)" },
        { ",@x", "(unquote-splicing x)" },
        { "\"a\nb\"", "\"ab\"" },
        { "\"a\\\\b\"", "\"a\\\\b\"" },
        { "(a ;c\rb)", "(a b)" },
        { "; c\n 5", "5" },
        { "(&mac 1 2)", "(2)" },
        { "(&windows 1 2)", "(1 2)" },
        { "&mac 1 &mac 2 3", "3" },
        { "#\\space", "32" },
        { "#\\(", "40" },
        { "#\\right-bracket", "93" },
        { "#xff", "255" },
        { "#t", "t" },
        { "#f", "()" },
        { "(1 # 2)", "(1 2)" },
        { "#{a 1 b 2}", "1" },
        { "", "()" },
        { "   ; only a comment", "()" },
        { "(a\tb\x0B" "c)", "(a b c)" },
        { "(a\x7F)", "(a\x7F)" },
    };
    for (auto& c : cases)
        EXPECT_EQ(readOutcome(c.text), c.expected) << c.text;
    setGlobalValue(intern("Features"), kNoValue);
}

TEST(Reader, NumbersOrSymbols)
{
    const struct { const char* text; uint32_t tag; } cases[] = {
        { "1.5", Tag::Real }, { "1.5.2", Tag::Symbol }, { "a.b", Tag::Symbol }, { "42", Tag::Integer },
        { "-7", Tag::Integer }, { "+", Tag::Symbol }, { "1+", Tag::Symbol }, { "\\1", Tag::Symbol },
        { "e", Tag::Symbol }, { "1//2", Tag::Symbol }, { "_x", Tag::Variable }, { ":k", Tag::Symbol },
        { "#(1 2)", Tag::Vector }, { "\"s\"", Tag::String },
    };
    for (auto& c : cases) {
        Value v = kNil;
        EXPECT_EQ(reportOf([&] { v = readText(c.text); }), "") << c.text;
        EXPECT_EQ(tagOf(v), c.tag) << c.text;
    }
    EXPECT_EQ(readText("\"\""), gEmptyString);
    Value vector = readText("#(1 (2) x]");
    ASSERT_EQ(vectorLength(vector), 3u);
    EXPECT_EQ(element(vector, 0), makeImmediate(1));
    EXPECT_EQ(written(element(vector, 1)), "(2)");
    EXPECT_EQ(element(vector, 2), intern("x"));
    Value variable = readText("_name");
    EXPECT_EQ(car(variable), makeImmediate(0));
    EXPECT_EQ(cdr(variable), intern("name"));
}

// With Machine set to mac, a single character after #\\ is a classic Mac character.
TEST(Reader, MacCharacters)
{
    Value machine = intern("Machine");
    Value saved = globalValue(machine);
    const struct { int byte; int ibm; int mac; } cases[] = {
        { 0x8E, 0x8E, 0xE9 }, // é
        { 0xDB, 0xDB, 0xA4 }, // the currency sign
        { 0xD9, 0xD9, 0x9F }, // Ÿ
        { 0xAD, 0xAD, 0xAD }, // ≠ has no equivalent: unchanged
        { 'a', 'a', 'a' },
    };
    for (auto& c : cases) {
        std::string text = std::string("#\\") + static_cast<char>(c.byte);
        setGlobalValue(machine, saved);
        EXPECT_EQ(readText(text), makeImmediate(c.ibm)) << c.byte;
        setGlobalValue(machine, intern("mac"));
        EXPECT_EQ(readText(text), makeImmediate(c.mac)) << c.byte;
    }
    EXPECT_EQ(readText("#\\space"), makeImmediate(32)) << "names are not translated";
    setGlobalValue(machine, saved);
}

TEST(Reader, TokenCodes)
{
    const struct { const char* text; int token; } cases[] = {
        { "", ReaderToken::End }, { "  \r\n", ReaderToken::End }, { ")", ReaderToken::Close },
        { "]", ReaderToken::Close }, { "}", ReaderToken::CloseBrace }, { ".", ReaderToken::Dot },
        { "#q", ReaderToken::Nothing }, { "x", ReaderToken::Datum },
    };
    for (auto& c : cases) {
        StringInputStream in(c.text);
        Value datum = kNil;
        EXPECT_EQ(readToken(in, datum), c.token) << c.text;
    }
    StringInputStream in("  ; comment\r  ");
    EXPECT_TRUE(readerAtEnd(in));
    StringInputStream more(" ; comment\r x");
    EXPECT_FALSE(readerAtEnd(more));
    EXPECT_EQ(readValue(more), intern("x"));
}

TEST(Reader, Errors)
{
    const struct { std::string text; const char* expected; } cases[] = {
        { ")", "1010-25, ()" }, { "(a .)", "1010-25, ()" }, { "(a", "1010-25, ()" },
        { "(a . b c)", "1010-25, ()" }, { "(a}", "1010-25, ()" }, { "#(1 . 2)", "1010-25, ()" },
        { "'", "1010-25, ()" }, { "#\\", "1010-25, ()" }, { "#\\foo", "1010-2, foo" },
        { "&(xor a) 1", "1010-2, xor" }, { "&(not) 1", "1010-2, (not)" }, { "#{}", "1010-2, ()" },
        { "{a b}", "1010-2, ()" }, { "#x", "1010-2, " }, { "#xfg", "1010-2, fg" }, { "#x12345678123456789", "1010-2, 12345678123456789" },
        { std::string("\\\0a", 3), "1010-2, 0" }, { std::string(":a\\\0", 4), "1010-2, 0" },
    };
    for (auto& c : cases)
        EXPECT_EQ(errorOf(c.text), c.expected) << c.text;
}

TEST(Reader, DeepNestingRaisesAnError)
{
    for (const char* opener : { "(", "'", "#(", "[" }) {
        std::string text;
        for (int i = 0; i < 2000000; ++i)
            text += opener;
        EXPECT_EQ(errorOf(text), "1010-9, ()") << opener;
    }
    EXPECT_EQ(readOutcome("(((((a)))))"), "(((((a)))))"); // the reader still works afterwards
}

TEST(Reader, CompactUnitTokens)
{
    Value table = makeVector(21, kNil);
    const char* fixed[] = { "define", "quote", "set!", "t", "nil", "defslot", "when", "let" };
    for (int i = 0; i < 20; ++i) {
        Value symbol = i < 8 ? intern(fixed[i]) : internCopy("s" + std::to_string(i));
        setElement(table, i, symbol);
    }
    setElement(table, 20, makeImmediate(7)); // an entry that is no symbol
    installUnitSymbols(table);
    collectGarbage(true); // the installed table survives a collection
    const struct { std::string text, expected; } cases[] = {
        { bytes({ 0x0F, 0xFF }), "-1" },
        { bytes({ 0x0F, 0x7F }), "127" },
        { bytes({ 0x0C, 0x80, 0x00 }), "-32768" },
        { bytes({ 0x0C, 0x12, 0x34 }), "4660" },
        { bytes({ 0x00 }), "define" },
        { bytes({ 0x07 }), "let" },
        { bytes({ 0x10, 0x00 }), "s8" },
        { bytes({ 0x10, 0x0B }), "s19" },
        { bytes({ 0x08, 0x00, 0x10 }), "s16" },
        { bytes({ 0x0E, 0x00, 0x10 }), "_s16" },
        { "(" + bytes({ 0x00, 0x10, 0x00, '(', 0x01, 0x0F, 0x05, ')', ')' }), "(define s8 (quote 5))" },
        { bytes({ 0x10, 0x0C }), "7" },
        { bytes({ 0x10, 0x0D }), "Error: 1010-2, 21, #<class VELORA>, (), ()" },
        { bytes({ 0x08, 0xFF, 0xFF }), "Error: 1010-2, 65535, #<class VELORA>, (), ()" },
        { bytes({ 0x0C, 0x12 }), "Error: 1010-25, (), #<class VELORA>, (), ()" },
        { bytes({ 0x0E, 0x00, 0x14 }), "Error: 1010-2, 7, #<class VELORA>, (), ()" },
    };
    for (auto& c : cases)
        EXPECT_EQ(readOutcome(c.text), c.expected) << written(makeString(c.text));
    Value variable = readText(bytes({ 0x0E, 0x00, 0x10 }));
    EXPECT_EQ(tagOf(variable), Tag::Variable);
    EXPECT_EQ(cdr(variable), element(table, 16));

    // A list is copied into a vector; nil drops the table.
    installUnitSymbols(cons(intern("alpha"), cons(intern("beta"), kNil)));
    EXPECT_EQ(readOutcome(bytes({ 0x01 })), "beta");
    EXPECT_EQ(readOutcome(bytes({ 0x02 })), "Error: 1010-2, 2, #<class VELORA>, (), ()");
    installUnitSymbols(kNil);
    EXPECT_EQ(unitSymbols(), kNil);
    EXPECT_EQ(readOutcome(bytes({ 0x00 })), "Error: 1010-2, 0, #<class VELORA>, (), ()");
    installUnitSymbols(table);
    dropUnitSymbols();
    EXPECT_EQ(readOutcome(bytes({ 0x10, 0x00 })), "Error: 1010-2, 8, #<class VELORA>, (), ()");
    EXPECT_NE(reportOf([] { installUnitSymbols(makeImmediate(3)); }), "");
    EXPECT_NE(reportOf([] { installUnitSymbols(cons(kNil, makeImmediate(3))); }), "");
}

TEST(Reader, UserMacroCharactersRunInTheStreamObject)
{
    evalText("(typech 33 4)");
    evalText("(set-macro-character 33 (lambda () (list 'bang)))");
    collectGarbage(true); // the macro table is a root
    StringInputStream plain("(a !b)");
    EXPECT_EQ(written(readValue(plain)), "(a b)") << "without a stream object: nothing";
    StringInputStream owned("(a !b)");
    owned.m_lispObject = intern("some-stream");
    Value seen = kNil;
    EXPECT_EQ(reportOf([&] { seen = readValue(owned); }), "");
    EXPECT_EQ(written(seen), "(a (bang) b)");
    evalText("(set-macro-character 33 nil)");
    evalText("(typech 33 6)");
    StringInputStream after("!b");
    after.m_lispObject = intern("some-stream");
    EXPECT_EQ(written(readValue(after)), "!b");
}

TEST(Reader, SourceReferences)
{
    setGlobalValue(Sym::loadedFile, makeString("unit.lisp"));
    const struct { const char* text, *expected; } cases[] = {
        { "{foo bar}", "(foo \"unit.lisp\" 0 . 8)" },
        { "  {(method obj) x y}", "(obj \"unit.lisp\" 2 . 19)" },
        { "{}", "(() \"unit.lisp\" 0 . 1)" },
        { "{a)", "Error: 1010-25, (), #<class VELORA>, (), ()" },
    };
    for (auto& c : cases)
        EXPECT_EQ(readOutcome(c.text), c.expected) << c.text;
    setGlobalValue(Sym::loadedFile, kNil);
}

namespace {
Value gTestLocale = 0;
bool testLocaleKeyword(Value locale, Value& keyword)
{
    if (locale != gTestLocale)
        return false;
    keyword = makeKeyword("fr");
    return true;
}
} // namespace

TEST(Reader, LocalizedLiterals)
{
    Value currentLocale = intern("Current-Locale");
    gTestLocale = intern("french-locale");
    setLocaleKeywordReader(testLocaleKeyword);
    setGlobalValue(currentLocale, gTestLocale);
    EXPECT_EQ(readOutcome("#{:en \"yes\" :fr \"oui\"}"), "\"oui\"");
    EXPECT_EQ(readOutcome("#{:en \"yes\" :es \"si\"}"), "\"yes\"");
    setGlobalValue(currentLocale, intern("other"));
    EXPECT_EQ(readOutcome("#{:en \"yes\" :fr \"oui\"}"), "\"yes\"");
    setLocaleKeywordReader(nullptr);
    setGlobalValue(currentLocale, kNoValue);
}

TEST(Reader, DecimalSeparatorScope)
{
    EXPECT_EQ(reportOf([] {
        DecimalSeparatorScope scope('|');
        EXPECT_EQ(tagOf(readText("1|25")), Tag::Real);
        EXPECT_EQ(tagOf(readText(".")), Tag::Symbol);
        readText(")");
    }).substr(0, 16), "Error: 1010-25, ");
    EXPECT_EQ(gDecimalSeparator, '.');
    EXPECT_EQ(readOutcome("(a . b)"), "(a . b)");
}

namespace {
StringInputStream* gResolvedStream = nullptr;
NativeStream* resolveTestStream(Value s) { return s == intern("test-stream") ? gResolvedStream : nullptr; }
} // namespace

// Stream arguments that name one stream read on where the last call stopped.
TEST(Reader, PrimitivesReadOnFromTheirStream)
{
    const struct { const char* text; const char* calls; const char* expected; } cases[] = {
        { "ab\ncd", "(readline 'test-stream) (readline 'test-stream) (readline 'test-stream)", "(\"ab\" \"cd\" \"\")" },
        { "ab\rcd", "(readline 'test-stream) (readline 'test-stream)", "(\"ab\" \"cd\")" },
        { "ab\r\ncd", "(readline 'test-stream) (readline 'test-stream)", "(\"ab\" \"cd\")" },
        { "\n\nx", "(readline 'test-stream) (readline 'test-stream) (readline 'test-stream)", "(\"\" \"\" \"x\")" },
        { "ab", "(readch 'test-stream) (readch 'test-stream) (readch 'test-stream)", "(97 98 65535)" },
        { "(a) &mac 1 b", "(read 'test-stream) (read 'test-stream) (read 'test-stream)", "((a) b ())" },
        { "1 2", "(read 'test-stream) (readch 'test-stream) (read 'test-stream)", "(1 32 2)" },
    };
    setStreamResolver(resolveTestStream);
    for (auto& c : cases) {
        StringInputStream in(c.text);
        gResolvedStream = &in;
        std::string result;
        std::string report = reportOf([&] {
            result = printedText(eval(readText(std::string("(list ") + c.calls + ")")), PrintStyle::Write);
        });
        EXPECT_EQ(report, "") << c.text;
        EXPECT_EQ(result, c.expected) << c.text;
    }
    setStreamResolver(nullptr);
    gResolvedStream = nullptr;
    Value emptyLine = eval(readText("(readline \"\")"));
    EXPECT_EQ(emptyLine, gEmptyString);
}
