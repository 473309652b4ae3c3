// Kernel/Memory.cpp: memory start and shutdown, cells, blocks, growth, the handle manager and
// pointer kinds. The Memory Module's primitives are at the end.
#include "Kernel/Memory.h"

#include "Kernel/Error.h"
#include "Kernel/Frame.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"
#include "Interfac/VAlert.h"
#include "Platform/Host.h"

#include <algorithm>
#include <cstdio>
#include <vector>

ParameterBlock gParams;
MemoryAreas gAreas;
uint8_t* gCellBase = nullptr;
Value* gLispSP = nullptr;
uint32_t gFreeCells = 0;
uint32_t gFreeListHead = 0;
uint32_t gConsCollectBelow = 2;
uint32_t gChainHead = 0;
uint32_t gChainTail = 0;
Value gEmptyString = 0;
Value gSelf = kNoObject;
uintptr_t gCStackLimit = 0;
bool gFullCollectionRequested = false;

namespace {

bool gMemoryStarted = false;
uint32_t gBudget = 0; // the memory budget in force

// ---- Handle manager ----

struct HandleEntry {
    int32_t size = -1;        // -1 for a free entry
    uint32_t memory = 0;      // Lisp address of the data, or the next free index for a free entry
    uint8_t purgeable = 0;
    uint8_t discarded = 0;    // purged: the memory is gone but the entry stays
    uint16_t locks = 0;
};

std::vector<HandleEntry> gHandles(1); // entry 0 is never used
uint32_t gFreeHandle = 0;             // head of the free-entry list
uint64_t gHandleTotal = 0;            // sum of allocated sizes
std::vector<HandleReloader> gReloaders;

bool growHandleTable()
{
    size_t old = gHandles.size();
    try {
        gHandles.resize(old + 32);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t i = gHandles.size() - 1; i >= old; --i) {
        gHandles[i].memory = gFreeHandle;
        gFreeHandle = static_cast<uint32_t>(i);
    }
    return true;
}

HandleEntry* entry(Handle h)
{
    if (h == 0 || h >= gHandles.size() || gHandles[h].size < 0)
        return nullptr;
    return &gHandles[h];
}

} // namespace

uint32_t freeHeap()
{
    if (gHandleTotal > gBudget)
        return 0;
    uint64_t left = gBudget - gHandleTotal;
    uint64_t available = hostAvailableMemory();
    available = available > 1000000 ? available - 1000000 : 0;
    return static_cast<uint32_t>(std::min<uint64_t>({ left, available, 0xFFFFFFFFull }));
}

uint32_t purgeHandles()
{
    uint32_t freed = 0;
    for (size_t i = 1; i < gHandles.size(); ++i) {
        HandleEntry& e = gHandles[i];
        if (e.size > 0 && e.purgeable && e.locks == 0 && e.memory) {
            spaceFree(e.memory);
            gHandleTotal -= static_cast<uint32_t>(e.size);
            freed += static_cast<uint32_t>(e.size);
            e.size = 0;
            e.memory = 0;
            e.discarded = 1;
        }
    }
    return freed;
}

Handle newHandle(uint32_t size)
{
    if (size >= freeHeap())
        purgeHandles();
    if (!gFreeHandle && !growHandleTable())
        raiseError(ErrorCode::MemoryExhausted, kNil);
    Handle h = gFreeHandle;
    uint32_t memory = 0;
    if (size > 0) {
        memory = spaceAllocateZeroed(size);
        if (!memory)
            return 0;
    }
    HandleEntry& e = gHandles[h];
    gFreeHandle = e.memory;
    e = HandleEntry {};
    e.size = static_cast<int32_t>(size);
    e.memory = memory;
    gHandleTotal += size;
    return h;
}

bool isHandle(Handle h) { return entry(h) != nullptr; }

int32_t handleSize(Handle h)
{
    HandleEntry* e = entry(h);
    return e ? e->size : -1;
}

uint32_t handleAddress(Handle h)
{
    HandleEntry* e = entry(h);
    return e ? e->memory : 0;
}

bool setHandleSize(Handle h, uint32_t size)
{
    HandleEntry* e = entry(h);
    if (!e)
        return false;
    if (size == 0) {
        if (e->locks > 0)
            return false;
        spaceFree(e->memory);
        gHandleTotal -= static_cast<uint32_t>(e->size);
        e->memory = 0;
        e->size = 0;
        return true;
    }
    // A locked handle's data is in use at its address: it may only change size in place.
    uint32_t memory = e->memory;
    if (e->locks > 0 && memory) {
        if (!spaceResizeInPlace(memory, size))
            return false;
    } else {
        memory = spaceReallocate(memory, size);
        if (!memory)
            return false;
    }
    if (static_cast<uint32_t>(e->size) < size)
        std::memset(hostAddress(memory) + e->size, 0, size - static_cast<uint32_t>(e->size));
    gHandleTotal += size;
    gHandleTotal -= static_cast<uint32_t>(e->size);
    e->memory = memory;
    e->size = static_cast<int32_t>(size);
    e->discarded = 0;
    return true;
}

void disposeHandle(Handle h)
{
    HandleEntry* e = entry(h);
    if (!e)
        return;
    spaceFree(e->memory);
    gHandleTotal -= static_cast<uint32_t>(e->size);
    *e = HandleEntry {};
    e->memory = gFreeHandle;
    gFreeHandle = h;
}

uint32_t lockHandle(Handle h)
{
    HandleEntry* e = entry(h);
    if (e && e->size == 0 && e->discarded) {
        for (HandleReloader reload : gReloaders)
            if (reload(h))
                break;
        e = entry(h);
    }
    if (!e || e->size == 0 || !e->memory)
        raiseError(ErrorCode::HandleEmpty, kNil);
    ++e->locks;
    return e->memory;
}

void unlockHandle(Handle h)
{
    if (HandleEntry* e = entry(h); e && e->locks > 0)
        --e->locks;
}

void setHandlePurgeable(Handle h, bool purgeable)
{
    if (HandleEntry* e = entry(h))
        e->purgeable = purgeable;
}

void addHandleReloader(HandleReloader reloader) { gReloaders.push_back(reloader); }

// ---- Memory pointers ----

uint32_t newMemoryPointer(uint32_t size)
{
    if (size > 0xFFFFFFF0u)
        return 0;
    Handle h = newHandle(size + 4);
    if (!h)
        return 0;
    uint32_t data = lockHandle(h);
    std::memcpy(hostAddress(data), &h, 4);
    return data + 4;
}

bool isMemoryPointer(uint32_t address)
{
    if (!isSpaceRange(address - 4, 4))
        return false;
    Handle h;
    std::memcpy(&h, hostAddress(address - 4), 4);
    return entry(h) && gHandles[h].memory == address - 4;
}

uint32_t memoryPointerSize(uint32_t address)
{
    if (!isMemoryPointer(address))
        return 0;
    Handle h;
    std::memcpy(&h, hostAddress(address - 4), 4);
    return static_cast<uint32_t>(gHandles[h].size) - 4;
}

void disposeMemoryPointer(uint32_t address)
{
    if (!isMemoryPointer(address))
        return;
    Handle h;
    std::memcpy(&h, hostAddress(address - 4), 4);
    disposeHandle(h);
}

// ---- Memory start and shutdown ----

namespace {

[[noreturn]] void notEnoughMemory(int64_t kilobytes)
{
    showAlert(5000, { std::to_string(kilobytes) });
    throw VEr_Quit {};
}

void initFreeCells(uint32_t first, uint32_t last) // offsets; links first..last in address order
{
    for (uint32_t offset = first; offset <= last; offset += 8) {
        Cell& c = cellAt(offset);
        c.car = kNil;
        c.cdr = offset == last ? kNil : offset + 8;
    }
}

} // namespace

bool memoryStarted() { return gMemoryStarted; }

void startMemory()
{
    spaceEnsureReserved();
    numberPointerKinds();
    ParameterBlock& p = gParams;
    uint64_t available = hostAvailableMemory();
    int64_t budget = std::min<int64_t>(p.memoryBudget, static_cast<int64_t>(available) - 1000000);
    p.cStackBytes -= 2000;
    gCStackLimit = reinterpret_cast<uintptr_t>(gTopFrame) - static_cast<uintptr_t>(std::max(p.cStackBytes, 0));

    auto fixed = [&] {
        return int64_t(p.heapReserve) + 16 * int64_t(p.symbolCount) + 4 * int64_t(p.lispStackWords) + 32
            + 8 * int64_t(p.cellCount) + 4 * int64_t(p.prologStackWords);
    };
    int64_t spare = budget - (fixed() + p.blockBytes);
    if (spare < 0)
        notEnoughMemory(1 - spare / 1024);
    p.cellCount = static_cast<int32_t>(std::min<int64_t>(p.cellCount + (spare / 800) * p.cellsPer800, 1048576));
    p.heapReserve = static_cast<int32_t>((spare / 100) * p.heapPercent + p.heapReserve);
    int64_t blockSize = budget - p.heapReserve;
    p.blockBytes = static_cast<int32_t>(budget - fixed());
    gBudget = static_cast<uint32_t>(budget);

    uint32_t block = newMemoryPointer(static_cast<uint32_t>(blockSize));
    if (!block)
        notEnoughMemory(blockSize / 1024);

    MemoryAreas& a = gAreas;
    a = MemoryAreas {};
    a.memoryBlock = block;
    a.memoryBlockSize = static_cast<uint32_t>(blockSize);
    uint32_t at = (block + 15) & ~15u;
    a.symbols = hostAddress(at);
    at += 16 * p.symbolCount;
    a.lispStackBase = reinterpret_cast<Value*>(hostAddress(at));
    a.lispStackEnd = a.lispStackBase + p.lispStackWords;
    a.lispStackLimit = a.lispStackBase + std::max(p.lispStackWords - 500, 0);
    at += 4 * p.lispStackWords;
    a.prologStackBase = reinterpret_cast<uint32_t*>(hostAddress(at));
    a.prologStackEnd = a.prologStackBase + p.prologStackWords;
    at += 4 * p.prologStackWords;
    at = (at + 7) & ~7u;
    gCellBase = hostAddress(at);
    a.cellCount = static_cast<uint32_t>(p.cellCount);
    at += 8 * a.cellCount;
    a.blockStart = a.blockAlloc = at;
    a.blockEnd = block + a.memoryBlockSize;

    initSymbolTable();
    gLispSP = a.lispStackBase;
    if (p.prologStackWords > 0)
        a.prologStackEnd[-1] = kEnd;

    cellAt(0) = { 0xFFFFFFFFu, 0xFFFFFFFFu };
    initFreeCells(8, (a.cellCount - 1) * 8);
    gFreeCells = a.cellCount - 1;
    gFreeListHead = 8;

    Value chain = cons(kNil, kNil);
    gChainHead = gChainTail = payloadOf(chain);
    *hostAddress(a.blockAlloc) = 0;
    gEmptyString = commitBlock(1, Tag::String, Tag::StringHeader);

    gSelf = kNoObject;
    gMemoryStarted = true;
    Sym::nil = internWithValue("nil", kNil);
    Sym::t = intern("t");
    kTrue = Sym::t;
    setGlobalValue(Sym::t, Sym::t);
    restoreMemoryReserve();
}

void stopMemory()
{
    if (!gMemoryStarted)
        return;
    gMemoryStarted = false;
    disposeMemoryPointer(gAreas.memoryBlock);
    for (size_t i = 1; i < gHandles.size(); ++i)
        if (gHandles[i].size >= 0)
            disposeHandle(static_cast<Handle>(i));
    gHandles.assign(1, HandleEntry {});
    gFreeHandle = 0;
    gHandleTotal = 0;
    gAreas = MemoryAreas {};
    gCellBase = nullptr;
}

// ---- Cells and blocks ----

namespace {

[[noreturn]] void outOfMemory()
{
    int button = showAlert(5600, {});
    if (button == 2)
        throw VEr_Quit {};
    throwTo(Sym::toplevel, kNil);
}

// The emergency reserve: cells and block space that ordinary allocation leaves alone, so that
// when memory runs out the report, and the forms read and evaluated after it (the one that
// drops the data, say), still find room. Exhaustion releases it; a collection that leaves room
// for it again takes it back.
constexpr uint32_t kReserveCells = 10000;
constexpr uint32_t kReserveBlockBytes = 64 * 1024;
uint32_t gReservedCells = 0;     // 0 while released
uint32_t gReservedBlockBytes = 0;

void setReserve(bool held)
{
    gReservedCells = held ? kReserveCells : 0;
    gReservedBlockBytes = held ? kReserveBlockBytes : 0;
    if (!gCollectorStress)
        gConsCollectBelow = 2 + gReservedCells;
}

// Allocation failed after collecting and growing: the first time, the reserve is handed over
// for what follows the report; once it is spent, the report alone.
[[noreturn]] void memoryExhausted()
{
    if (gReservedCells != 0)
        setReserve(false);
    outOfMemory();
}

} // namespace

uint32_t reservedCells() { return gReservedCells; }
uint32_t reservedBlockBytes() { return gReservedBlockBytes; }
bool memoryReserveHeld() { return gReservedCells != 0; }

void restoreMemoryReserve()
{
    if (gReservedCells == 0 && gFreeCells >= 2 * kReserveCells && freeBlockBytes() >= 2 * kReserveBlockBytes)
        setReserve(true);
}

void consSlowPath()
{
    if (gCollectorStress && gFreeCells >= 2 + gReservedCells && !stressCollectionDue())
        return;
    collectGarbage(false);
    if (gFreeCells < 5000 + gReservedCells)
        growCells(5000);
    if (gFreeCells < 2 + gReservedCells)
        memoryExhausted();
}

uint32_t freeBlockBytes() { return gAreas.blockEnd - gAreas.blockAlloc; }

void reserveBlock(uint32_t n)
{
    uint64_t wanted = uint64_t(n) + gReservedBlockBytes;
    if (freeBlockBytes() >= wanted && gFreeCells > 1 + gReservedCells
        && (!gCollectorStress || !stressCollectionDue()))
        return;
    collectGarbage(false);
    if (gFreeCells < 5000 + gReservedCells)
        growCells(5000);
    wanted = uint64_t(n) + gReservedBlockBytes;
    if (freeBlockBytes() < wanted || gFreeCells <= 1 + gReservedCells)
        memoryExhausted();
}

Value commitBlock(uint32_t n, uint32_t valueTag, uint32_t headerTag)
{
    if (gFreeCells == 0)
        outOfMemory();
    uint32_t tail = gChainTail;
    // The cell that reserveBlock guaranteed, taken without the collection check of cons: a
    // collection here (the stress mode collects on every cons) would compact the block area
    // under the data just written at its free end.
    uint32_t offset = gFreeListHead;
    Cell& fresh = cellAt(offset);
    gFreeListHead = payloadOf(fresh.cdr);
    --gFreeCells;
    fresh = { 0, 0 };
    Value next = makeValue(Tag::List, offset);
    Cell& t = cellAt(tail);
    t.car = (t.car & (kMarkBit | kPermanentBit)) | (headerTag << 24) | payloadOf(next);
    t.cdr = gAreas.blockAlloc;
    gAreas.blockAlloc += blockExtent(n);
    gChainTail = payloadOf(next);
    return makeValue(valueTag, tail);
}

uint32_t blockSize(uint32_t header, uint32_t data)
{
    const uint8_t* p = hostAddress(data);
    uint32_t n;
    switch (header) {
    case Tag::ArrayHeader: {
        uint16_t rank;
        std::memcpy(&n, p, 4);
        std::memcpy(&rank, p + 4, 2);
        return 4 * n + 2 * rank + 6;
    }
    case Tag::VectorHeader:
        std::memcpy(&n, p, 4);
        return 4 * n + 4;
    case Tag::RealHeader:
        return 8;
    case Tag::StringHeader:
        return static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(p))) + 1;
    case Tag::RecordHeader:
        return 50;
    case Tag::ClassHeader:
        return 42;
    case Tag::InstanceHeader:
        // Each instance records its own size (word 3): instances made before a class's layout
        // was fixed again keep their size, whatever the class says now.
        std::memcpy(&n, p + 12, 4);
        return n;
    case Tag::RawHeader:
        std::memcpy(&n, p, 4);
        return n;
    default:
        return 0;
    }
}

Value makeReal(double x)
{
    reserveBlock(8);
    std::memcpy(blockFreeEnd(), &x, 8);
    return commitBlock(8, Tag::Real, Tag::RealHeader);
}

double realValue(Value v)
{
    double x;
    std::memcpy(&x, blockData(v), 8);
    return x;
}

Value makeString(const char* chars, size_t length)
{
    if (length == 0)
        return gEmptyString;
    if (length > 0x7FFFFFF0u)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    // The source may itself be block data, which reserving can move: take a copy first.
    std::string copy;
    if (isSpaceHost(chars)) {
        copy.assign(chars, length);
        chars = copy.data();
    }
    uint32_t n = static_cast<uint32_t>(length) + 1;
    reserveBlock(n);
    uint8_t* at = blockFreeEnd();
    std::memcpy(at, chars, length);
    at[length] = 0;
    // An embedded zero byte ends the string: the block size is read from the terminator.
    return commitBlock(static_cast<uint32_t>(std::strlen(reinterpret_cast<char*>(at))) + 1, Tag::String,
        Tag::StringHeader);
}

Value makeString(const char* chars) { return makeString(chars, std::strlen(chars)); }

const char* stringChars(Value v) { return reinterpret_cast<const char*>(blockData(v)); }
uint32_t stringLength(Value v) { return static_cast<uint32_t>(std::strlen(stringChars(v))); }

Value makeVector(uint32_t n, Value fill)
{
    if (n > 0x1FFFFFF0u)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    uint32_t bytes = 4 * n + 4;
    reserveBlock(bytes);
    uint8_t* at = blockFreeEnd();
    std::memcpy(at, &n, 4);
    auto* elements = reinterpret_cast<Value*>(at + 4); // blocks start at multiples of 4
    std::fill(elements, elements + n, fill);
    return commitBlock(bytes, Tag::Vector, Tag::VectorHeader);
}

uint32_t vectorLength(Value v)
{
    uint32_t n;
    std::memcpy(&n, blockData(v), 4);
    return n;
}

Value* vectorElements(Value v) { return reinterpret_cast<Value*>(blockData(v) + 4); }

Value makeRawBlock(uint32_t dataBytes)
{
    if (dataBytes > 0x7FFFFFF0u)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    uint32_t bytes = dataBytes + 4;
    reserveBlock(bytes);
    uint8_t* at = blockFreeEnd();
    std::memcpy(at, &bytes, 4);
    std::memset(at + 4, 0, dataBytes);
    return commitBlock(bytes, Tag::RawBlock, Tag::RawHeader);
}

// ---- Growth ----

namespace {

// Slides the used part of the block area up by delta bytes, updating every descriptor.
void slideBlocksUp(uint32_t delta)
{
    MemoryAreas& a = gAreas;
    uint8_t* from = hostAddress(a.blockStart);
    std::memmove(from + delta, from, a.blockAlloc - a.blockStart);
    for (uint32_t c = gChainHead; c != gChainTail; c = payloadOf(cellAt(c).car))
        cellAt(c).cdr += delta;
    a.blockStart += delta;
    a.blockAlloc += delta;
}

} // namespace

bool growCells(uint32_t requested)
{
    if (!gParams.growable)
        return false;
    uint32_t r = requested <= 5000 ? 5000 : requested;
    MemoryAreas& a = gAreas;
    if (uint64_t(a.cellCount) + r > 2097152)
        return false;
    if (uint64_t(freeBlockBytes()) < 8ull * r + gReservedBlockBytes)
        return false;
    uint32_t gap = a.gapBelowBlocks;
    uint32_t slide = 8 * r > gap ? 8 * r - gap : 0;
    slideBlocksUp(slide); // the new cells take the gap left by the move primitives first
    a.gapBelowBlocks = gap + slide - 8 * r;
    uint32_t first = a.cellCount * 8;
    uint32_t last = (a.cellCount + r - 1) * 8;
    initFreeCells(first, last);
    // Append the new cells at the end of the free list.
    if (gFreeListHead == 0) {
        gFreeListHead = first;
    } else {
        uint32_t offset = gFreeListHead;
        while (payloadOf(cellAt(offset).cdr) != 0)
            offset = payloadOf(cellAt(offset).cdr);
        cellAt(offset).cdr = first;
    }
    a.cellCount += r;
    gFreeCells += r;
    gParams.cellCount = static_cast<int32_t>(a.cellCount);
    return true;
}

bool growHeap(int64_t n)
{
    if (!gParams.growable || n < 0)
        return false;
    uint64_t free = freeBlockBytes();
    if (free < uint64_t(n))
        return false;
    uint64_t amount = free >= uint64_t(n) + 100000 ? uint64_t(n) + 100000 : (free >= 2 * uint64_t(n) ? 2 * uint64_t(n) : uint64_t(n));
    MemoryAreas& a = gAreas;
    a.blockEnd -= static_cast<uint32_t>(amount);
    a.memoryBlockSize -= static_cast<uint32_t>(amount);
    gParams.heapReserve += static_cast<int32_t>(amount);
    gParams.blockBytes -= static_cast<int32_t>(amount);
    // The memory pointer keeps its 4-byte entry index in front of the block.
    Handle h;
    std::memcpy(&h, hostAddress(a.memoryBlock - 4), 4);
    spaceShrink(a.memoryBlock - 4, a.memoryBlockSize + 4);
    gHandleTotal -= amount;
    gHandles[h].size = static_cast<int32_t>(a.memoryBlockSize + 4);
    return true;
}

void lispStackOverflow()
{
    // Leave room for the report itself.
    raiseError(ErrorCode::MemoryExhausted, kNil);
}

// ---- Pointer kinds ----

namespace {
PointerKind* gKinds[kMaxPointerKinds] = {};
uint32_t gKindCount = 0;
} // namespace

PointerKind::PointerKind(const char* name)
    : m_name(name)
    , m_index(gKindCount)
{
    if (gKindCount >= kMaxPointerKinds) {
        std::fputs("velora: too many pointer kinds\n", stderr);
        std::abort();
    }
    gKinds[gKindCount++] = this;
}

// Kinds are constructed during static initialisation, whose order across units C++ leaves open;
// memory start numbers them so that the three kinds of this unit come first, in their order,
// and the others follow in construction order.
void numberPointerKinds()
{
    const char* first[] = { "pointer", "memory pointer", "handle" };
    PointerKind* ordered[kMaxPointerKinds];
    uint32_t n = 0;
    for (const char* name : first)
        for (uint32_t i = 0; i < gKindCount; ++i)
            if (std::strcmp(gKinds[i]->name(), name) == 0)
                ordered[n++] = gKinds[i];
    for (uint32_t i = 0; i < gKindCount; ++i)
        if (std::find(ordered, ordered + n, gKinds[i]) == ordered + n)
            ordered[n++] = gKinds[i];
    for (uint32_t i = 0; i < n; ++i) {
        gKinds[i] = ordered[i];
        gKinds[i]->m_index = i;
    }
}

std::string PointerKind::print(Value pointer)
{
    char text[96];
    std::snprintf(text, sizeof text, "<%s %lx>", m_name, static_cast<unsigned long>(pointerAddress(pointer)));
    return text;
}

PointerKind* pointerKind(uint32_t index) { return index < gKindCount ? gKinds[index] : nullptr; }

namespace {

class PlainPointerKind final : public PointerKind {
public:
    PlainPointerKind() : PointerKind("pointer") {}
};

class MemoryPointerKind final : public PointerKind {
public:
    MemoryPointerKind() : PointerKind("memory pointer") {}
    std::string print(Value pointer) override
    {
        char text[128];
        uint32_t address = pointerAddress(pointer);
        std::snprintf(text, sizeof text, "<%s %lx of size %d>", name(), static_cast<unsigned long>(address),
            static_cast<int>(memoryPointerSize(address)));
        return text;
    }
    void dispose(Value pointer) override
    {
        disposeMemoryPointer(pointerAddress(pointer));
        cellOf(pointer).cdr = 0;
    }
    bool disposeWhenUnreachable() override { return true; }
};

class HandleKind final : public PointerKind {
public:
    HandleKind() : PointerKind("handle") {}
    bool holdsHandle() override { return true; }
    std::string print(Value pointer) override
    {
        char text[128];
        Handle h = pointerAddress(pointer);
        std::snprintf(text, sizeof text, "<%s %lx of size %d>", name(), static_cast<unsigned long>(h),
            static_cast<int>(std::max(handleSize(h), 0)));
        return text;
    }
    void dispose(Value pointer) override
    {
        disposeHandle(pointerAddress(pointer));
        cellOf(pointer).cdr = 0;
    }
    bool isPure() override { return true; }
    bool disposeWhenUnreachable() override { return true; }
};

// Registered in this order: "pointer" 0, "memory pointer" 1, "handle" 2.
PlainPointerKind gPlainKind;
MemoryPointerKind gMemoryKind;
HandleKind gHandleKindObject;

} // namespace

PointerKind& gPlainPointerKind = gPlainKind;
PointerKind& gMemoryPointerKind = gMemoryKind;
PointerKind& gHandleKind = gHandleKindObject;

Value makePointer(PointerKind& kind, uint32_t address)
{
    Value v = cons(0, address);
    cellOf(v).car = (Tag::PointerHeader << 24) | kind.index();
    return retag(v, Tag::Pointer);
}

uint32_t toPointerAddress(Value v)
{
    if (!isPointer(v))
        raiseWrongType(v);
    return pointerAddress(v);
}

Handle toHandle(Value v)
{
    if (!isPointer(v))
        raiseWrongType(v);
    PointerKind* kind = pointerKind(pointerKindIndex(v));
    if (!kind || !kind->holdsHandle())
        raiseWrongType(v);
    return pointerAddress(v);
}

uint8_t* checkedRange(uint32_t address, uint64_t size, Value culprit)
{
    if (!isSpaceRange(address, size))
        raiseWrongType(culprit);
    return hostAddress(address);
}

// ---- The Memory Module ----

namespace {

Value memoryGrowable() { return boolValue(gParams.growable != 0); }

Value setMemoryGrowable(Value flag)
{
    gParams.growable = isFlagSet(flag);
    return kNoValue;
}

Value moveSymbols(Value bytes)
{
    // The symbol table has no free space around it inside the memory block: any move other than
    // by zero would overwrite the stacks, so it is refused.
    if (toInt32(bytes) != 0)
        raiseWrongType(bytes);
    return kNoValue;
}

Value moveStack(Value) { return kNoValue; }

Value moveNodes(Value bytes)
{
    int32_t n = toInt32(bytes);
    MemoryAreas& a = gAreas;
    if (n % 8 != 0)
        raiseWrongType(bytes);
    uint32_t cellBytes = a.cellCount * 8;
    if (n > 0) {
        uint32_t delta = static_cast<uint32_t>(n);
        // Room above the cells: the gap left below the blocks, then the block area's free end.
        if (a.gapBelowBlocks < delta) {
            uint32_t need = delta - a.gapBelowBlocks;
            if (freeBlockBytes() < need)
                return kNil;
            slideBlocksUp(need);
            a.gapBelowBlocks += need;
        }
        std::memmove(gCellBase + delta, gCellBase, cellBytes);
        gCellBase += delta;
        a.gapBelowBlocks -= delta;
        a.gapBelowCells += delta;
    } else if (n < 0) {
        uint32_t delta = 0u - static_cast<uint32_t>(n);
        if (a.gapBelowCells < delta)
            return kNil;
        std::memmove(gCellBase - delta, gCellBase, cellBytes);
        gCellBase -= delta;
        a.gapBelowCells -= delta;
        a.gapBelowBlocks += delta;
    }
    return kTrue;
}

Value moveIndirects(Value bytes)
{
    int32_t n = toInt32(bytes);
    MemoryAreas& a = gAreas;
    if (n % int32_t(kBlockAlignment) != 0) // blocks keep their alignment
        raiseWrongType(bytes);
    if (n >= 0) {
        if (freeBlockBytes() < static_cast<uint32_t>(n))
            return kNil;
        slideBlocksUp(static_cast<uint32_t>(n));
        a.gapBelowBlocks += static_cast<uint32_t>(n);
    } else {
        uint32_t delta = 0u - static_cast<uint32_t>(n);
        if (a.gapBelowBlocks < delta)
            return kNil;
        uint8_t* from = hostAddress(a.blockStart);
        std::memmove(from - delta, from, a.blockAlloc - a.blockStart);
        for (uint32_t c = gChainHead; c != gChainTail; c = payloadOf(cellAt(c).car))
            cellAt(c).cdr -= delta;
        a.blockStart -= delta;
        a.blockAlloc -= delta;
        a.gapBelowBlocks -= delta;
    }
    return kTrue;
}

Value growNodes(Value count)
{
    int32_t n = toInt32(count);
    collectGarbage(false);
    return boolValue(n >= 0 && growCells(static_cast<uint32_t>(n)));
}

Value growHeapPrimitive(Value bytes) { return boolValue(growHeap(toInt32(bytes))); }

Value integerList(std::initializer_list<int64_t> numbers)
{
    Value result = kNil;
    std::vector<int64_t> all(numbers);
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        result = cons(makeInteger(*it), result);
    return result;
}

Value spaceSubr()
{
    const ParameterBlock& p = gParams;
    return integerList({ p.symbolCount, p.lispStackWords, p.prologStackWords, gAreas.cellCount,
        gAreas.blockEnd - gAreas.blockStart, p.heapReserve, p.cStackBytes });
}

Value freeSpaceSubr()
{
    char here;
    uintptr_t position = reinterpret_cast<uintptr_t>(&here);
    int64_t cFree = position > gCStackLimit ? int64_t(position - gCStackLimit) : 0;
    return integerList({ freeSymbolRecords(), gAreas.lispStackLimit - gLispSP, 0, gFreeCells, freeBlockBytes(),
        std::min<int64_t>(gParams.heapReserve, freeHeap()), cFree });
}

Value spaceSizeSubr() { return integerList({ 16, 4, 4, 8, 1, 1, 1 }); }

Value printTraceString(Value) { return kNoValue; }

class MemoryModule final : public Module {
public:
    MemoryModule() : Module("Memory") {}
    void markRoots() override { mark(gSelf); }
    void start() override
    {
        Module::start();
        defineFunction0("memory-growable?", memoryGrowable);
        defineFunction1("set-memory-growable?", setMemoryGrowable);
        defineFunction1("move-symbols", moveSymbols);
        defineFunction1("move-lisp-stack", moveStack);
        defineFunction1("move-prolog-stack", moveStack);
        defineFunction1("move-nodes", moveNodes);
        defineFunction1("move-indirects", moveIndirects);
        defineFunction1("grow-nodes", growNodes);
        defineFunction1("grow-heap", growHeapPrimitive);
        defineFunction0("space-subr", spaceSubr);
        defineFunction0("free-space-subr", freeSpaceSubr);
        defineFunction0("space-size-subr", spaceSizeSubr);
        defineFunction1("print-trace-string", printTraceString);
    }
} memoryModule;

} // namespace
