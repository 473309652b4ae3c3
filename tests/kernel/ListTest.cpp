// tests/kernel/ListTest.cpp: the native list operations, equality on values Lisp code cannot write
// yet (vectors, pointers, variables), and the sort against a reference.
#include "Support.h"

#include "Kernel/List.h"
#include "Kernel/Logical.h"
#include "Kernel/Number.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

Value primitive(const char* name) { return globalValue(intern(name)); }
std::string text(Value v) { return printedText(v, PrintStyle::Write); }

} // namespace

TEST(ListNative, Operations)
{
    Value l = readText("(1 2 3)");
    EXPECT_EQ(listLength(l), 3u);
    EXPECT_EQ(listLength(kNil), 0u);
    EXPECT_EQ(listLength(readText("(1 2 . 3)")), 2u);
    const struct {
        uint64_t n;
        const char* tail;
    } tails[] = { { 0, "(1 2 3)" }, { 1, "(2 3)" }, { 3, "()" }, { 9, "()" } };
    for (auto& c : tails)
        EXPECT_EQ(text(listTail(l, c.n)), c.tail);
    EXPECT_EQ(text(lastPair(l)), "(3)");
    EXPECT_EQ(text(lastPair(readText("(1 . 2)"))), "2");
    Value copy = copyList(l);
    EXPECT_NE(copy, l);
    EXPECT_TRUE(isEqual(copy, l));
    EXPECT_EQ(text(copyList(readText("(1 . 2)"))), "(1 . 2)");
    Value joined = appendInPlace(copy, readText("(4)"));
    EXPECT_EQ(joined, copy);
    EXPECT_EQ(text(joined), "(1 2 3 4)");
    EXPECT_EQ(text(appendInPlace(kNil, l)), "(1 2 3)");
    Value reversed = reverseInPlace(joined);
    EXPECT_EQ(text(reversed), "(4 3 2 1)");
    EXPECT_EQ(text(joined), "(1)");

    Value items = readText("(a 2 \"s\" (x))");
    const struct {
        const char* item;
        const char *byEq, *byEqv, *byEqual;
    } searches[] = {
        { "a", "(a 2 \"s\" (x))", "(a 2 \"s\" (x))", "(a 2 \"s\" (x))" },
        { "2.0", "()", "(2 \"s\" (x))", "(2 \"s\" (x))" },
        { "\"s\"", "()", "()", "(\"s\" (x))" },
        { "(x)", "()", "()", "((x))" },
        { "z", "()", "()", "()" },
    };
    for (auto& c : searches) {
        Value x = readText(c.item);
        EXPECT_EQ(text(memq(x, items)), c.byEq) << c.item;
        EXPECT_EQ(text(memv(x, items)), c.byEqv) << c.item;
        EXPECT_EQ(text(memberEqual(x, items)), c.byEqual) << c.item;
    }
    EXPECT_EQ(text(memq(intern("a"), items)), "(a 2 \"s\" (x))");
}

TEST(ListNative, CircularListIsReported)
{
    Value ring = readText("(1 2 3)");
    setCdr(listTail(ring, 2), ring);
    EXPECT_EQ(reportOf([&] { listLength(ring); }).substr(0, 40), "Error: 1010-2, (1 2 3 1 2 3 1 2 ...), #<");
    EXPECT_EQ(reportOf([&] { lastPair(ring); }).substr(0, 14), "Error: 1010-2,");
    EXPECT_EQ(reportOf([&] { memberEqual(intern("z"), ring); }).substr(0, 14), "Error: 1010-2,");
}

TEST(Equality, Vectors)
{
    Value eqv = primitive("eqv?"), equal = primitive("equal?");
    Value a = makeString("a");
    Value empty1 = makeVector(0, kNil), empty2 = makeVector(0, kNil);
    Value v1 = makeVector(2, a), v2 = makeVector(2, a);
    Value v3 = makeVector(2, makeString("a")); // equal? but not identical elements
    Value v4 = makeVector(3, a);
    const struct {
        Value x, y;
        bool eqv, equal;
    } cases[] = {
        { empty1, empty2, true, true },
        { v1, v1, true, true },
        { v1, v2, false, true },
        { v1, v3, false, false },
        { v1, v4, false, false },
        { empty1, kNil, false, false },
        { v1, readText("(\"a\" \"a\")"), false, false },
    };
    for (auto& c : cases) {
        EXPECT_EQ(funcall(eqv, c.x, c.y), boolValue(c.eqv));
        EXPECT_EQ(funcall(equal, c.x, c.y), boolValue(c.equal));
    }
}

TEST(Equality, PointersAndVariables)
{
    Value p1 = makePointer(gPlainPointerKind, 1000), p2 = makePointer(gPlainPointerKind, 1000);
    Value p3 = makePointer(gPlainPointerKind, 1004);
    Value var1 = retag(cons(makeImmediate(1), intern("x")), Tag::Variable);
    Value var2 = retag(cons(makeImmediate(2), intern("x")), Tag::Variable);
    Value var3 = retag(cons(makeImmediate(1), intern("y")), Tag::Variable);
    const struct {
        Value x, y;
        bool equal;
    } cases[] = {
        { p1, p2, true }, { p1, p3, false }, { p1, makeImmediate(1000), false },
        { var1, var2, true }, { var1, var3, false }, { var1, intern("x"), false },
    };
    for (auto& c : cases) {
        EXPECT_EQ(isEqual(c.x, c.y), c.equal);
        EXPECT_FALSE(isEqv(c.x, c.y));
    }
    // copy-tree copies a variable cell: same words, a cell of its own.
    Value copied = funcall(primitive("copy-tree"), cons(var1, kNil));
    Value copiedVariable = car(copied);
    EXPECT_EQ(tagOf(copiedVariable), uint32_t(Tag::Variable));
    EXPECT_NE(copiedVariable, var1);
    EXPECT_EQ(car(copiedVariable), car(var1));
    EXPECT_EQ(cdr(copiedVariable), cdr(var1));
}

TEST(Equality, NumbersByTypeOfTheFirst)
{
    const struct {
        Value a, b;
        bool equal;
    } cases[] = {
        { makeImmediate(3), makeReal(3.0), true },
        { makeReal(3.0), makeImmediate(3), true },
        { makeImmediate(3), makeImmediate(4), false },
        { makeReal(0.5), makeReal(0.5), true },
        { makeReal(0.5), makeReal(0.25), false },
        { makeImmediate(3), intern("x"), false },
        { makeReal(1.0), makeString("1"), false },
    };
    for (auto& c : cases) {
        EXPECT_EQ(numbersEqual(c.a, c.b), c.equal);
        EXPECT_EQ(isEqual(c.a, c.b), c.equal);
        EXPECT_EQ(isEqv(c.a, c.b), c.equal);
    }
}

// Random lists sorted with the Lisp predicate agree with std::sort, with and without duplicates.
TEST(Sort, AgreesWithReference)
{
    std::mt19937 random(11);
    Value sort = primitive("sort"), sortInPlace = primitive("sort!"), less = primitive("<"),
          same = primitive("=");
    for (int round = 0; round < 200; ++round) {
        std::vector<int32_t> numbers(random() % 60);
        for (auto& n : numbers)
            n = static_cast<int32_t>(random() % 20) - 5;
        ListBuilder list;
        for (int32_t n : numbers)
            list.add(makeImmediate(n));
        std::vector<int32_t> expected = numbers;
        std::sort(expected.begin(), expected.end());
        std::vector<int32_t> unique = expected;
        unique.erase(std::unique(unique.begin(), unique.end()), unique.end());

        auto toVector = [](Value l) {
            std::vector<int32_t> out;
            for (; l != kNil; l = cdr(l))
                out.push_back(integerValue(car(l)));
            return out;
        };
        EXPECT_EQ(toVector(funcall(sort, less, list.head)), expected);
        EXPECT_EQ(toVector(funcall(sort, less, list.head, kNil, same)), unique);
        Value first = list.head;
        Value inPlace = funcall(sortInPlace, less, copyList(list.head), kNil, same);
        EXPECT_EQ(toVector(inPlace), unique);
        EXPECT_EQ(toVector(first), numbers) << "sort! worked on a copy";
    }
}

TEST(Equality, EmptyArraysThroughTheInstalledCounter)
{
    // Arrays here are stand-ins: cells with the array tag whose car holds the element count.
    Value empty1 = retag(cons(makeImmediate(0), kNil), Tag::Array);
    Value empty2 = retag(cons(makeImmediate(0), kNil), Tag::Array);
    Value full = retag(cons(makeImmediate(3), kNil), Tag::Array);
    EXPECT_FALSE(isEqv(empty1, empty2)) << "no counter installed: identity";
    setArrayElementCounter([](Value array) { return uint64_t(integerValue(car(array))); });
    EXPECT_TRUE(isEqv(empty1, empty2));
    EXPECT_FALSE(isEqv(empty1, full));
    EXPECT_TRUE(isEqv(full, full));
    setArrayElementCounter(nullptr);
}
