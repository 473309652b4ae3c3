// Kernel/Prolog.cpp: the Prolog Module. Predicates are lists of compiled clauses; calling one runs
// a depth-first proof with backtracking. A proof is a chain of goal records on the C stack: every
// goal proves its continuation itself, so success runs deeper and failure returns. Bindings live
// in the clauses' slots on the Lisp stack; the trail on the Prolog stack lists the bound slots so
// that backtracking can unbind them.
#include "Kernel/Prolog.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Logical.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Printer.h"
#include "Kernel/Symbol.h"

#include <string>

extern Value (*gPredicateCall)(Value predicate, Value* args);

namespace {

constexpr int32_t kObjectContextError = 21;

Value gCut = 0;
Value gNewClause = 0;

// The trail grows downward from the last word of the Prolog stack.
uint32_t* gTrailTop = nullptr;
// Set once the innermost running query has found its solution: from then on the frames that
// unwind keep their bindings instead of undoing them.
bool gProofSucceeded = false;
// Lisp stack pointer at the start of the innermost Lisp evaluation inside a proof; nullptr when no
// proof is running. Slots below it belong to the enclosing proof.
Value* gTestBoundary = nullptr;

// A cut unwinds to the predicate call whose clause it belongs to, carrying the result of the
// goals that followed it.
struct VPr_Cut {
    const void* barrier;
    bool result;
};

void undoTrail(uint32_t* mark)
{
    while (gTrailTop < mark)
        *reinterpret_cast<Value*>(hostAddress(*gTrailTop++)) = kNoValue;
}

// The activation of one clause try: its slots are the clause's variables.
class PrologFrame : public ActivationFrame {
public:
    PrologFrame(const void* barrier, uint32_t slotCount)
        : ActivationFrame(nullptr)
        , m_savedTrail(gTrailTop)
        , m_barrier(barrier)
        , m_slotCount(slotCount)
    {
    }
    ~PrologFrame() override
    {
        if (!gProofSucceeded)
            undoTrail(m_savedTrail);
    }
    Kind kind() const override { return Prolog; }

    uint32_t* m_savedTrail;
    const void* m_barrier;       // the predicate call that a cut in this clause returns to
    uint32_t m_slotCount;
    Value m_topVariables = kNil; // a top-level query: the variable cells its slots stand for
    bool m_topLevel = false;
};

// Lisp code inside a proof (goal arguments, tests) runs with the goal's activation as its
// lexical frame.
class TestScope : public BaseFrame {
public:
    explicit TestScope(ActivationFrame* env)
        : m_savedBoundary(gTestBoundary)
    {
        bool top = env && env->kind() == Prolog && static_cast<PrologFrame*>(env)->m_topLevel;
        m_lexical = top ? nullptr : env;
        gTestBoundary = gLispSP;
    }
    ~TestScope() override { gTestBoundary = m_savedBoundary; }

private:
    Value* m_savedBoundary;
};

struct StackMark {
    Value* sp = gLispSP;
    ~StackMark() { gLispSP = sp; }
};

// ---- Slots and references ----

uint32_t slotCountOf(Value function)
{
    uint32_t h = payloadOf(cellOf(function).car);
    return ((h >> 18) & 63) + ((h >> 16) & 1) + ((h >> 9) & 127) + (h & 511);
}

Value* topLevelSlot(PrologFrame* frame, Value variable)
{
    uint32_t i = 0;
    for (Value v = frame->m_topVariables; isPair(v); v = cdr(v), ++i)
        if (cdr(car(v)) == cdr(variable))
            return frame->m_slotBase + i;
    raiseError(ErrorCode::Unbound, variable);
}

Value* slotOf(Value variable, ActivationFrame* env)
{
    Value address = car(variable);
    uint32_t depth = (address >> 16) & 0xFF;
    uint32_t index = address & 0xFFFF;
    ActivationFrame* frame = env;
    for (; depth > 0 && frame; --depth)
        frame = frame->m_staticLink;
    if (!frame)
        raiseError(ErrorCode::Unbound, variable);
    uint64_t limit;
    if (frame->kind() == Frame::Prolog) {
        auto* p = static_cast<PrologFrame*>(frame);
        if (p->m_topLevel)
            return topLevelSlot(p, variable);
        limit = p->m_slotCount;
    } else if (frame->m_function != kNil) {
        limit = slotCountOf(frame->m_function);
    } else {
        limit = static_cast<uint64_t>(gAreas.lispStackEnd - frame->m_slotBase);
    }
    if (index >= limit) // a variable that was never given a slot of this activation
        raiseWrongType(variable);
    return frame->m_slotBase + index;
}

// A Lisp-stack reference: two words pushed on the Lisp stack, the term and the distance (in
// 8-byte units) from the top frame down to the activation whose slots its variables use.
Value makeReference(Value term, ActivationFrame* env)
{
    Value* at = gLispSP;
    auto distance = reinterpret_cast<uintptr_t>(gTopFrame) - reinterpret_cast<uintptr_t>(env);
    if (distance / 8 > static_cast<uintptr_t>(kMaxImmediate))
        raiseError(ErrorCode::MemoryExhausted, term);
    pushLisp(term);
    pushLisp(makeImmediate(static_cast<int32_t>(distance / 8)));
    return makeValue(Tag::StackRef, static_cast<uint32_t>(at - gAreas.lispStackBase));
}

inline Value referenceTerm(Value ref) { return gAreas.lispStackBase[payloadOf(ref)]; }
inline ActivationFrame* referenceEnv(Value ref)
{
    auto distance = static_cast<uintptr_t>(integerValue(gAreas.lispStackBase[payloadOf(ref) + 1])) * 8;
    return reinterpret_cast<ActivationFrame*>(reinterpret_cast<uintptr_t>(gTopFrame) - distance);
}

// A reference read from a slot by Lisp code must designate words of the running proof.
void checkReference(Value ref, Value culprit)
{
    char here;
    uint32_t index = payloadOf(ref);
    Value* words = gAreas.lispStackBase + index;
    bool valid = words + 1 < gLispSP && tagOf(words[1]) == Tag::Integer && integerValue(words[1]) > 0;
    if (valid) {
        auto env = reinterpret_cast<uintptr_t>(referenceEnv(ref));
        valid = env > reinterpret_cast<uintptr_t>(&here) && env < reinterpret_cast<uintptr_t>(gTopFrame);
    }
    if (!valid)
        raiseWrongType(culprit);
}

void bindSlot(Value* slot, Value value, Value variable)
{
    if (gTrailTop - gAreas.prologStackBase < 1)
        raiseError(ErrorCode::MemoryExhausted, variable);
    *--gTrailTop = lispAddress(slot);
    *slot = value;
}

// Follows variables through their slots. Returns the slot when the term ends at an unbound
// variable (term and env then name that variable); otherwise nullptr with the term it ends at. A
// value stored directly in a slot is taken as it stands (a variable cell there is a constant).
Value* deref(Value& term, ActivationFrame*& env)
{
    while (tagOf(term) == Tag::Variable) {
        Value* slot = slotOf(term, env);
        Value x = *slot;
        if (x == kNoValue)
            return slot;
        if (tagOf(x) == Tag::StackRef) {
            term = referenceTerm(x);
            env = referenceEnv(x);
            continue;
        }
        term = x;
        return nullptr;
    }
    return nullptr;
}

// ---- Unification ----

bool unify(Value a, ActivationFrame* ea, Value b, ActivationFrame* eb)
{
    for (uint32_t steps = 0;; ++steps) {
        if (a == b && ea == eb)
            return true;
        Value* sa = deref(a, ea);
        Value* sb = deref(b, eb);
        if (sb) {
            if (sa == sb)
                return true;
            bindSlot(sb, (sa || isPair(a)) ? makeReference(a, ea) : a, b);
            return true;
        }
        if (sa) {
            bindSlot(sa, isPair(b) ? makeReference(b, eb) : b, a);
            return true;
        }
        if (!isPair(a) || !isPair(b))
            return a == b || (!isPair(a) && !isPair(b) && a != kNil && b != kNil && isEqual(a, b));
        if (steps > gAreas.cellCount) // a list that runs in a circle
            raiseError(ErrorCode::MemoryExhausted, kNil);
        checkCStack();
        if (!unify(car(a), ea, car(b), eb))
            return false;
        a = cdr(a);
        b = cdr(b);
    }
}

// Whether a structure holds no variable at all, so that it stands for itself in any activation.
bool isGround(Value t)
{
    checkCStack();
    for (uint32_t steps = 0; isPair(t); t = cdr(t), ++steps) {
        if (steps > gAreas.cellCount)
            raiseError(ErrorCode::MemoryExhausted, kNil);
        if (isPair(car(t)) ? !isGround(car(t)) : tagOf(car(t)) == Tag::Variable)
            return false;
    }
    return tagOf(t) != Tag::Variable;
}

// The term with every bound variable replaced by its value, building new pairs for structures
// that hold variables; unbound variables stay as their cells.
Value resolveTerm(Value t, ActivationFrame* e)
{
    checkCStack();
    if (deref(t, e) || !isPair(t) || isGround(t))
        return t;
    // A list longer than the cells in use runs in a circle.
    uint32_t limit = gAreas.cellCount - gFreeCells;
    Value head = cons(resolveTerm(car(t), e), kNil);
    Value tail = head;
    for (uint32_t steps = 0;; ++steps) {
        t = cdr(t);
        if (deref(t, e) || !isPair(t)) {
            setCdr(tail, t);
            return head;
        }
        if (steps > limit)
            raiseError(ErrorCode::MemoryExhausted, kNil);
        Value cell = cons(resolveTerm(car(t), e), kNil);
        setCdr(tail, cell);
        tail = cell;
    }
}

// What a slot holding a reference stands for: the resolved term, or no value when it ends at an
// unbound variable.
Value resolveReference(Value ref)
{
    Value t = referenceTerm(ref);
    ActivationFrame* e = referenceEnv(ref);
    if (deref(t, e))
        return kNoValue;
    return resolveTerm(t, e);
}

// ---- Proofs ----

struct QueryState {
    Value* liveLimit;     // slots below this outlive the proof
    uint32_t* startTrail;
};

struct Goal {
    Value goal;
    Value rest;             // the goals that follow in the same clause body
    ActivationFrame* env;   // whose slots the goal's variables use
    const Goal* next;       // proved after this one; nullptr for the query's end
    const QueryState* query; // the query's end only
};

bool solve(const Goal& r);

// The query's solution: every slot that outlives the proof and was bound to a reference gets the
// term itself, since the references die with the proof.
void resolveQuery(const QueryState& q)
{
    StackMark mark;
    Value* values = gLispSP;
    for (uint32_t* p = gTrailTop; p < q.startTrail; ++p) {
        auto* slot = reinterpret_cast<Value*>(hostAddress(*p));
        if (slot < q.liveLimit && tagOf(*slot) == Tag::StackRef)
            pushLisp(resolveReference(*slot));
    }
    Value* v = values;
    for (uint32_t* p = gTrailTop; p < q.startTrail; ++p) {
        auto* slot = reinterpret_cast<Value*>(hostAddress(*p));
        if (slot < q.liveLimit && tagOf(*slot) == Tag::StackRef)
            *slot = *v++;
    }
}

bool tryClause(Value clause, const Value* argv, ActivationFrame* env, const Goal& next, const void* barrier)
{
    if (!isPair(clause) || !isImmediateInteger(car(clause)) || integerValue(car(clause)) < 0 || !isPair(cdr(clause))
        || !isPair(car(cdr(clause))))
        raiseWrongType(clause);
    auto count = static_cast<uint32_t>(integerValue(car(clause)));
    Value params = cdr(car(cdr(clause)));
    Value body = cdr(cdr(clause));
    PrologFrame frame(barrier, count);
    for (uint32_t i = 0; i < count; ++i)
        pushLisp(kNoValue);
    frame.enter();

    bool ok = true;
    const Value* arg = argv;
    for (; ok && isPair(params); params = cdr(params), ++arg)
        ok = *arg != kEnd && unify(car(params), &frame, *arg, env);
    if (ok && params != kNil) { // a dotted head: the rest parameter takes the remaining arguments
        Value rest = kNil, tail = kNil;
        for (; *arg != kEnd; ++arg) {
            Value cell = cons(*arg, kNil);
            if (rest == kNil)
                rest = cell;
            else
                setCdr(tail, cell);
            tail = cell;
        }
        ok = unify(params, &frame, rest, env);
    } else if (ok && *arg != kEnd) {
        ok = false;
    }
    if (ok)
        ok = isPair(body) ? solve(Goal { car(body), cdr(body), &frame, &next, nullptr }) : solve(next);
    if (!ok)
        undoTrail(frame.m_savedTrail);
    return ok;
}

bool callPredicate(Value predicate, const Value* argv, ActivationFrame* env, const Goal& next)
{
    const char barrier = 0; // this call's identity for the cuts of its clauses
    for (Value c = retag(predicate, Tag::List); isPair(c); c = cdr(c)) {
        try {
            if (tryClause(car(c), argv, env, next, &barrier))
                return true;
        } catch (const VPr_Cut& cut) {
            if (cut.barrier != &barrier)
                throw;
            return cut.result;
        }
    }
    return false;
}

// A goal calling a predicate: variable arguments go as themselves, the others are evaluated.
bool proveCall(Value predicate, Value args, ActivationFrame* env, const Goal& next)
{
    StackMark mark;
    Value* argv = gLispSP;
    for (; isPair(args); args = cdr(args)) {
        Value x = car(args);
        uint32_t tag = tagOf(x);
        if (tag == Tag::Symbol || tag == Tag::Function || tag == Tag::Gamma || (tag == Tag::List && x != kNil)) {
            TestScope scope(env);
            x = eval(x);
        }
        pushLisp(x);
    }
    pushLisp(kEnd);
    return callPredicate(predicate, argv, env, next);
}

bool solve(const Goal& r)
{
    checkCStack();
    pollEventsPeriodically();
    if (!r.next) {
        resolveQuery(*r.query);
        gProofSucceeded = true;
        return true;
    }
    Goal following;
    const Goal* next = r.next;
    if (isPair(r.rest)) {
        following = Goal { car(r.rest), cdr(r.rest), r.env, r.next, nullptr };
        next = &following;
    }
    Value goal = r.goal;
    Value op = isPair(goal) ? car(goal) : goal;
    if (op == gCut) {
        if (r.env->kind() != Frame::Prolog || !static_cast<PrologFrame*>(r.env)->m_barrier)
            raiseError(ErrorCode::NotApplicable, goal);
        const void* barrier = static_cast<PrologFrame*>(r.env)->m_barrier;
        bool result = solve(*next);
        throw VPr_Cut { barrier, result };
    }
    if (isSymbol(op)) {
        Value value = globalValue(op);
        if (tagOf(value) == Tag::Predicate)
            return proveCall(value, cdr(goal), r.env, *next);
    }
    Value test;
    {
        TestScope scope(r.env);
        test = eval(goal);
    }
    return test != kNil && solve(*next);
}

// Restores the state of the enclosing proof when a query ends.
class QueryScope {
public:
    QueryScope()
        : m_savedSucceeded(gProofSucceeded)
        , m_startTrail(gTrailTop)
    {
        gProofSucceeded = false;
    }
    ~QueryScope()
    {
        if (!gProofSucceeded)
            undoTrail(m_startTrail);
        else if (!gTestBoundary)
            gTrailTop = m_startTrail; // no proof encloses this one: its bindings are final
        else
            keepOuterBindings();
        gProofSucceeded = m_savedSucceeded;
    }
    QueryScope(const QueryScope&) = delete;
    QueryScope& operator=(const QueryScope&) = delete;
    uint32_t* startTrail() const { return m_startTrail; }

private:
    // Bindings of the enclosing proof's slots stay on the trail, so that its backtracking undoes
    // them; the entries of slots that die with this query go.
    void keepOuterBindings()
    {
        uint32_t* write = m_startTrail;
        for (uint32_t* p = m_startTrail; p-- > gTrailTop;)
            if (reinterpret_cast<Value*>(hostAddress(*p)) < gTestBoundary)
                *--write = *p;
        gTrailTop = write;
    }

    bool m_savedSucceeded;
    uint32_t* m_startTrail;
};

bool runQuery(Value predicate, const Value* argv, ActivationFrame* env)
{
    QueryState state { gLispSP, gTrailTop };
    Goal end { kNil, kNil, env, nullptr, &state };
    return callPredicate(predicate, argv, env, end);
}

// The distinct variables (by name) of the arguments, as a list of their cells.
Value collectVariables(Value term, Value found)
{
    checkCStack();
    for (;; term = cdr(term)) {
        if (tagOf(term) == Tag::Variable) {
            for (Value f = found; isPair(f); f = cdr(f))
                if (cdr(car(f)) == cdr(term))
                    return found;
            return cons(term, found);
        }
        if (!isPair(term))
            return found;
        found = collectVariables(car(term), found);
    }
}

// A query from Lisp: the predicate applied to arguments, variables among them as themselves.
Value query(Value predicate, Value* argv)
{
    checkCStack();
    if (!gTopFrame) // references are measured from the top frame
        raiseError(ErrorCode::NotApplicable, predicate);
    Frame* lexical = gCurrentFrame ? gCurrentFrame->m_lexical : nullptr;
    QueryScope scope;
    if (lexical)
        return boolValue(runQuery(predicate, argv, static_cast<ActivationFrame*>(lexical)));

    // At top level variables live by name outside any frame: the proof works on copies of them
    // in a frame of its own and hands the solution back.
    Value variables = kNil;
    for (Value* a = argv; *a != kEnd; ++a)
        variables = collectVariables(*a, variables);
    PrologFrame top(nullptr, 0);
    for (Value v = variables; isPair(v); v = cdr(v)) {
        pushLisp(*variableSlot(car(v)));
        ++top.m_slotCount;
    }
    top.m_topVariables = variables;
    top.m_topLevel = true;
    top.enter();
    top.m_lexical = nullptr;
    bool ok = runQuery(predicate, argv, &top);
    if (ok) {
        Value* slot = top.m_slotBase;
        for (Value v = variables; isPair(v); v = cdr(v))
            *variableSlot(car(v)) = *slot++;
    }
    return boolValue(ok);
}

// ---- Primitives ----

// In a head pattern the name nil stands for the empty list, as it does when evaluated.
void emptyListForNil(Value pattern)
{
    checkCStack();
    for (; isPair(pattern); pattern = cdr(pattern)) {
        Value x = car(pattern);
        if (x == Sym::nil)
            setCar(pattern, kNil);
        else if (isPair(x) && car(x) != Sym::quote)
            emptyListForNil(x);
    }
}

Value addClause(Value name, Value params, Value goals)
{
    if (gSelf != kNoObject)
        raiseError(kObjectContextError, name);
    Value clause = newClauseForm(cons(gNewClause, cons(params, goals)));
    setCar(car(cdr(clause)), name);
    Value cell = cons(clause, kNil);
    Value current = globalValue(name);
    if (tagOf(current) == Tag::Predicate && payloadOf(current) != 0) {
        Value last = retag(current, Tag::List);
        while (isPair(cdr(last)))
            last = cdr(last);
        setCdr(last, cell);
    } else {
        setGlobalValue(name, retag(cell, Tag::Predicate));
    }
    return name;
}

Value defclauseForm(Value args)
{
    if (!isPair(args) || !isPair(car(args)) || !isSymbol(car(car(args))))
        raiseWrongType(args);
    Value head = car(args);
    return addClause(car(head), cdr(head), cdr(args));
}

Value asserte(Value clause)
{
    if (!isPair(clause) || !isPair(car(clause)) || !isSymbol(car(car(clause))))
        raiseWrongType(clause);
    return addClause(car(car(clause)), cdr(car(clause)), cdr(clause));
}

Value isClause(Value x) { return boolValue(tagOf(x) == Tag::Predicate && payloadOf(x) != 0); }
Value isLogicVariable(Value x) { return boolValue(tagOf(x) == Tag::Variable); }

Value freeForm(Value args)
{
    if (!isPair(args))
        raiseWrongType(args);
    Value x = car(args);
    if (tagOf(x) != Tag::Variable)
        return boolValue(eval(x) == kNoValue);
    Value v = *variableSlot(x);
    if (tagOf(v) != Tag::StackRef)
        return boolValue(v == kNoValue);
    checkReference(v, x);
    Value t = referenceTerm(v);
    ActivationFrame* e = referenceEnv(v);
    return boolValue(deref(t, e) != nullptr);
}

class PredicateHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        std::string text = "#<predicate";
        Value clauses = retag(v, Tag::List);
        if (isPair(clauses) && isPair(car(clauses)) && isPair(cdr(car(clauses))) && isPair(car(cdr(car(clauses))))) {
            Value name = car(car(cdr(car(clauses))));
            if (isSymbol(name)) {
                text += ' ';
                text += symbolNameView(name);
            }
        }
        text += '>';
        out.writeBlock(text.data(), text.size());
    }
} gPredicateHandler;

class PrologModule final : public Module {
public:
    PrologModule() : Module("Prolog") {}
    void start() override
    {
        Module::start();
        gCut = intern("cut");
        gNewClause = internWithValue("new-clause", makeValue(0x26, 0));
        gTrailTop = gAreas.prologStackEnd > gAreas.prologStackBase ? gAreas.prologStackEnd - 1 : gAreas.prologStackBase;
        gProofSucceeded = false;
        gTestBoundary = nullptr;
        gPredicateCall = query;

        defineSpecialForm("defclause", defclauseForm);
        defineFunction1("asserte", asserte);
        defineFunction1("clause?", isClause);
        defineFunction1("logvar?", isLogicVariable);
        defineSpecialForm("free", freeForm);
        defineSpecialForm("free?", freeForm); // the Eval Module's free?, started first, stays in force
        setPrintHandler(Tag::Predicate, &gPredicateHandler);
    }
    void stop() override
    {
        Module::stop();
        gPredicateCall = nullptr;
        gTrailTop = nullptr;
    }
} thePrologModule;

} // namespace

Value newClauseForm(Value form)
{
    Value clause = compileClause(form);
    emptyListForNil(cdr(car(cdr(clause))));
    return clause;
}

Value prologDereference(Value reference, Value variable)
{
    checkReference(reference, variable);
    Value value = resolveReference(reference);
    if (value == kNoValue)
        raiseError(ErrorCode::Unbound, variable);
    return value;
}
