// tests/kernel/ValueTest.cpp: the Value layout and the fixed Values.
#include "Kernel/Value.h"

#include <gtest/gtest.h>

TEST(Value, FixedValuesAndTags)
{
    EXPECT_EQ(kNil, 0x3F000000u);
    EXPECT_EQ(kNoValue, 0x05000000u);
    EXPECT_EQ(kEnd, 0x1F000000u);
    EXPECT_EQ(kNoObject, 0x0F000000u);
    EXPECT_EQ(tagOf(0xC2000010u), 0x02u); // the collector bits are not part of the tag
    const struct { int32_t n; uint32_t word; } cases[] = {
        { 0, 0x02000000u }, { 1, 0x02000001u }, { -1, 0x02FFFFFFu },
        { kMaxImmediate, 0x027FFFFFu }, { kMinImmediate, 0x02800000u },
    };
    for (auto& c : cases) {
        EXPECT_EQ(makeImmediate(c.n), c.word);
        EXPECT_EQ(integerValue(c.word), c.n);
    }
    EXPECT_TRUE(fitsImmediate(kMaxImmediate));
    EXPECT_FALSE(fitsImmediate(int64_t(kMaxImmediate) + 1));
    EXPECT_FALSE(fitsImmediate(int64_t(kMinImmediate) - 1));
}
