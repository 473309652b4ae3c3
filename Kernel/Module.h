// Kernel/Module.h: the Module base class, the registry and the registration of primitives.
#pragma once

#include "Kernel/Value.h"

#include <cstdint>

using Fn0 = Value (*)();
using Fn1 = Value (*)(Value);
using Fn2 = Value (*)(Value, Value);
using Fn3 = Value (*)(Value, Value, Value);
using Fn4 = Value (*)(Value, Value, Value, Value);
using Fn5 = Value (*)(Value, Value, Value, Value, Value);
using Fn6 = Value (*)(Value, Value, Value, Value, Value, Value);
using Fn7 = Value (*)(Value, Value, Value, Value, Value, Value, Value);
using Fn8 = Value (*)(Value, Value, Value, Value, Value, Value, Value, Value);
using Fn9 = Value (*)(Value, Value, Value, Value, Value, Value, Value, Value, Value);
// Rest primitives receive the remaining arguments as an end-marker-terminated array.
using FnRest0 = Value (*)(Value* rest);
using FnRest1 = Value (*)(Value, Value* rest);
using FnRest2 = Value (*)(Value, Value, Value* rest);
// Special forms receive the unevaluated argument list.
using SpecialFn = Value (*)(Value args);
using AnyFn = void (*)();

constexpr uint32_t kRestFlag = 0x800000;
constexpr uint32_t kDescriptorHeader = 0x58000000; // header tag 0x18 with the permanent bit

// The table of registered native functions; a descriptor's word 1 is an index into it.
struct PrimitiveEntry {
    AnyFn function;
    uint32_t arityCode;
    const char* name;
    // For some rest primitives: the same function given exactly two arguments, which the
    // evaluator calls without building the argument array.
    Fn2 twoArguments;
};
extern const PrimitiveEntry* gPrimitiveEntries; // the table's entries (they move as it grows)
inline const PrimitiveEntry& primitiveEntry(Value descriptor) { return gPrimitiveEntries[cellOf(descriptor).cdr]; }
uint32_t registerPrimitive(AnyFn function, uint32_t arityCode, const char* name);
// Builds a primitive (tag 0x0C) or special (tag 0x0D) Value for a native function.
Value makePrimitive(AnyFn function, uint32_t arityCode, const char* name, uint32_t tag);

class Module {
public:
    explicit Module(const char* name);
    virtual ~Module() = default;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    virtual void preStart() {}
    virtual void start();
    virtual void stop();
    virtual void markRoots() {}
    virtual void idle() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void resetAfterError() {}
    virtual bool filterMessage(void* message) { return false; }
    virtual void synchronize() {}
    virtual void beforeAlert() {}

    const char* name() const { return m_name; }
    bool started() const { return m_started; }

    void addDependency(Module& module);
    int dependencyCount() const { return m_dependencyCount; }
    Module* dependency(int i) const { return i >= 0 && i < m_dependencyCount ? m_dependencies[i] : nullptr; }
    static void addMessageFilter(Module& module);

    Module* m_next = nullptr; // started list, most recently started first

protected:
    static void defineFunction(const char* name, AnyFn function, uint32_t arityCode);
    static void defineFunction0(const char* name, Fn0 f) { defineFunction(name, AnyFn(f), 0); }
    static void defineFunction1(const char* name, Fn1 f) { defineFunction(name, AnyFn(f), 1); }
    static void defineFunction2(const char* name, Fn2 f) { defineFunction(name, AnyFn(f), 2); }
    static void defineFunction3(const char* name, Fn3 f) { defineFunction(name, AnyFn(f), 3); }
    static void defineFunction4(const char* name, Fn4 f) { defineFunction(name, AnyFn(f), 4); }
    static void defineFunction5(const char* name, Fn5 f) { defineFunction(name, AnyFn(f), 5); }
    static void defineFunction6(const char* name, Fn6 f) { defineFunction(name, AnyFn(f), 6); }
    static void defineFunction7(const char* name, Fn7 f) { defineFunction(name, AnyFn(f), 7); }
    static void defineFunction8(const char* name, Fn8 f) { defineFunction(name, AnyFn(f), 8); }
    static void defineFunction9(const char* name, Fn9 f) { defineFunction(name, AnyFn(f), 9); }
    static void defineFunctionRest0(const char* name, FnRest0 f) { defineFunction(name, AnyFn(f), kRestFlag); }
    static void defineFunctionRest0(const char* name, FnRest0 f, Fn2 twoArguments);
    static void defineFunctionRest1(const char* name, FnRest1 f) { defineFunction(name, AnyFn(f), kRestFlag | 1); }
    static void defineFunctionRest2(const char* name, FnRest2 f) { defineFunction(name, AnyFn(f), kRestFlag | 2); }
    static void defineSpecialForm(const char* name, SpecialFn f);
    // Methods: the receiver comes first, the arity code counts the arguments after it.
    static void defineMethod(Value classValue, const char* name, AnyFn function, uint32_t arityCode);

private:
    const char* m_name;
    Module* m_dependencies[5] = {};
    int16_t m_dependencyCount = 0;
    bool m_started = false;
};

// The object system installs how a method name becomes a slot of a class.
using MethodSlotDeclarer = void (*)(Value classValue, Value name, Value method);
void setMethodSlotDeclarer(MethodSlotDeclarer declarer);

// The registry, in the fixed order of the module table.
int moduleCount();
Module* moduleAt(int index);
Module* findModule(const char* name);

// The head of the started list. Exchanging it lets a test run the start and stop protocol on
// Modules of its own without touching the runtime's list.
Module* startedList();
Module* exchangeStartedList(Module* head);

void preStartModules();
void startModules();
void stopModules();
void markModuleRoots();
void idleModules();
void suspendModules();
void resumeModules();
void resetModulesAfterError();
void synchronizeModules();
void alertModules();
bool filterMessage(void* message);

// Memory areas plus every Module started: what the command line, the tests and the boot need.
void startRuntime();
void stopRuntime();
