// tests/interfac/EventTest.cpp: the exception a window procedure traps, and the key codes.
#include "Interfac/Event.h"
#include "Kernel/Error.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(PendingException, ThrowIsReRaisedWithItsTagAndValue)
{
    Value tag = intern("pending-tag");
    EXPECT_FALSE(trapLisp([&] { throw VEr_Thrower { tag, makeInteger(7) }; }));
    try {
        raisePending();
        FAIL() << "nothing re-raised";
    } catch (const VEr_Thrower& thrown) {
        EXPECT_EQ(thrown.tag, tag);
        EXPECT_EQ(thrown.value, makeInteger(7));
    }
    EXPECT_NO_THROW(raisePending()) << "re-raised once only";
}

TEST(PendingException, LaterThrowReplacesEarlierOne)
{
    trapLisp([] { throw VEr_Thrower { intern("first"), kNil }; });
    trapLisp([] { throw VEr_Thrower { intern("second"), kNil }; });
    try {
        raisePending();
        FAIL();
    } catch (const VEr_Thrower& thrown) {
        EXPECT_EQ(thrown.tag, intern("second"));
    }
}

TEST(PendingException, QuitIsNeverOverwritten)
{
    trapLisp([] { throw VEr_Quit {}; });
    trapLisp([] { throw VEr_Thrower { intern("later"), kNil }; });
    trapLisp([] { throw std::runtime_error("later still"); });
    EXPECT_THROW(raisePending(), VEr_Quit);
}

TEST(PendingException, AnyOtherExceptionIsKeptToo)
{
    EXPECT_TRUE(trapLisp([] {}));
    EXPECT_NO_THROW(raisePending());
    trapLisp([] { throw std::runtime_error("native"); });
    EXPECT_THROW(raisePending(), std::runtime_error);
}

TEST(KeyCodes, FollowTheTable)
{
    const struct {
        uint8_t virtualKey;
        bool extended;
        int code;
    } cases[] = {
        { 0x70, false, 378 }, { 0x71, false, 376 }, { 0x7E, false, 369 }, { 0x0D, false, 13 }, { 0x0D, true, 3 },
        { 'A', false, 'A' }, { '7', false, '7' }, { 0x63, false, '3' }, { 0x25, false, 28 }, { 0x26, false, 30 },
        { 0x27, false, 29 }, { 0x28, false, 31 }, { 0x21, false, 11 }, { 0x22, false, 12 }, { 0x23, false, 4 },
        { 0x24, false, 1 }, { 0x2D, false, 5 }, { 0x2E, false, 127 }, { 0x6B, false, 43 }, { 0xBA, false, 59 },
        { 0xDC, false, 92 }, { 0x10, false, 0 }, { 0x7F, false, 0 }, { 0x1B, false, 27 }, { 0x08, false, 8 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyCodeOfVirtualKey(c.virtualKey, c.extended), c.code) << int(c.virtualKey);
}

} // namespace
