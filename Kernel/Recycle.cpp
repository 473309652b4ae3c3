// Kernel/Recycle.cpp: the garbage collector (mark, compact the block area, sweep the cells).
//
// Unoptimised builds still optimise this unit: the stress mode of the tests collects on every
// allocation, and an unoptimised sweep would make those runs crawl.
#if defined(__GNUC__) && !defined(__clang__) && !defined(__OPTIMIZE__)
#pragma GCC optimize("O2")
#endif
#include "Kernel/Recycle.h"

#include "Kernel/Error.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Symbol.h"

#include <algorithm>
#include <csetjmp>
#include <vector>

bool gCollectorStress = false;
uint32_t gCollectorStressInterval = 1;
ObjectCollectorHooks gObjectCollectorHooks;

namespace {

int gCollections = 0;
bool gCollecting = false;
bool gLastFull = false;
uint32_t gMarkMask = 0; // 0x80000000 full, 0xC0000000 partial; a cell is marked when word 0 & mask
bool gChainDamaged = false;

// Reference kind per Value tag: 0 none (immediates), -1 a pair-form cell, else the header tag
// that the designated descriptor cell carries.
constexpr int8_t kPairKind = -1;
constexpr auto kReferenceKinds = [] {
    struct Table {
        int8_t kind[64] = {};
    } t;
    for (uint32_t tag : { 0x04u, 0x09u, 0x0Bu, 0x0Eu, 0x11u, 0x12u, 0x13u, 0x15u, 0x16u, 0x19u, 0x3Du, 0x3Fu })
        t.kind[tag] = kPairKind;
    const uint32_t pairs[][2] = { { 0x03, 0x1D }, { 0x06, 0x1C }, { 0x07, 0x1E }, { 0x0A, 0x39 }, { 0x0C, 0x18 },
        { 0x0D, 0x18 }, { 0x0F, 0x38 }, { 0x10, 0x1A }, { 0x14, 0x35 }, { 0x33, 0x23 }, { 0x34, 0x23 }, { 0x3A, 0x37 },
        { 0x3B, 0x3C }, { 0x3E, 0x17 } };
    for (auto& p : pairs)
        t.kind[p[0]] = static_cast<int8_t>(p[1]);
    return t;
}();

inline int referenceKind(uint32_t tag) { return kReferenceKinds.kind[tag]; }
inline bool isPairFormTag(uint32_t tag) { return kReferenceKinds.kind[tag] == kPairKind; }

bool isChainedHeader(uint32_t header)
{
    switch (header) {
    case Tag::ArrayHeader:
    case Tag::VectorHeader:
    case Tag::RealHeader:
    case Tag::StringHeader:
    case Tag::RecordHeader:
    case Tag::ClassHeader:
    case Tag::InstanceHeader:
    case Tag::RawHeader:
        return true;
    default:
        return false;
    }
}

bool isHeaderTag(uint32_t tag)
{
    return isChainedHeader(tag) || tag == Tag::DescriptorHeader || tag == Tag::HashHeader
        || tag == Tag::BigDigitHeader || tag == Tag::PointerHeader;
}

inline bool validCell(uint32_t offset) { return isCellOffset(offset); }
inline bool isMarked(const Cell& c) { return (c.car & gMarkMask) != 0; }

// Host address of size bytes of block data at address, or nullptr when the range is not inside
// the used block area (a damaged descriptor must not make the marker read wild memory).
const uint8_t* blockRange(uint32_t address, uint64_t size)
{
    if (address < gAreas.blockStart || address > gAreas.blockAlloc || size > gAreas.blockAlloc - address)
        return nullptr;
    return hostAddress(address);
}

// ---- Marking ----

std::vector<Value> gMarkStack; // Values still to be marked
bool gDraining = false;

// Queues v unless it references nothing or its cell is already marked.
inline void push(Value v)
{
    if (referenceKind(tagOf(v)) == 0)
        return;
    uint32_t offset = payloadOf(v);
    if (!validCell(offset) || isMarked(cellAt(offset)))
        return;
    gMarkStack.push_back(v);
}

void pushValues(const uint8_t* p, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        Value v;
        std::memcpy(&v, p + 4 * i, 4);
        push(v);
    }
}

// Whether w designates a cell as the conservative scans require: a reference tag, a cell offset
// inside the area, and for descriptor kinds the expected header tag.
inline bool looksLikeReference(uint32_t w)
{
    if ((w >> 24) >= 64)
        return false;
    int kind = referenceKind(w >> 24);
    if (kind == 0)
        return false;
    uint32_t offset = payloadOf(w);
    if (!validCell(offset))
        return false;
    const Cell& c = cellAt(offset);
    if (kind != kPairKind)
        return tagOf(c.car) == static_cast<uint32_t>(kind);
    // A free cell (nil, then an untagged link) cannot be designated by anything live; most of
    // the area is free, so this keeps stray words from holding free cells off the free list.
    return !(c.car == kNil && tagOf(c.cdr) == 0);
}

// The Value that designates the cell at offset, from what its word 0 holds; 0 when the cell is
// free or the offset is not a cell.
Value valueOfCell(uint32_t offset)
{
    if (!validCell(offset))
        return 0;
    const Cell& c = cellAt(offset);
    if (c.car == kNil && tagOf(c.cdr) == 0)
        return 0;
    switch (tagOf(c.car)) {
    case Tag::RealHeader: return makeValue(Tag::Real, offset);
    case Tag::StringHeader: return makeValue(Tag::String, offset);
    case Tag::VectorHeader: return makeValue(Tag::Vector, offset);
    case Tag::ArrayHeader: return makeValue(Tag::Array, offset);
    case Tag::DescriptorHeader: return makeValue(Tag::Primitive, offset);
    case Tag::HashHeader: return makeValue(Tag::HashTable, offset);
    case Tag::BigDigitHeader: return makeValue(Tag::BigPositive, offset);
    case Tag::PointerHeader: return makeValue(Tag::Pointer, offset);
    case Tag::RecordHeader: return makeValue(Tag::Record, offset);
    case Tag::ClassHeader: return makeValue(Tag::Class, offset);
    case Tag::InstanceHeader: return makeValue(Tag::Instance, offset);
    case Tag::RawHeader: return makeValue(Tag::RawBlock, offset);
    default: return makeValue(Tag::List, offset);
    }
}

void pushCellOffset(uint32_t offset)
{
    if (Value v = valueOfCell(offset))
        push(v);
}

void pushConservative(const uint8_t* p, uint32_t bytes)
{
    for (uint32_t i = 0; i + 4 <= bytes; i += 2) {
        uint32_t w;
        std::memcpy(&w, p + i, 4);
        if (looksLikeReference(w))
            push(w);
    }
}

// A cell designated by a pair-form Value (or any cell whose word 0 is not a header): cars are
// queued, cdrs are followed in place.
void markPairs(uint32_t offset)
{
    for (;;) {
        Cell& c = cellAt(offset);
        c.car |= kMarkBit;
        push(c.car & ~(kMarkBit | kPermanentBit));
        Value d = c.cdr;
        if (!isPairFormTag(tagOf(d))) {
            push(d);
            return;
        }
        uint32_t next = payloadOf(d);
        if (!validCell(next) || isMarked(cellAt(next)))
            return;
        if (isHeaderTag(tagOf(cellAt(next).car))) {
            push(d); // a descriptor reached through a pair tag: its own routine marks it
            return;
        }
        offset = next;
    }
}

void markCell(Value v)
{
    uint32_t offset = payloadOf(v);
    Cell& c = cellAt(offset);
    if (isMarked(c))
        return;
    uint32_t header = tagOf(c.car);
    switch (header) {
    case Tag::DescriptorHeader:
    case Tag::RealHeader:
    case Tag::StringHeader:
    case Tag::RawHeader:
        c.car |= kMarkBit;
        return;
    case Tag::VectorHeader: {
        c.car |= kMarkBit;
        if (const uint8_t* p = blockRange(c.cdr, 4)) {
            uint32_t n;
            std::memcpy(&n, p, 4);
            if (blockRange(c.cdr, 4 + 4ull * n))
                pushValues(p + 4, n);
        }
        return;
    }
    case Tag::ArrayHeader: {
        c.car |= kMarkBit;
        if (const uint8_t* p = blockRange(c.cdr, 6)) {
            uint32_t n;
            uint16_t rank;
            std::memcpy(&n, p, 4);
            std::memcpy(&rank, p + 4, 2);
            if (blockRange(c.cdr, 6 + 2ull * rank + 4ull * n))
                pushValues(p + 6 + 2 * rank, n);
        }
        return;
    }
    case Tag::HashHeader: {
        c.car |= kMarkBit;
        uint32_t n = symbolCount();
        if (c.cdr && isSpaceRange(c.cdr, 4ull * n))
            pushValues(hostAddress(c.cdr), n);
        return;
    }
    case Tag::BigDigitHeader: {
        // The digit cells of one number, linked through word 0 until a link of 0.
        for (uint32_t at = offset; validCell(at);) {
            Cell& digit = cellAt(at);
            if (isMarked(digit) || tagOf(digit.car) != Tag::BigDigitHeader)
                return;
            digit.car |= kMarkBit;
            at = payloadOf(digit.car);
        }
        return;
    }
    case Tag::PointerHeader: {
        c.car |= kMarkBit;
        PointerKind* native = gObjectCollectorHooks.nativeObjectKind;
        if (native && c.cdr && payloadOf(c.car) == native->index() && gObjectCollectorHooks.markNativeObject)
            gObjectCollectorHooks.markNativeObject(makeValue(Tag::Pointer, offset));
        return;
    }
    case Tag::RecordHeader: {
        c.car |= kMarkBit;
        if (!c.cdr)
            return;
        if (gObjectCollectorHooks.markRecord)
            gObjectCollectorHooks.markRecord(makeValue(Tag::Record, offset));
        else if (const uint8_t* p = blockRange(c.cdr, 50))
            pushConservative(p, 50);
        return;
    }
    case Tag::ClassHeader: {
        c.car |= kMarkBit;
        if (gObjectCollectorHooks.markClass)
            gObjectCollectorHooks.markClass(makeValue(Tag::Class, offset));
        else if (const uint8_t* p = blockRange(c.cdr, 42))
            pushConservative(p, 42);
        return;
    }
    case Tag::InstanceHeader: {
        c.car |= kMarkBit;
        const uint8_t* p = blockRange(c.cdr, 4);
        if (!p)
            return;
        Value classValue;
        std::memcpy(&classValue, p, 4);
        if (!looksLikeReference(classValue) || tagOf(classValue) != Tag::Class)
            return;
        push(classValue);
        if (gObjectCollectorHooks.markInstance) {
            gObjectCollectorHooks.markInstance(makeValue(Tag::Instance, offset));
        } else {
            uint32_t size = blockRange(cellOf(classValue).cdr, 42) ? blockSize(Tag::InstanceHeader, c.cdr) : 0;
            if (size > 4 && blockRange(c.cdr, size))
                pushConservative(p + 4, size - 4);
        }
        return;
    }
    default:
        markPairs(offset);
        return;
    }
}

void drain()
{
    if (gDraining)
        return;
    gDraining = true;
    while (!gMarkStack.empty()) {
        Value v = gMarkStack.back();
        gMarkStack.pop_back();
        markCell(v);
    }
    gDraining = false;
}

void markSymbolTable()
{
    uint32_t n = symbolCount();
    for (uint32_t i = 0; i < n; ++i) {
        const SymbolRecord& r = symbolRecord(symbolAt(i));
        if (r.value)
            push(r.value);
        if (r.owner)
            push(r.owner);
        if (r.name)
            push(r.name);
        drain();
    }
}

// The lowest stack address the scan reads: the registers the collection's entry saved. The
// collector's own frames lie below it, so the words they leave behind are never read.
const uint8_t* gScanLow = nullptr;

// Every 32-bit word at every 2-byte step from the saved registers up to the top frame. Not
// instrumented: the scan reads the sanitizer's red zones between locals on purpose.
// An optimising compiler may keep a live Value as a host pointer into the cell area: such a
// pointer, at an 8-byte boundary, is taken as a reference to its cell too.
__attribute__((no_sanitize("address"))) void scanCStack()
{
    if (!gTopFrame || !gScanLow)
        return;
    uintptr_t low = reinterpret_cast<uintptr_t>(gScanLow) & ~uintptr_t(1);
    uintptr_t high = reinterpret_cast<uintptr_t>(gTopFrame);
    auto cellArea = reinterpret_cast<uintptr_t>(gCellBase);
    uintptr_t cellAreaEnd = cellArea + uintptr_t(gAreas.cellCount) * 8;
    for (uintptr_t p = low; p + 4 <= high; p += 2) {
        uint32_t w;
        __builtin_memcpy(&w, reinterpret_cast<const void*>(p), 4);
        if (looksLikeReference(w))
            push(w);
        if ((p & 7) == 0 && p + 8 <= high) {
            uintptr_t q;
            __builtin_memcpy(&q, reinterpret_cast<const void*>(p), 8);
            if (q >= cellArea + 8 && q < cellAreaEnd) // a host pointer into a cell
                pushCellOffset(static_cast<uint32_t>((q - cellArea) & ~uintptr_t(7)));
        }
    }
}

void markLispStack()
{
    for (Value* p = gLispSP; p > gAreas.lispStackBase;) {
        push(*--p);
        drain();
    }
}

// ---- Compaction of the block area ----

void setLink(uint32_t from, uint32_t to)
{
    Cell& c = cellAt(from);
    c.car = (c.car & (kPermanentBit | 0x3F000000u)) | kMarkBit | to;
}

// Keeps the chain from c to the tail as it stands: its cells stay linked and live, their blocks
// stay where they are and the allocation pointer is not lowered. A broken link is closed on the
// tail.
void keepChainFrom(uint32_t c, uint32_t tail)
{
    for (uint32_t steps = 0; c != tail; ++steps) {
        cellAt(c).car |= kMarkBit;
        uint32_t next = payloadOf(cellAt(c).car);
        if (!validCell(next) || steps > gAreas.cellCount) {
            setLink(c, tail);
            return;
        }
        c = next;
    }
}

// Slides the blocks of the marked chained cells down in chain order and drops the unmarked cells
// from the chain. A chained cell whose header is not a chained header asks for the alert after
// the collection. When it is live its block size is taken as the distance to the next block
// (blocks lie back to back in chain order); when even that cannot be had, compaction stops
// there and the rest of the chain is kept in place, so that no live block is overwritten.
void compactBlocks()
{
    uint32_t head = gChainHead;
    uint32_t tail = gChainTail;
    if (head == tail || !validCell(head) || !validCell(tail))
        return;
    uint32_t oldAlloc = gAreas.blockAlloc;
    uint32_t dst = cellAt(head).cdr;
    if (!blockRange(dst, 0))
        return;
    uint32_t last = 0;
    uint32_t sourceEnd = dst; // end of the last block moved, in source addresses
    uint32_t steps = 0;
    bool linked = false; // the chain's end is settled already
    for (uint32_t c = head;;) {
        Cell& cell = cellAt(c);
        bool isTail = c == tail;
        uint32_t next = payloadOf(cell.car);
        uint32_t header = tagOf(cell.car);
        bool chained = isTail || isChainedHeader(header);
        if (!chained)
            gChainDamaged = true;
        bool live = isTail || c == head || isMarked(cell);
        if (live && !isTail) {
            uint32_t source = cell.cdr;
            uint32_t size = 0;
            bool sized = false;
            if (source >= sourceEnd && blockRange(source, 0)) {
                if (chained) {
                    size = blockSize(header, source);
                    sized = blockRange(source, size) != nullptr;
                } else if (validCell(next)) {
                    uint32_t nextData = next == tail ? oldAlloc : cellAt(next).cdr;
                    if (nextData >= source && nextData <= oldAlloc) {
                        size = nextData - source;
                        sized = true;
                    }
                }
            }
            if (!sized) {
                gChainDamaged = true;
                if (last)
                    setLink(last, c);
                else
                    gChainHead = c;
                keepChainFrom(c, tail);
                dst = oldAlloc;
                linked = true;
                break;
            }
            if (last)
                setLink(last, c);
            std::memmove(hostAddress(dst), hostAddress(source), size);
            cell.cdr = dst;
            dst += blockExtent(size);
            sourceEnd = source + size;
            last = c;
        }
        if (isTail)
            break;
        if (!validCell(next) || ++steps > gAreas.cellCount) {
            // The rest of the chain cannot be found: it ends here.
            gChainDamaged = true;
            break;
        }
        c = next;
    }
    if (!linked) {
        if (last)
            setLink(last, tail);
        else
            gChainHead = tail;
    }
    cellAt(tail).car = (cellAt(tail).car & kPermanentBit) | kMarkBit;
    gAreas.blockAlloc = dst;
}

// ---- Sweep ----

void disposePointer(uint32_t offset)
{
    PointerKind* kind = pointerKind(payloadOf(cellAt(offset).car));
    if (!kind || !(kind == gObjectCollectorHooks.nativeObjectKind || kind->disposeWhenUnreachable()))
        return;
    // The sweep must finish whatever a kind's dispose does: its error or exit is dropped.
    try {
        kind->dispose(makeValue(Tag::Pointer, offset));
    } catch (...) {
    }
}

void sweep()
{
    uint32_t head = 0;
    uint32_t count = 0;
    const uint32_t mask = gMarkMask;
    Cell* cells = &cellAt(0);
    const uint32_t end = gAreas.cellCount;
    for (uint32_t i = 1; i < end; ++i) {
        Cell& c = cells[i];
        uint32_t word = c.car;
        if (word & mask) {
            c.car = word & ~kMarkBit;
            continue;
        }
        uint32_t header = (word >> 24) & 0x3F;
        if (header == Tag::PointerHeader && c.cdr != 0)
            disposePointer(i * 8);
        else if (header == Tag::HashHeader && c.cdr != 0 && isMemoryPointer(c.cdr))
            disposeMemoryPointer(c.cdr); // the bucket block belongs to this table alone
        c.car = kNil;
        c.cdr = head;
        head = i * 8;
        ++count;
    }
    gFreeListHead = head;
    gFreeCells = count;
}

// Leaves no mark bit behind when a collection is left by an exception: a cell still marked at the
// next collection would not be looked inside.
struct CollectingScope {
    CollectingScope() { gCollecting = true; }
    ~CollectingScope()
    {
        if (!m_done) {
            uint32_t end = gAreas.cellCount * 8;
            for (uint32_t offset = 8; offset < end; offset += 8)
                cellAt(offset).car &= ~kMarkBit;
        }
        gCollecting = false;
        gDraining = false;
        gMarkStack.clear();
    }
    bool m_done = false;
};

} // namespace

namespace {

void collect(bool full);

// Saves the callee-saved registers, where the callers may hold Values, on this frame and
// collects: the stack scan starts at this frame.
__attribute__((noinline, no_sanitize("address"))) void collectFromHere(bool full)
{
    // Cleared first: setjmp leaves part of the buffer unwritten.
    std::jmp_buf registers;
    __builtin_memset(&registers, 0, sizeof registers);
    setjmp(registers);
    __builtin_unwind_init();
    gScanLow = reinterpret_cast<const uint8_t*>(&registers);
    collect(full);
    gScanLow = nullptr;
    asm volatile("" : : "r"(&registers) : "memory"); // the buffer stays live up to here
}

} // namespace

void collectGarbage(bool full)
{
    if (gCollecting || !memoryStarted())
        return;
    collectFromHere(full);
    restoreMemoryReserve();
}

namespace {

void collect(bool full)
{
    {
        CollectingScope scope;
        synchronizeModules();
        full = full || gFullCollectionRequested;
        gFullCollectionRequested = false;
        gMarkMask = full ? kMarkBit : (kMarkBit | kPermanentBit);
        gLastFull = full;
        gChainDamaged = false;

        markModuleRoots();
        drain();
        markSymbolTable();
        cellAt(gChainHead).car |= kMarkBit;
        cellAt(gChainTail).car |= kMarkBit;
        scanCStack();
        drain();
        markLispStack();

        compactBlocks();
        sweep();
        ++gCollections;
        scope.m_done = true;
    }
    if (gChainDamaged)
        showErrorMessage("Wrong type in sweep_indirect");
}

} // namespace

void mark(Value v)
{
    if (!gCollecting)
        return;
    push(v);
    drain();
}

int collectionCount() { return gCollections; }
bool lastCollectionWasFull() { return gLastFull; }
bool collectionRunning() { return gCollecting; }

namespace {
uint32_t gStressInterval = 1;
uint32_t gStressCountdown = 1;
} // namespace

bool stressCollectionDue()
{
    if (--gStressCountdown != 0)
        return false;
    gStressCountdown = gStressInterval;
    return true;
}

void setCollectorStress(bool on, uint32_t interval)
{
    gCollectorStress = on;
    gStressInterval = gStressCountdown = interval ? interval : 1;
    gConsCollectBelow = on ? 0xFFFFFFFFu : 2 + reservedCells();
}

namespace {

Value recycle(Value, Value full)
{
    collectGarbage(isFlagSet(full));
    return kNoValue;
}

class RecycleModule final : public Module {
public:
    RecycleModule() : Module("Recycle") {}
    void start() override
    {
        Module::start();
        setCollectorStress(gCollectorStress, gCollectorStressInterval);
        defineFunction2("recycle", recycle);
        setGlobalValue(intern("Recycle-Sound"), kTrue);
    }
    void stop() override
    {
        setCollectorStress(false);
        Module::stop();
    }
} recycleModule;

} // namespace
