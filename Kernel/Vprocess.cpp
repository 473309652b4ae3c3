// Kernel/Vprocess.cpp: timer-driven processes run between events. Records are native objects in
// a list ordered by wake-up time; Lisp holds them through pointers of kind "process" whose word 1
// is the record's index in the process table (0 once the record is deleted).
#include "Kernel/Vprocess.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"
#include "Platform/Host.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct ProcessRecord {
    Value name = kNil;
    Value function = kNil;
    uint32_t quantum = 0;
    uint32_t wakeUp = 0;
    Value context = kNil;
    Value handle = kNil;
    bool oneShot = false;
    bool waitQuantum = false;
    bool running = false;
    bool suspended = false;
    bool killed = false;
    ProcessRecord* next = nullptr;
    ProcessRecord* previous = nullptr;
    uint32_t index = 0;
};

std::vector<ProcessRecord*> gTable(1); // index 0 is no process
ProcessRecord* gHead = nullptr;
bool gStepRunning = false;
Value gNameKey, gQuantumKey, gWaitQuantumKey, gOneShotKey, gContextKey;

class ProcessKind final : public PointerKind {
public:
    ProcessKind() : PointerKind("process") {}
    std::string print(Value pointer) override
    {
        char text[160];
        uint32_t index = pointerAddress(pointer);
        ProcessRecord* r = index < gTable.size() ? gTable[index] : nullptr;
        if (r && isSymbol(r->name))
            std::snprintf(text, sizeof text, "<%s %s %lx>", name(), symbolName(r->name), static_cast<unsigned long>(index));
        else
            std::snprintf(text, sizeof text, "<%s %lx>", name(), static_cast<unsigned long>(index));
        return text;
    }
} gProcessKind;

bool later(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) > 0; } // wraps with the tick count

void unlink(ProcessRecord* r)
{
    if (r->previous)
        r->previous->next = r->next;
    else if (gHead == r)
        gHead = r->next;
    if (r->next)
        r->next->previous = r->previous;
    r->next = r->previous = nullptr;
}

// After every process whose wake-up is not later than its own: equal times keep arrival order.
void insertOrdered(ProcessRecord* r)
{
    ProcessRecord* before = nullptr;
    for (ProcessRecord* p = gHead; p && !later(p->wakeUp, r->wakeUp); p = p->next)
        before = p;
    r->previous = before;
    r->next = before ? before->next : gHead;
    if (r->next)
        r->next->previous = r;
    if (before)
        before->next = r;
    else
        gHead = r;
}

void deleteRecord(ProcessRecord* r)
{
    unlink(r);
    if (isPointer(r->handle))
        cellOf(r->handle).cdr = 0;
    gTable[r->index] = nullptr;
    delete r;
}

void removeKilled()
{
    for (ProcessRecord* p = gHead; p;) {
        ProcessRecord* next = p->next;
        if (p->killed && !p->running)
            deleteRecord(p);
        p = next;
    }
}

ProcessRecord* toProcess(Value p)
{
    if (isSymbol(p)) {
        for (ProcessRecord* r = gHead; r; r = r->next)
            if (r->name == p)
                return r;
        raiseWrongType(p);
    }
    if (!isPointer(p) || pointerKindIndex(p) != gProcessKind.index())
        raiseWrongType(p);
    uint32_t index = pointerAddress(p);
    if (index == 0 || index >= gTable.size() || !gTable[index])
        raiseWrongType(p); // the process was deleted
    return gTable[index];
}

void reorder(ProcessRecord* r)
{
    unlink(r);
    insertOrdered(r);
}

Value addProcess(Value function, Value* options)
{
    auto* r = new ProcessRecord;
    std::unique_ptr<ProcessRecord> owner(r);
    r->function = function;
    for (Value* o = options; *o != kEnd; o += 2) {
        if (o[1] == kEnd)
            raiseWrongType(o[0]);
        Value key = o[0], value = o[1];
        if (key == gNameKey)
            r->name = value;
        else if (key == gQuantumKey)
            r->quantum = static_cast<uint32_t>(toInt32(value));
        else if (key == gWaitQuantumKey)
            r->waitQuantum = isFlagSet(value);
        else if (key == gOneShotKey)
            r->oneShot = isFlagSet(value);
        else if (key == gContextKey)
            r->context = value;
        else
            raiseWrongType(key);
    }
    if (r->name == kNil && isSymbol(function))
        r->name = function;
    r->wakeUp = currentTicks() + (r->waitQuantum ? r->quantum : 0);
    r->index = static_cast<uint32_t>(gTable.size());
    Value handle = makePointer(gProcessKind, r->index); // may collect: the record is not listed yet
    r->handle = handle;
    gTable.push_back(owner.release());
    insertOrdered(r);
    return handle;
}

Value killProcess(Value p)
{
    ProcessRecord* r = toProcess(p);
    if (r->running)
        r->killed = true;
    else
        deleteRecord(r);
    return kNoValue;
}

Value getProcesses()
{
    if (!gStepRunning)
        removeKilled();
    ListBuilder list;
    for (ProcessRecord* r = gHead; r; r = r->next) {
        list.add(r->handle);
    }
    return list.head;
}

Value findProcess(Value name)
{
    for (ProcessRecord* r = gHead; r; r = r->next)
        if (r->name == name && !r->killed)
            return r->handle;
    return kNil;
}

Value resetProcess(Value p)
{
    ProcessRecord* r = toProcess(p);
    r->wakeUp = currentTicks() + r->quantum;
    reorder(r);
    return kNoValue;
}

Value wakeUpProcess(Value p)
{
    ProcessRecord* r = toProcess(p);
    r->wakeUp = currentTicks();
    reorder(r);
    return kNoValue;
}

Value suspendProcess(Value p)
{
    toProcess(p)->suspended = true;
    return kNoValue;
}

Value resumeProcess(Value p)
{
    toProcess(p)->suspended = false;
    return kNoValue;
}

Value processSuspendedP(Value p) { return boolValue(toProcess(p)->suspended); }
Value processName(Value p) { return toProcess(p)->name; }
Value processFunction(Value p) { return toProcess(p)->function; }
Value processContext(Value p) { return toProcess(p)->context; }
Value processQuantum(Value p) { return makeInteger(toProcess(p)->quantum); }
Value processWakeUp(Value p) { return makeInteger(toProcess(p)->wakeUp); }
Value processRunningP(Value p) { return boolValue(toProcess(p)->running); }

Value setProcessQuantum(Value p, Value q)
{
    ProcessRecord* r = toProcess(p);
    uint32_t quantum = static_cast<uint32_t>(toInt32(q));
    r->quantum = quantum;
    r->wakeUp += quantum;
    reorder(r);
    return kNoValue;
}

Value giveTime()
{
    schedulerStep();
    return kNoValue;
}

Value cleanupProcesses()
{
    removeKilled();
    return kNoValue;
}

class VprocessModule final : public Module {
public:
    VprocessModule() : Module("Vprocess") {}
    void start() override
    {
        Module::start();
        gNameKey = makeKeyword("name");
        gQuantumKey = makeKeyword("quantum");
        gWaitQuantumKey = makeKeyword("wait-quantum?");
        gOneShotKey = makeKeyword("one-shot?");
        gContextKey = makeKeyword("context");
        defineFunctionRest1("add-process", addProcess);
        defineFunction1("kill-process", killProcess);
        defineFunction0("get-processes", getProcesses);
        defineFunction1("find-process", findProcess);
        defineFunction1("reset-process", resetProcess);
        defineFunction1("wake-up-process", wakeUpProcess);
        defineFunction1("suspend-process", suspendProcess);
        defineFunction1("resume-process", resumeProcess);
        defineFunction1("process-suspended?", processSuspendedP);
        defineFunction1("get-process-suspended?", processSuspendedP);
        defineFunction1("get-process-name", processName);
        defineFunction1("get-process-function", processFunction);
        defineFunction1("get-process-context", processContext);
        defineFunction1("get-process-quantum", processQuantum);
        defineFunction1("get-process-wake-up", processWakeUp);
        defineFunction2("set-process-quantum", setProcessQuantum);
        defineFunction1("get-process-running?", processRunningP);
        defineFunction0("give-time", giveTime);
        defineFunction0("cleanup-processes", cleanupProcesses);
    }
    void stop() override
    {
        Module::stop();
        while (gHead)
            deleteRecord(gHead);
        gTable.assign(1, nullptr);
    }
    void markRoots() override
    {
        for (ProcessRecord* r = gHead; r; r = r->next) {
            mark(r->name);
            mark(r->function);
            mark(r->context);
            mark(r->handle);
        }
    }
} vprocessModule;

struct StepGuard {
    StepGuard() { gStepRunning = true; }
    ~StepGuard() { gStepRunning = false; }
};

} // namespace

uint32_t currentTicks() { return static_cast<uint32_t>(hostMilliseconds() * 3 / 50); }

void schedulerStep()
{
    if (gStepRunning)
        return;
    StepGuard guard;
    try {
        while (gHead && gHead->killed && !gHead->running)
            deleteRecord(gHead);
        ProcessRecord* r = gHead;
        uint32_t now = currentTicks();
        if (!r || r->running || r->suspended || later(r->wakeUp, now))
            return;
        r->running = true;
        r->wakeUp = now + r->quantum;
        try {
            if (r->context != kNil)
                sendMessage(r->context, r->function, nullptr, 0);
            else // a symbol names the function through its value
                funcall(isSymbol(r->function) ? symbolValue(r->function) : r->function);
            if (r->oneShot)
                r->killed = true;
        } catch (const VEr_Thrower&) {
            r->killed = true; // an exit out of the function (an error report's among them) ends it
        }
        r->running = false;
        if (r->killed)
            deleteRecord(r);
        else if (r->next && later(r->wakeUp, r->next->wakeUp))
            reorder(r);
    } catch (const VEr_Thrower&) {
        // An exit out of the step itself is absorbed too.
    }
}

uint32_t nextWakeUp()
{
    for (ProcessRecord* r = gHead; r; r = r->next)
        if (!r->killed)
            return r->wakeUp;
    return currentTicks() + 60;
}
