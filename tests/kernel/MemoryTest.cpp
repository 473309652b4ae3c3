// tests/kernel/MemoryTest.cpp: cells, blocks, growth of the areas and the handle manager.
#include "Support.h"

#include "Kernel/Number.h"
#include "Kernel/Recycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Clears growable for the scope of a test.
struct NotGrowable {
    int32_t saved = gParams.growable;
    NotGrowable() { gParams.growable = 0; }
    ~NotGrowable() { gParams.growable = saved; }
};

// Takes every free cell but the last, into a list held by the caller. A full collection first
// frees the garbage, so that the next one finds none to give back.
Value exhaustCells()
{
    collectGarbage(true);
    Value list = kNil;
    while (gFreeCells >= 2 + reservedCells())
        list = cons(kNil, list);
    return list;
}

int64_t nth(Value list, int n)
{
    for (int i = 0; i < n; ++i)
        list = cdr(list);
    return toInt64(car(list));
}

} // namespace

TEST(Memory, StartLayout)
{
    EXPECT_EQ(cellAt(0).car, 0xFFFFFFFFu); // the reserved cell
    EXPECT_EQ(cellAt(0).cdr, 0xFFFFFFFFu);
    EXPECT_EQ(gAreas.lispStackLimit, gAreas.lispStackBase + (gParams.lispStackWords - 500));
    EXPECT_EQ(gAreas.prologStackEnd[-1], kEnd);
    EXPECT_EQ(stringLength(gEmptyString), 0u);
    EXPECT_EQ(globalValue(Sym::t), Sym::t);
    EXPECT_EQ(globalValue(Sym::nil), kNil);
    EXPECT_EQ(evalText("(space-size-subr)"), "(16 4 4 8 1 1 1)");
    // The areas are laid out in order inside the memory block.
    uint8_t* block = hostAddress(gAreas.memoryBlock);
    EXPECT_GE(gAreas.symbols, block);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(gAreas.lispStackBase), gAreas.symbols + 16 * symbolCount());
    EXPECT_EQ(reinterpret_cast<Value*>(gAreas.prologStackBase), gAreas.lispStackEnd);
    EXPECT_GE(gCellBase, reinterpret_cast<uint8_t*>(gAreas.prologStackEnd));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(gCellBase) % 8, 0u);
    EXPECT_LE(hostAddress(gAreas.blockStart), block + gAreas.memoryBlockSize);
    EXPECT_EQ(gAreas.blockEnd, gAreas.memoryBlock + gAreas.memoryBlockSize);
}

// The block area's byte counts pass 24 bits, so these lists hold big integers.
TEST(Memory, SpaceLists)
{
    if (!reportOf([] { makeInteger(int64_t(1) << 24); }).empty())
        GTEST_SKIP() << "needs big integers";
    Value space = eval(readText("(space-subr)"));
    const int64_t expected[] = { gParams.symbolCount, gParams.lispStackWords, gParams.prologStackWords,
        gAreas.cellCount, gAreas.blockEnd - gAreas.blockStart, gParams.heapReserve, gParams.cStackBytes };
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(nth(space, i), expected[i]) << i;
    Value form = readText("(free-space-subr)");
    int64_t freeCells = gFreeCells; // before the primitive conses its answer
    Value free = eval(form);
    EXPECT_EQ(nth(free, 0), int64_t(freeSymbolRecords()));
    EXPECT_EQ(nth(free, 1), int64_t(gAreas.lispStackLimit - gLispSP));
    EXPECT_EQ(nth(free, 3), freeCells);
    EXPECT_EQ(nth(free, 4), int64_t(freeBlockBytes()));
}

TEST(Memory, ConsTakesCellsFromTheFreeList)
{
    uint32_t free = gFreeCells;
    Value a = cons(makeImmediate(1), kNil);
    Value b = cons(makeImmediate(2), a);
    EXPECT_EQ(gFreeCells, free - 2);
    EXPECT_NE(a, b);
    EXPECT_TRUE(isCellOffset(payloadOf(a)));
    EXPECT_EQ(car(b), makeImmediate(2));
    EXPECT_EQ(cdr(b), a);
    EXPECT_EQ(cdr(a), kNil);
}

TEST(Memory, GrowNodesGrowsByAtLeast5000)
{
    const struct {
        const char* form;
        const char* result;
        uint32_t added;
    } cases[] = {
        { "(grow-nodes 1)", "t", 5000 },
        { "(grow-nodes 0)", "t", 5000 },
        { "(grow-nodes 5000)", "t", 5000 },
        { "(grow-nodes 5001)", "t", 5001 },
        { "(grow-nodes -1)", "()", 0 },
        { "(grow-nodes 3000000)", "()", 0 }, // past the 2,097,152 cells a Value can address
    };
    for (auto& c : cases) {
        Value form = readText(c.form);
        collectGarbage(true); // the primitive's own collection then finds nothing to free
        uint32_t cells = gAreas.cellCount, free = gFreeCells;
        EXPECT_EQ(printedText(eval(form), PrintStyle::Print), c.result) << c.form;
        EXPECT_EQ(gAreas.cellCount, cells + c.added) << c.form;
        // The primitive's own collection may free a few cells that stale stack words held before.
        EXPECT_GE(gFreeCells, free + c.added) << c.form;
        EXPECT_LE(gFreeCells, free + c.added + 16) << c.form;
    }
    // Growth needs 8 bytes of the block area for every new cell.
    uint32_t cells = gAreas.cellCount;
    EXPECT_FALSE(growCells(freeBlockBytes() / 8 + 1));
    EXPECT_EQ(gAreas.cellCount, cells);
}

TEST(Memory, NothingGrowsWhenNotGrowable)
{
    NotGrowable scope;
    EXPECT_EQ(evalText("(memory-growable?)"), "()");
    uint32_t cells = gAreas.cellCount, blockEnd = gAreas.blockEnd;
    EXPECT_EQ(evalText("(grow-nodes 1)"), "()");
    EXPECT_EQ(evalText("(grow-heap 10)"), "()");
    EXPECT_EQ(gAreas.cellCount, cells);
    EXPECT_EQ(gAreas.blockEnd, blockEnd);
    // With the cells gone, the next cons reports "Out of Memory" and returns to the top level.
    bool finished = false;
    Value held = kNil;
    reportOf([&] {
        held = exhaustCells();
        cons(kNil, held);
        finished = true;
    });
    EXPECT_FALSE(finished);
    EXPECT_EQ(gAreas.cellCount, cells);
    EXPECT_NE(held, kNil);
}

TEST(Memory, ConsGrowsTheCellsWhenTheyRunOut)
{
    ASSERT_TRUE(gParams.growable);
    Value held = exhaustCells();
    uint32_t cells = gAreas.cellCount;
    Value more = cons(makeImmediate(7), held);
    EXPECT_EQ(gAreas.cellCount, cells + 5000);
    EXPECT_EQ(car(more), makeImmediate(7));
    EXPECT_EQ(cdr(more), held);
    EXPECT_GE(gFreeCells, 4990u);
}

TEST(Memory, SetMemoryGrowableTakesAFlag)
{
    int32_t saved = gParams.growable;
    const struct {
        const char* form;
        const char* growable;
    } cases[] = {
        { "(set-memory-growable? nil)", "()" },
        { "(set-memory-growable? 1)", "t" },
        { "(set-memory-growable? (void))", "()" },
        { "(set-memory-growable? t)", "t" },
    };
    for (auto& c : cases) {
        EXPECT_EQ(eval(readText(c.form)), kNoValue) << c.form;
        EXPECT_EQ(evalText("(memory-growable?)"), c.growable) << c.form;
    }
    gParams.growable = saved;
}

// Strings, reals, vectors and raw blocks keep their data when growth and the move primitives
// slide the block area; every descriptor follows its block.
TEST(Memory, BlockDataFollowsTheBlockArea)
{
    Value s = makeString("relocated text");
    Value x = makeReal(-2.75);
    Value v = makeVector(3, makeImmediate(4));
    vectorElements(v)[1] = s;
    Value raw = makeRawBlock(12);
    std::memcpy(blockData(raw) + 4, "raw!", 4);
    Value list = cons(makeImmediate(1), cons(x, kNil));
    auto check = [&](const char* when) {
        for (Value block : { s, x, v, raw })
            EXPECT_EQ(cellOf(block).cdr % kBlockAlignment, 0u) << when;
        EXPECT_STREQ(stringChars(s), "relocated text") << when;
        EXPECT_EQ(realValue(x), -2.75) << when;
        EXPECT_EQ(vectorLength(v), 3u) << when;
        EXPECT_EQ(vectorElements(v)[0], makeImmediate(4)) << when;
        EXPECT_EQ(vectorElements(v)[1], s) << when;
        EXPECT_EQ(std::memcmp(blockData(raw) + 4, "raw!", 4), 0) << when;
        EXPECT_EQ(car(list), makeImmediate(1)) << when;
        EXPECT_EQ(car(cdr(list)), x) << when;
    };
    uint32_t before = cellOf(s).cdr;
    ASSERT_TRUE(growCells(5001));
    EXPECT_EQ(cellOf(s).cdr, before + 8 * 5001);
    check("after growth");

    before = cellOf(s).cdr;
    EXPECT_EQ(evalText("(move-indirects 64)"), "t");
    EXPECT_EQ(cellOf(s).cdr, before + 64);
    check("after move-indirects");
    // The next growth first takes the gap that the move left.
    before = cellOf(s).cdr;
    ASSERT_TRUE(growCells(5000));
    EXPECT_EQ(cellOf(s).cdr, before + 8 * 5000 - 64);
    check("after growth into the gap");

    uint8_t* cells = gCellBase;
    EXPECT_EQ(evalText("(move-nodes 64)"), "t");
    EXPECT_EQ(gCellBase, cells + 64);
    check("after move-nodes");
    EXPECT_EQ(evalText("(move-nodes -64)"), "t");
    EXPECT_EQ(gCellBase, cells);
    check("after moving the nodes back");
    EXPECT_EQ(evalText("(move-nodes -8)"), "()"); // no room below the cells
    // Moving the nodes back left their 64 bytes below the blocks.
    EXPECT_EQ(evalText("(move-indirects -64)"), "t");
    check("after closing the gap");
    EXPECT_EQ(evalText("(move-indirects -8)"), "()");
    check("after refused moves");
}

TEST(Memory, MovePrimitivesRejectMisalignedAmounts)
{
    const struct {
        const char* form;
        const char* report;
    } cases[] = {
        { "(move-nodes 4)", "Error: 1010-2, 4, #<class VELORA>, (), ()" },
        { "(move-indirects 3)", "Error: 1010-2, 3, #<class VELORA>, (), ()" },
        { "(move-indirects -2)", "Error: 1010-2, -2, #<class VELORA>, (), ()" },
        { "(move-nodes \"x\")", "Error: 1010-2, x, #<class VELORA>, (), ()" },
        { "(move-symbols 16)", "Error: 1010-2, 16, #<class VELORA>, (), ()" },
    };
    for (auto& c : cases)
        EXPECT_EQ(reportOf([&] { evalText(c.form); }), c.report) << c.form;
    EXPECT_EQ(evalText("(move-symbols 0)"), evalText("(void)"));
}

// grow-heap takes n + 100,000 bytes when it can, else 2n, else n. It shrinks the block area for
// good, so it runs in a child process.
TEST(MemoryDeathTest, GrowHeapTakesWhatTheBlockAreaCanGive)
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
            auto step = [&](int64_t n, bool ok, int64_t taken, const char* what) {
                uint32_t free = freeBlockBytes();
                int32_t reserve = gParams.heapReserve;
                expect(growHeap(n) == ok, what);
                expect(freeBlockBytes() == free - taken, what);
                expect(gParams.heapReserve == reserve + taken, what);
            };
            step(1000, true, 101000, "n + 100000");
            uint32_t free = freeBlockBytes();
            step(free - 50000, true, free - 50000, "n when n + 100000 and 2n are not free");
            step(20000, true, 40000, "2n");
            step(8000, true, 8000, "n");
            step(3000, false, 0, "more than is free");
            step(-1, false, 0, "negative");
            // The memory block shrank in place; the handle manager counts it at its new size.
            expect(memoryPointerSize(gAreas.memoryBlock) == gAreas.memoryBlockSize, "memory block size");
            expect(gAreas.blockEnd == gAreas.memoryBlock + gAreas.memoryBlockSize, "block end");
            _exit(failures ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
}

// ---- The handle manager ----

TEST(Handles, SizesAndZeroedData)
{
    const uint32_t sizes[] = { 0, 1, 100, 70000 };
    for (uint32_t size : sizes) {
        Handle h = newHandle(size);
        ASSERT_NE(h, 0u);
        EXPECT_TRUE(isHandle(h));
        EXPECT_EQ(handleSize(h), int32_t(size));
        if (size) {
            const uint8_t* data = hostAddress(handleAddress(h));
            EXPECT_TRUE(std::all_of(data, data + size, [](uint8_t b) { return b == 0; })) << size;
        } else {
            EXPECT_EQ(handleAddress(h), 0u);
        }
        disposeHandle(h);
        EXPECT_FALSE(isHandle(h));
        EXPECT_EQ(handleSize(h), -1);
    }
    EXPECT_FALSE(isHandle(0));
    EXPECT_EQ(handleSize(0), -1);
}

TEST(Handles, ResizeKeepsTheDataAndZeroesGrowth)
{
    Handle h = newHandle(4);
    std::memcpy(hostAddress(handleAddress(h)), "abcd", 4);
    const struct {
        uint32_t size;
        const char* expect; // the first bytes after resizing
        uint32_t length;
    } cases[] = {
        { 100000, "abcd\0\0", 6 },
        { 2, "ab", 2 },
        { 0, "", 0 },
        { 3, "\0\0\0", 3 },
    };
    for (auto& c : cases) {
        ASSERT_TRUE(setHandleSize(h, c.size)) << c.size;
        EXPECT_EQ(handleSize(h), int32_t(c.size));
        EXPECT_TRUE(isHandle(h)); // size 0 keeps the entry
        if (c.length)
            EXPECT_EQ(std::memcmp(hostAddress(handleAddress(h)), c.expect, c.length), 0) << c.size;
        else
            EXPECT_EQ(handleAddress(h), 0u);
    }
    disposeHandle(h);
}

TEST(Handles, PurgeFreesOnlyPurgeableUnlockedHandles)
{
    purgeHandles(); // nothing purgeable left over from elsewhere
    Handle purgeable = newHandle(1000);
    Handle locked = newHandle(2000);
    Handle kept = newHandle(3000);
    Handle cleared = newHandle(4000);
    setHandlePurgeable(purgeable, true);
    setHandlePurgeable(locked, true);
    setHandlePurgeable(cleared, true);
    setHandlePurgeable(cleared, false);
    lockHandle(locked);
    EXPECT_EQ(purgeHandles(), 1000u);
    EXPECT_TRUE(isHandle(purgeable)); // the entry stays, without memory
    EXPECT_EQ(handleSize(purgeable), 0);
    EXPECT_EQ(handleAddress(purgeable), 0u);
    EXPECT_EQ(handleSize(locked), 2000);
    EXPECT_EQ(handleSize(kept), 3000);
    EXPECT_EQ(handleSize(cleared), 4000);
    unlockHandle(locked);
    EXPECT_EQ(purgeHandles(), 2000u);
    EXPECT_EQ(purgeHandles(), 0u);
    for (Handle h : { purgeable, locked, kept, cleared })
        disposeHandle(h);
}

TEST(Handles, LockingAHandleWithoutMemoryIsError60)
{
    Handle empty = newHandle(0);
    Handle purged = newHandle(16);
    setHandlePurgeable(purged, true);
    purgeHandles();
    const char* report = "Error: 1010-60, (), #<class VELORA>, (), ()";
    EXPECT_EQ(reportOf([&] { lockHandle(empty); }), report);
    EXPECT_EQ(reportOf([&] { lockHandle(purged); }), report);
    EXPECT_EQ(reportOf([&] { lockHandle(12345678); }), report);
    Handle full = newHandle(8);
    EXPECT_EQ(reportOf([&] { EXPECT_EQ(lockHandle(full), handleAddress(full)); }), "");
    unlockHandle(full);
    for (Handle h : { empty, purged, full })
        disposeHandle(h);
}

namespace {
Handle gReloadable = 0;
bool reloadForTest(Handle h)
{
    if (h != gReloadable)
        return false;
    setHandleSize(h, 5);
    std::memcpy(hostAddress(handleAddress(h)), "again", 5);
    return true;
}
} // namespace

TEST(Handles, APurgedHandleIsReloadedBeforeLocking)
{
    static bool installed = false;
    if (!installed)
        addHandleReloader(reloadForTest);
    installed = true;
    gReloadable = newHandle(5);
    setHandlePurgeable(gReloadable, true);
    purgeHandles();
    ASSERT_EQ(handleSize(gReloadable), 0);
    uint32_t address = 0;
    EXPECT_EQ(reportOf([&] { address = lockHandle(gReloadable); }), "");
    ASSERT_NE(address, 0u);
    EXPECT_EQ(std::memcmp(hostAddress(address), "again", 5), 0);
    unlockHandle(gReloadable);
    disposeHandle(gReloadable);
    gReloadable = 0;
}

// A locked handle's data stays where it is: resizing succeeds only in place.
TEST(Handles, ALockedHandleDoesNotMove)
{
    Handle h = newHandle(256 * 1024);
    ASSERT_TRUE(setHandleSize(h, 4096)); // leaves a free tail right after the data
    Handle neighbour = newHandle(200 * 1024); // fills that tail
    std::memcpy(hostAddress(handleAddress(h)), "locked", 6);
    uint32_t address = lockHandle(h);
    EXPECT_TRUE(setHandleSize(h, 1000));  // shrinking stays in place
    EXPECT_FALSE(setHandleSize(h, 8192)); // growing would have to move
    EXPECT_FALSE(setHandleSize(h, 0));    // freeing the data in use
    EXPECT_EQ(handleAddress(h), address);
    EXPECT_EQ(handleSize(h), 1000);
    unlockHandle(h);
    EXPECT_TRUE(setHandleSize(h, 8192));
    EXPECT_EQ(std::memcmp(hostAddress(handleAddress(h)), "locked", 6), 0);
    disposeHandle(neighbour);
    disposeHandle(h);
}

// The free heap is what the budget leaves after the allocated total (the host's free memory caps
// it, far above these sizes on any machine that runs the tests).
TEST(Handles, FreeHeapCompactMemoryAndSpaceAvailable)
{
    purgeHandles();
    Handle purgeable = newHandle(300);
    setHandlePurgeable(purgeable, true);
    ASSERT_GT(freeHeap(), 1000u);
    Handle filler = newHandle(freeHeap() - 500);
    ASSERT_NE(filler, 0u);
    ASSERT_EQ(freeHeap(), 500u);
    const struct {
        const char* form;
        const char* result;
    } cases[] = {
        { "(space-available? 499)", "t" },
        { "(space-available? 500)", "()" },
        { "(space-available? -1)", "t" },
        { "(compact-memory 499)", "500" }, // below the free heap: nothing purged
        { "(compact-memory 500)", "800" }, // purges the 300 bytes
        { "(compact-memory 800)", "800" }, // nothing left to purge
        { "(space-available? 799)", "t" },
    };
    for (auto& c : cases)
        EXPECT_EQ(evalText(c.form), c.result) << c.form;
    EXPECT_EQ(handleSize(purgeable), 0);
    disposeHandle(filler);
    disposeHandle(purgeable);
}

TEST(Handles, MemoryPointersAreLockedHandles)
{
    uint32_t p = newMemoryPointer(40);
    ASSERT_NE(p, 0u);
    EXPECT_TRUE(isMemoryPointer(p));
    EXPECT_EQ(memoryPointerSize(p), 40u);
    EXPECT_FALSE(isMemoryPointer(p + 4));
    EXPECT_FALSE(isMemoryPointer(0));
    EXPECT_FALSE(isMemoryPointer(2));
    purgeHandles(); // never purged
    EXPECT_EQ(memoryPointerSize(p), 40u);
    disposeMemoryPointer(p);
    EXPECT_FALSE(isMemoryPointer(p));
    EXPECT_TRUE(isMemoryPointer(gAreas.memoryBlock));
}

// Data made just before a collection keeps its value through it.
TEST(Memory, BlockDataSurvivesCollections)
{
    for (bool full : { false, true }) {
        Value x = makeReal(6.125);
        Value s = makeString("kept through a collection");
        Value v = makeVector(2, x);
        collectGarbage(full);
        EXPECT_EQ(realValue(x), 6.125) << full;
        EXPECT_STREQ(stringChars(s), "kept through a collection") << full;
        EXPECT_EQ(vectorElements(v)[1], x) << full;
        EXPECT_EQ(realValue(vectorElements(v)[0]), 6.125) << full;
    }
}
