// tests/kernel/OutputPumpTest.cpp: writing to the current output pumps events at most every 100 ms.
#include "Support.h"

#include "Kernel/StreamArgument.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {
int gPumps = 0;
}

TEST(OutputPump, CalledAtMostEvery100Milliseconds)
{
    setOutputEventPump([] { ++gPumps; });
    std::this_thread::sleep_for(std::chrono::milliseconds(110));
    StringOutputStream sink;
    OutputRedirection redirection(sink);
    gPumps = 0;
    for (int i = 0; i < 50; ++i)
        toOutputStream(kNil).writeByte('x');
    EXPECT_EQ(gPumps, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(110));
    toOutputStream(kNil).writeByte('y');
    EXPECT_EQ(gPumps, 2);
    EXPECT_EQ(sink.text(), std::string(50, 'x') + "y");
    setOutputEventPump(nullptr);
}
