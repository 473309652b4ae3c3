// Kernel/Eval.cpp: evaluation by tag, application, the call protocol, the core special forms and
// the Eval Module's primitives.
#include "Kernel/Eval.h"

#include "Kernel/Error.h"
#include "Kernel/Frame.h"
#include "Kernel/List.h"
#include "Kernel/Logical.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Prolog.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"
#include "Kernel/Type.h"
#include "Platform/Host.h"

#include <unordered_map>

uintptr_t gEvalStackLimit = 0;
int gEventPumpDepth = 0; // a running event pump does its own polling

// Installed by the Prolog engine: a query with evaluated arguments (end-marker terminated).
Value (*gPredicateCall)(Value predicate, Value* args) = nullptr;

namespace {

void (*gEventPoll)() = nullptr;
uint64_t gLastPoll = 0;
uint32_t gPollCountdown = 0;

// Variables evaluated outside any function: one slot per symbol, kept for the whole run.
std::unordered_map<Value, Value>& topLevelVariables()
{
    static std::unordered_map<Value, Value> variables;
    return variables;
}

Value gUnquote, gUnquoteSplicing, gElse, gClose;

inline uint32_t headerBits(Value function) { return payloadOf(cellOf(function).car); }
inline uint32_t positionalCount(uint32_t h) { return (h >> 18) & 63; }
inline bool needsLexical(uint32_t h) { return (h >> 17) & 1; }
inline bool hasRest(uint32_t h) { return (h >> 16) & 1; }
inline uint32_t localCount(uint32_t h) { return h & 511; }
inline Value functionBody(Value function) { return cdr(cdr(function)); }

// Reads the next element of a special form's argument list; a missing part is an error.
inline Value nextPart(Value& list, Value form)
{
    if (!isPair(list)) [[unlikely]]
        raiseWrongType(form);
    Value v = car(list);
    list = cdr(list);
    return v;
}

void pollEvents()
{
    if (!gEventPoll || gEventPumpDepth > 0)
        return;
    if (gPollCountdown-- != 0)
        return;
    gPollCountdown = 256;
    uint64_t now = hostMilliseconds();
    if (now - gLastPoll >= 100) {
        gLastPoll = now;
        gEventPoll();
    }
}

// Argument sources of the call protocol: an unevaluated list (evaluated in the caller's frame)
// or an array of values already evaluated.
inline Value quickEval(Value v);

struct ListArguments {
    Value rest;
    bool more() const { return isPair(rest); }
    Value next()
    {
        Value v = quickEval(car(rest));
        rest = cdr(rest);
        return v;
    }
};

struct ArrayArguments {
    const Value* at;
    bool more() const { return *at != kEnd; }
    Value next() { return *at++; }
};

template <typename Source> Value restList(Source& source)
{
    ListBuilder list;
    while (source.more()) {
        list.add(source.next());
    }
    return list.head;
}

ActivationFrame* activationAt(intptr_t distance)
{
    auto target = reinterpret_cast<uintptr_t>(gTopFrame) - static_cast<uintptr_t>(distance);
    for (Frame* f = gCurrentFrame; f; f = f->m_previous) {
        auto address = reinterpret_cast<uintptr_t>(f);
        if (address == target && (f->kind() == Frame::Activation || f->kind() == Frame::Prolog))
            return static_cast<ActivationFrame*>(f);
        if (address > target)
            break;
    }
    return nullptr;
}

template <typename Source>
Value callFunction(Value function, Source& source, ActivationFrame* staticLink, Value captures)
{
    checkCStack();
    ActivationFrame frame(staticLink);
    frame.m_function = function;
    pollEvents();
    uint32_t h = headerBits(function);
    uint32_t n = positionalCount(h);
    uint32_t i = 0;
    for (; i < n && source.more(); ++i)
        pushLisp(source.next());
    for (; i < n; ++i)
        pushLisp(kNoValue); // parameters the call did not supply read as unset
    if (hasRest(h))
        pushLisp(restList(source));
    for (Value c = captures; isPair(c); c = cdr(c))
        pushLisp(car(c));
    for (uint32_t k = localCount(h); k > 0; --k)
        pushLisp(kNoValue);
    frame.enter();
    return evalBody(functionBody(function));
}

Value callSyntax(Value syntax, Value args)
{
    checkCStack();
    Frame* caller = gCurrentFrame;
    ActivationFrame frame(nullptr);
    uint32_t h = headerBits(syntax);
    pushLisp(args);
    if (positionalCount(h) > 1) {
        auto distance = reinterpret_cast<uintptr_t>(gTopFrame) - reinterpret_cast<uintptr_t>(caller);
        pushLisp(makePointer(gPlainPointerKind, static_cast<uint32_t>(distance)));
        for (uint32_t k = 2; k < positionalCount(h); ++k)
            pushLisp(kNoValue);
    }
    if (hasRest(h))
        pushLisp(kNil);
    for (uint32_t k = localCount(h); k > 0; --k)
        pushLisp(kNoValue);
    frame.enter();
    return evalBody(functionBody(syntax));
}

// A primitive call links no frame: the only state it changes is the Lisp stack, for the rest
// arguments, and the mark puts that back.
template <typename Source> Value callPrimitive(Value op, Source& source)
{
    const PrimitiveEntry& entry = primitiveEntry(op);
    uint32_t code = entry.arityCode;
    AnyFn f = entry.function; // copied first: the table may move while arguments are evaluated
    uint32_t n = code & 0x1FFFFF;
    Value a[9];
    for (uint32_t i = 0; i < n; ++i)
        a[i] = source.more() ? source.next() : kNil;
    if (code & kRestFlag) {
        LispStackMark mark;
        Value* rest = gLispSP;
        while (source.more())
            pushLisp(source.next());
        pushLisp(kEnd);
        switch (n) {
        case 0:
            return reinterpret_cast<FnRest0>(f)(rest);
        case 1:
            return reinterpret_cast<FnRest1>(f)(a[0], rest);
        default:
            return reinterpret_cast<FnRest2>(f)(a[0], a[1], rest);
        }
    }
    switch (n) {
    case 0:
        return reinterpret_cast<Fn0>(f)();
    case 1:
        return reinterpret_cast<Fn1>(f)(a[0]);
    case 2:
        return reinterpret_cast<Fn2>(f)(a[0], a[1]);
    case 3:
        return reinterpret_cast<Fn3>(f)(a[0], a[1], a[2]);
    case 4:
        return reinterpret_cast<Fn4>(f)(a[0], a[1], a[2], a[3]);
    case 5:
        return reinterpret_cast<Fn5>(f)(a[0], a[1], a[2], a[3], a[4]);
    case 6:
        return reinterpret_cast<Fn6>(f)(a[0], a[1], a[2], a[3], a[4], a[5]);
    case 7:
        return reinterpret_cast<Fn7>(f)(a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    case 8:
        return reinterpret_cast<Fn8>(f)(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    default:
        return reinterpret_cast<Fn9>(f)(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
    }
}

Value callLexical(Value closure, auto& source)
{
    Value distance = car(closure);
    ActivationFrame* link = activationAt(static_cast<intptr_t>(toInt64(distance)));
    if (!link) // its defining activation has returned
        raiseError(ErrorCode::NotApplicable, closure);
    return callFunction(cdr(closure), source, link, kNil);
}

Value evalSpecialForm(uint32_t tag, Value args, Value form);

Value sendForm(Value args, Value form);

Value arrayToList(const Value* argv)
{
    ArrayArguments source { argv };
    return restList(source);
}

} // namespace

void setEventPoll(void (*poll)()) { gEventPoll = poll; }

void pollEventsPeriodically() { pollEvents(); }

void stackTooDeep() { raiseError(ErrorCode::MemoryExhausted, kNil); }

namespace {

// The common case inline: a variable of the current activation itself (depth 0).
inline Value* quickVariableSlot(Value variable)
{
    Frame* lexical = gCurrentFrame->m_lexical;
    Value address = cellOf(variable).car & ~(kMarkBit | kPermanentBit);
    if (lexical && (address & 0xFF0000) == 0) [[likely]] {
        Value* slot = static_cast<ActivationFrame*>(lexical)->m_slotBase + (address & 0xFFFF);
        if (slot < gAreas.lispStackEnd) [[likely]]
            return slot;
    }
    return variableSlot(variable);
}

// Evaluation of the operands that need no call: immediates, variables of the current activation
// and global values outside any object context. Everything else goes through eval.
inline Value quickEval(Value v)
{
    switch (tagOf(v)) {
    case Tag::Integer:
    case Tag::String:
    case Tag::Real:
        return v;
    case Tag::Variable: {
        Value x = *quickVariableSlot(v);
        if (x != kNoValue && tagOf(x) != Tag::StackRef) [[likely]]
            return x;
        break;
    }
    case Tag::Symbol:
        if (gSelf == kNoObject) {
            const SymbolRecord& r = symbolRecord(v);
            if (r.value != kNoValue && (r.owner == 0 || r.owner == kEnd)) [[likely]]
                return r.value;
        }
        break;
    default:
        break;
    }
    return eval(v);
}

// The next operand of a primitive call, or nil when the form has no more.
inline Value nextOperand(Value& args)
{
    if (!isPair(args))
        return kNil;
    Value v = quickEval(car(args));
    args = cdr(args);
    return v;
}

__attribute__((noinline)) Value callRestPrimitive(FnRest0 f, Value args)
{
    LispStackMark mark;
    Value* rest = gLispSP;
    for (; isPair(args); args = cdr(args))
        pushLisp(quickEval(car(args)));
    pushLisp(kEnd);
    return f(rest);
}

__attribute__((noinline)) Value callOtherPrimitive(Value op, Value args)
{
    ListArguments source { args };
    return callPrimitive(op, source);
}

// A primitive applied to the operands of a form: the common arities without the argument array.
Value callPrimitiveOnList(Value op, Value args)
{
    const PrimitiveEntry& entry = primitiveEntry(op);
    AnyFn f = entry.function;
    switch (entry.arityCode) {
    case 0:
        return reinterpret_cast<Fn0>(f)();
    case 1:
        return reinterpret_cast<Fn1>(f)(nextOperand(args));
    case 2: {
        Value a = nextOperand(args);
        Value b = nextOperand(args);
        return reinterpret_cast<Fn2>(f)(a, b);
    }
    case kRestFlag: {
        if (Fn2 two = entry.twoArguments; two && isPair(args) && isPair(cdr(args)) && !isPair(cdr(cdr(args)))) {
            Value a = quickEval(car(args));
            Value b = quickEval(car(cdr(args)));
            return two(a, b);
        }
        return callRestPrimitive(reinterpret_cast<FnRest0>(f), args);
    }
    default:
        return callOtherPrimitive(op, args);
    }
}

} // namespace

Value* variableSlot(Value variable)
{
    Frame* lexical = gCurrentFrame ? gCurrentFrame->m_lexical : nullptr;
    if (!lexical) {
        auto [it, inserted] = topLevelVariables().try_emplace(cdr(variable), kNoValue);
        return &it->second;
    }
    Value address = car(variable);
    uint32_t depth = (address >> 16) & 0xFF;
    uint32_t index = address & 0xFFFF;
    auto* frame = static_cast<ActivationFrame*>(lexical);
    for (; depth > 0 && frame; --depth)
        frame = frame->m_staticLink;
    if (!frame)
        raiseError(ErrorCode::Unbound, variable);
    Value* slot = frame->m_slotBase + index;
    if (slot >= gAreas.lispStackEnd)
        raiseWrongType(variable);
    return slot;
}

namespace {

inline void assign(Value target, Value value)
{
    if (tagOf(target) == Tag::Variable) [[likely]]
        *quickVariableSlot(target) = value;
    else if (tagOf(target) == Tag::Symbol)
        setSymbolValue(target, value);
    else
        raiseWrongType(target);
}

inline Value ifForm(Value args, Value form)
{
    Value test = nextPart(args, form);
    Value then = nextPart(args, form);
    if (quickEval(test) != kNil)
        return quickEval(then);
    return evalBody(args);
}

inline Value setForm(Value args, Value form)
{
    Value target = nextPart(args, form);
    Value value = quickEval(nextPart(args, form));
    assign(target, value);
    return value;
}

// The rarer cases of eval, out of line so that the common ones stay lean.
__attribute__((noinline)) Value evalVariable(Value v)
{
    Value x = *quickVariableSlot(v);
    if (x == kNoValue)
        raiseError(ErrorCode::Unbound, v);
    if (tagOf(x) == Tag::StackRef) // bound by a proof to a structure or another variable
        return prologDereference(x, v);
    return x;
}

__attribute__((noinline)) Value evalFunction(Value v)
{
    Frame* lexical = gCurrentFrame ? gCurrentFrame->m_lexical : nullptr;
    if (lexical && needsLexical(headerBits(v))) {
        auto distance = reinterpret_cast<uintptr_t>(gTopFrame) - reinterpret_cast<uintptr_t>(lexical);
        return retag(cons(makeInteger(static_cast<int64_t>(distance)), v), Tag::Lexical);
    }
    return v;
}

__attribute__((noinline)) Value evalGamma(Value v)
{
    // Word 1 is ((gamma parameters . captures) . body); each capture is (variable expression).
    Value captureSpecs = cdr(cdr(car(cdr(v))));
    ListBuilder values;
    for (; isPair(captureSpecs); captureSpecs = cdr(captureSpecs))
        values.add(eval(car(cdr(car(captureSpecs)))));
    return retag(cons(v, values.head), Tag::Closed);
}

} // namespace

Value eval(Value v)
{
    switch (tagOf(v)) {
    case Tag::List: {
        if (v == kNil)
            return kNil;
        checkCStack();
        Value op = quickEval(car(v));
        uint32_t tag = tagOf(op);
        if (tag == Tag::Primitive) [[likely]]
            return callPrimitiveOnList(op, cdr(v));
        Value args = cdr(v);
        switch (tag) { // the commonest special forms without the dispatcher's call
        case 0x21:
            return ifForm(args, v);
        case 0x25:
            return setForm(args, v);
        default:
            break;
        }
        if (isSpecialFormTag(tag))
            return evalSpecialForm(tag, args, v);
        return applyForm(op, args, v);
    }
    case Tag::Variable:
        return evalVariable(v);
    case Tag::Symbol: {
        if (gSelf == kNoObject) {
            const SymbolRecord& r = symbolRecord(v);
            if (r.value != kNoValue && (r.owner == 0 || r.owner == kEnd))
                return r.value;
        }
        return symbolValue(v);
    }
    case Tag::Function:
        return evalFunction(v);
    case Tag::Gamma:
        return evalGamma(v);
    default:
        return v;
    }
}

Value evalBody(Value body)
{
    Value result = kNoValue;
    for (; isPair(body); body = cdr(body))
        result = eval(car(body));
    return result;
}

Value applyForm(Value op, Value args, Value form)
{
    uint32_t tag = tagOf(op);
    switch (tag) {
    case Tag::Syntax:
        return callSyntax(op, args);
    case Tag::Instance:
    case Tag::Class: {
        ObjectContextFrame context(op);
        return evalBody(args);
    }
    case Tag::Function: {
        ListArguments source { args };
        return callFunction(op, source, nullptr, kNil);
    }
    case Tag::Primitive: {
        ListArguments source { args };
        return callPrimitive(op, source);
    }
    case Tag::Special: {
        LispStackMark mark;
        return reinterpret_cast<SpecialFn>(primitiveEntry(op).function)(args);
    }
    case Tag::Predicate: {
        if (!gPredicateCall)
            raiseError(ErrorCode::NotApplicable, form);
        LispStackMark mark;
        Value* argv = gLispSP;
        for (Value a = args; isPair(a); a = cdr(a)) // a variable argument goes as itself
            pushLisp(tagOf(car(a)) == Tag::Variable ? car(a) : eval(car(a)));
        pushLisp(kEnd);
        return gPredicateCall(op, argv);
    }
    case Tag::Lexical: {
        ListArguments source { args };
        return callLexical(op, source);
    }
    case Tag::Closed: {
        ListArguments source { args };
        return callFunction(car(op), source, nullptr, cdr(op));
    }
    default:
        if (isSpecialFormTag(tag))
            return evalSpecialForm(tag, args, form);
        raiseError(ErrorCode::NotApplicable, form);
    }
}

Value applyArray(Value op, Value* argv, Value form)
{
    uint32_t tag = tagOf(op);
    switch (tag) {
    case Tag::Instance:
    case Tag::Class: {
        ObjectContextFrame context(op);
        Value result = kNoValue;
        for (Value* a = argv; *a != kEnd; ++a)
            result = eval(*a);
        return result;
    }
    case Tag::Function: {
        ArrayArguments source { argv };
        return callFunction(op, source, nullptr, kNil);
    }
    case Tag::Lexical: {
        ArrayArguments source { argv };
        return callLexical(op, source);
    }
    case Tag::Closed: {
        ArrayArguments source { argv };
        return callFunction(car(op), source, nullptr, cdr(op));
    }
    case Tag::Primitive: {
        ArrayArguments source { argv };
        return callPrimitive(op, source);
    }
    case Tag::Special: {
        LispStackMark mark;
        return reinterpret_cast<SpecialFn>(primitiveEntry(op).function)(arrayToList(argv));
    }
    case Tag::Predicate: {
        if (!gPredicateCall)
            raiseError(ErrorCode::NotApplicable, form);
        return gPredicateCall(op, argv);
    }
    case 0x2C: // or
    case 0x2D: // and
        return evalSpecialForm(tag, arrayToList(argv), form);
    case 0x2F: { // send: (object message argument ...)
        if (argv[0] == kEnd || argv[1] == kEnd)
            raiseWrongType(form);
        Value obj = argv[0];
        if (obj == kNil)
            return kNil;
        int count = 0;
        while (argv[2 + count] != kEnd)
            ++count;
        return sendMessage(obj, argv[1], argv + 2, count);
    }
    default:
        raiseError(ErrorCode::NotApplicable, form);
    }
}

Value funcallArray(Value op, const Value* args, int count)
{
    LispStackMark mark;
    Value* argv = gLispSP;
    for (int i = 0; i < count; ++i)
        pushLisp(args[i]);
    pushLisp(kEnd);
    return applyArray(op, argv, op);
}

Value sendMessage(Value obj, Value message, const Value* args, int count)
{
    LispStackMark mark;
    Value* argv = gLispSP;
    for (int i = 0; i < count; ++i)
        pushLisp(args[i]);
    pushLisp(kEnd);
    ObjectContextFrame context(obj);
    Value method = eval(message);
    return applyArray(method, argv, message);
}

// ---- Core special forms ----

namespace {


bool caseMatches(Value keys, Value key)
{
    if (isPair(keys)) {
        for (; isPair(keys); keys = cdr(keys))
            if (isEqv(car(keys), key))
                return true;
        return false;
    }
    return keys == kTrue || keys == gElse || isEqv(keys, key);
}

void restoreFluidBindings(Value saved)
{
    for (; isPair(saved); saved = cdr(saved))
        setGlobalValue(car(car(saved)), cdr(car(saved)));
}

__attribute__((noinline)) Value fluidLet(Value args, Value form)
{
    Value bindings = nextPart(args, form);
    Value saved = kNil;
    CleanupFrame restore(restoreFluidBindings, kNil);
    for (; isPair(bindings); bindings = cdr(bindings)) {
        Value binding = car(bindings);
        Value symbol = isPair(binding) ? car(binding) : binding;
        if (!isSymbol(symbol))
            raiseWrongType(binding);
        Value value = isPair(binding) && isPair(cdr(binding)) ? eval(car(cdr(binding))) : kNoValue;
        // Later bindings are restored first, so a symbol bound twice gets its original value back.
        saved = cons(cons(symbol, globalValue(symbol)), saved);
        restore.m_datum = saved;
        setSymbolValue(symbol, value);
    }
    Value result = evalBody(args);
    restore.runNow();
    return result;
}

__attribute__((noinline)) Value letForm(Value args, Value form)
{
    Value bindings = nextPart(args, form);
    for (; isPair(bindings); bindings = cdr(bindings)) {
        Value binding = car(bindings);
        Value target = isPair(binding) ? car(binding) : binding;
        Value value = isPair(binding) && isPair(cdr(binding)) ? eval(car(cdr(binding))) : kNoValue;
        assign(target, value);
    }
    return evalBody(args);
}

Value evalSpecialForm(uint32_t tag, Value args, Value form)
{
    switch (tag) {
    case 0x20: // quote
        return nextPart(args, form);
    case 0x21:
        return ifForm(args, form);
    case 0x22: { // when
        Value test = nextPart(args, form);
        if (quickEval(test) == kNil)
            return kNil;
        return evalBody(args);
    }
    case 0x24: { // cond
        for (; isPair(args); args = cdr(args)) {
            Value clause = car(args);
            if (!isPair(clause))
                raiseWrongType(clause);
            Value test = car(clause);
            Value value = test == gElse ? kTrue : quickEval(test);
            if (value != kNil)
                return isPair(cdr(clause)) ? evalBody(cdr(clause)) : value;
        }
        return kNoValue;
    }
    case 0x25:
        return setForm(args, form);
    case 0x27: { // case
        Value key = quickEval(nextPart(args, form));
        for (; isPair(args); args = cdr(args)) {
            Value clause = car(args);
            if (!isPair(clause))
                raiseWrongType(clause);
            if (caseMatches(car(clause), key))
                return evalBody(cdr(clause));
        }
        return kNoValue;
    }
    case 0x28: { // repeat
        Value count = quickEval(nextPart(args, form));
        int64_t n = isInteger(count) ? toInt64(count) : -1;
        if (n < 0)
            raiseWrongType(count);
        for (int64_t i = 0; i < n; ++i)
            evalBody(args);
        return kNoValue;
    }
    case 0x29: { // until
        Value test = nextPart(args, form);
        do {
            pollEvents();
            evalBody(args);
        } while (quickEval(test) == kNil);
        return kNoValue;
    }
    case 0x2A: { // while
        Value test = nextPart(args, form);
        while (quickEval(test) != kNil) {
            pollEvents();
            evalBody(args);
        }
        return kNoValue;
    }
    case 0x2B: // begin
        return evalBody(args);
    case 0x2C: { // or
        for (; isPair(args); args = cdr(args))
            if (Value v = quickEval(car(args)); v != kNil)
                return v;
        return kNil;
    }
    case 0x2D: { // and
        Value v = kTrue;
        for (; isPair(args); args = cdr(args))
            if ((v = quickEval(car(args))) == kNil)
                return kNil;
        return v;
    }
    case 0x2E: // lambda
    case 0x31: // syntax
        return compileFunction(form);
    case 0x30: // gamma
        return quickEval(compileFunction(form));
    case 0x2F: // send
        return sendForm(args, form);
    case 0x26: // new-clause
        return newClauseForm(form);
    case 0x32:
        return fluidLet(args, form);
    case 0x36:
        return letForm(args, form);
    default:
        raiseError(ErrorCode::NotApplicable, form);
    }
}

Value sendForm(Value args, Value form)
{
    Value obj = eval(nextPart(args, form));
    Value message = nextPart(args, form);
    if (obj == kNil)
        return kNil;
    LispStackMark mark;
    Value* argv = gLispSP;
    for (ListArguments source { args }; source.more();)
        pushLisp(source.next());
    pushLisp(kEnd);
    ObjectContextFrame context(obj);
    Value method = eval(message);
    return applyArray(method, argv, form);
}

// ---- The Eval Module ----

Value evalPrimitive(Value x) { return eval(x); }

Value applySpecial(Value args)
{
    if (!isPair(args))
        raiseWrongType(args);
    Value f = eval(car(args));
    Value* argv = gLispSP;
    for (Value rest = cdr(args); isPair(rest); rest = cdr(rest)) {
        Value v = eval(car(rest));
        if (!isPair(cdr(rest))) { // the last argument is the list of further arguments
            for (; isPair(v); v = cdr(v))
                pushLisp(car(v));
            break;
        }
        pushLisp(v);
    }
    pushLisp(kEnd);
    return applyArray(f, argv, args);
}

constexpr int kMaxMapLists = 5;

// Walks up to five lists in parallel; non-lists are passed unchanged at every step.
struct ParallelLists {
    Value lists[kMaxMapLists];
    int count = 0;

    explicit ParallelLists(Value* rest)
    {
        for (; *rest != kEnd; ++rest) {
            if (count == kMaxMapLists)
                raiseWrongType(*rest);
            lists[count++] = *rest;
        }
    }
    // Pushes the current elements on the Lisp stack; false when any list has ended.
    bool pushStep()
    {
        for (int i = 0; i < count; ++i)
            if (isList(lists[i]) && !isPair(lists[i]))
                return false;
        for (int i = 0; i < count; ++i)
            pushLisp(isList(lists[i]) ? car(lists[i]) : lists[i]);
        pushLisp(kEnd);
        return true;
    }
    void advance()
    {
        for (int i = 0; i < count; ++i)
            if (isList(lists[i]))
                lists[i] = cdr(lists[i]);
    }
};

Value forEach(Value f, Value* rest)
{
    ParallelLists lists(rest);
    for (;;) {
        Value* argv = gLispSP;
        if (!lists.pushStep())
            break;
        applyArray(f, argv, f);
        gLispSP = argv;
        lists.advance();
    }
    return kNoValue;
}

Value mapPrimitive(Value f, Value* rest)
{
    ParallelLists lists(rest);
    ListBuilder list;
    for (;;) {
        Value* argv = gLispSP;
        if (!lists.pushStep())
            break;
        list.add(applyArray(f, argv, f));
        gLispSP = argv;
        lists.advance();
    }
    return list.head;
}

Value mapIf(Value test, Value f, Value* rest)
{
    ParallelLists lists(rest);
    bool single = lists.count == 1;
    ListBuilder list;
    for (;;) {
        Value* argv = gLispSP;
        if (!lists.pushStep())
            break;
        Value t = applyArray(test, argv, test);
        bool keep = single ? t != kNil : isFlagSet(t);
        if (keep) {
            list.add(applyArray(f, argv, f));
        }
        gLispSP = argv;
        lists.advance();
    }
    return list.head;
}

Value voidPrimitive() { return kNoValue; }
Value commentForm(Value) { return kNoValue; }

Value mapatoms(Value test)
{
    Value result = kNil;
    for (uint32_t i = 0; i < symbolCount(); ++i) {
        Value s = symbolAt(i);
        if (symbolRecord(s).name == 0)
            continue;
        if (funcall(test, s) != kNil)
            result = cons(s, result);
    }
    return result;
}

bool isFormOf(Value x, Value head) { return isPair(x) && car(x) == head && isPair(cdr(x)); }

Value quasiExpand(Value t)
{
    checkCStack();
    if (!isPair(t))
        return t;
    Value a = car(t);
    Value rest = cdr(t);
    if (isFormOf(a, gUnquote))
        return cons(eval(car(cdr(a))), quasiExpand(rest));
    if (isFormOf(a, gUnquoteSplicing)) {
        Value spliced = eval(car(cdr(a)));
        Value tailPart = quasiExpand(rest);
        if (!isPair(spliced))
            return tailPart;
        ListBuilder list;
        for (; isPair(spliced); spliced = cdr(spliced))
            list.add(car(spliced));
        setCdr(list.tail, tailPart);
        return list.head;
    }
    return cons(quasiExpand(a), quasiExpand(rest));
}

Value quasiquoteForm(Value args) { return quasiExpand(nextPart(args, args)); }

Value unlessForm(Value args)
{
    if (eval(nextPart(args, args)) != kNil)
        return kNil;
    return evalBody(args);
}

Value prog1Form(Value args)
{
    Value result = eval(nextPart(args, args));
    evalBody(args);
    return result;
}

Value tryForm(Value args)
{
    Value objForm = nextPart(args, args);
    if (isSymbol(objForm) && !isBound(objForm))
        return kNil;
    Value obj = eval(objForm);
    if (obj == kNil)
        return kNil;
    ObjectContextFrame context(obj);
    return evalBody(args);
}

Value typecaseForm(Value args)
{
    Value x = eval(nextPart(args, args));
    for (; isPair(args); args = cdr(args)) {
        Value clause = car(args);
        if (!isPair(clause))
            raiseWrongType(clause);
        Value types = car(clause);
        bool match = false;
        if (types == gElse)
            match = true;
        else if (isPair(types)) {
            for (; isPair(types) && !match; types = cdr(types))
                match = typeMatches(x, car(types));
        } else
            match = typeMatches(x, types);
        if (match)
            return evalBody(cdr(clause));
    }
    return kNoValue;
}

void disposeWithValues(Value values)
{
    for (; isPair(values); values = cdr(values)) {
        Value v = car(values);
        uint32_t tag = tagOf(v);
        if ((tag == Tag::Instance || tag == Tag::Class) && v != kNoObject)
            sendMessage(v, gClose, nullptr, 0);
        else if (tag == Tag::Pointer)
            if (PointerKind* kind = pointerKind(pointerKindIndex(v)))
                kind->dispose(v);
    }
}

Value withForm(Value args)
{
    Value bindings = nextPart(args, args);
    CleanupFrame cleanup(disposeWithValues, kNil);
    Value tail = kNil;
    for (; isPair(bindings); bindings = cdr(bindings)) {
        Value binding = car(bindings);
        Value target = isPair(binding) ? car(binding) : binding;
        Value value = isPair(binding) && isPair(cdr(binding)) ? eval(car(cdr(binding))) : kNoValue;
        assign(target, value);
        Value cell = cons(value, kNil);
        if (cleanup.m_datum == kNil)
            cleanup.m_datum = cell;
        else
            setCdr(tail, cell);
        tail = cell;
    }
    Value result = evalBody(args);
    cleanup.runNow();
    return result;
}

Value putForm(Value args)
{
    Value obj = eval(nextPart(args, args));
    Value symbol = nextPart(args, args);
    Value value = eval(nextPart(args, args));
    if (!isSymbol(symbol))
        raiseWrongType(symbol);
    ObjectContextFrame context(obj);
    setSymbolValue(symbol, value);
    return value;
}

Value freeForm(Value args)
{
    Value x = nextPart(args, args);
    if (tagOf(x) == Tag::Variable)
        return boolValue(*variableSlot(x) == kNoValue);
    return boolValue(eval(x) == kNoValue);
}

Value textPrimitive(Value x)
{
    uint32_t tag = tagOf(x);
    if (tag == Tag::Variable) {
        Value address = car(x);
        return cons(cons(makeInteger((address >> 16) & 0xFF), makeInteger(address & 0xFFFF)), cdr(x));
    }
    if ((tag >= Tag::Syntax && tag <= Tag::Class) || tag == Tag::Lexical || tag == Tag::Gamma || tag == Tag::Closed) {
        Cell c = cellOf(x);
        return cons(c.car & ~(kMarkBit | kPermanentBit), c.cdr);
    }
    return x;
}

class EvalModule final : public Module {
public:
    EvalModule() : Module("Eval") {}
    void start() override
    {
        Module::start();
        const struct {
            const char* name;
            uint32_t tag;
        } forms[] = {
            { "quote", 0x20 }, { "if", 0x21 }, { "when", 0x22 }, { "cond", 0x24 }, { "set!", 0x25 },
            { "case", 0x27 }, { "repeat", 0x28 }, { "until", 0x29 }, { "while", 0x2A }, { "begin", 0x2B },
            { "or", 0x2C }, { "and", 0x2D }, { "lambda", 0x2E }, { "send", 0x2F }, { "gamma", 0x30 },
            { "syntax", 0x31 }, { "fluid-let", 0x32 }, { "let", 0x36 }, { "let*", 0x36 }, { "letrec", 0x36 },
        };
        for (auto& f : forms)
            internWithValue(f.name, makeValue(f.tag, 0));
        Sym::quote = intern("quote");
        Sym::lambda = intern("lambda");
        Sym::syntax = intern("syntax");
        Sym::gamma = intern("gamma");
        Sym::quasiquote = intern("quasiquote");
        Sym::unquote = gUnquote = intern("unquote");
        Sym::unquoteSplicing = gUnquoteSplicing = intern("unquote-splicing");
        Sym::elseSym = gElse = intern("else");
        intern("name");
        gClose = intern("close");

        defineFunction1("eval", evalPrimitive);
        defineSpecialForm("apply", applySpecial);
        defineFunctionRest1("for-each", forEach);
        defineFunctionRest1("map", mapPrimitive);
        defineFunctionRest2("map-if", mapIf);
        defineFunction0("void", voidPrimitive);
        defineSpecialForm("comment", commentForm);
        defineFunction1("mapatoms", mapatoms);
        defineSpecialForm("quasiquote", quasiquoteForm);
        defineSpecialForm("unless", unlessForm);
        defineSpecialForm("prog1", prog1Form);
        defineSpecialForm("try", tryForm);
        defineSpecialForm("typecase", typecaseForm);
        defineSpecialForm("with", withForm);
        defineSpecialForm("put!", putForm);
        defineSpecialForm("free?", freeForm);
        defineFunction1("text", textPrimitive);
    }
    void markRoots() override
    {
        for (auto& [symbol, value] : topLevelVariables())
            mark(value);
    }
} evalModule;

} // namespace
