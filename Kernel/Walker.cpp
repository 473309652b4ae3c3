// Kernel/Walker.cpp: the compiler. It turns a lambda, syntax or gamma form into a compiled
// function, giving every variable cell of the form its slot address (depth and index) in place.
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Prolog.h"
#include "Kernel/Symbol.h"

#include <vector>

namespace {

struct EnvironmentEntry {
    Value symbol;
    int level;
    uint32_t index;
};

struct FunctionScope {
    int level;
    uint32_t slots = 0;
    bool lexical = false; // a reference inside reaches beyond this function
    bool gamma = false;   // a gamma starts a fresh environment: nothing reaches past it
};

class Walker {
public:
    Value compile(Value form, int level);
    Value compileClause(Value form);

private:
    void walkList(Value list, int level);
    void walkQuasi(Value list, int level);
    void resolve(Value variable, int level);
    uint32_t addParameter(Value variable, int level);

    std::vector<EnvironmentEntry> m_environment;
    std::vector<FunctionScope> m_scopes;
    bool m_mayCreate = true;
    Value m_captureList = kNil;
};

bool isVariable(Value v) { return tagOf(v) == Tag::Variable; }

// Clauses are compiled on their own when evaluated, at a fresh level: a function walks past them.
Value gNewClause = 0, gDefclause = 0;

void setSlotAddress(Value variable, uint32_t depth, uint32_t index)
{
    setCar(variable, makeValue(Tag::Integer, (depth << 16) | index));
}

uint32_t Walker::addParameter(Value variable, int level)
{
    FunctionScope& scope = m_scopes.back();
    uint32_t index = scope.slots++;
    m_environment.push_back({ cdr(variable), level, index });
    setSlotAddress(variable, 0, index);
    return index;
}

void Walker::resolve(Value variable, int level)
{
    Value symbol = cdr(variable);
    for (auto it = m_environment.rbegin(); it != m_environment.rend(); ++it) {
        if (it->symbol != symbol)
            continue;
        for (auto scope = m_scopes.rbegin(); scope != m_scopes.rend(); ++scope) {
            if (scope->level > it->level)
                scope->lexical = true;
            if (scope->gamma)
                break;
        }
        setSlotAddress(variable, static_cast<uint32_t>(level - it->level), it->index);
        return;
    }
    if (!m_mayCreate || m_scopes.empty() || m_scopes.back().level != level)
        raiseWrongType(m_captureList);
    uint32_t index = m_scopes.back().slots++;
    m_environment.push_back({ symbol, level, index });
    setSlotAddress(variable, 0, index);
}

void Walker::walkList(Value list, int level)
{
    checkCStack();
    Value cell = list;
    for (; isPair(cell); cell = cdr(cell)) {
        Value element = car(cell);
        if (isVariable(element)) {
            resolve(element, level);
        } else if (isPair(element)) {
            Value head = car(element);
            if (head == Sym::quote || (head != 0 && (head == gNewClause || head == gDefclause)))
                continue;
            if (head == Sym::quasiquote)
                walkQuasi(cdr(element), level);
            else if (head == Sym::lambda || head == Sym::syntax || head == Sym::gamma)
                setCar(cell, compile(element, level));
            else
                walkList(element, level);
        }
    }
    if (isVariable(cell))
        resolve(cell, level);
}

void Walker::walkQuasi(Value list, int level)
{
    checkCStack();
    for (; isPair(list); list = cdr(list)) {
        Value element = car(list);
        if (!isPair(element))
            continue;
        if (car(element) == Sym::unquote || car(element) == Sym::unquoteSplicing)
            walkList(cdr(element), level);
        else
            walkQuasi(element, level);
    }
}

Value Walker::compile(Value form, int level)
{
    Value head = car(form);
    bool isGamma = head == Sym::gamma;
    Value rest = cdr(form);
    if (!isPair(rest))
        raiseWrongType(form);
    Value parameters = car(rest);
    Value body = cdr(rest);
    Value captures = kNil;
    if (isGamma) {
        if (!isPair(body))
            raiseWrongType(form);
        captures = car(body);
        body = cdr(body);
    }

    int newLevel = isGamma ? 1 : level + 1;
    size_t environmentMark = m_environment.size();
    std::vector<EnvironmentEntry> enclosing;
    if (isGamma)
        enclosing.swap(m_environment); // a gamma sees only its parameters and captures
    m_scopes.push_back({ newLevel, 0, false, isGamma });

    uint32_t positional = 0;
    bool restParameter = false;
    Value p = parameters;
    for (; isPair(p); p = cdr(p)) {
        if (!isVariable(car(p)))
            raiseWrongType(parameters);
        addParameter(car(p), newLevel);
        ++positional;
    }
    if (isVariable(p)) {
        addParameter(p, newLevel);
        restParameter = true;
    } else if (p != kNil) {
        raiseWrongType(parameters);
    }

    uint32_t captureTotal = 0;
    if (isGamma) {
        // Capture expressions belong to the enclosing function and may not make new variables.
        std::vector<EnvironmentEntry> own;
        own.swap(m_environment);
        m_environment.swap(enclosing);
        FunctionScope gammaScope = m_scopes.back();
        m_scopes.pop_back();
        bool savedMayCreate = m_mayCreate;
        Value savedCaptureList = m_captureList;
        m_mayCreate = false;
        m_captureList = captures;
        for (Value c = captures; isPair(c); c = cdr(c)) {
            Value capture = car(c);
            if (isVariable(capture)) { // _x captures the enclosing _x: give it an expression cell of its own
                Value expression = retag(cons(makeImmediate(0), cdr(capture)), Tag::Variable);
                capture = cons(capture, cons(expression, kNil));
                setCar(c, capture);
            }
            if (!isPair(capture) || !isVariable(car(capture)) || !isPair(cdr(capture)))
                raiseWrongType(captures);
            Value expression = car(cdr(capture));
            if (isVariable(expression))
                resolve(expression, level);
            else if (isPair(expression)) {
                Value holder = cons(expression, kNil);
                walkList(holder, level);
                setCar(cdr(capture), car(holder));
            }
        }
        m_mayCreate = savedMayCreate;
        m_captureList = savedCaptureList;
        m_environment.swap(enclosing);
        m_environment.swap(own);
        m_scopes.push_back(gammaScope);
        for (Value c = captures; isPair(c); c = cdr(c)) {
            addParameter(car(car(c)), newLevel);
            ++captureTotal;
        }
    }

    bool savedMayCreate = m_mayCreate;
    m_mayCreate = true;
    walkList(body, newLevel);
    m_mayCreate = savedMayCreate;

    FunctionScope scope = m_scopes.back();
    m_scopes.pop_back();
    if (isGamma)
        m_environment.swap(enclosing);
    else
        m_environment.resize(environmentMark);

    uint32_t locals = scope.slots - positional - (restParameter ? 1 : 0) - captureTotal;
    if (positional > 63 || captureTotal > 127 || locals > 511)
        raiseWrongType(form);
    uint32_t header = (positional << 18) | (scope.lexical ? 1u << 17 : 0) | (restParameter ? 1u << 16 : 0)
        | (captureTotal << 9) | locals;
    Value signature = isGamma ? cons(head, cons(parameters, captures)) : cons(head, parameters);
    Value function = cons(makeValue(Tag::Integer, header), cons(signature, body));
    uint32_t tag = isGamma ? Tag::Gamma : (head == Sym::syntax ? Tag::Syntax : Tag::Function);
    return retag(function, tag);
}

// A clause (new-clause args . body) opens a fresh level: its head arguments are patterns, so every
// variable in them or in the body is a slot of the clause.
Value Walker::compileClause(Value form)
{
    Value rest = cdr(form);
    if (!isPair(rest))
        raiseWrongType(form);
    Value args = car(rest);
    Value body = cdr(rest);
    m_scopes.push_back({ 1, 0, false, true });
    if (isVariable(args))
        resolve(args, 1);
    else
        walkList(args, 1);
    walkList(body, 1);
    uint32_t slots = m_scopes.back().slots;
    m_scopes.pop_back();
    return cons(makeImmediate(static_cast<int32_t>(slots)), cons(cons(car(form), args), body));
}

class WalkerModule final : public Module {
public:
    WalkerModule() : Module("Walker") {}
    void start() override
    {
        Module::start();
        intern("syntax-gamma");
        gNewClause = intern("new-clause");
        gDefclause = intern("defclause");
    }
} walkerModule;

} // namespace

Value compileFunction(Value form)
{
    Walker walker;
    return walker.compile(form, 0);
}

Value compileClause(Value form)
{
    Walker walker;
    return walker.compileClause(form);
}
