// tests/kernel/RecycleTest.cpp: the garbage collector.
//
// Values that a test wants to stay unreachable are kept only in a hidden form (complemented),
// which the conservative stack scan does not take for a reference.
#include "Kernel/Recycle.h"

#include "Support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr uint32_t hide(Value v) { return ~v; }
constexpr Value unhide(uint32_t h) { return ~h; }

std::unordered_set<uint32_t> freeOffsets()
{
    std::unordered_set<uint32_t> offsets;
    for (uint32_t o = gFreeListHead; o != 0; o = payloadOf(cellAt(o).cdr))
        offsets.insert(o);
    return offsets;
}

// Whether the cell of a hidden Value is free; the Value is unhidden only in this call's frame.
__attribute__((noinline)) bool isFreeHidden(uint32_t hidden)
{
    return freeOffsets().count(payloadOf(unhide(hidden))) != 0;
}

// Roots a Value for the rest of a test through a symbol's global value.
Value rootSymbol() { return intern("recycle-test-root"); }
void root(Value v) { setGlobalValue(rootSymbol(), v); }
void unroot() { setGlobalValue(rootSymbol(), kNil); }

// Conses that nothing references: only their offsets leave this function.
__attribute__((noinline)) std::vector<uint32_t> garbageConses(int n)
{
    std::vector<uint32_t> offsets;
    offsets.reserve(n);
    for (int i = 0; i < n; ++i)
        offsets.push_back(payloadOf(cons(makeImmediate(i), kNil)));
    return offsets;
}

// Overwrites the dead stack below the caller, where stale copies of Values from finished calls
// would otherwise keep their cells alive through the conservative scan.
__attribute__((noinline)) void wipeDeadStack()
{
    volatile char area[64 * 1024];
    for (size_t i = 0; i < sizeof area; ++i)
        area[i] = 0;
}

// Collects after wiping the dead stack.
__attribute__((noinline)) void collectClean(bool full)
{
    wipeDeadStack();
    collectGarbage(full);
}

// Runs f below a padding frame, so that the frames f leaves behind lie in the part of the stack
// that wipeDeadStack clears (not under the small frames of the collecting call itself).
template <typename F> __attribute__((noinline)) auto belowPadding(F f)
{
    volatile char pad[2048];
    pad[0] = 0;
    auto result = f();
    (void)pad[0];
    return result;
}

// Block elements sit at even addresses only: read and write them bytewise.
Value elementAt(Value vector, uint32_t i)
{
    Value v;
    std::memcpy(&v, blockData(vector) + 4 + 4 * i, 4);
    return v;
}
void setElementAt(Value vector, uint32_t i, Value v) { std::memcpy(blockData(vector) + 4 + 4 * i, &v, 4); }

__attribute__((noinline)) void garbageStrings(int n)
{
    for (int i = 0; i < n; ++i)
        makeString(std::string(40, static_cast<char>('a' + i % 26)));
}

} // namespace

TEST(Recycle, ConsReachableOnlyFromNativeLocalSurvives)
{
    collectGarbage(true);
    volatile Value local = cons(makeImmediate(1234), makeImmediate(5));
    std::vector<uint32_t> garbage = garbageConses(200);
    collectGarbage(true);
    std::unordered_set<uint32_t> free = freeOffsets();
    EXPECT_FALSE(free.count(payloadOf(local)));
    EXPECT_EQ(car(local), makeImmediate(1234));
    EXPECT_EQ(cdr(local), makeImmediate(5));
    // The unreferenced conses went back to the free list (a stale copy of one of the last few
    // in a register or dead stack slot may keep it, conservatively).
    int freed = 0;
    for (uint32_t o : garbage)
        freed += static_cast<int>(free.count(o));
    EXPECT_GE(freed, 190);
    // Reusing every free cell leaves the local's cell alone.
    for (uint32_t i = 0, n = gFreeCells > 10 ? gFreeCells - 10 : 0; i < n; ++i)
        cons(kNil, kNil);
    EXPECT_EQ(car(local), makeImmediate(1234));
}

TEST(Recycle, StringReachableOnlyFromLispStackMovesDownAndKeepsItsValue)
{
    collectGarbage(true);
    garbageStrings(10);
    Value* slot = gLispSP;
    pushLisp(makeString("kept on the Lisp stack"));
    uint32_t hidden = hide(*slot);
    uint32_t before = cellOf(unhide(hidden)).cdr;
    garbageStrings(3); // unreachable blocks after it too
    uint32_t allocBefore = gAreas.blockAlloc;
    collectGarbage(false);
    EXPECT_EQ(*slot, unhide(hidden));
    EXPECT_LT(cellOf(*slot).cdr, before);
    EXPECT_STREQ(stringChars(*slot), "kept on the Lisp stack");
    EXPECT_LE(gAreas.blockAlloc + 13 * 40, allocBefore); // the unreachable strings went
    --gLispSP;
}

namespace {

struct PointerCase {
    const char* kind;
    bool reachable;
    bool disposed;
};

// Makes the pointer Value of the case, rooted when it is to stay reachable; returns it hidden.
__attribute__((noinline)) uint32_t makeCasePointer(const PointerCase& c, Handle h, uint32_t memory)
{
    std::string kind = c.kind;
    Value p = kind == "handle" ? makePointer(gHandleKind, h)
        : kind == "memory pointer" ? makePointer(gMemoryPointerKind, memory)
                                   : makePointer(gPlainPointerKind, h);
    root(c.reachable ? p : kNil);
    return hide(p);
}

} // namespace

TEST(Recycle, UnreachablePointersAreDisposedByTheirKind)
{
    const PointerCase cases[] = {
        { "handle", false, true },
        { "handle", true, false },
        { "memory pointer", false, true },
        { "memory pointer", true, false },
        { "pointer", false, false }, // its address is a live handle's index, which stays
    };
    for (const PointerCase& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + (c.reachable ? " reachable" : " unreachable"));
        collectGarbage(true);
        std::string kind = c.kind;
        Handle h = newHandle(16);
        ASSERT_NE(h, 0u);
        uint32_t memory = kind == "memory pointer" ? newMemoryPointer(16) : 0;
        uint32_t hidden = belowPadding([&] { return makeCasePointer(c, h, memory); });
        collectClean(false);
        bool gone = kind == "memory pointer" ? !isMemoryPointer(memory) : !isHandle(h);
        EXPECT_EQ(gone, c.disposed);
        EXPECT_EQ(isFreeHidden(hidden), !c.reachable);
        unroot();
        if (isHandle(h) && kind != "handle")
            disposeHandle(h);
        collectGarbage(false);
    }
}

namespace {

// A permanent cell rooted through a symbol, whose car is then set to a fresh cons by a raw store
// (no request for a full collection). Returns the hidden cons.
__attribute__((noinline)) uint32_t permanentHolderWithRawCar()
{
    Value holder = cons(kNil, kNil);
    cellOf(holder).car |= kPermanentBit;
    root(holder);
    Value x = cons(makeImmediate(42), kNil);
    cellOf(holder).car = kPermanentBit | x;
    return hide(x);
}

} // namespace

TEST(Recycle, DefineMakesTheNextCollectionFull)
{
    collectGarbage(true);
    uint32_t hidden = belowPadding(permanentHolderWithRawCar);
    evalText("(define (recycle-test-f) 1)");
    EXPECT_TRUE(gFullCollectionRequested);
    collectClean(false);
    EXPECT_TRUE(lastCollectionWasFull());
    EXPECT_FALSE(gFullCollectionRequested);
    // The full collection looked inside the permanent holder.
    EXPECT_FALSE(isFreeHidden(hidden));
    EXPECT_EQ(car(unhide(hidden)), makeImmediate(42));
    collectGarbage(false);
    EXPECT_FALSE(lastCollectionWasFull());
    unroot();
}

TEST(Recycle, PartialCollectionDoesNotLookInsidePermanentCells)
{
    collectGarbage(true);
    uint32_t hidden = belowPadding(permanentHolderWithRawCar);
    EXPECT_FALSE(gFullCollectionRequested);
    collectClean(false);
    EXPECT_FALSE(lastCollectionWasFull());
    EXPECT_TRUE(isFreeHidden(hidden));
    Value holder = globalValue(rootSymbol());
    EXPECT_TRUE(isPermanentCell(holder)); // the holder itself is kept and keeps its bit
    cellOf(holder).car = kPermanentBit | kNil;
    unroot();
}

namespace {

__attribute__((noinline)) uint32_t storeIntoPermanentCell(bool intoCar)
{
    Value holder = cons(kNil, kNil);
    cellOf(holder).car |= kPermanentBit;
    root(holder);
    collectGarbage(false); // clears any pending request
    Value x = cons(makeImmediate(7), kNil);
    if (intoCar)
        setCar(holder, x);
    else
        setCdr(holder, x);
    return hide(x);
}

} // namespace

TEST(Recycle, ValueStoredIntoPermanentCellSurvivesPartialCollection)
{
    for (bool intoCar : { true, false }) {
        SCOPED_TRACE(intoCar ? "setCar" : "setCdr");
        collectGarbage(true);
        uint32_t hidden = storeIntoPermanentCell(intoCar);
        EXPECT_TRUE(gFullCollectionRequested);
        collectGarbage(false);
        EXPECT_FALSE(isFreeHidden(hidden));
        EXPECT_EQ(car(unhide(hidden)), makeImmediate(7));
        Value holder = globalValue(rootSymbol());
        EXPECT_EQ(intoCar ? car(holder) : cdr(holder), unhide(hidden));
        unroot();
    }
}

TEST(Recycle, RepeatedCollectionsLeaveTheSameFreeCount)
{
    for (bool full : { false, true }) {
        SCOPED_TRACE(full ? "full" : "partial");
        std::vector<uint32_t> garbage = belowPadding([] { return garbageConses(500); });
        belowPadding([] { garbageStrings(5); return 0; });
        uint32_t allocBefore = gAreas.blockAlloc;
        // The first collection frees the garbage. A stray word on the stack that happens to look
        // like a Value may keep a cell or two through it (the scan is conservative), so the steady
        // state is compared from the next one on.
        collectClean(full);
        std::unordered_set<uint32_t> free = freeOffsets();
        int freed = 0;
        for (uint32_t o : garbage)
            freed += static_cast<int>(free.count(o));
        EXPECT_GE(freed, 490);
        EXPECT_LE(gAreas.blockAlloc + 5 * 40, allocBefore);
        collectClean(full);
        uint32_t first = gFreeCells;
        uint32_t alloc = gAreas.blockAlloc;
        collectClean(full);
        collectClean(full);
        EXPECT_EQ(gFreeCells, first);
        EXPECT_EQ(gAreas.blockAlloc, alloc);
        EXPECT_EQ(freeOffsets().size(), gFreeCells); // the free list and its count agree
    }
}

TEST(Recycle, FreeListRunsFromTheHighestAddressDown)
{
    collectGarbage(true);
    uint32_t previous = 0xFFFFFFFFu;
    int steps = 0;
    for (uint32_t o = gFreeListHead; o != 0 && steps < 100000; o = payloadOf(cellAt(o).cdr), ++steps) {
        ASSERT_LT(o, previous);
        previous = o;
    }
    Value a = cons(kNil, kNil);
    Value b = cons(kNil, kNil);
    EXPECT_GT(payloadOf(a), payloadOf(b));
}

TEST(Recycle, BlockDataIsIntactAfterCompaction)
{
    collectGarbage(true);
    // Live blocks of every kind the block area holds, with garbage between them; the live ones
    // hang from a rooted list.
    Value list = kNil;
    root(list);
    const int n = 40;
    for (int i = 0; i < n; ++i) {
        garbageStrings(1);
        Value v;
        switch (i % 4) {
        case 0:
            v = makeString("string " + std::to_string(i));
            break;
        case 1:
            v = makeReal(i + 0.25);
            break;
        case 2:
            v = makeVector(3, makeImmediate(i));
            setElementAt(v, 1, cons(makeImmediate(-i), kNil)); // a cell only the vector holds
            break;
        default:
            v = makeRawBlock(9);
            blockData(v)[4] = static_cast<uint8_t>(i);
            blockData(v)[12] = static_cast<uint8_t>(i + 1);
            break;
        }
        list = cons(v, globalValue(rootSymbol()));
        root(list);
    }
    list = kNil;
    uint32_t allocBefore = gAreas.blockAlloc;
    collectGarbage(false);
    EXPECT_LT(gAreas.blockAlloc + n * 40, allocBefore);
    std::vector<Value> items;
    for (Value l = globalValue(rootSymbol()); isPair(l); l = cdr(l))
        items.insert(items.begin(), car(l));
    ASSERT_EQ(items.size(), size_t(n));
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        Value v = items[i];
        switch (i % 4) {
        case 0:
            EXPECT_EQ(std::string(stringChars(v)), "string " + std::to_string(i));
            break;
        case 1:
            EXPECT_EQ(realValue(v), i + 0.25);
            break;
        case 2:
            ASSERT_EQ(vectorLength(v), 3u);
            EXPECT_EQ(elementAt(v, 0), makeImmediate(i));
            EXPECT_EQ(car(elementAt(v, 1)), makeImmediate(-i));
            EXPECT_EQ(elementAt(v, 2), makeImmediate(i));
            break;
        default:
            EXPECT_EQ(blockData(v)[4], i);
            EXPECT_EQ(blockData(v)[12], i + 1);
            break;
        }
    }
    // The chain is compact: every block starts where the one before it ends.
    uint32_t expected = gAreas.blockStart;
    for (uint32_t c = gChainHead; c != gChainTail; c = payloadOf(cellAt(c).car)) {
        ASSERT_EQ(cellAt(c).cdr, expected);
        expected += blockExtent(blockSize(tagOf(cellAt(c).car), cellAt(c).cdr));
    }
    EXPECT_EQ(expected, gAreas.blockAlloc);
    unroot();
}

TEST(Recycle, LongChainsOfCarsAndCdrsDoNotOverflowTheStack)
{
    collectGarbage(true);
    const int depth = 300000;
    Value deep = kNil;
    Value wide = kNil;
    for (int i = 0; i < depth; ++i) {
        deep = cons(deep, makeImmediate(i));
        wide = cons(makeImmediate(i), wide);
    }
    root(cons(deep, wide));
    deep = wide = kNil;
    collectGarbage(true);
    int carDepth = 0;
    for (Value v = car(globalValue(rootSymbol())); isPair(v); v = car(v))
        ++carDepth;
    int cdrLength = 0;
    for (Value v = cdr(globalValue(rootSymbol())); isPair(v); v = cdr(v))
        ++cdrLength;
    EXPECT_EQ(carDepth, depth);
    EXPECT_EQ(cdrLength, depth);
    unroot();
    collectGarbage(true);
}

namespace {

__attribute__((noinline)) uint32_t permanentGarbage()
{
    Value x = cons(makeImmediate(3), kNil);
    cellOf(x).car |= kPermanentBit;
    return hide(x);
}

// Evaluates a form on a clean stack.
__attribute__((noinline)) void evalForm(const char* form)
{
    Value v = readText(form);
    wipeDeadStack();
    eval(v);
}

} // namespace

TEST(Recycle, RecyclePrimitiveAndFlag)
{
    struct Case {
        const char* form;
        bool full;
    };
    const Case cases[] = {
        { "(recycle nil t)", true },
        { "(recycle t t)", true },
        { "(recycle t nil)", false },
        { "(recycle nil (void))", false },
        { "(recycle 1 2)", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        collectGarbage(false); // settles any pending request
        int before = collectionCount();
        EXPECT_EQ(evalText(c.form), printedText(kNoValue, PrintStyle::Print));
        EXPECT_EQ(collectionCount(), before + 1);
        EXPECT_EQ(lastCollectionWasFull(), c.full);
    }
    EXPECT_EQ(evalText("Recycle-Sound"), "t");
    // Only a full collection frees an unreachable permanent cell: both forms do.
    for (const char* form : { "(recycle nil t)", "(recycle t t)" }) {
        SCOPED_TRACE(form);
        uint32_t hidden = belowPadding(permanentGarbage);
        evalForm(form);
        EXPECT_TRUE(isFreeHidden(hidden));
    }
    uint32_t hidden = belowPadding(permanentGarbage);
    evalForm("(recycle t nil)");
    EXPECT_FALSE(isFreeHidden(hidden));
}

TEST(Recycle, DamagedChainHeaderIsReportedAndTheBlocksSurvive)
{
    collectGarbage(true);
    Value before = makeString("before the damaged block");
    garbageStrings(2);
    Value damaged = makeRawBlock(6);
    blockData(damaged)[5] = 99;
    garbageStrings(2);
    Value after = makeString("after the damaged block");
    root(cons(before, cons(damaged, cons(after, kNil))));
    before = damaged = after = kNil;
    Value list = globalValue(rootSymbol());
    Value cell = car(cdr(list));
    // Damage the header tag of the raw block's cell, keeping its link.
    Cell& c = cellOf(cell);
    uint32_t saved = c.car;
    c.car = (saved & ~0x3F000000u) | (Tag::Integer << 24);
    gTestReports.clear();
    collectGarbage(false);
    ASSERT_FALSE(gTestReports.empty());
    EXPECT_NE(gTestReports.back().find("Wrong type in sweep_indirect"), std::string::npos);
    c.car = (c.car & ~0x3F000000u) | (Tag::RawHeader << 24);
    list = globalValue(rootSymbol());
    EXPECT_STREQ(stringChars(car(list)), "before the damaged block");
    EXPECT_EQ(blockData(car(cdr(list)))[5], 99);
    EXPECT_STREQ(stringChars(car(cdr(cdr(list)))), "after the damaged block");
    // Repaired, the chain collects quietly again.
    gTestReports.clear();
    collectGarbage(false);
    EXPECT_TRUE(gTestReports.empty());
    EXPECT_STREQ(stringChars(car(cdr(cdr(globalValue(rootSymbol()))))), "after the damaged block");
    unroot();
}

TEST(Recycle, StressModeCollectsOnEveryAllocation)
{
    setCollectorStress(true);
    int before = collectionCount();
    Value a = cons(makeImmediate(1), kNil);
    Value s = makeString("stress");
    Value b = cons(s, a);
    int after = collectionCount();
    setCollectorStress(false);
    EXPECT_GE(after - before, 3);
    EXPECT_STREQ(stringChars(car(b)), "stress");
    EXPECT_EQ(car(cdr(b)), makeImmediate(1));
    before = collectionCount();
    cons(kNil, kNil);
    EXPECT_EQ(collectionCount(), before);
}

namespace {

// Native statics outside the areas that hold Values: the current object and the standard
// streams' Lisp objects.
Value& selfRoot() { return gSelf; }
Value& outputRoot() { return standardOutput().m_lispObject; }
Value& errorRoot() { return standardError().m_lispObject; }
// A native stream in native memory (a reader's input, say) and the Lisp object it refers to.
Value& nativeStreamRoot()
{
    static StringInputStream* stream = new StringInputStream("held");
    return stream->m_lispObject;
}

__attribute__((noinline)) uint32_t storeInStatic(Value& where)
{
    Value x = cons(makeImmediate(11), makeString("held by a native static"));
    where = x;
    return hide(x);
}

} // namespace

TEST(Recycle, ModulesMarkTheValuesTheyHoldOutsideTheAreas)
{
    struct Case {
        const char* name;
        Value& (*where)();
        Value restore;
    };
    const Case cases[] = {
        { "current object", selfRoot, kNoObject },
        { "standard output object", outputRoot, kNil },
        { "standard error object", errorRoot, kNil },
        { "a native stream's object", nativeStreamRoot, kNil },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        collectGarbage(true);
        uint32_t hidden = belowPadding([&] { return storeInStatic(c.where()); });
        belowPadding([] { garbageStrings(4); return 0; });
        collectClean(true);
        EXPECT_FALSE(isFreeHidden(hidden));
        EXPECT_EQ(c.where(), unhide(hidden));
        EXPECT_EQ(car(c.where()), makeImmediate(11));
        EXPECT_STREQ(stringChars(cdr(c.where())), "held by a native static");
        c.where() = c.restore;
    }
}

TEST(Recycle, CommitBlockDoesNotCollectUnderTheDataJustWritten)
{
    // Garbage blocks below the free end: a collection now would slide the free end down.
    collectGarbage(true);
    belowPadding([] { garbageStrings(6); return 0; });
    const char text[] = "written at the free end";
    reserveBlock(sizeof text);
    std::memcpy(blockFreeEnd(), text, sizeof text);
    setCollectorStress(true); // every cons collects from here on
    int before = collectionCount();
    Value s = commitBlock(sizeof text, Tag::String, Tag::StringHeader);
    setCollectorStress(false);
    EXPECT_EQ(collectionCount(), before);
    EXPECT_STREQ(stringChars(s), text);
    collectGarbage(false); // and the block is a proper member of the chain
    EXPECT_STREQ(stringChars(s), text);
}

namespace {

// Unreachable conses until fewer than two cells are free.
__attribute__((noinline)) void exhaustCells()
{
    while (gFreeCells >= 2 + reservedCells())
        cons(kNil, kNil);
}

// Unreachable raw blocks until the block area has less than bytes free.
__attribute__((noinline)) void exhaustBlocks(uint32_t bytes)
{
    while (freeBlockBytes() >= bytes + reservedBlockBytes())
        makeRawBlock(bytes / 4);
}

} // namespace

TEST(Recycle, AllocationsCollectWhenShortOfCellsOrBlockSpace)
{
    struct Case {
        const char* name;
        void (*exhaust)();
        Value (*allocate)();
    };
    const Case cases[] = {
        { "cons short of cells", [] { belowPadding([] { exhaustCells(); return 0; }); },
            [] { return cons(makeImmediate(5), kNil); } },
        { "reserveBlock short of space", [] { belowPadding([] { exhaustBlocks(400000); return 0; }); },
            [] { return makeRawBlock(400000); } },
        { "grow-nodes", [] {}, [] { return eval(readText("(grow-nodes 1)")); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        collectGarbage(true);
        c.exhaust();
        int before = collectionCount();
        uint32_t cellsBefore = gAreas.cellCount;
        Value v = c.allocate();
        EXPECT_EQ(collectionCount(), before + 1);
        EXPECT_NE(v, kNil);
        // The garbage was reclaimed rather than the areas grown (grow-nodes grows on purpose).
        if (std::string(c.name) != "grow-nodes") {
            EXPECT_EQ(gAreas.cellCount, cellsBefore);
        } else {
            EXPECT_EQ(v, kTrue);
            EXPECT_EQ(gAreas.cellCount, cellsBefore + 5000);
        }
        EXPECT_GT(gFreeCells, 5000u);
        EXPECT_GT(freeBlockBytes(), 400000u);
    }
}
