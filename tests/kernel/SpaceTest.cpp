// tests/kernel/SpaceTest.cpp: the allocator of the Lisp address space.
#include "Kernel/Space.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kBlockHeader = 16; // bytes in front of every payload

void fill(uint32_t address, uint32_t size, uint8_t seed)
{
    uint8_t* p = hostAddress(address);
    for (uint32_t i = 0; i < size; ++i)
        p[i] = static_cast<uint8_t>(seed + i * 7);
}

bool holds(uint32_t address, uint32_t size, uint8_t seed)
{
    const uint8_t* p = hostAddress(address);
    for (uint32_t i = 0; i < size; ++i)
        if (p[i] != static_cast<uint8_t>(seed + i * 7))
            return false;
    return true;
}

} // namespace

TEST(Space, AllocationIsAlignedInsideTheSpaceAndNotNull)
{
    for (uint32_t size : { 0u, 1u, 15u, 16u, 17u, 1000u, 65536u }) {
        uint32_t a = spaceAllocate(size);
        ASSERT_NE(a, 0u) << size;
        EXPECT_EQ(a % 16, 0u) << size;
        EXPECT_GE(spaceBlockSize(a), size);
        EXPECT_TRUE(isSpaceRange(a, size)) << size;
        spaceFree(a);
    }
    EXPECT_FALSE(isSpaceRange(0, 1));
    EXPECT_FALSE(isSpaceRange(kSpaceOrigin - 1, 1));
    EXPECT_FALSE(isSpaceRange(0xFFFFFFF0u, 4));
}

// Freeing three neighbours in any order leaves one free block that a request of their whole size
// gets back at the first neighbour's address.
TEST(Space, FreeingCoalescesWithBothNeighbours)
{
    const uint32_t size = 1 << 20;
    const int orders[][3] = { { 0, 1, 2 }, { 0, 2, 1 }, { 1, 0, 2 }, { 1, 2, 0 }, { 2, 0, 1 }, { 2, 1, 0 } };
    for (auto& order : orders) {
        uint32_t block[3];
        for (uint32_t& b : block)
            b = spaceAllocate(size);
        uint32_t guard = spaceAllocate(64); // keeps the three away from the top
        ASSERT_EQ(block[1], block[0] + size + kBlockHeader);
        ASSERT_EQ(block[2], block[1] + size + kBlockHeader);
        uint64_t inUse = spaceBytesInUse();
        for (int i : order)
            spaceFree(block[i]);
        EXPECT_EQ(spaceBytesInUse(), inUse - 3 * (size + kBlockHeader));
        uint32_t whole = spaceAllocate(3 * size + 2 * kBlockHeader);
        EXPECT_EQ(whole, block[0]) << order[0] << order[1] << order[2];
        spaceFree(whole);
        spaceFree(guard);
    }
}

TEST(Space, ShrinkGivesTheTailBack)
{
    uint32_t a = spaceAllocate(1 << 20);
    uint32_t guard = spaceAllocate(64);
    fill(a, 1000, 3);
    uint64_t inUse = spaceBytesInUse();
    spaceShrink(a, 1000);
    EXPECT_TRUE(holds(a, 1000, 3));
    EXPECT_EQ(spaceBlockSize(a), 1008u); // 1000 plus the header, rounded to 16
    EXPECT_EQ(spaceBytesInUse(), inUse - ((1 << 20) - 1008));
    // The tail is a free block right after the shrunk one, first in line for its size.
    uint32_t b = spaceAllocate(600000);
    EXPECT_EQ(b, a + 1008 + kBlockHeader);
    spaceFree(b);
    spaceFree(a);
    spaceFree(guard);
}

// A zero-byte block still has room for the free-list links, so freeing it leaves its neighbour
// intact.
TEST(Space, FreeingAnEmptyBlockKeepsItsNeighbour)
{
    uint32_t a = spaceAllocate(4096);
    uint32_t guard = spaceAllocate(64);
    spaceShrink(a, 0);
    uint32_t b = spaceAllocate(4096 - 64); // takes the tail that the shrink freed
    ASSERT_GT(b, a);
    ASSERT_LT(b, a + 4096);
    fill(b, 4096 - 64, 9);
    uint32_t sizeOfB = spaceBlockSize(b);
    spaceFree(a);
    EXPECT_EQ(spaceBlockSize(b), sizeOfB);
    EXPECT_TRUE(holds(b, 4096 - 64, 9));
    spaceFree(b);
    spaceFree(guard);
}

TEST(Space, ReallocateGrowsInPlaceOrMovesWithTheData)
{
    // a, then its neighbour in the tail that shrinking a gave back, then a guard.
    uint32_t a = spaceAllocate(1 << 20);
    uint32_t guard = spaceAllocate(64);
    spaceShrink(a, 1000);
    uint32_t next = spaceAllocate(600000);
    ASSERT_EQ(next, a + 1008 + kBlockHeader);
    fill(a, 1000, 5);
    EXPECT_FALSE(spaceResizeInPlace(a, 2000)); // the neighbour is in use
    EXPECT_EQ(spaceBlockSize(a), 1008u);
    spaceFree(next);
    // The free neighbour makes room in place.
    EXPECT_EQ(spaceReallocate(a, 2500), a);
    EXPECT_TRUE(holds(a, 1000, 5));
    EXPECT_TRUE(spaceResizeInPlace(a, 300000));
    EXPECT_TRUE(holds(a, 1000, 5));
    // Past the guard it must move.
    EXPECT_FALSE(spaceResizeInPlace(a, 2 << 20));
    EXPECT_GE(spaceBlockSize(a), 300000u);
    uint32_t moved = spaceReallocate(a, 2 << 20);
    ASSERT_NE(moved, 0u);
    EXPECT_NE(moved, a);
    EXPECT_TRUE(holds(moved, 1000, 5));
    EXPECT_GE(spaceBlockSize(moved), uint32_t(2 << 20));
    spaceFree(moved);
    spaceFree(guard);
}

// Random allocations, frees, reallocations and shrinks against a shadow model: every live block
// keeps its bytes, no two live blocks overlap, and the bytes in use add up.
TEST(Space, RandomOperationsAgreeWithAShadowModel)
{
    struct Live {
        uint32_t address;
        uint32_t size; // bytes the model relies on
        uint8_t seed;
    };
    std::vector<Live> live;
    std::mt19937 random(20260);
    const uint64_t baseline = spaceBytesInUse();
    auto sizeOf = [&](std::mt19937& r) -> uint32_t {
        uint32_t kind = r() % 10;
        return kind == 0 ? r() % 200000 : kind < 4 ? r() % 16 : r() % 3000;
    };
    auto checkAll = [&] {
        uint64_t sum = 0;
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        for (const Live& l : live) {
            EXPECT_TRUE(holds(l.address, l.size, l.seed));
            EXPECT_GE(spaceBlockSize(l.address), l.size);
            sum += spaceBlockSize(l.address) + kBlockHeader;
            ranges.push_back({ l.address - kBlockHeader, l.address + spaceBlockSize(l.address) });
        }
        std::sort(ranges.begin(), ranges.end());
        for (size_t i = 1; i < ranges.size(); ++i)
            EXPECT_LE(ranges[i - 1].second, ranges[i].first);
        EXPECT_EQ(spaceBytesInUse() - baseline, sum);
    };
    uint8_t seed = 0;
    for (int step = 0; step < 3000; ++step) {
        uint32_t op = random() % 10;
        if (live.empty() || op < 4) {
            uint32_t size = sizeOf(random);
            uint32_t a = spaceAllocate(size);
            ASSERT_NE(a, 0u);
            fill(a, size, ++seed);
            live.push_back({ a, size, seed });
        } else if (op < 7) {
            size_t i = random() % live.size();
            spaceFree(live[i].address);
            live[i] = live.back();
            live.pop_back();
        } else if (op < 9) {
            Live& l = live[random() % live.size()];
            uint32_t size = sizeOf(random);
            uint32_t a = spaceReallocate(l.address, size);
            ASSERT_NE(a, 0u);
            uint32_t kept = std::min(size, l.size);
            EXPECT_TRUE(holds(a, kept, l.seed));
            fill(a, size, l.seed);
            l = { a, size, l.seed };
        } else {
            Live& l = live[random() % live.size()];
            uint32_t size = l.size ? random() % l.size : 0;
            spaceShrink(l.address, size);
            EXPECT_TRUE(holds(l.address, size, l.seed));
            l.size = size;
        }
        if (step % 50 == 0)
            checkAll();
    }
    checkAll();
    for (const Live& l : live)
        spaceFree(l.address);
    EXPECT_EQ(spaceBytesInUse(), baseline);
}

// Zeroed allocation clears what earlier blocks wrote, whether the memory comes back from a free
// block, from the top after the top retreated, or partly from memory never handed out.
TEST(Space, ZeroedAllocationClearsReusedMemory)
{
    auto allZero = [](uint32_t address, uint32_t size) {
        const uint8_t* p = hostAddress(address);
        return std::all_of(p, p + size, [](uint8_t b) { return b == 0; });
    };
    uint32_t keep = spaceAllocate(64);
    uint32_t a = spaceAllocate(4096);
    uint32_t b = spaceAllocate(64);
    fill(a, 4096, 3);
    fill(b, 64, 5);
    spaceFree(a); // a free block between two used ones
    uint32_t again = spaceAllocateZeroed(4000);
    ASSERT_NE(again, 0u);
    EXPECT_TRUE(allZero(again, 4000));
    spaceFree(again);
    fill(b, 64, 9);
    spaceFree(b); // the top retreats over b and the free block
    uint32_t wide = spaceAllocateZeroed(200000);
    ASSERT_NE(wide, 0u);
    EXPECT_TRUE(allZero(wide, 200000));
    fill(wide, 200000, 1);
    spaceFree(wide);
    uint32_t wider = spaceAllocateZeroed(300000);
    ASSERT_NE(wider, 0u);
    EXPECT_TRUE(allZero(wider, 300000));
    spaceFree(wider);
    spaceFree(keep);
}
