// Kernel/Heap.cpp: the Heap Module: memory pointers, handles and raw memory access through
// pointer Values. Every access through a Lisp address checks its whole range first.
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <bit>
#include <cstring>

namespace {

// ---- Argument conversion ----

// A size or byte count: a non-negative integer.
uint32_t toSize(Value v)
{
    int32_t n = toInt32(v);
    if (n < 0)
        raiseWrongType(v);
    return static_cast<uint32_t>(n);
}

// The handle of a pointer of kind "handle" that is still alive.
Handle toLiveHandle(Value v)
{
    Handle h = toHandle(v);
    if (!isHandle(h))
        raiseWrongType(v);
    return h;
}

// The i-th value of a rest array, nil when the array is shorter.
Value restArgument(Value* rest, int i)
{
    for (int k = 0; k < i; ++k)
        if (rest[k] == kEnd)
            return kNil;
    return rest[i];
}

// Rest arrays past index i (an empty array when it ends earlier).
Value* restFrom(Value* rest, int i)
{
    for (int k = 0; k < i; ++k)
        if (rest[k] == kEnd)
            return rest + k;
    return rest + i;
}

// p's address plus the sum of the offsets; the wrong-type error with p when it leaves 32 bits.
uint32_t offsetAddress(Value p, Value* offsets)
{
    int64_t address = toPointerAddress(p);
    for (Value* o = offsets; *o != kEnd; ++o)
        address += toInt32(*o);
    if (address < 0 || address > 0xFFFFFFFFll)
        raiseWrongType(p);
    return static_cast<uint32_t>(address);
}

// ---- Memory pointers and handles ----

Value newPtr(Value size)
{
    uint32_t n = toSize(size);
    // The pointer cell comes first: allocating it may collect, and a failure then leaks nothing.
    Value p = makePointer(gMemoryPointerKind, 0);
    uint32_t address = newMemoryPointer(n);
    if (!address)
        raiseError(ErrorCode::MemoryExhausted, size);
    cellOf(p).cdr = address;
    return p;
}

Value disposePtr(Value p)
{
    if (!isPointer(p) || pointerKindIndex(p) != gMemoryPointerKind.index())
        raiseWrongType(p);
    uint32_t address = pointerAddress(p);
    if (address == 0)
        return kNoValue;
    if (!isMemoryPointer(address))
        raiseWrongType(p);
    disposeMemoryPointer(address);
    cellOf(p).cdr = 0;
    return kNoValue;
}

Value newHandlePrimitive(Value size)
{
    uint32_t n = toSize(size);
    Value p = makePointer(gHandleKind, 0);
    cellOf(p).cdr = newHandle(n); // entry 0 when the memory cannot be had
    return p;
}

Value copyHandle(Value source)
{
    Handle from = toLiveHandle(source);
    Value p = makePointer(gHandleKind, 0);
    uint32_t size = static_cast<uint32_t>(handleSize(from));
    Handle to = newHandle(size);
    if (to && size)
        std::memcpy(hostAddress(handleAddress(to)), hostAddress(handleAddress(from)), size);
    cellOf(p).cdr = to;
    return p;
}

Value disposeHandlePrimitive(Value p)
{
    Handle h = toHandle(p);
    if (h == 0)
        return kNoValue;
    disposeHandle(h);
    cellOf(p).cdr = 0;
    return kNoValue;
}

Value getHandleSize(Value p) { return makeInteger(handleSize(toLiveHandle(p))); }

Value setHandleSizePrimitive(Value p, Value size)
{
    Handle h = toLiveHandle(p);
    uint32_t n = toSize(size);
    if (!setHandleSize(h, n))
        raiseError(ErrorCode::MemoryExhausted, size);
    return kNoValue;
}

Value pureHandleP(Value p)
{
    if (!isPointer(p))
        raiseWrongType(p);
    PointerKind* kind = pointerKind(pointerKindIndex(p));
    return boolValue(kind && kind->isPure());
}

Value hpurge(Value p)
{
    setHandlePurgeable(toLiveHandle(p), true);
    return kNoValue;
}

Value hnopurge(Value p)
{
    setHandlePurgeable(toLiveHandle(p), false);
    return kNoValue;
}

// Unlocks the handle when the call ends, unless the call disposed of it (the pointer cell then no
// longer holds the entry, which another handle may have taken since).
class HandleLock {
public:
    HandleLock(Value pointer, Handle h)
        : m_pointer(pointer)
        , m_handle(h)
    {
    }
    ~HandleLock()
    {
        if (pointerAddress(m_pointer) == m_handle)
            unlockHandle(m_handle);
    }
    HandleLock(const HandleLock&) = delete;
    HandleLock& operator=(const HandleLock&) = delete;

private:
    Value m_pointer;
    Handle m_handle;
};

Value withLockedHandle(Value p, Value f)
{
    if (p == kNil)
        return kNil;
    Handle h = toHandle(p);
    if (h == 0 || !isHandle(h) || handleSize(h) <= 0)
        return kNil;
    Value data = makePointer(gPlainPointerKind, 0);
    int32_t size = handleSize(h);
    uint32_t address = lockHandle(h);
    HandleLock lock(p, h);
    cellOf(data).cdr = address;
    return funcall(f, data, makeInteger(size));
}

Value compactMemory(Value needed)
{
    int64_t n = toInt64(needed);
    uint64_t free = freeHeap();
    uint64_t purged = n >= 0 && uint64_t(n) >= free ? purgeHandles() : 0;
    return makeInteger(static_cast<int64_t>(free + purged));
}

Value spaceAvailableP(Value needed) { return boolValue(toInt64(needed) < int64_t(freeHeap())); }

// ---- Raw memory access ----

enum class Order { Native, Big, Little };

struct Access {
    int code;
    uint32_t bytes;
    bool isSigned;
    Order order;
};

// The size codes of each reader and writer.
const Access kMrefCodes[] = {
    { 1, 1, false, Order::Native }, { 2, 2, false, Order::Native }, { 3, 2, true, Order::Native },
    { 4, 4, true, Order::Native }, { -2, 2, false, Order::Big }, { -3, 2, true, Order::Big },
    { -4, 4, true, Order::Big },
};
const Access kMrefMacCodes[] = {
    { 1, 1, false, Order::Big }, { 2, 2, false, Order::Big }, { 3, 2, true, Order::Big }, { 4, 4, true, Order::Big },
};
const Access kMrefIbmCodes[] = {
    { 1, 1, false, Order::Little }, { 2, 2, false, Order::Little }, { 3, 2, true, Order::Little },
    { 4, 4, true, Order::Little },
};
const Access kMsetCodes[] = {
    { 1, 1, false, Order::Native }, { 2, 2, false, Order::Native }, { 4, 4, false, Order::Native },
    { -2, 2, false, Order::Big }, { -4, 4, false, Order::Big },
};
const Access kMsetMacCodes[] = {
    { 1, 1, false, Order::Big }, { 2, 2, false, Order::Big }, { 4, 4, false, Order::Big },
};
const Access kMsetIbmCodes[] = {
    { 1, 1, false, Order::Little }, { 2, 2, false, Order::Little }, { 4, 4, false, Order::Little },
};

template <size_t N> const Access& accessOf(Value code, const Access (&table)[N])
{
    int32_t n = toInt32(code);
    for (const Access& a : table)
        if (a.code == n)
            return a;
    raiseWrongType(makeInteger(n));
}

bool bigEndianOrder(Order order)
{
    if (order == Order::Native)
        return std::endian::native == std::endian::big;
    return order == Order::Big;
}

int64_t readAt(const uint8_t* at, const Access& a)
{
    uint32_t u = 0;
    bool big = bigEndianOrder(a.order);
    for (uint32_t i = 0; i < a.bytes; ++i)
        u |= uint32_t(at[big ? i : a.bytes - 1 - i]) << (8 * (a.bytes - 1 - i));
    if (!a.isSigned)
        return u;
    if (a.bytes == 2)
        return static_cast<int16_t>(u);
    return static_cast<int32_t>(u);
}

void writeAt(uint8_t* at, const Access& a, uint32_t u)
{
    bool big = bigEndianOrder(a.order);
    for (uint32_t i = 0; i < a.bytes; ++i)
        at[big ? i : a.bytes - 1 - i] = static_cast<uint8_t>(u >> (8 * (a.bytes - 1 - i)));
}

template <size_t N> Value memoryRead(Value* rest, const Access (&table)[N])
{
    const Access& a = accessOf(restArgument(rest, 0), table);
    Value p = restArgument(rest, 1);
    uint32_t address = offsetAddress(p, restFrom(rest, 2));
    return makeInteger(readAt(checkedRange(address, a.bytes, p), a));
}

// A value to store must fit the field, read either as signed or as unsigned.
template <size_t N> Value memoryWrite(Value* rest, const Access (&table)[N])
{
    const Access& a = accessOf(restArgument(rest, 0), table);
    Value value = restArgument(rest, 1);
    int64_t n = toInt64(value);
    int64_t low = -(int64_t(1) << (8 * a.bytes - 1));
    int64_t high = (int64_t(1) << (8 * a.bytes)) - 1;
    if (n < low || n > high)
        raiseWrongType(value);
    Value p = restArgument(rest, 2);
    uint32_t address = offsetAddress(p, restFrom(rest, 3));
    writeAt(checkedRange(address, a.bytes, p), a, static_cast<uint32_t>(n));
    return value;
}

Value mref(Value* rest) { return memoryRead(rest, kMrefCodes); }
Value mrefMac(Value* rest) { return memoryRead(rest, kMrefMacCodes); }
Value mrefIbm(Value* rest) { return memoryRead(rest, kMrefIbmCodes); }
Value mset(Value* rest) { return memoryWrite(rest, kMsetCodes); }
Value msetMac(Value* rest) { return memoryWrite(rest, kMsetMacCodes); }
Value msetIbm(Value* rest) { return memoryWrite(rest, kMsetIbmCodes); }

Value addPtr(Value* rest)
{
    Value p = restArgument(rest, 0);
    uint32_t address = offsetAddress(p, restFrom(rest, 1));
    return makePointer(gPlainPointerKind, address);
}

Value equalBlockP(Value p1, Value p2, Value count)
{
    uint32_t a1 = toPointerAddress(p1), a2 = toPointerAddress(p2);
    uint32_t n = toSize(count);
    if (n == 0)
        return kTrue;
    const uint8_t* b1 = checkedRange(a1, n, p1);
    const uint8_t* b2 = checkedRange(a2, n, p2);
    return boolValue(std::memcmp(b1, b2, n) == 0);
}

Value blockMove(Value from, Value to, Value count)
{
    uint32_t a1 = toPointerAddress(from), a2 = toPointerAddress(to);
    uint32_t n = toSize(count);
    if (n == 0)
        return kNoValue;
    const uint8_t* source = checkedRange(a1, n, from);
    uint8_t* target = checkedRange(a2, n, to);
    std::memmove(target, source, n);
    return kNoValue;
}

// ---- Plain pointers ----

Value nullPtr() { return makePointer(gPlainPointerKind, 0); }
Value nullPtrP(Value p) { return boolValue(p == kNil || (isPointer(p) && pointerAddress(p) == 0)); }
Value ptrEqualP(Value p1, Value p2) { return boolValue(toPointerAddress(p1) == toPointerAddress(p2)); }
Value numberToPointer(Value n)
{
    int64_t address = toInt64(n);
    if (address < 0 || address > 0xFFFFFFFFll)
        raiseWrongType(n);
    return makePointer(gPlainPointerKind, static_cast<uint32_t>(address));
}
Value pointerToNumber(Value p) { return makeInteger(toPointerAddress(p)); }
Value resetStackFlag() { return kNoValue; }

class HeapModule final : public Module {
public:
    HeapModule() : Module("Heap") {}
    void start() override
    {
        Module::start();
        defineFunction1("new-ptr", newPtr);
        defineFunction1("dispose-ptr", disposePtr);
        defineFunction1("new-handle", newHandlePrimitive);
        defineFunction1("copy-handle", copyHandle);
        defineFunction1("dispose-handle", disposeHandlePrimitive);
        defineFunction1("get-handle-size", getHandleSize);
        defineFunction2("set-handle-size", setHandleSizePrimitive);
        defineFunction1("pure-handle?", pureHandleP);
        defineFunction1("hpurge", hpurge);
        defineFunction1("hnopurge", hnopurge);
        defineFunction2("with-locked-handle", withLockedHandle);
        defineFunction1("compact-memory", compactMemory);
        defineFunction1("space-available?", spaceAvailableP);
        defineFunctionRest0("add-ptr", addPtr);
        defineFunctionRest0("mref", mref);
        defineFunctionRest0("mref-mac", mrefMac);
        defineFunctionRest0("mref-ibm", mrefIbm);
        defineFunctionRest0("mset", mset);
        defineFunctionRest0("mset-mac", msetMac);
        defineFunctionRest0("mset-ibm", msetIbm);
        defineFunction3("equal-block?", equalBlockP);
        defineFunction3("block-move", blockMove);
        defineFunction0("null-ptr", nullPtr);
        defineFunction1("null-ptr?", nullPtrP);
        defineFunction2("ptr-equal?", ptrEqualP);
        defineFunction1("number->pointer", numberToPointer);
        defineFunction1("pointer->number", pointerToNumber);
        defineFunction0("reset-stack-flag", resetStackFlag);
    }
} theHeapModule;

} // namespace
