// Kernel/Eval.h: evaluation, application and the compiler.
#pragma once

#include "Kernel/Value.h"

Value eval(Value v);
Value applyForm(Value op, Value args, Value form);
Value applyArray(Value op, Value* argv, Value form);
Value evalBody(Value body);
Value compileFunction(Value form);
// Calls a Lisp function or primitive with the given arguments.
Value funcallArray(Value op, const Value* args, int count);
template <typename... Args> Value funcall(Value op, Args... args)
{
    const Value argv[] = { args..., kEnd };
    return funcallArray(op, argv, sizeof...(Args));
}
// The slot a variable addresses in the current frame.
Value* variableSlot(Value variable);
// Sends message with arguments to obj: the message is evaluated in obj's object context.
Value sendMessage(Value obj, Value message, const Value* args, int count);
// Periodic event polling of long evaluations; the event pump installs the poll function.
void setEventPoll(void (*poll)());
// The C stack limit below which evaluation refuses to go deeper.
extern uintptr_t gEvalStackLimit;
[[noreturn]] void stackTooDeep();
inline void checkCStack()
{
    char here;
    if (reinterpret_cast<uintptr_t>(&here) < gEvalStackLimit) [[unlikely]]
        stackTooDeep();
}
