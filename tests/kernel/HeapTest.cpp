// tests/kernel/HeapTest.cpp: pointer Values, their printing, range checks and locked handles.
#include "Support.h"

#include "Kernel/Module.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

std::string hex(const char* format, uint32_t a, int size = 0)
{
    char text[96];
    std::snprintf(text, sizeof text, format, a, size);
    return text;
}

void setGlobal(const char* name, Value v) { setGlobalValue(intern(name), v); }

} // namespace

TEST(Heap, PointersPrintWithTheirKind)
{
    Value memory = eval(readText("(new-ptr 16)"));
    Value handle = eval(readText("(new-handle 10)"));
    uint32_t address = pointerAddress(memory);
    Handle h = pointerAddress(handle);
    const struct {
        Value pointer;
        std::string text;
    } cases[] = {
        { makePointer(gPlainPointerKind, 1000), "<pointer 3e8>" },
        { makePointer(gPlainPointerKind, 0), "<null pointer>" },
        { memory, hex("<memory pointer %x of size %d>", address, 16) },
        { handle, hex("<handle %x of size %d>", h, 10) },
        { makePointer(gHandleKind, 0), "<null handle>" },
        { makePointer(gMemoryPointerKind, 0), "<null memory pointer>" },
    };
    for (auto& c : cases)
        EXPECT_EQ(printedText(c.pointer), c.text);
    EXPECT_EQ(pointerKindIndex(handle), gHandleKind.index());
    EXPECT_EQ(handleSize(h), 10); // word 1 of a handle pointer is the entry index
    setGlobal("Printed-Pointer", memory);
    evalText("(dispose-ptr Printed-Pointer)");
    EXPECT_EQ(printedText(memory), "<null memory pointer>");
    EXPECT_FALSE(isMemoryPointer(address));
}

TEST(Heap, PointerKindsInRegistrationOrder)
{
    const struct {
        uint32_t index;
        const char* name;
        bool pure, disposes;
    } cases[] = {
        { 0, "pointer", false, false },
        { 1, "memory pointer", false, true },
        { 2, "handle", true, true },
    };
    for (auto& c : cases) {
        PointerKind* kind = pointerKind(c.index);
        ASSERT_NE(kind, nullptr);
        EXPECT_STREQ(kind->name(), c.name);
        EXPECT_EQ(kind->isPure(), c.pure) << c.name;
        EXPECT_EQ(kind->disposeWhenUnreachable(), c.disposes) << c.name;
    }
    EXPECT_EQ(pointerKind(kMaxPointerKinds), nullptr);
}

TEST(Heap, ErrorReports)
{
    setGlobal("Report-Pointer", eval(readText("(new-ptr 8)")));
    const struct {
        const char* form;
        std::string report;
    } cases[] = {
        { "(mref 5 Report-Pointer)", "Error: 1010-2, 5, #<class VELORA>, (), ()" },
        { "(mset -3 1 Report-Pointer)", "Error: 1010-2, -3, #<class VELORA>, (), ()" },
        { "(mref 1 (null-ptr))", "Error: 1010-2, <null pointer>, #<class VELORA>, (), ()" },
        { "(mref 1 (number->pointer 65536))", "Error: 1010-2, <pointer 10000>, #<class VELORA>, (), ()" },
        { "(mref 2 5)", "Error: 1010-2, 5, #<class VELORA>, (), ()" },
        { "(new-ptr -1)", "Error: 1010-2, -1, #<class VELORA>, (), ()" },
        { "(get-handle-size Report-Pointer)",
            "Error: 1010-2, " + printedText(globalValue(intern("Report-Pointer"))) + ", #<class VELORA>, (), ()" },
        { "(mref 1 Report-Pointer 0 1 2)", "" }, // inside the block: no report
    };
    for (auto& c : cases)
        EXPECT_EQ(reportOf([&] { evalText(c.form); }), c.report) << c.form;
}

TEST(Heap, CheckedRangeCoversTheWholeRange)
{
    uint32_t p = newMemoryPointer(32);
    const struct {
        uint32_t address;
        uint64_t size;
        bool inside;
    } cases[] = {
        { p, 32, true },
        { p + 31, 1, true },
        { 0, 1, false },
        { kSpaceOrigin, 1, false },           // the unused start of the space
        { 0xFFFFFFFFu, 2, false },            // wraps past 32 bits
        { p, uint64_t(1) << 32, false },      // runs past the end
        { uint32_t(kSpaceOrigin + kSpaceBytes - 4), 4, false },
    };
    for (auto& c : cases) {
        std::string report = reportOf([&] { EXPECT_EQ(checkedRange(c.address, c.size, kNil), hostAddress(c.address)); });
        EXPECT_EQ(report.empty(), c.inside) << std::hex << c.address << " " << c.size;
    }
    disposeMemoryPointer(p);
}

// ---- with-locked-handle ----

namespace {

enum class Exit { Normal, Throw, Error };
Exit gExit = Exit::Normal;
Handle gLocked = 0;
int32_t gSizeSeen = -1;
uint32_t gPurgedDuringCall = 1;
bool gDataSeen = false;

// Called by with-locked-handle: the handle must stay locked (and so unpurged) while it runs.
Value lockedProbe(Value pointer, Value size)
{
    gPurgedDuringCall = purgeHandles();
    gSizeSeen = handleSize(gLocked);
    gDataSeen = std::memcmp(checkedRange(pointerAddress(pointer), 4, pointer), "data", 4) == 0;
    if (gExit == Exit::Throw)
        throwTo(intern("out"), makeImmediate(3));
    if (gExit == Exit::Error)
        raiseError(ErrorCode::User, makeImmediate(4));
    return size;
}

} // namespace

TEST(Heap, WithLockedHandleUnlocksOnEveryExit)
{
    setGlobal("locked-probe", makePrimitive(AnyFn(lockedProbe), 2, "locked-probe", Tag::Primitive));
    Value h = eval(readText("(new-handle 64)"));
    setGlobal("Locked", h);
    gLocked = pointerAddress(h);
    const struct {
        Exit exit;
        const char* form;
        const char* result;
        bool reported;
    } cases[] = {
        { Exit::Normal, "(with-locked-handle Locked locked-probe)", "64", false },
        { Exit::Throw, "(catch 'out (with-locked-handle Locked locked-probe))", "3", false },
        { Exit::Error, "(with-locked-handle Locked locked-probe)", nullptr, true },
    };
    for (auto& c : cases) {
        purgeHandles();
        evalText("(set-handle-size Locked 64) (hpurge Locked)");
        std::memcpy(hostAddress(handleAddress(gLocked)), "data", 4);
        gExit = c.exit;
        gPurgedDuringCall = 1;
        gDataSeen = false;
        std::string result;
        std::string report = reportOf([&] { result = evalText(c.form); });
        EXPECT_EQ(report.empty(), !c.reported) << c.form;
        if (c.result)
            EXPECT_EQ(result, c.result) << c.form;
        EXPECT_EQ(gPurgedDuringCall, 0u) << c.form;
        EXPECT_EQ(gSizeSeen, 64) << c.form;
        EXPECT_TRUE(gDataSeen) << c.form;
        // Unlocked again: the purgeable handle goes at the next purge.
        EXPECT_EQ(purgeHandles(), 64u) << c.form;
        EXPECT_EQ(handleSize(gLocked), 0) << c.form;
    }
    gExit = Exit::Normal;
}

namespace {
Handle gTaker = 0;
// Takes a free handle entry and keeps it locked.
Value takeEntry()
{
    gTaker = newHandle(8);
    lockHandle(gTaker);
    return kNoValue;
}
} // namespace

// f may dispose of the handle it was given, and the entry may be taken again before f returns;
// the unlock then leaves the new owner's lock alone.
TEST(Heap, WithLockedHandleSurvivesDisposalInsideF)
{
    setGlobal("take-entry", makePrimitive(AnyFn(takeEntry), 0, "take-entry", Tag::Primitive));
    Value h = eval(readText("(new-handle 8)"));
    setGlobal("Doomed", h);
    Handle entry = pointerAddress(h);
    std::string result
        = evalText("(with-locked-handle Doomed (lambda (_p _n) (dispose-handle Doomed) (take-entry) _n))");
    EXPECT_EQ(result, "8");
    ASSERT_EQ(gTaker, entry); // the freed entry was the first free one
    setHandlePurgeable(gTaker, true);
    EXPECT_EQ(purgeHandles(), 0u); // still locked
    unlockHandle(gTaker);
    EXPECT_EQ(purgeHandles(), 8u);
    disposeHandle(gTaker);
}

TEST(Heap, NewHandleThatCannotBeHadIsEntryZero)
{
    Handle a = newHandle(1);
    disposeHandle(a);
    EXPECT_EQ(newHandle(0x7FFFFFF0u), 0u);
    EXPECT_EQ(newMemoryPointer(0x7FFFFFF0u), 0u);
    Handle b = newHandle(1); // the failed attempt took no entry
    EXPECT_EQ(b, a);
    disposeHandle(b);
}

// What the collector calls for an unreachable pointer: the kind frees what the pointer holds.
TEST(Heap, KindsDisposeWhatTheyHold)
{
    Value memory = eval(readText("(new-ptr 24)"));
    Value handle = eval(readText("(new-handle 24)"));
    Value plain = makePointer(gPlainPointerKind, pointerAddress(memory));
    uint32_t address = pointerAddress(memory);
    Handle h = pointerAddress(handle);
    pointerKind(pointerKindIndex(plain))->dispose(plain); // a plain pointer owns nothing
    EXPECT_TRUE(isMemoryPointer(address));
    EXPECT_EQ(pointerAddress(plain), address);
    pointerKind(pointerKindIndex(memory))->dispose(memory);
    EXPECT_FALSE(isMemoryPointer(address));
    EXPECT_EQ(pointerAddress(memory), 0u);
    pointerKind(pointerKindIndex(handle))->dispose(handle);
    EXPECT_FALSE(isHandle(h));
    EXPECT_EQ(pointerAddress(handle), 0u);
    // Disposing again finds nothing to free.
    pointerKind(pointerKindIndex(memory))->dispose(memory);
    pointerKind(pointerKindIndex(handle))->dispose(handle);
    EXPECT_EQ(printedText(memory), "<null memory pointer>");
    EXPECT_EQ(printedText(handle), "<null handle>");
}
