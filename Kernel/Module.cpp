// Kernel/Module.cpp: the Module registry, the broadcasts and primitive registration.
#include "Kernel/Module.h"

#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/ModuleTable.h"
#include "Kernel/Symbol.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxModules = 110;

// Modules as their constructors ran (static-initialisation order, which C++ leaves open).
std::vector<Module*>& constructedModules()
{
    static std::vector<Module*> modules;
    return modules;
}

Module* gRegistry[kMaxModules];
int16_t gRegistryCount = -1; // -1 until built from the table
Module* gMessageFilters[10];
int16_t gMessageFilterCount = 0;
Module* gStartedList = nullptr;
MethodSlotDeclarer gMethodSlotDeclarer = nullptr;

std::vector<PrimitiveEntry>& primitiveTable()
{
    static std::vector<PrimitiveEntry> table;
    return table;
}

[[noreturn]] void fatal(const char* what, const char* name)
{
    std::fprintf(stderr, "velora: %s: %s\n", what, name);
    std::abort();
}

// Orders the constructed Modules as the module table says and wires the dependency table.
void buildRegistry()
{
    if (gRegistryCount >= 0)
        return;
    gRegistryCount = 0;
    auto& constructed = constructedModules();
    for (int i = 0; i < kModuleTableSize; ++i) {
        Module* found = nullptr;
        for (Module* m : constructed)
            if (std::strcmp(m->name(), kModuleTable[i]) == 0)
                found = m;
        if (!found)
            fatal("module missing from the program", kModuleTable[i]);
        gRegistry[gRegistryCount++] = found;
    }
    for (Module* m : constructed)
        if (!findModule(m->name()))
            fatal("module not in the module table", m->name());
    for (int i = 0; i < kModuleDependencyCount; ++i) {
        const ModuleDependency& d = kModuleDependencies[i];
        Module* m = findModule(d.module);
        Module* on = findModule(d.dependsOn);
        if (!m || !on)
            fatal("bad dependency", d.module);
        m->addDependency(*on);
    }
}

} // namespace

Module::Module(const char* name)
    : m_name(name)
{
    constructedModules().push_back(this);
}

void Module::start()
{
    m_started = true;
    for (int i = 0; i < m_dependencyCount; ++i)
        if (!m_dependencies[i]->started())
            m_dependencies[i]->start();
    m_next = gStartedList;
    gStartedList = this;
}

void Module::stop() { m_started = false; }

void Module::addDependency(Module& module)
{
    for (int i = 0; i < m_dependencyCount; ++i)
        if (m_dependencies[i] == &module)
            return;
    if (m_dependencyCount >= 5)
        fatal("more than five dependencies", m_name);
    m_dependencies[m_dependencyCount++] = &module;
}

void Module::addMessageFilter(Module& module)
{
    if (gMessageFilterCount < 10)
        gMessageFilters[gMessageFilterCount++] = &module;
}

uint32_t registerPrimitive(AnyFn function, uint32_t arityCode, const char* name)
{
    auto& table = primitiveTable();
    table.push_back({ function, arityCode, name, nullptr });
    gPrimitiveEntries = table.data();
    return static_cast<uint32_t>(table.size() - 1);
}

const PrimitiveEntry* gPrimitiveEntries = nullptr;

Value makePrimitive(AnyFn function, uint32_t arityCode, const char* name, uint32_t tag)
{
    uint32_t index = registerPrimitive(function, arityCode, name);
    Value cell = cons(0, index);
    cellOf(cell).car = kDescriptorHeader | (arityCode & kPayloadMask);
    return retag(cell, tag);
}

void Module::defineFunction(const char* name, AnyFn function, uint32_t arityCode)
{
    internWithValue(name, makePrimitive(function, arityCode, name, Tag::Primitive));
}

void Module::defineFunctionRest0(const char* name, FnRest0 f, Fn2 twoArguments)
{
    Value primitive = makePrimitive(AnyFn(f), kRestFlag, name, Tag::Primitive);
    primitiveTable()[cellOf(primitive).cdr].twoArguments = twoArguments;
    internWithValue(name, primitive);
}

void Module::defineSpecialForm(const char* name, SpecialFn f)
{
    internWithValue(name, makePrimitive(AnyFn(f), 0, name, Tag::Special));
}

void Module::defineMethod(Value classValue, const char* name, AnyFn function, uint32_t arityCode)
{
    Value symbol = intern(name);
    Value method = makePrimitive(function, arityCode, name, Tag::Primitive);
    if (!gMethodSlotDeclarer)
        fatal("a method is defined before the object system started", name);
    gMethodSlotDeclarer(classValue, symbol, method);
}

void setMethodSlotDeclarer(MethodSlotDeclarer declarer) { gMethodSlotDeclarer = declarer; }

int moduleCount()
{
    buildRegistry();
    return gRegistryCount;
}

Module* moduleAt(int index)
{
    buildRegistry();
    return index >= 0 && index < gRegistryCount ? gRegistry[index] : nullptr;
}

Module* findModule(const char* name)
{
    buildRegistry();
    for (int i = 0; i < gRegistryCount; ++i)
        if (std::strcmp(gRegistry[i]->name(), name) == 0)
            return gRegistry[i];
    return nullptr;
}

Module* startedList() { return gStartedList; }

Module* exchangeStartedList(Module* head)
{
    Module* old = gStartedList;
    gStartedList = head;
    return old;
}

void preStartModules()
{
    buildRegistry();
    for (int i = 0; i < gRegistryCount; ++i)
        if (!gRegistry[i]->started())
            gRegistry[i]->preStart();
}

void startModules()
{
    buildRegistry();
    for (int i = 0; i < gRegistryCount; ++i)
        if (!gRegistry[i]->started())
            gRegistry[i]->start();
}

void stopModules()
{
    while (Module* m = gStartedList) {
        gStartedList = m->m_next;
        m->m_next = nullptr;
        if (m->started())
            m->stop();
    }
}

namespace {
template <typename Operation> void broadcast(Operation operation)
{
    for (int i = 0; i < gRegistryCount; ++i)
        if (gRegistry[i]->started())
            operation(*gRegistry[i]);
}
} // namespace

void markModuleRoots() { broadcast([](Module& m) { m.markRoots(); }); }
void idleModules() { broadcast([](Module& m) { m.idle(); }); }
void suspendModules() { broadcast([](Module& m) { m.suspend(); }); }
void resumeModules() { broadcast([](Module& m) { m.resume(); }); }
void resetModulesAfterError() { broadcast([](Module& m) { m.resetAfterError(); }); }
void synchronizeModules() { broadcast([](Module& m) { m.synchronize(); }); }
void alertModules() { broadcast([](Module& m) { m.beforeAlert(); }); }

bool filterMessage(void* message)
{
    for (int i = 0; i < gMessageFilterCount; ++i)
        if (gMessageFilters[i]->filterMessage(message))
            return true;
    return false;
}

void startRuntime()
{
    preStartModules();
    startMemory();
    startModules();
}

void stopRuntime()
{
    stopModules();
    stopMemory();
}
