// Kernel/Frame.h: the frames that evaluation pushes on the C stack. They form a chain from the
// current frame back to the top frame; destroying a frame (normally or while an exception
// unwinds) puts back the state it saved.
#pragma once

#include "Kernel/Memory.h"

class Frame;
extern Frame* gCurrentFrame;

class Frame {
public:
    enum Kind { Activation = 0, ObjectContext = 2, Catch = 3, Cleanup = 4, Base = 7, Prolog = 8 };

    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    virtual ~Frame() noexcept(false)
    {
        if (m_linked)
            gCurrentFrame = m_previous;
    }
    virtual Kind kind() const = 0;
    virtual bool catches(Value tag) const { return false; }

    Frame* m_previous = nullptr;
    Frame* m_lexical = nullptr; // the activation whose slots unqualified variables address

protected:
    enum class Link { Now, Later };
    explicit Frame(Link how = Link::Now)
    {
        if (how == Link::Now)
            link();
    }
    inline void link();
    bool m_linked = false;
};

extern Frame* gCurrentFrame;
extern Frame* gTopFrame;

inline void Frame::link()
{
    m_previous = gCurrentFrame;
    m_lexical = m_previous ? m_previous->m_lexical : nullptr;
    gCurrentFrame = this;
    m_linked = true;
}

// A call of a compiled function: its slots start at the slot base on the Lisp stack. The frame is
// made current only once the arguments are pushed (they are evaluated in the caller's frame).
class ActivationFrame : public Frame {
public:
    explicit ActivationFrame(ActivationFrame* staticLink)
        : Frame(Link::Later)
        , m_savedSP(gLispSP)
        , m_slotBase(gLispSP)
        , m_staticLink(staticLink)
    {
    }
    ~ActivationFrame() override { gLispSP = m_savedSP; }
    Kind kind() const override { return Activation; }
    void enter()
    {
        link();
        m_lexical = this;
    }

    Value* m_savedSP;
    Value* m_slotBase;
    ActivationFrame* m_staticLink;
    Value m_function = kNil; // the compiled function running in this activation
};

// Puts the Lisp stack pointer back when the scope ends, normally or by an exception; unlike a
// frame it is not linked into the chain.
class LispStackMark {
public:
    LispStackMark() : m_saved(gLispSP) {}
    ~LispStackMark() { gLispSP = m_saved; }
    LispStackMark(const LispStackMark&) = delete;
    LispStackMark& operator=(const LispStackMark&) = delete;
    Value* base() const { return m_saved; }

private:
    Value* m_saved;
};

class ObjectContextFrame : public Frame {
public:
    explicit ObjectContextFrame(Value self) : m_savedSelf(gSelf) { gSelf = self; }
    ~ObjectContextFrame() override { gSelf = m_savedSelf; }
    Kind kind() const override { return ObjectContext; }
    Value m_savedSelf;
};

class CatchFrame : public Frame {
public:
    explicit CatchFrame(Value tag) : m_tag(tag) {}
    Kind kind() const override { return Catch; }
    bool catches(Value tag) const override { return tag == m_tag; }
    Value m_tag;
};

// Runs its function with the datum when destroyed. A non-local exit out of the function while an
// exception is already unwinding is caught and dropped (a second exception would terminate).
class CleanupFrame : public Frame {
public:
    using Function = void (*)(Value datum);
    CleanupFrame(Function function, Value datum) : m_function(function), m_datum(datum) {}
    ~CleanupFrame() noexcept(false) override;
    Kind kind() const override { return Cleanup; }
    // Runs the cleanup now (normal exit), so that its own exits propagate as usual.
    void runNow();
    Function m_function;
    Value m_datum;
    bool m_done = false;
};

class BaseFrame : public Frame {
public:
    BaseFrame() = default;
    Kind kind() const override { return Base; }
};

// The top frame of the top-level routine: the upper end of the collector's C-stack scan.
class TopFrame : public ActivationFrame {
public:
    TopFrame();
    ~TopFrame() override;
};

// Lets an error report use the stack kept in reserve below the evaluation limit, so that a
// report of a recursion too deep can still print and call the error handler.
class StackReserve {
public:
    StackReserve();
    ~StackReserve();
    StackReserve(const StackReserve&) = delete;
    StackReserve& operator=(const StackReserve&) = delete;

private:
    uintptr_t m_saved;
};
extern uintptr_t gEvalStackFloor;
