// Kernel/Error.cpp: catch and throw, unwind-protect, quitting and the error report.
#include "Kernel/Error.h"

#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Printer.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"
#include "Interfac/VAlert.h"

#include <cstdio>

namespace Sym {
Value toplevel, cancel, errorTrap, errorHandler;
}

// Counted by the event layer; catch restores it.
int gEventBlockCounter = 0;

namespace {

bool gInReport = false;
int gReportDepth = 0;

struct ReportDepth {
    ReportDepth() { ++gReportDepth; }
    ~ReportDepth() { --gReportDepth; }
};

// Lifts the Lisp stack limit to the end of the stack for the report's own calls.
struct LispStackReserve {
    Value* saved = gAreas.lispStackLimit;
    LispStackReserve() { gAreas.lispStackLimit = gAreas.lispStackEnd - 16; }
    ~LispStackReserve() { gAreas.lispStackLimit = saved; }
};
int gReportCount = 0;
ErrorMessageSink gSink = nullptr;

constexpr size_t kReportValueChars = 799;

// Collects printed text up to a limit, then stops the printing: a circular or huge culprit
// still gives a report.
class LimitedTextStream final : public NativeStream {
public:
    struct Full {};
    explicit LimitedTextStream(size_t limit) : m_limit(limit) {}
    void seek(int64_t) override {}
    int64_t position() override { return static_cast<int64_t>(m_text.size()); }
    int readByte() override { return kEnd; }
    int peekByte() override { return kEnd; }
    int64_t length() override { return static_cast<int64_t>(m_text.size()); }
    void writeByte(int byte) override
    {
        if (m_text.size() >= m_limit)
            throw Full {};
        m_text.push_back(static_cast<char>(byte));
    }
    std::string m_text;

private:
    size_t m_limit;
};

// The string conversion of a value, cut to limit characters.
std::string limitedText(Value v, size_t limit)
{
    std::string text;
    if (isString(v) || isSymbol(v)) {
        text = stringOf(v);
    } else {
        LimitedTextStream out(limit);
        try {
            printValueTo(v, PrintStyle::Print, out);
        } catch (const LimitedTextStream::Full&) {
        }
        text = std::move(out.m_text);
    }
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

} // namespace

namespace {
VEr_Thrower* gNewestInFlight = nullptr;
}

VEr_Thrower::VEr_Thrower(Value t, Value v)
    : tag(t)
    , value(v)
    , m_olderInFlight(gNewestInFlight)
{
    if (gNewestInFlight)
        gNewestInFlight->m_newerInFlight = this;
    gNewestInFlight = this;
}

VEr_Thrower::VEr_Thrower(const VEr_Thrower& other) : VEr_Thrower(other.tag, other.value) {}

VEr_Thrower& VEr_Thrower::operator=(const VEr_Thrower& other)
{
    tag = other.tag;
    value = other.value;
    return *this;
}

VEr_Thrower::~VEr_Thrower()
{
    if (m_olderInFlight)
        m_olderInFlight->m_newerInFlight = m_newerInFlight;
    if (m_newerInFlight)
        m_newerInFlight->m_olderInFlight = m_olderInFlight;
    else
        gNewestInFlight = m_olderInFlight;
}

void setErrorMessageSink(ErrorMessageSink sink) { gSink = sink; }
int errorReportCount() { return gReportCount; }
bool inErrorReport() { return gInReport; }

bool hasCatch(Value tag)
{
    for (Frame* f = gCurrentFrame; f && f->m_previous; f = f->m_previous)
        if (f->catches(tag))
            return true;
    return false;
}

void throwTo(Value tag, Value value)
{
    if (!hasCatch(tag))
        raiseError(ErrorCode::NoCatch, tag);
    throw VEr_Thrower { tag, value };
}

void showErrorMessage(const std::string& text)
{
    int button;
    if (gSink) {
        button = gSink(text);
    } else {
        button = showAlert(5500, { text });
        if (button == 3)
            button = showAlert(6100, { text });
    }
    if (button == 2)
        throw VEr_Quit {};
}

void reportError(int32_t family, int32_t code, Value culprit)
{
    ++gReportCount;
    // The report may run where the stacks ran out: it gets the reserves kept below their limits.
    ReportDepth depth;
    StackReserve reserve;
    LispStackReserve lispReserve;
    resetModulesAfterError();
    if (tagOf(culprit) == Tag::Address)
        culprit = kNil;
    if (gInReport)
        throw VEr_Printing {};
    gInReport = true;
    std::string text;
    try {
        std::string value = limitedText(culprit, kReportValueChars);
        std::string self = limitedText(gSelf, kReportValueChars);
        std::string nil = stringOf(kNil);
        char head[64];
        std::snprintf(head, sizeof head, "Error: %ld-%ld, ", static_cast<long>(family), static_cast<long>(code));
        text = head + value + ", " + self + ", " + nil + ", " + nil;
    } catch (const VEr_Printing&) {
        text = "Unprintable error";
    } catch (...) {
        gInReport = false;
        throw;
    }
    gInReport = false;

    // A report made while the error handler handles another one goes to the alert: a handler
    // that fails every time must not recurse without end.
    Value handler = globalValue(Sym::errorHandler);
    if (handler == kNil || handler == kNoValue || gReportDepth > 1) {
        showErrorMessage(text);
    } else {
        const Value args[] = { makeInteger(family), makeInteger(code), culprit == kEnd ? kNil : culprit, gSelf, kNil,
            kNil };
        sendMessage(handler, Sym::errorTrap, args, 6);
    }
    if (hasCatch(Sym::toplevel))
        throw VEr_Thrower { Sym::toplevel, kNil };
    throw VEr_Quit {};
}

void raiseError(int32_t code, Value culprit) { reportError(kGeneralFamily, code, culprit); }
void raiseDatabaseError(int32_t code, Value culprit) { reportError(kDatabaseFamily, code, culprit); }

// ---- The Error Module ----

namespace {

Value catchForm(Value args)
{
    if (!isPair(args))
        raiseWrongType(args);
    Value tag = eval(car(args));
    int savedCounter = gEventBlockCounter;
    Value* savedSP = gLispSP;
    try {
        CatchFrame frame(tag);
        return evalBody(cdr(args));
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != tag)
            throw;
        gEventBlockCounter = savedCounter;
        gLispSP = savedSP;
        return thrown.value;
    }
}

Value throwPrimitive(Value tag, Value value) { throwTo(tag, value); }
Value catchedP(Value tag) { return boolValue(hasCatch(tag)); }

void runCleanupForms(Value forms) { evalBody(forms); }

Value unwindProtect(Value args)
{
    if (!isPair(args))
        raiseWrongType(args);
    CleanupFrame frame(runCleanupForms, cdr(args));
    Value result = eval(car(args));
    frame.runNow();
    return result;
}

Value quitPrimitive() { throw VEr_Quit {}; }
Value toplevelPrimitive() { throwTo(Sym::toplevel, kNil); }

Value errorPrimitive(Value control, Value* rest);

Value debuggerPrimitive(Value x)
{
    showErrorMessage(stringOf(x));
    return x;
}

class ErrorModule final : public Module {
public:
    ErrorModule() : Module("Error") {}
    void markRoots() override
    {
        for (VEr_Thrower* t = gNewestInFlight; t; t = t->m_olderInFlight) {
            mark(t->tag);
            mark(t->value);
        }
    }
    void start() override
    {
        Module::start();
        defineSpecialForm("catch", catchForm);
        defineFunction2("throw", throwPrimitive);
        defineFunction1("catched?", catchedP);
        defineSpecialForm("unwind-protect", unwindProtect);
        defineFunction0("quit", quitPrimitive);
        defineFunction0("do-quit", quitPrimitive);
        defineFunction0("toplevel", toplevelPrimitive);
        defineFunctionRest1("error", errorPrimitive);
        defineFunction1("debugger", debuggerPrimitive);
        Sym::toplevel = intern("toplevel");
        Sym::cancel = intern("cancel");
        Sym::errorTrap = intern("error-trap");
        Sym::errorHandler = internWithValue("Error-Handler", kNil);
    }
} errorModule;

} // namespace

#include "Kernel/Format.h"

namespace {
Value errorPrimitive(Value control, Value* rest)
{
    std::string text = formatToString(stringOf(control), rest);
    raiseError(ErrorCode::User, makeString(text));
}
} // namespace
