// Kernel/Frame.cpp: linking frames into the chain, and cleanup frames.
#include "Kernel/Frame.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Platform/Host.h"

#include <exception>

Frame* gCurrentFrame = nullptr;
Frame* gTopFrame = nullptr;
uintptr_t gEvalStackFloor = 0;

StackReserve::StackReserve()
    : m_saved(gEvalStackLimit)
{
    if (gEvalStackFloor)
        gEvalStackLimit = gEvalStackFloor;
}

StackReserve::~StackReserve() { gEvalStackLimit = m_saved; }


void CleanupFrame::runNow()
{
    if (m_done)
        return;
    m_done = true;
    m_function(m_datum);
}

CleanupFrame::~CleanupFrame() noexcept(false)
{
    if (m_done)
        return;
    m_done = true;
    // Run with this frame already out of the chain, as on a normal exit.
    gCurrentFrame = m_previous;
    m_linked = false;
    if (std::uncaught_exceptions() == 0) {
        m_function(m_datum);
        return;
    }
    // Unwinding: an exit out of the cleanup cannot replace the exception in flight, so it is
    // dropped and the original exit goes on.
    try {
        m_function(m_datum);
    } catch (...) {
    }
}

TopFrame::TopFrame()
    : ActivationFrame(nullptr)
{
    enter();
    m_lexical = nullptr;
    gTopFrame = this;
    uintptr_t low, high;
    hostStackBounds(low, high);
    // Keep a margin for the error report and the collector's own frames.
    gEvalStackFloor = low ? low + 64 * 1024 : 0;
    gEvalStackLimit = low ? low + 512 * 1024 : 0;
}

TopFrame::~TopFrame() { gTopFrame = nullptr; }
