// tests/kernel/SymbolTest.cpp: the symbol table, interning, keywords and partners.
#include "Support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The start index of a name: h := 2h + b over its bytes, modulo the table size.
uint32_t startIndex(const std::string& name)
{
    uint32_t h = 0;
    for (unsigned char b : name)
        h = 2 * h + b;
    return h % symbolCount();
}

// A name of 15 bytes from '@' up whose start index is t; j picks one of several such names. The
// hash of these names stays below 2^32, so byte i adds (byte - 64) * 2^(14 - i) to 64 * (2^15 - 1).
std::string nameWithStartIndex(uint32_t t, uint32_t j)
{
    const uint32_t m = symbolCount();
    const uint32_t base = 64 * ((1u << 15) - 1);
    uint32_t rest = (t + m - base % m) % m + j * m;
    std::string name;
    for (int i = 0; i < 15; ++i) {
        uint32_t weight = 1u << (14 - i);
        uint32_t digit = std::min<uint32_t>(63, rest / weight);
        rest -= digit * weight;
        name.push_back(static_cast<char>(64 + digit));
    }
    return name;
}

bool recordFree(uint32_t i) { return symbolRecord(symbolAt(i)).name == 0; }

// The first free record at or after i, wrapping at the end of the table.
uint32_t firstFreeFrom(uint32_t i)
{
    while (!recordFree(i))
        i = (i + 1) % symbolCount();
    return i;
}

} // namespace

TEST(Symbol, InterningFindsOrCreatesOnce)
{
    uint32_t free = freeSymbolRecords();
    EXPECT_EQ(findSymbol("symbol-test-fresh"), kNil);
    EXPECT_EQ(freeSymbolRecords(), free) << "a lookup creates nothing";
    Value a = intern("symbol-test-fresh");
    EXPECT_EQ(freeSymbolRecords(), free - 1);
    EXPECT_TRUE(isSymbol(a));
    EXPECT_EQ(payloadOf(a) % 16, 0u);
    EXPECT_STREQ(symbolName(a), "symbol-test-fresh");
    EXPECT_EQ(globalValue(a), kNoValue);
    EXPECT_EQ(symbolRecord(a).owner, 0u);
    EXPECT_EQ(symbolRecord(a).slot, -1);
    EXPECT_EQ(symbolRecord(a).partner, -1);
    const Value again[] = { intern("symbol-test-fresh"), internCopy(std::string("symbol-test-") + "fresh"),
        findSymbol("symbol-test-fresh"), internWithValue("symbol-test-fresh", makeImmediate(1)) };
    for (Value v : again)
        EXPECT_EQ(v, a);
    EXPECT_EQ(freeSymbolRecords(), free - 1);
    EXPECT_TRUE(isPermanentCell(symbolRecord(a).name)) << "names are never freed";
    EXPECT_EQ(findSymbol("nil"), Sym::nil);
    EXPECT_EQ(findSymbol("t"), kTrue);
}

TEST(Symbol, TheFirstValueIsKept)
{
    Value s = internWithValue("symbol-test-first", makeImmediate(1));
    internWithValue("symbol-test-first", makeImmediate(2));
    internCopy("symbol-test-first", makeImmediate(3));
    EXPECT_EQ(globalValue(s), makeImmediate(1));
    Value u = intern("symbol-test-later");
    internWithValue("symbol-test-later", makeImmediate(4)); // unbound until now: takes the value
    internWithValue("symbol-test-later", makeImmediate(5));
    EXPECT_EQ(globalValue(u), makeImmediate(4));
}

TEST(Symbol, ANameEndsAtAZeroByte)
{
    Value s = intern("symbol-test-zero");
    EXPECT_EQ(internCopy(std::string_view("symbol-test-zero\0tail", 21)), s);
    EXPECT_EQ(findSymbol(std::string_view("symbol-test-zero\0other", 22)), s);
}

// Names that share a start index take the next free records, wrapping past the last record;
// each is found again where it went.
TEST(Symbol, CollisionsWrapAroundTheEnd)
{
    const uint32_t last = symbolCount() - 1;
    std::vector<std::string> names;
    for (uint32_t j = 0; j < 4; ++j) {
        names.push_back(nameWithStartIndex(last, j));
        ASSERT_EQ(startIndex(names.back()), last) << names.back();
        ASSERT_EQ(findSymbol(names.back()), kNil);
    }
    std::vector<Value> symbols;
    for (const std::string& name : names) {
        uint32_t expected = firstFreeFrom(last);
        Value s = internCopy(name);
        EXPECT_EQ(symbolIndex(s), expected) << name;
        symbols.push_back(s);
    }
    EXPECT_LT(symbolIndex(symbols.back()), last) << "the later ones wrapped to the start";
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(findSymbol(names[i]), symbols[i]) << names[i];
        EXPECT_EQ(symbolNameView(symbols[i]), names[i]);
    }
}

// Filling the table ends in an error report, never in a probe that runs forever. It uses the
// table up for good, so it runs in a child process.
TEST(SymbolDeathTest, AFullTableRaisesAnError)
{
    EXPECT_EXIT(
        {
            int failures = 0;
            auto expect = [&](bool ok, const char* what) {
                if (!ok) {
                    std::fprintf(stderr, "failed: %s\n", what);
                    ++failures;
                }
            };
            std::string report;
            uint32_t made = 0;
            Value existing = intern("symbol-test-kept");
            // Names spread over every start index, so that filling does not probe long runs.
            for (uint32_t n = 0; report.empty() && n <= symbolCount(); ++n) {
                report = reportOf([&] { internCopy(nameWithStartIndex(n % symbolCount(), 1 + n / symbolCount())); });
                if (report.empty())
                    ++made;
            }
            expect(report == "Error: 1010-9, (), #<class VELORA>, (), ()", report.c_str());
            // The first report hands over the reserve: the names of the forms after it can
            // still be made, until the table is full for good.
            uint32_t afterReport = 0;
            std::string second;
            for (uint32_t n = 0; second.empty() && n <= symbolCount(); ++n) {
                second = reportOf([&] { internCopy(nameWithStartIndex(n % symbolCount(), 3 + n / symbolCount())); });
                if (second.empty())
                    ++afterReport;
            }
            expect(afterReport > 0, "the reserve is handed over after the first report");
            expect(second == report, second.c_str());
            expect(freeSymbolRecords() == 1, "one record stays free");
            expect(findSymbol("symbol-test-never-made") == kNil, "a lookup still ends");
            expect(intern("symbol-test-kept") == existing, "existing names are still found");
            expect(reportOf([] { intern("symbol-test-never-made"); }) == report, "the next one fails too");
            expect(made > 0, "symbols were made until the table filled");
            _exit(failures ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(Symbol, KeywordsAndPartners)
{
    Value abc = intern("symbol-test-abc");
    Value keyword = symbolToKeyword(abc);
    EXPECT_STREQ(symbolName(keyword), ":symbol-test-abc");
    EXPECT_EQ(globalValue(keyword), keyword);
    EXPECT_EQ(eval(keyword), keyword) << "a keyword evaluates to itself";
    EXPECT_EQ(symbolRecord(abc).partner, int16_t(symbolIndex(keyword)));
    EXPECT_EQ(symbolRecord(keyword).partner, -1) << "one direction per call";
    uint32_t free = freeSymbolRecords();
    EXPECT_EQ(symbolToKeyword(abc), keyword);
    EXPECT_EQ(freeSymbolRecords(), free) << "the second call creates nothing";
    EXPECT_EQ(keywordToSymbol(keyword), abc);
    EXPECT_EQ(symbolRecord(keyword).partner, int16_t(symbolIndex(abc)));

    // keyword->symbol of a keyword whose ordinary symbol does not exist yet makes it, unbound.
    Value fresh = makeKeyword("symbol-test-unmade");
    EXPECT_EQ(globalValue(fresh), fresh);
    EXPECT_EQ(findSymbol("symbol-test-unmade"), kNil);
    Value made = keywordToSymbol(fresh);
    EXPECT_STREQ(symbolName(made), "symbol-test-unmade");
    EXPECT_EQ(globalValue(made), kNoValue);

    // A variable stands for its symbol.
    Value variable = retag(cons(makeImmediate(0), intern("symbol-test-var")), Tag::Variable);
    EXPECT_STREQ(symbolName(symbolToKeyword(variable)), ":symbol-test-var");

    const struct {
        Value v;
        bool keyword;
    } cases[] = {
        { keyword, true }, { abc, false }, { makeString(":abc"), false }, { makeImmediate(5), false }, { kNil, false },
    };
    for (auto& c : cases)
        EXPECT_EQ(isKeyword(c.v), c.keyword) << printedText(c.v);
}

TEST(Symbol, ErrorReports)
{
    const struct {
        const char* form;
        const char* report;
    } cases[] = {
        { "(symbol->value 'symbol-test-unbound)", "Error: 1010-6, symbol-test-unbound, #<class VELORA>, (), ()" },
        { "symbol-test-unbound", "Error: 1010-6, symbol-test-unbound, #<class VELORA>, (), ()" },
        { "(symbol->value 5)", "Error: 1010-2, 5, #<class VELORA>, (), ()" },
        { "(bound? 5)", "Error: 1010-2, 5, #<class VELORA>, (), ()" },
        { "(unbound? \"x\")", "Error: 1010-2, x, #<class VELORA>, (), ()" },
        { "(set 5 1)", "Error: 1010-2, 5, #<class VELORA>, (), ()" },
        { "(symbol->keyword 5)", "Error: 1010-2, 5, #<class VELORA>, (), ()" },
        { "(keyword->symbol 'plain)", "Error: 1010-2, plain, #<class VELORA>, (), ()" },
        { "(keyword->symbol 5)", "Error: 1010-2, 5, #<class VELORA>, (), ()" },
    };
    for (auto& c : cases)
        EXPECT_EQ(reportOf([&] { evalText(c.form); }), c.report) << c.form;
}

TEST(Symbol, SymbolsOfTheCore)
{
    EXPECT_EQ(globalValue(findSymbol("Loaded-File")), kNil);
    EXPECT_NE(Sym::select, 0u);
    EXPECT_EQ(findSymbol("select"), Sym::select);
    EXPECT_EQ(symbolIndex(Sym::nil), startIndex("nil")) << "nil is the first symbol";
}
