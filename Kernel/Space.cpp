// Kernel/Space.cpp: the reserved region behind the Lisp address space and its allocator.
//
// The allocator uses boundary tags: every block starts with a 16-byte header holding its size
// (header included, a multiple of 16), the size of the block before it and a free flag, so that
// freeing coalesces with both neighbours. Free blocks sit in size-class bins (powers of two); the
// part of the region never handed out yet is the top, taken from by bumping.
#include "Kernel/Space.h"

#include <sys/mman.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>

uint8_t* gSpaceBase = nullptr;

namespace {

constexpr uint32_t kHeader = 16;
constexpr uint32_t kFreeFlag = 1;
constexpr int kBins = 32;

struct BlockHeader {
    uint32_t size;     // whole block, header included
    uint32_t prevSize; // size of the block just below, 0 for the first
    uint32_t flags;
    uint32_t unused;
};

struct FreeLinks {
    uint32_t next; // offsets from the region start, 0 = none (offset 0 is never a free block payload)
    uint32_t prev;
};

uint64_t gTop = 0;         // offset of the first byte never handed out
uint32_t gTopPrevSize = 0; // size of the block that ends at the top, 0 when none
uint64_t gHighWater = 0;   // offset from which the space has never been written: still zero
uint64_t gInUse = 0;
uint32_t gBins[kBins] = {}; // offset of the first free block header of each bin

BlockHeader* header(uint64_t offset) { return reinterpret_cast<BlockHeader*>(gSpaceBase + offset); }
FreeLinks* links(uint64_t offset) { return reinterpret_cast<FreeLinks*>(gSpaceBase + offset + kHeader); }

int binOf(uint32_t size)
{
    int bin = 31 - __builtin_clz(size);
    return bin < kBins ? bin : kBins - 1;
}

void unlinkFree(uint32_t offset)
{
    FreeLinks* l = links(offset);
    if (l->prev)
        links(l->prev)->next = l->next;
    else
        gBins[binOf(header(offset)->size)] = l->next;
    if (l->next)
        links(l->next)->prev = l->prev;
}

void linkFree(uint32_t offset)
{
    BlockHeader* h = header(offset);
    h->flags = kFreeFlag;
    int bin = binOf(h->size);
    FreeLinks* l = links(offset);
    l->prev = 0;
    l->next = gBins[bin];
    if (l->next)
        links(l->next)->prev = offset;
    gBins[bin] = offset;
}

void setNextPrevSize(uint32_t offset)
{
    uint64_t next = uint64_t(offset) + header(offset)->size;
    if (next < gTop)
        header(next)->prevSize = header(offset)->size;
}

// Splits block at offset so that it keeps size bytes; the rest becomes free.
void splitBlock(uint32_t offset, uint32_t size)
{
    BlockHeader* h = header(offset);
    uint32_t rest = h->size - size;
    if (rest < 2 * kHeader)
        return;
    h->size = size;
    uint32_t restOffset = offset + size;
    BlockHeader* r = header(restOffset);
    r->size = rest;
    r->prevSize = size;
    r->unused = 0;
    uint64_t after = uint64_t(restOffset) + rest;
    if (after == gTop) { // the rest borders the top: give it back
        gTop = restOffset;
        gTopPrevSize = size;
        return;
    }
    if (!(header(after)->flags & kFreeFlag)) {
        header(after)->prevSize = rest;
        linkFree(restOffset);
        return;
    }
    unlinkFree(static_cast<uint32_t>(after));
    r->size += header(after)->size;
    setNextPrevSize(restOffset);
    linkFree(restOffset);
}

// A block is never smaller than a header plus the free-list links it holds once freed.
uint32_t roundedSize(uint32_t size)
{
    uint64_t total = (uint64_t(size) + kHeader + 15) & ~uint64_t(15);
    if (total < 2 * kHeader)
        total = 2 * kHeader;
    return total > 0xFFFFFFF0ull ? 0 : static_cast<uint32_t>(total);
}

} // namespace

void spaceEnsureReserved()
{
    if (gSpaceBase)
        return;
    // The region starts at a host address whose low 32 bits are 2^31, so that the low halves of
    // host pointers into it have a top byte of 0x80 or more: the collector's conservative stack
    // scan then never takes such a pointer for a Value. A window of 4 GB more is reserved to find
    // that place, and the rest is given back.
    void* p = MAP_FAILED;
    constexpr uint64_t kWindow = (1ull << 32) + kSpaceBytes;
    void* window = mmap(nullptr, kWindow, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (window != MAP_FAILED) {
        uintptr_t start = reinterpret_cast<uintptr_t>(window);
        uintptr_t base = (start & ~uintptr_t(0xFFFFFFFFu)) | 0x80000000u;
        if (base < start)
            base += 1ull << 32;
        munmap(window, kWindow);
        p = mmap(reinterpret_cast<void*>(base), kSpaceBytes, PROT_READ | PROT_WRITE,
            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
        if (p != MAP_FAILED && p != reinterpret_cast<void*>(base)) {
            munmap(p, kSpaceBytes);
            p = MAP_FAILED;
        }
    }
    if (p == MAP_FAILED) // anywhere will do; the scan is only less precise
        p = mmap(nullptr, kSpaceBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        std::fputs("velora: cannot reserve the Lisp address space\n", stderr);
        std::exit(1);
    }
    gSpaceBase = static_cast<uint8_t*>(p);
    gTop = kHeader; // offset 0 stays unused so that no block payload has Lisp address 0 + origin
}

bool isSpaceRange(uint32_t address, uint64_t size)
{
    if (!gSpaceBase || address < kSpaceOrigin)
        return false;
    uint64_t offset = address - kSpaceOrigin;
    return offset + size <= gTop && offset >= kHeader;
}

bool isSpaceHost(const void* p)
{
    auto* b = static_cast<const uint8_t*>(p);
    return gSpaceBase && b >= gSpaceBase && b < gSpaceBase + gTop;
}

uint32_t spaceAllocate(uint32_t size)
{
    spaceEnsureReserved();
    uint32_t need = roundedSize(size);
    if (!need)
        return 0;
    for (int bin = binOf(need); bin < kBins; ++bin) {
        for (uint32_t offset = gBins[bin]; offset; offset = links(offset)->next) {
            if (header(offset)->size >= need) {
                unlinkFree(offset);
                header(offset)->flags = 0;
                splitBlock(offset, need);
                gInUse += header(offset)->size;
                return offset + kHeader + kSpaceOrigin;
            }
        }
    }
    if (gTop + need > kSpaceBytes)
        return 0;
    uint32_t offset = static_cast<uint32_t>(gTop);
    BlockHeader* h = header(offset);
    h->size = need;
    h->flags = 0;
    h->unused = 0;
    h->prevSize = gTopPrevSize;
    gTopPrevSize = need;
    gTop += need;
    gHighWater = std::max(gHighWater, gTop);
    gInUse += need;
    return offset + kHeader + kSpaceOrigin;
}

uint32_t spaceAllocateZeroed(uint32_t size)
{
    uint64_t fresh = std::max<uint64_t>(gHighWater, kHeader);
    uint32_t address = spaceAllocate(size);
    if (address) {
        uint64_t start = address - kSpaceOrigin;
        uint64_t dirtyEnd = std::min<uint64_t>(start + size, fresh);
        if (dirtyEnd > start)
            std::memset(gSpaceBase + start, 0, dirtyEnd - start);
    }
    return address;
}

namespace {
uint32_t blockOffset(uint32_t address) { return address - kSpaceOrigin - kHeader; }
} // namespace

void spaceFree(uint32_t address)
{
    if (!address)
        return;
    uint32_t offset = blockOffset(address);
    uint32_t size = header(offset)->size;
    gInUse -= size;
    bool reachesTop = false;
    uint64_t next = uint64_t(offset) + size;
    if (next == gTop) {
        reachesTop = true;
    } else if (header(next)->flags & kFreeFlag) {
        unlinkFree(static_cast<uint32_t>(next));
        size += header(next)->size;
    }
    if (uint32_t prevSize = header(offset)->prevSize) {
        uint32_t prev = offset - prevSize;
        if (header(prev)->flags & kFreeFlag) {
            unlinkFree(prev);
            offset = prev;
            size += prevSize;
        }
    }
    if (reachesTop) {
        gTop = offset;
        gTopPrevSize = header(offset)->prevSize;
        return;
    }
    header(offset)->size = size;
    setNextPrevSize(offset);
    linkFree(offset);
}

uint32_t spaceBlockSize(uint32_t address) { return header(blockOffset(address))->size - kHeader; }

void spaceShrink(uint32_t address, uint32_t size)
{
    uint32_t offset = blockOffset(address);
    uint32_t need = roundedSize(size);
    uint32_t old = header(offset)->size;
    if (need >= old)
        return;
    splitBlock(offset, need);
    gInUse -= old - header(offset)->size;
}

bool spaceResizeInPlace(uint32_t address, uint32_t size)
{
    uint32_t offset = blockOffset(address);
    uint32_t need = roundedSize(size);
    if (!need)
        return false;
    BlockHeader* h = header(offset);
    if (need <= h->size) {
        spaceShrink(address, size);
        return true;
    }
    uint64_t next = uint64_t(offset) + h->size;
    if (next == gTop && gTop + (need - h->size) <= kSpaceBytes) { // grow into the top
        gTop += need - h->size;
        gHighWater = std::max(gHighWater, gTop);
        gInUse += need - h->size;
        h->size = need;
        gTopPrevSize = need;
        return true;
    }
    if (next < gTop && (header(next)->flags & kFreeFlag) && uint64_t(h->size) + header(next)->size >= need) {
        unlinkFree(static_cast<uint32_t>(next));
        uint32_t old = h->size;
        h->size += header(next)->size;
        setNextPrevSize(offset);
        gInUse += h->size - old;
        spaceShrink(address, size);
        return true;
    }
    return false;
}

uint32_t spaceReallocate(uint32_t address, uint32_t size)
{
    if (!address)
        return spaceAllocate(size);
    if (spaceResizeInPlace(address, size))
        return address;
    uint32_t moved = spaceAllocate(size);
    if (!moved)
        return 0;
    std::memcpy(hostAddress(moved), hostAddress(address), header(blockOffset(address))->size - kHeader);
    spaceFree(address);
    return moved;
}

uint64_t spaceBytesInUse() { return gInUse; }
