// Kernel/Memory.h: the memory areas (symbol table, Lisp stack, Prolog stack, cell area, memory
// block area), the parameter block they are sized from, the handle manager and pointer kinds.
//
// Collector rules that every native unit relies on:
// - cons, reserveBlock and everything that allocates may collect. A collection slides the blocks
//   of the block area down, so native code keeps no host address of block data across an
//   allocation; it keeps the Value and asks for the data again.
// - Values held in native locals (the C stack) and on the Lisp stack are found by the collector.
//   Values kept anywhere else outside the areas (native statics, heap containers) must be marked
//   by their Module's markRoots.
#pragma once

#include "Kernel/Space.h"
#include "Kernel/Value.h"

#include <string>

struct ParameterBlock {
    int32_t symbolCount = 22000;
    int32_t lispStackWords = 32000;
    int32_t prologStackWords = 8192;
    int32_t cellCount = 300000;
    int32_t blockBytes = 1500000;
    int32_t heapReserve = 1000000;
    int32_t cStackBytes = 700000;
    int32_t cellsPer800 = 0;
    int32_t heapPercent = 30;
    int32_t memoryBudget = 30000000;
    int32_t growable = 1;
};
extern ParameterBlock gParams;

// The areas, as laid out in the memory block. Host pointers stay valid for the whole run: the
// memory block never moves (only areas inside it, through the move primitives).
struct MemoryAreas {
    uint32_t memoryBlock = 0;     // Lisp address of the memory block (a memory pointer)
    uint32_t memoryBlockSize = 0;
    uint8_t* symbols = nullptr;   // symbol table
    Value* lispStackBase = nullptr;
    Value* lispStackLimit = nullptr; // 500 words below the end
    Value* lispStackEnd = nullptr;
    uint32_t* prologStackBase = nullptr;
    uint32_t* prologStackEnd = nullptr;
    uint32_t cellCount = 0;       // cells including the reserved cell 0
    uint32_t blockStart = 0;      // Lisp addresses of the block area
    uint32_t blockAlloc = 0;      // allocation pointer (free end of the used part)
    uint32_t blockEnd = 0;
    uint32_t gapBelowCells = 0;   // unused bytes left before the cell area by move-nodes
    uint32_t gapBelowBlocks = 0;  // unused bytes left before the used blocks by move-indirects
};
extern MemoryAreas gAreas;

extern Value* gLispSP; // next free word of the Lisp stack
extern uint32_t gFreeCells;
extern uint32_t gFreeListHead; // offset of the first free cell, 0 when none
extern uint32_t gChainHead;    // offsets of the block chain's head and tail cells
extern uint32_t gChainTail;
extern Value gEmptyString;
extern Value gSelf; // the current object
extern uintptr_t gCStackLimit;

// Memory start and shutdown, called by the top-level routine.
void startMemory();
void stopMemory();
bool memoryStarted();

// Cells. cons collects when the free count is below gConsCollectBelow: 2 plus the reserved cells,
// or every time in the collector's stress mode, so that the fast path stays one compare and
// branch.
extern uint32_t gConsCollectBelow;
void consSlowPath();
// The emergency reserve of cells and block space that ordinary allocation leaves alone (0 while
// it is released to the code that runs after an out-of-memory report).
uint32_t reservedCells();
uint32_t reservedBlockBytes();
bool memoryReserveHeld();
// Takes the reserve back when it was released and a collection left room for it.
void restoreMemoryReserve();
inline Value cons(Value a, Value d)
{
    if (gFreeCells < gConsCollectBelow) [[unlikely]]
        consSlowPath();
    uint32_t offset = gFreeListHead;
    Cell& c = cellAt(offset);
    gFreeListHead = payloadOf(c.cdr);
    --gFreeCells;
    c.car = a;
    c.cdr = d;
    return makeValue(Tag::List, offset);
}
// Whether v designates a cell inside the cell area at a proper offset.
inline bool isCellOffset(uint32_t offset) { return offset != 0 && (offset & 7) == 0 && offset < gAreas.cellCount * 8; }

// Blocks. Each block starts at a multiple of 4, so that the Values of vectors and arrays are
// aligned; a block of n bytes takes blockExtent(n) bytes of the area.
constexpr uint32_t kBlockAlignment = 4;
constexpr uint32_t blockExtent(uint32_t n) { return (n + kBlockAlignment - 1) & ~(kBlockAlignment - 1); }
void reserveBlock(uint32_t n);
inline uint8_t* blockFreeEnd() { return hostAddress(gAreas.blockAlloc); }
Value commitBlock(uint32_t n, uint32_t valueTag, uint32_t headerTag);
inline uint8_t* blockData(Value v) { return hostAddress(cellOf(v).cdr); }
Value makeReal(double x);
double realValue(Value v);
Value makeString(const char* chars, size_t length);
Value makeString(const char* chars);
inline Value makeString(const std::string& s) { return makeString(s.data(), s.size()); }
const char* stringChars(Value v); // valid until the next allocation
uint32_t stringLength(Value v);
Value makeVector(uint32_t n, Value fill);
uint32_t vectorLength(Value v);
Value* vectorElements(Value v); // valid until the next allocation
Value makeRawBlock(uint32_t dataBytes);
uint32_t blockSize(uint32_t header, uint32_t dataAddress); // size of a chained block from its header


// Growth.
bool growCells(uint32_t requested);
bool growHeap(int64_t n);
uint32_t freeBlockBytes();

// The Lisp stack. Pushing past the limit raises the memory-exhausted error.
[[noreturn]] void lispStackOverflow();
inline void pushLisp(Value v)
{
    if (gLispSP >= gAreas.lispStackLimit) [[unlikely]]
        lispStackOverflow();
    *gLispSP++ = v;
}

// The handle manager. A handle is its entry index; 0 is no handle.
using Handle = uint32_t;
Handle newHandle(uint32_t size);       // 0 when the memory cannot be had
void disposeHandle(Handle h);
bool isHandle(Handle h);
int32_t handleSize(Handle h);          // -1 for an index that is no live handle
bool setHandleSize(Handle h, uint32_t size);
uint32_t handleAddress(Handle h);      // Lisp address of the data, 0 when none
uint32_t lockHandle(Handle h);         // raises error 60 for a handle without memory
void unlockHandle(Handle h);
void setHandlePurgeable(Handle h, bool purgeable);
uint32_t freeHeap();
uint32_t purgeHandles();               // bytes freed
// Asked to bring back the data of a purged handle before it is locked; true when it did.
using HandleReloader = bool (*)(Handle h);
void addHandleReloader(HandleReloader reloader);

// Memory pointers: locked handles used as plain memory.
uint32_t newMemoryPointer(uint32_t size); // Lisp address or 0
void disposeMemoryPointer(uint32_t address);
uint32_t memoryPointerSize(uint32_t address);
bool isMemoryPointer(uint32_t address);

// Pointer kinds.
class PointerKind {
public:
    explicit PointerKind(const char* name);
    virtual ~PointerKind() = default;
    virtual std::string print(Value pointer);
    virtual void dispose(Value pointer) {}
    virtual bool third() { return false; }
    virtual bool isPure() { return false; }
    virtual bool disposeWhenUnreachable() { return false; }
    // Whether the pointer holds a memory handle (handles, resources and records): the handle
    // primitives accept it.
    virtual bool holdsHandle() { return false; }

    const char* name() const { return m_name; }
    uint32_t index() const { return m_index; }

private:
    friend void numberPointerKinds();
    const char* m_name;
    uint32_t m_index;
};
void numberPointerKinds(); // called by memory start
constexpr int kMaxPointerKinds = 16;
PointerKind* pointerKind(uint32_t index); // nullptr when not registered
extern PointerKind& gPlainPointerKind;
extern PointerKind& gMemoryPointerKind;
extern PointerKind& gHandleKind;

Value makePointer(PointerKind& kind, uint32_t address);
inline bool isPointer(Value v) { return tagOf(v) == Tag::Pointer; }
inline uint32_t pointerAddress(Value v) { return cellOf(v).cdr; }
inline uint32_t pointerKindIndex(Value v) { return payloadOf(cellOf(v).car); }
// Raises the wrong-type error unless v is a pointer of the kind.
uint32_t toPointerAddress(Value v);
Handle toHandle(Value v);
// Host memory for [address, address + size) or the wrong-type error with culprit.
uint8_t* checkedRange(uint32_t address, uint64_t size, Value culprit);
