// Lexer/lex_interface.cpp: the lexical automaton. Lisp builds scanners out of byte sets, states,
// transitions and a handler; run-automaton runs them natively over any stream object, collecting
// token text and calling back into Lisp where a transition asks for it. Also normalise-whites.
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/KernelObject.h"
#include "Kernel/List.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Object.h"
#include "Kernel/Recycle.h"
#include "Kernel/StreamObject.h"
#include "Kernel/Symbol.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int32_t kNoKernelObject = 69;

Value sHandleCallback, sEndOfParse, sOutcome, sMove, sCallback, sTrigger, sCharset, sPredicate,
    sTargetString;

template <typename T> T* lexerObject(Value v, bool (KernelObject::*kind)() const)
{
    if (isObject(v))
        v = objectField(v, ClassField::NativeObject);
    KernelObject* k = findKernelObject(v);
    return k && (k->*kind)() ? static_cast<T*>(k) : nullptr;
}

template <typename T> T& selfAs(bool (KernelObject::*kind)() const)
{
    KernelObject& k = kernelObjectOf(gSelf);
    if (!(k.*kind)())
        raiseWrongType(gSelf);
    return static_cast<T&>(k);
}

template <typename T> T& argumentAs(Value v, bool (KernelObject::*kind)() const)
{
    if (isObject(v) && objectField(v, ClassField::NativeObject) == kNil)
        raiseError(kNoKernelObject, v);
    T* object = lexerObject<T>(v, kind);
    if (!object)
        raiseWrongType(v);
    return *object;
}

int byteArgument(Value v)
{
    int32_t b = toInt32(v);
    if (b < -128 || b > 255)
        raiseWrongType(v);
    return b & 0xFF;
}

std::string stringArgument(Value v)
{
    if (!isString(v))
        raiseWrongType(v);
    return std::string(stringChars(v), stringLength(v));
}

// Bumped whenever a lexer object is deleted or a state's transitions change: native pointers
// cached during a run stay valid while it is unchanged.
uint64_t gGeneration = 1;

class LexerObjectBase : public KernelObject {
public:
    bool isKernelObject() const override { return true; }
    ~LexerObjectBase() override { ++gGeneration; }
};

// ---- Byte sets ----

class CharsetObject final : public LexerObjectBase {
public:
    bool isCharset() const override { return true; }
    bool member[256] = {};
};

// ---- Handlers ----

class HandlerObject final : public LexerObjectBase {
public:
    bool isLexerHandler() const override { return true; }
    void markValues() override
    {
        KernelObject::markValues();
        mark(lexer);
    }
    Value lexer = kNil;
};

// ---- Transitions ----

class StateObject;

class TransitionObject : public LexerObjectBase {
public:
    enum class Kind { Default, Char, Charset, Pred, String };
    explicit TransitionObject(Kind kind) : kind(kind) {}
    bool isLexerTransition() const override { return true; }
    bool isLexerTransChar() const override { return kind == Kind::Char; }
    bool isLexerTransCharset() const override { return kind == Kind::Charset; }
    bool isLexerTransPred() const override { return kind == Kind::Pred; }
    bool isLexerTransString() const override { return kind == Kind::String; }
    void markValues() override
    {
        KernelObject::markValues();
        mark(outcome);
        mark(resolved);
        mark(callback);
        mark(charset);
        mark(predicate);
        mark(state);
        mark(targetValue);
    }
    // Reads the settings from the instance's properties.
    void open() override
    {
        KernelObject::open();
        Value v = property(sOutcome);
        if (v != kNil)
            setOutcome(v);
        v = property(sMove);
        if (v != kNil)
            move = toInt32(v);
        callback = property(sCallback);
        switch (kind) {
        case Kind::Char:
            if ((v = property(sTrigger)) != kNil)
                trigger = byteArgument(v);
            break;
        case Kind::Charset:
            if ((v = property(sCharset)) != kNil) {
                if (!isSymbol(v))
                    raiseWrongType(v);
                Value set = isBound(v) ? symbolValue(v) : kNil;
                argumentAs<CharsetObject>(set, &KernelObject::isCharset);
                charset = set;
                charsetGeneration = 0;
            }
            break;
        case Kind::Pred:
            predicate = property(sPredicate);
            break;
        case Kind::String:
            if ((v = property(sTargetString)) != kNil)
                setTarget(v);
            break;
        case Kind::Default:
            break;
        }
    }
    void setOutcome(Value name)
    {
        outcome = name;
        resolved = kNil;
        resolvedOnce = false;
    }
    void setTarget(Value text)
    {
        target = stringArgument(text);
        targetValue = text;
    }

    Kind kind;
    Value outcome = kNil;  // name of the next state
    Value resolved = kNil; // its instance, once looked up
    bool resolvedOnce = false;
    int32_t bufferAction = 0;
    Value callback = kNil;
    int32_t move = 0;
    int trigger = 0;
    Value charset = kNil;   // a Charset instance
    CharsetObject* cachedCharset = nullptr;
    uint64_t charsetGeneration = 0;
    Value predicate = kNil;
    std::string target;
    Value targetValue = kNil;
    Value state = kNil;     // the state instance it was added to
};

// ---- States ----

class StateObject final : public LexerObjectBase {
public:
    bool isLexerState() const override { return true; }
    void markValues() override
    {
        KernelObject::markValues();
        mark(transitions);
        mark(lexer);
    }
    // The transitions' native objects, in order (deleted ones left out), while gGeneration holds.
    struct Entry {
        TransitionObject* transition;
        Value cell; // its pair in the list of transitions
    };
    const std::vector<Entry>& nativeTransitions()
    {
        if (m_generation != gGeneration) {
            m_cache.clear();
            for (Value list = transitions; isPair(list); list = cdr(list))
                if (auto* t = lexerObject<TransitionObject>(car(list), &KernelObject::isLexerTransition))
                    m_cache.push_back({ t, list });
            m_generation = gGeneration;
        }
        return m_cache;
    }

    Value transitions = kNil;
    Value lexer = kNil;

private:
    std::vector<Entry> m_cache;
    uint64_t m_generation = 0;
};

// ---- Lexers ----

class LexerObject final : public LexerObjectBase {
public:
    enum class Status { Stopped, Running, Suspended };
    bool isLexer() const override { return true; }
    void markValues() override
    {
        KernelObject::markValues();
        mark(input);
        mark(lastToken);
        mark(handler);
        mark(states);
        mark(current);
    }

    Value input = kNil;
    std::string buffer;
    Value lastToken = kNil;
    Value handler = kNil;
    Value states = kNil;
    Value current = kNil;
    int currentByte = -1;
    int64_t end = INT64_MAX;
    Status status = Status::Stopped;
};

template <typename T> Value make(Value instance) { return adoptKernelObject(new (std::nothrow) T()); }
Value makeTransition(Value) { return adoptKernelObject(new (std::nothrow) TransitionObject(TransitionObject::Kind::Default)); }
Value makeTransChar(Value) { return adoptKernelObject(new (std::nothrow) TransitionObject(TransitionObject::Kind::Char)); }
Value makeTransCharset(Value) { return adoptKernelObject(new (std::nothrow) TransitionObject(TransitionObject::Kind::Charset)); }
Value makeTransPred(Value) { return adoptKernelObject(new (std::nothrow) TransitionObject(TransitionObject::Kind::Pred)); }
Value makeTransString(Value) { return adoptKernelObject(new (std::nothrow) TransitionObject(TransitionObject::Kind::String)); }

CharsetObject& selfCharset() { return selfAs<CharsetObject>(&KernelObject::isCharset); }
StateObject& selfState() { return selfAs<StateObject>(&KernelObject::isLexerState); }
TransitionObject& selfTransition() { return selfAs<TransitionObject>(&KernelObject::isLexerTransition); }
LexerObject& selfLexer() { return selfAs<LexerObject>(&KernelObject::isLexer); }

Value appendToList(Value list, Value item)
{
    Value cell = cons(item, kNil);
    return list == kNil ? cell : appendInPlace(list, cell);
}

// ---- Charset methods ----

void markString(CharsetObject& set, const std::string& text, bool members)
{
    for (char c : text)
        set.member[static_cast<uint8_t>(c)] = members;
}

Value setupChar(Value text, Value flag)
{
    std::string bytes = stringArgument(text);
    CharsetObject& set = selfCharset();
    if (flag == kNil)
        for (bool& m : set.member)
            m = !m;
    markString(set, bytes, flag == kNil);
    return kNoValue;
}

Value setupCharset(Value other, Value text, Value flag)
{
    CharsetObject& from = argumentAs<CharsetObject>(other, &KernelObject::isCharset);
    std::string bytes = stringArgument(text);
    CharsetObject& set = selfCharset();
    std::memcpy(set.member, from.member, sizeof set.member);
    markString(set, bytes, flag == kNil);
    return kNoValue;
}

// The predicate's answer for every byte; the set is looked up again after each call, since the
// predicate is Lisp code.
void applyPredicate(Value predicate)
{
    if (predicate == kNil)
        return;
    for (int b = 0; b < 256; ++b) {
        bool answer = funcall(predicate, makeInteger(b)) != kNil;
        selfCharset().member[b] = answer;
    }
}

Value setupPredicate(Value predicate)
{
    selfCharset();
    applyPredicate(predicate);
    return kNoValue;
}

Value setupPredicateChar(Value predicate, Value text, Value flag)
{
    std::string bytes = stringArgument(text);
    selfCharset();
    applyPredicate(predicate);
    markString(selfCharset(), bytes, flag == kNil);
    return kNoValue;
}

Value matchP(Value byte) { return boolValue(selfCharset().member[byteArgument(byte)]); }

// ---- State methods ----

Value addTrans(Value transition)
{
    TransitionObject& t = argumentAs<TransitionObject>(transition, &KernelObject::isLexerTransition);
    StateObject& state = selfState();
    t.state = gSelf;
    Value list = appendToList(state.transitions, transition);
    StateObject& again = selfState();
    again.transitions = list;
    ++gGeneration;
    return kNoValue;
}

Value getTransitions() { return selfState().transitions; }

// ---- Transition methods ----

Value setOutcome(Value name)
{
    selfTransition().setOutcome(name);
    return kNoValue;
}
Value getOutcome() { return selfTransition().outcome; }
Value setBufferAction(Value action)
{
    int32_t a = toInt32(action);
    selfTransition().bufferAction = a;
    return kNoValue;
}
Value getBufferAction() { return makeInteger(selfTransition().bufferAction); }
Value setMove(Value move)
{
    int32_t m = toInt32(move);
    selfTransition().move = m;
    return kNoValue;
}
Value getMove() { return makeInteger(selfTransition().move); }
Value setCallback(Value symbol)
{
    if (symbol != kNil && !isSymbol(symbol))
        raiseWrongType(symbol);
    selfTransition().callback = symbol;
    return kNoValue;
}
Value getCallback()
{
    Value symbol = selfTransition().callback;
    if (symbol == kNil)
        return kNil;
    return isBound(symbol) ? symbolValue(symbol) : kNil;
}
Value setTrigger(Value byte)
{
    int b = byteArgument(byte);
    selfAs<TransitionObject>(&KernelObject::isLexerTransChar).trigger = b;
    return kNoValue;
}
Value getTrigger() { return makeInteger(static_cast<int8_t>(selfAs<TransitionObject>(&KernelObject::isLexerTransChar).trigger)); }
Value setCharsetInternal(Value set)
{
    argumentAs<CharsetObject>(set, &KernelObject::isCharset);
    TransitionObject& t = selfAs<TransitionObject>(&KernelObject::isLexerTransCharset);
    t.charset = set;
    t.charsetGeneration = 0;
    return kNoValue;
}
Value getCharset() { return selfAs<TransitionObject>(&KernelObject::isLexerTransCharset).charset; }
Value setPredicateInternal(Value predicate)
{
    selfAs<TransitionObject>(&KernelObject::isLexerTransPred).predicate = predicate;
    return kNoValue;
}
Value getPredicate() { return selfAs<TransitionObject>(&KernelObject::isLexerTransPred).predicate; }
Value setTargetString(Value text)
{
    selfAs<TransitionObject>(&KernelObject::isLexerTransString).setTarget(text);
    return kNoValue;
}
Value getTargetString()
{
    const std::string& target = selfAs<TransitionObject>(&KernelObject::isLexerTransString).target;
    return makeString(std::string(target));
}

// ---- Lexer methods ----

Value setHandler(Value handler)
{
    HandlerObject& h = argumentAs<HandlerObject>(handler, &KernelObject::isLexerHandler);
    h.lexer = gSelf;
    selfLexer().handler = handler;
    return kNoValue;
}
Value getHandler() { return selfLexer().handler; }

Value addState(Value state)
{
    StateObject& s = argumentAs<StateObject>(state, &KernelObject::isLexerState);
    selfLexer();
    s.lexer = gSelf;
    Value list = appendToList(selfLexer().states, state);
    selfLexer().states = list;
    return kNoValue;
}
Value getStates() { return selfLexer().states; }
Value getCurrentState() { return selfLexer().current; }

Value stateNamed(Value states, Value name)
{
    for (Value list = states; isPair(list); list = cdr(list))
        if (auto* s = lexerObject<StateObject>(car(list), &KernelObject::isLexerState))
            if (s->name() == name)
                return car(list);
    return kNil;
}

Value setNextState(Value name)
{
    LexerObject& lexer = selfLexer();
    lexer.current = stateNamed(lexer.states, name);
    return lexer.current;
}

NativeStream* inputOf(LexerObject& lexer) { return streamObjectOf(lexer.input); }

Value getStreamPosition()
{
    NativeStream* in = inputOf(selfLexer());
    return makeInteger(in ? in->position() : 0);
}
Value getToken() { return selfLexer().lastToken; }

// A running automaton. Every native pointer is looked up again from its Value after Lisp code ran
// (a predicate, a callback), since that code may have deleted it.
class Run {
public:
    explicit Run(Value lexerInstance) : m_self(lexerInstance) {}

    void loop()
    {
        // Transitions since the input last went past its furthest position: past that many
        // (states × the span of positions visited), the automaton cycles without progress.
        int64_t furthest = -1;
        int64_t low = INT64_MAX;
        uint64_t idle = 0;
        // The input's length, asked once a run (a file asks the host each time).
        int64_t length = -1;
        for (;;) {
            LexerObject* lexer = self();
            if (!lexer || lexer->status != LexerObject::Status::Running || lexer->current == kNil)
                return;
            NativeStream* in = inputOf(*lexer);
            if (!in)
                raiseError(FileErrorCode::NotAStream, lexer->input);
            if (length < 0)
                length = in->length();
            int64_t position = in->position();
            if (position >= length || in->atEnd())
                return;
            if (position > furthest) {
                furthest = position;
                low = position;
                idle = 0;
            } else {
                low = std::min(low, position);
                uint64_t states = listLength(lexer->states) + 1;
                if (++idle > states * uint64_t(furthest - low + 1))
                    raiseWrongType(lexer->current);
            }
            int byte = in->peekByte();
            lexer->currentByte = byte;
            Value transition = kNil;
            Value state = lexer->current;
            if (!findTransition(state, byte, transition))
                return;
            if (transition == kNil) {
                // No transition accepts the byte: the run ends without a message.
                if ((lexer = self()))
                    lexer->status = LexerObject::Status::Stopped;
                m_silent = true;
                return;
            }
            if (!(lexer = self()))
                return;
            TransitionObject* t = lexerObject<TransitionObject>(transition, &KernelObject::isLexerTransition);
            if (!t)
                return;
            bufferAction(*lexer, *t, byte);
            if (t->callback != kNil) {
                sendToHandler(sHandleCallback, t->callback);
                if (!(lexer = self()))
                    return;
                t = lexerObject<TransitionObject>(transition, &KernelObject::isLexerTransition);
                if (!t)
                    return;
            }
            if (!t->resolvedOnce) {
                t->resolved = stateNamed(lexer->states, t->outcome);
                t->resolvedOnce = true;
            }
            lexer->current = t->resolved;
            if (t->move != 0) {
                if (!(in = inputOf(*lexer)))
                    raiseError(FileErrorCode::NotAStream, lexer->input);
                in->seek(in->position() + t->move);
            }
        }
    }

    void finish()
    {
        LexerObject* lexer = self();
        if (!lexer)
            return;
        if (!m_silent) {
            NativeStream* in = inputOf(*lexer);
            if (in && in->position() == in->length())
                finishToken(*lexer);
        }
        if (lexer->status == LexerObject::Status::Running)
            lexer->status = LexerObject::Status::Stopped;
        if (!m_silent)
            sendToHandler(sEndOfParse, kNil);
    }

private:
    LexerObject* self()
    {
        if (m_selfGeneration != gGeneration) {
            m_cachedSelf = lexerObject<LexerObject>(m_self, &KernelObject::isLexer);
            m_selfGeneration = gGeneration;
        }
        return m_cachedSelf;
    }

    // The first transition of the state that accepts the byte (nil when none); false when the
    // lexer went away meanwhile.
    bool findTransition(Value state, int byte, Value& found)
    {
        found = kNil;
        StateObject* s = lexerObject<StateObject>(state, &KernelObject::isLexerState);
        if (!s)
            return true;
        uint64_t generation = gGeneration;
        const std::vector<StateObject::Entry>& transitions = s->nativeTransitions();
        Value rest = kNil;
        for (size_t i = 0; i < transitions.size(); ++i) {
            const StateObject::Entry& entry = transitions[i];
            Value cell = entry.cell;
            if (accepts(*entry.transition, byte)) {
                found = car(cell);
                return self() != nullptr;
            }
            if (!self())
                return false;
            if (generation != gGeneration) { // Lisp code deleted something: the cache is gone
                rest = cdr(cell);
                break;
            }
        }
        // The rest of the list, each transition looked up again.
        for (; isPair(rest); rest = cdr(rest)) {
            Value transition = car(rest);
            TransitionObject* t = lexerObject<TransitionObject>(transition, &KernelObject::isLexerTransition);
            if (!t)
                continue;
            if (accepts(*t, byte)) {
                found = transition;
                return self() != nullptr;
            }
            if (!self())
                return false;
        }
        return true;
    }

    bool accepts(TransitionObject& t, int byte)
    {
        switch (t.kind) {
        case TransitionObject::Kind::Default:
            return true;
        case TransitionObject::Kind::Char:
            return byte == t.trigger;
        case TransitionObject::Kind::Charset: {
            if (t.charsetGeneration != gGeneration) {
                t.cachedCharset = lexerObject<CharsetObject>(t.charset, &KernelObject::isCharset);
                t.charsetGeneration = gGeneration;
            }
            return t.cachedCharset && t.cachedCharset->member[byte];
        }
        case TransitionObject::Kind::Pred:
            return t.predicate != kNil && funcall(t.predicate, makeInteger(byte)) != kNil;
        case TransitionObject::Kind::String: {
            const std::string& target = t.target;
            if (target.empty() || static_cast<uint8_t>(target[0]) != byte)
                return false;
            LexerObject* lexer = self();
            NativeStream* in = lexer ? inputOf(*lexer) : nullptr;
            if (!in)
                return false;
            int64_t start = in->position();
            for (char c : target) {
                if (in->readByte() != static_cast<uint8_t>(c)) {
                    in->seek(start);
                    return false;
                }
            }
            return true;
        }
        }
        return false;
    }

    void bufferAction(LexerObject& lexer, TransitionObject& t, int byte)
    {
        switch (t.bufferAction) {
        case 0:
            break;
        case 1:
            lexer.buffer.push_back(static_cast<char>(byte));
            break;
        case 2:
            lexer.buffer.clear();
            break;
        case 3:
            finishToken(lexer);
            break;
        default:
            lexer.buffer.push_back(static_cast<char>(t.bufferAction));
            break;
        }
    }

    void finishToken(LexerObject& lexer)
    {
        Value token = makeString(lexer.buffer);
        if (LexerObject* again = self()) {
            again->lastToken = token;
            again->buffer.clear();
        }
    }

    void sendToHandler(Value message, Value symbol)
    {
        LexerObject* lexer = self();
        if (!lexer)
            return;
        Value handler = lexer->handler;
        if (handler == kNil)
            return;
        if (message == sHandleCallback) {
            Value args[2] = { symbol, m_self };
            sendMessage(handler, message, args, 2);
        } else {
            Value args[1] = { m_self };
            sendMessage(handler, message, args, 1);
        }
    }

    Value m_self;
    LexerObject* m_cachedSelf = nullptr;
    uint64_t m_selfGeneration = 0;
    bool m_silent = false;
};

Value runAutomaton(Value input, Value start, Value end)
{
    Value self = gSelf;
    LexerObject& lexer = selfLexer();
    if (lexer.handler == kNil)
        raiseError(kNoKernelObject, self); // a handler must be set before a run
    KernelObject* in = streamObjectOf(input);
    if (!in)
        raiseWrongType(input);
    int64_t from = start == kNil ? 0 : toInt64(start);
    if (from < 0)
        raiseWrongType(start);
    lexer.end = end == kNil ? INT64_MAX : toInt64(end);
    lexer.status = LexerObject::Status::Running;
    lexer.buffer.clear();
    lexer.lastToken = kNil;
    lexer.input = input;
    int64_t length = in->length();
    in->seek(from > length ? length : from);
    lexer.current = isPair(lexer.states) ? car(lexer.states) : kNil;
    Run run(self);
    run.loop();
    run.finish();
    return kNoValue;
}

Value suspendLexer()
{
    LexerObject& lexer = selfLexer();
    if (lexer.status == LexerObject::Status::Running)
        lexer.status = LexerObject::Status::Suspended;
    return kNoValue;
}
Value stopLexer()
{
    selfLexer().status = LexerObject::Status::Stopped;
    return kNoValue;
}
Value resumeLexer()
{
    Value self = gSelf;
    LexerObject& lexer = selfLexer();
    if (lexer.status != LexerObject::Status::Suspended || lexer.handler == kNil)
        return kNoValue;
    lexer.status = LexerObject::Status::Running;
    Run run(self);
    run.loop();
    run.finish();
    return kNoValue;
}

// ---- Text primitives ----

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\r'; }

Value normaliseWhites(Value text)
{
    std::string s = stringArgument(text);
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        if (!isWhite(s[i])) {
            out.push_back(s[i++]);
            continue;
        }
        size_t j = i;
        while (j < s.size() && isWhite(s[j]))
            ++j;
        if (i > 0 && j < s.size())
            out.push_back(' ');
        i = j;
    }
    return out == s ? text : makeString(out);
}

Value notAlphaCharP(Value) { return kTrue; }

class LexerModule final : public Module {
public:
    LexerModule() : Module("lex_interface") {}
    void start() override
    {
        Module::start();
        sHandleCallback = intern("handle-callback");
        sEndOfParse = intern("end-of-parse");
        intern("handler");
        sOutcome = intern("outcome");
        intern("buffer");
        sMove = intern("move");
        sCallback = intern("callback");
        sTrigger = intern("trigger");
        sCharset = intern("charset");
        sPredicate = intern("predicate");
        sTargetString = intern("target-string");

        Value kernelClass = globalValue(intern("obj-kernel-class"));
        Value charset = registerNativeClass("Charset", make<CharsetObject>, kernelClass);
        Value state = registerNativeClass("Lexer-State", make<StateObject>, kernelClass);
        Value trans = registerNativeClass("Lexer-Trans", makeTransition, kernelClass);
        Value transChar = registerNativeClass("Lexer-Trans-Char", makeTransChar, trans);
        Value transCharset = registerNativeClass("Lexer-Trans-Charset", makeTransCharset, trans);
        Value transPred = registerNativeClass("Lexer-Trans-Pred", makeTransPred, trans);
        Value transString = registerNativeClass("Lexer-Trans-String", makeTransString, trans);
        Value lexer = registerNativeClass("Lexer", make<LexerObject>, kernelClass);
        registerNativeClass("Lexer-Handler", make<HandlerObject>, kernelClass);

        auto method = [](Value c, const char* name, auto fn, uint32_t arity) {
            defineMethod(c, name, AnyFn(fn), arity);
        };
        method(charset, "setup-char", setupChar, 2);
        method(charset, "setup-charset", setupCharset, 3);
        method(charset, "setup-predicate", setupPredicate, 1);
        method(charset, "setup-predicate-char", setupPredicateChar, 3);
        method(charset, "match?", matchP, 1);
        method(state, "add-trans", addTrans, 1);
        method(state, "get-transitions", getTransitions, 0);
        method(trans, "set-outcome", setOutcome, 1);
        method(trans, "get-outcome", getOutcome, 0);
        method(trans, "set-buffer-action-internal", setBufferAction, 1);
        method(trans, "get-buffer-action-internal", getBufferAction, 0);
        method(trans, "set-move", setMove, 1);
        method(trans, "get-move", getMove, 0);
        method(trans, "set-callback", setCallback, 1);
        method(trans, "get-callback", getCallback, 0);
        method(transChar, "set-trigger", setTrigger, 1);
        method(transChar, "get-trigger", getTrigger, 0);
        method(transCharset, "set-charset-internal", setCharsetInternal, 1);
        method(transCharset, "get-charset", getCharset, 0);
        method(transPred, "set-predicate-internal", setPredicateInternal, 1);
        method(transPred, "get-predicate", getPredicate, 0);
        method(transString, "set-target-string", setTargetString, 1);
        method(transString, "get-target-string", getTargetString, 0);
        method(lexer, "set-handler", setHandler, 1);
        method(lexer, "get-handler", getHandler, 0);
        method(lexer, "add-state", addState, 1);
        method(lexer, "get-states", getStates, 0);
        method(lexer, "get-current-state", getCurrentState, 0);
        method(lexer, "set-next-state", setNextState, 1);
        method(lexer, "get-stream-position", getStreamPosition, 0);
        method(lexer, "get-token", getToken, 0);
        method(lexer, "run-automaton", runAutomaton, 3);
        method(lexer, "suspend", suspendLexer, 0);
        method(lexer, "resume", resumeLexer, 0);
        method(lexer, "stop", stopLexer, 0);
        defineFunction1("normalise-whites", normaliseWhites);
        defineFunction1("not-alpha-char?", notAlphaCharP);
    }
} theLexerModule;

} // namespace
