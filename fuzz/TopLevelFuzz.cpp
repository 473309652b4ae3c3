// fuzz/TopLevelFuzz.cpp: runs arbitrary bytes as a script: every form is read and evaluated at
// the top level, with the primitives that reach the machine refused and output dropped. Error
// reports are expected; a crash, a sanitizer report, a top-level loop that stays in place, or a
// run that the evaluation deadline cannot stop is a fault.
#include "Kernel/Error.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "tests/support/Sandbox.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace {

int runInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    sandbox::Outcome outcome = sandbox::runTopLevel(text, 300);
    if (!outcome.progressed || outcome.milliseconds > 3000)
        std::abort();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    hostEnlargeStack(64ull << 20);
    TopFrame top;
    setErrorMessageSink([](const std::string&) { return 1; });
    startMemory();
    startModules();
    sandbox::refuseDangerousPrimitives();
    int status = LLVMFuzzerRunDriver(&argc, &argv, runInput);
    stopModules();
    stopMemory();
    return status;
}
