// Kernel/Profiler.cpp: the profiler flag, the cycle counter and the pass-through profile form.
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Platform/Host.h"

namespace {

bool gProfiler = false;

Value profileForm(Value args)
{
    if (!isPair(args))
        raiseWrongType(args);
    if (!isPair(cdr(args))) // (profile form)
        return eval(car(args));
    return evalBody(cdr(args));
}

Value getProfiler() { return boolValue(gProfiler); }

Value setProfiler(Value flag)
{
    gProfiler = isFlagSet(flag);
    return kNoValue;
}

// The counter as a non-negative integer below 2^63 (a big integer past 24 bits).
Value cpuCounter() { return makeInteger(static_cast<int64_t>(hostPerformanceCounter() & 0x7FFFFFFFFFFFFFFFull)); }

class ProfilerModule final : public Module {
public:
    ProfilerModule() : Module("Profiler") {}
    void start() override
    {
        Module::start();
        defineSpecialForm("profile", profileForm);
        defineFunction0("get-profiler?", getProfiler);
        defineFunction1("set-profiler?", setProfiler);
        defineFunction0("cpu-counter", cpuCounter);
    }
} profilerModule;

} // namespace
