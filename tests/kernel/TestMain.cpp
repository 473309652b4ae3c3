// tests/kernel/TestMain.cpp: starts the runtime once for every native test.
#include "Kernel/Error.h"
#include "Kernel/Frame.h"
#include "Kernel/Module.h"
#include "Platform/Host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

std::vector<std::string> gTestReports; // error reports of the current test, oldest first

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    hostEnlargeStack(64ull << 20);
    TopFrame top;
    setErrorMessageSink([](const std::string& text) {
        gTestReports.push_back(text);
        return 1;
    });
    startMemory();
    startModules();
    int status = RUN_ALL_TESTS();
    stopModules();
    stopMemory();
    return status;
}
