// tests/kernel/CollectionsTest.cpp: printed forms of vectors, arrays and hash tables, circular
// lists given to the collection primitives, and the hash tables' service to the collector.
#include "Support.h"

#include "Kernel/Hash.h"
#include "Kernel/VArray.h"
#include "Kernel/Vector.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

Value evalValue(const std::string& text)
{
    StringInputStream in(text);
    Value result = kNoValue;
    while (!readerAtEnd(in))
        result = eval(readValue(in));
    return result;
}

bool isWrongTypeReport(const std::string& report) { return report.find("1010-2,") != std::string::npos; }

} // namespace

TEST(Collections, PrintedForms)
{
    const struct { const char* expression; const char* printed; } cases[] = {
        { "(vector 1 2 3)", "#(1 2 3)" },
        { "(vector)", "#()" },
        { "(make-vector 2)", "#(() ())" },
        { "(vector \"a\" 'b (vector 1 (vector)) '(1 . 2) 2.5)", "#(a b #(1 #()) (1 . 2) 2.5)" },
        { "(list->vector '(x y))", "#(x y)" },
        { "(make-array 3)", "##(0 0 0)" },
        { "(define A (make-array 2 3)) (array-set! A 'x 1 2) (array-set! A 'y 1 0) A", "##((0 y) (0 0) (0 x))" },
        { "(define A3 (make-array 2 2 2)) (array-set! A3 \"s\" 1 0 1) A3", "##(((0 0) (0 0)) ((0 s) (0 0)))" },
        { "(make-array 2 0)", "##()" },
        { "(make-array 0 2)", "##(() ())" },
        { "(make-array)", "##0" },
        { "(define AV (make-array 2)) (array-set! AV (vector 1) 0) AV", "##(#(1) 0)" },
        { "(new-hash)", "<hash-table>" },
        { "(vector (new-hash))", "#(<hash-table>)" },
    };
    for (auto& c : cases) {
        std::string printed;
        std::string report = reportOf([&] { printed = evalText(c.expression); });
        EXPECT_EQ(report, "") << c.expression;
        EXPECT_EQ(printed, c.printed) << c.expression;
    }
}

TEST(Collections, DisplayPrintsAndWriteRefuses)
{
    const struct { const char* expression; const char* displayed; } cases[] = {
        { "(vector \"a\" 'b)", "#(a b)" }, // elements in print style, strings bare
        { "(define AD (make-array 2)) (array-set! AD \"q\" 1) AD", "##(0 q)" },
        { "(new-hash)", "<hash-table>" },
    };
    for (auto& c : cases) {
        Value v = kNil;
        std::string displayed;
        EXPECT_EQ(reportOf([&] {
            v = evalValue(c.expression);
            displayed = printedText(v, PrintStyle::Display);
        }),
            "")
            << c.expression;
        EXPECT_EQ(displayed, c.displayed) << c.expression;
        EXPECT_TRUE(isWrongTypeReport(reportOf([&] { printedText(v, PrintStyle::Write); }))) << c.expression;
    }
}

// Every list argument of the collection primitives goes through this check, so a circular list
// raises the wrong-type error instead of looping.
TEST(Collections, ProperLists)
{
    for (int length : { 1, 2, 3, 4, 7 }) {
        for (int loopTo = -1; loopTo < length; ++loopTo) { // -1: no loop, else the index the last cdr returns to
            std::vector<Value> cells; // the chain stays reachable from head, a local
            Value head = cons(makeImmediate(0), kNil);
            cells.push_back(head);
            for (int i = 1; i < length; ++i) {
                cells.push_back(cons(makeImmediate(i), kNil));
                setCdr(cells[i - 1], cells[i]);
            }
            if (loopTo >= 0)
                setCdr(cells.back(), cells[loopTo]);
            uint32_t n = 99;
            EXPECT_EQ(isProperList(head, n), loopTo < 0) << length << " " << loopTo;
            if (loopTo < 0)
                EXPECT_EQ(n, static_cast<uint32_t>(length));
        }
    }
    uint32_t n = 99;
    EXPECT_TRUE(isProperList(kNil, n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(isProperList(cons(kNil, makeImmediate(1)), n)) << "dotted";
    EXPECT_FALSE(isProperList(makeImmediate(1), n)) << "no list";
}

TEST(Collections, HashTableWalksInSymbolTableOrder)
{
    Value walked = kNil;
    EXPECT_EQ(reportOf([&] {
        walked = evalValue("(define HO (new-hash)) (define HO-Keys nil)"
                           "(hash-set! HO 'zeta 1) (hash-set! HO 'alpha 2) (hash-set! HO 'mu 3)"
                           "(hash-set! HO 'omega 4) (hash-set! HO 'beta 5)"
                           "(for-each-hash (lambda (_k _v) (set! HO-Keys (cons _k HO-Keys))) HO)"
                           "HO-Keys");
    }),
        "");
    std::vector<uint32_t> indices;
    for (Value l = walked; isPair(l); l = cdr(l))
        indices.push_back(symbolIndex(car(l)));
    ASSERT_EQ(indices.size(), 5u);
    // The walk pushed onto the front, so the list is in descending order of symbol index.
    EXPECT_TRUE(std::is_sorted(indices.rbegin(), indices.rend()));
}

TEST(Collections, HashValuesForTheCollector)
{
    Value table = evalValue("(define HV (new-hash)) (hash-set! HV 'a 10) (hash-set! HV 'b '(x))"
                            "(hash-set! HV 'c nil) HV");
    std::vector<Value> seen;
    forEachHashValue(table, [&](Value x) { seen.push_back(x); });
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_NE(std::find(seen.begin(), seen.end(), makeImmediate(10)), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), kNil), seen.end());
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](Value x) { return isPair(x); }), 1);
}

TEST(Collections, UnreachableHashTablesReleaseTheirBuckets)
{
    Value kept = evalValue("(new-hash)");
    Value dropped = evalValue("(new-hash)");
    Value permanent = evalValue("(new-hash)");
    evalValue("(define HK nil)");
    cellOf(kept).car |= kMarkBit;
    cellOf(permanent).car |= kPermanentBit;

    // A partial collection counts permanent cells as marked.
    releaseUnreachableHashTables(0xC0000000u);
    EXPECT_TRUE(holdsHashBucket(kept));
    EXPECT_TRUE(holdsHashBucket(permanent));
    EXPECT_FALSE(holdsHashBucket(dropped));

    // A full one does not.
    releaseUnreachableHashTables(0x80000000u);
    EXPECT_TRUE(holdsHashBucket(kept));
    EXPECT_FALSE(holdsHashBucket(permanent));

    // The kept table still works.
    cellOf(kept).car &= ~kMarkBit;
    setGlobalValue(intern("HK"), kept);
    EXPECT_EQ(evalText("(hash-set! HK 'k 7) (hash-ref HK 'k nil)"), "7");

    // A cell reused for something else no longer holds its table's bucket, marked or not.
    Value reused = evalValue("(new-hash)");
    cellOf(reused) = { kMarkBit | kNil, kNil };
    cellOf(kept).car |= kMarkBit;
    releaseUnreachableHashTables(0x80000000u);
    EXPECT_FALSE(holdsHashBucket(reused));
    EXPECT_TRUE(holdsHashBucket(kept));
    cellOf(kept).car &= ~kMarkBit;
    cellOf(reused).car = kNil;
}

TEST(Collections, StoresIntoPermanentCellsAskForAFullCollection)
{
    const char* const stores[] = {
        "(vector-set! P 0 (list 1))",
        "(vector-fill! P (list 1))",
        "(array-set! P (list 1) 0)",
        "(hash-set! P 'k (list 1))",
    };
    const char* const makers[] = { "(vector 0)", "(vector 0)", "(make-array 1)", "(new-hash)" };
    for (int i = 0; i < 4; ++i) {
        Value object = evalValue(makers[i]);
        setGlobalValue(intern("P"), object);
        cellOf(object).car |= kPermanentBit;
        gFullCollectionRequested = false;
        EXPECT_EQ(reportOf([&] { evalValue(stores[i]); }), "") << stores[i];
        EXPECT_TRUE(gFullCollectionRequested) << stores[i];
        cellOf(object).car &= ~kPermanentBit;
    }
    setGlobalValue(intern("P"), kNil);
}
