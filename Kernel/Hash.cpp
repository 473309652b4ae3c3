// Kernel/Hash.cpp: the Hash Module: hash tables keyed by symbols, one slot per symbol-table entry.
#include "Kernel/Hash.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Module.h"
#include "Kernel/Recycle.h"

#include <unordered_map>

namespace {

struct HeldBucket {
    uint32_t address; // Lisp address of the bucket block, as in word 1 of the table's cell
    Handle handle;
};

// Every bucket block handed out, by the cell offset of its table. A table whose cell no longer
// carries the hash header and this address is gone, and its block can go too.
std::unordered_map<uint32_t, HeldBucket> gBuckets;

bool stillHeldBy(uint32_t offset, const HeldBucket& bucket)
{
    const Cell& c = cellAt(offset);
    return tagOf(c.car) == Tag::HashHeader && c.cdr == bucket.address;
}

Value toHashTable(Value v)
{
    if (!isHashTable(v))
        raiseWrongType(v);
    return v;
}

// The table's slots; valid until the table is released (the block itself never moves).
uint8_t* bucketOf(Value table) { return checkedRange(cellOf(table).cdr, 4ull * symbolCount(), table); }

uint32_t toKeySlot(Value key)
{
    if (!isSymbol(key) || (payloadOf(key) & 15) != 0 || symbolIndex(key) >= symbolCount())
        raiseWrongType(key);
    return symbolIndex(key);
}

Value slotValue(Value table, uint32_t slot)
{
    Value x;
    std::memcpy(&x, bucketOf(table) + 4 * static_cast<size_t>(slot), 4);
    return x;
}

Value newHash()
{
    Value cell = cons(kNil, kNil); // may collect: taken before the bucket block
    uint32_t slots = symbolCount();
    Handle h = newHandle(4 * slots);
    if (!h)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    uint32_t address = lockHandle(h);
    uint8_t* bucket = hostAddress(address);
    for (uint32_t i = 0; i < slots; ++i)
        std::memcpy(bucket + 4 * static_cast<size_t>(i), &kEnd, 4);

    uint32_t offset = payloadOf(cell);
    if (auto old = gBuckets.find(offset); old != gBuckets.end()) {
        disposeHandle(old->second.handle); // its table's cell was freed and is now reused
        gBuckets.erase(old);
    }
    gBuckets[offset] = { address, h };
    cellAt(offset) = { makeValue(Tag::HashHeader, 0), address };
    return makeValue(Tag::HashTable, offset);
}

Value hashRef(Value table, Value key, Value fallback)
{
    toHashTable(table);
    Value x = slotValue(table, toKeySlot(key));
    return x == kEnd ? fallback : x;
}

Value hashSet(Value table, Value key, Value x)
{
    toHashTable(table);
    uint32_t slot = toKeySlot(key);
    if (isPermanentCell(table))
        gFullCollectionRequested = true; // a partial collection would not look inside it
    std::memcpy(bucketOf(table) + 4 * static_cast<size_t>(slot), &x, 4);
    return kNoValue;
}

// Slots are read afresh after each call: fn may store into the table.
Value forEachHash(Value fn, Value table)
{
    toHashTable(table);
    for (uint32_t slot = 0; slot < symbolCount(); ++slot) {
        Value x = slotValue(table, slot);
        if (x != kEnd)
            funcall(fn, symbolAt(slot), x);
    }
    return kNoValue;
}

class HashModule final : public Module {
public:
    HashModule() : Module("Hash") {}
    void start() override
    {
        Module::start();
        defineFunction0("new-hash", newHash);
        defineFunction3("hash-ref", hashRef);
        defineFunction3("hash-set!", hashSet);
        defineFunction2("for-each-hash", forEachHash);
    }
    void stop() override
    {
        for (auto& [offset, bucket] : gBuckets)
            disposeHandle(bucket.handle);
        gBuckets.clear();
        Module::stop();
    }
} theHashModule;

} // namespace

void markHashTable(Value table)
{
    forEachHashValue(table, [](Value x) { mark(x); });
}

void releaseUnreachableHashTables(uint32_t markMask)
{
    for (auto it = gBuckets.begin(); it != gBuckets.end();) {
        if (stillHeldBy(it->first, it->second) && (cellAt(it->first).car & markMask) != 0) {
            ++it;
            continue;
        }
        disposeHandle(it->second.handle);
        it = gBuckets.erase(it);
    }
}

uint32_t liveHashTableCount() { return static_cast<uint32_t>(gBuckets.size()); }

bool holdsHashBucket(Value table)
{
    auto it = gBuckets.find(payloadOf(table));
    return it != gBuckets.end() && stillHeldBy(it->first, it->second);
}
