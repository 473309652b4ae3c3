// Kernel/Space.h: the Lisp address space, one contiguous region that holds everything Lisp can
// address (the memory block with the symbol table, stacks, cells and blocks, and all handle and
// memory-pointer data). A Lisp address is kSpaceOrigin plus the byte offset into the region, so 0
// stays null and conversion is one addition.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kSpaceOrigin = 0x00010000;
constexpr uint64_t kSpaceBytes = 0x7FF00000ull; // keeps every Lisp address below 2^31

extern uint8_t* gSpaceBase; // host address of kSpaceOrigin

void spaceEnsureReserved();

inline uint8_t* hostAddress(uint32_t address) { return gSpaceBase + (address - kSpaceOrigin); }
inline uint32_t lispAddress(const void* p)
{
    return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - gSpaceBase) + kSpaceOrigin;
}
// Whether [address, address + size) lies inside the part of the region in use.
bool isSpaceRange(uint32_t address, uint64_t size);
bool isSpaceHost(const void* p);

// Allocation of region memory: 16-byte aligned, 0 when the region is exhausted.
uint32_t spaceAllocate(uint32_t size);
// The same, with the bytes cleared (memory never handed out before is known to be zero).
uint32_t spaceAllocateZeroed(uint32_t size);
void spaceFree(uint32_t address);
// Resizes in place when it can, else moves; 0 on failure (the old block is then unchanged).
uint32_t spaceReallocate(uint32_t address, uint32_t size);
// Resizes without moving; false (the block unchanged) when that is not possible.
bool spaceResizeInPlace(uint32_t address, uint32_t size);
// Shrinks without moving; always succeeds for size not above the current size.
void spaceShrink(uint32_t address, uint32_t size);
uint32_t spaceBlockSize(uint32_t address);
uint64_t spaceBytesInUse();
