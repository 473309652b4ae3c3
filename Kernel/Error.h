// Kernel/Error.h: non-local exits and the error report.
#pragma once

#include "Kernel/Value.h"

#include <string>

// A throw in flight. While the stack unwinds, its Values live only in the exception object, and
// cleanups run Lisp code that may collect: every live one is linked into a list that the Error
// Module marks.
struct VEr_Thrower {
    VEr_Thrower(Value t, Value v);
    VEr_Thrower(const VEr_Thrower& other);
    VEr_Thrower& operator=(const VEr_Thrower& other);
    ~VEr_Thrower();
    Value tag;
    Value value;
    VEr_Thrower* m_olderInFlight = nullptr;
    VEr_Thrower* m_newerInFlight = nullptr;
};
struct VEr_Quit {};
struct VEr_Printing {};

namespace ErrorCode {
enum : int32_t {
    User = 0,
    WrongType = 2,
    NotApplicable = 5,
    Unbound = 6,
    MemoryExhausted = 9,
    NotPermanent = 15,
    NoCatch = 17,
    Syntax = 25,
    HandleEmpty = 60,
};
}
constexpr int32_t kGeneralFamily = 1010;
constexpr int32_t kDatabaseFamily = 1011;

[[noreturn]] void raiseError(int32_t code, Value culprit);
[[noreturn]] void raiseDatabaseError(int32_t code, Value culprit);
[[noreturn]] void reportError(int32_t family, int32_t code, Value culprit);
[[noreturn]] inline void raiseWrongType(Value culprit) { raiseError(ErrorCode::WrongType, culprit); }
[[noreturn]] void throwTo(Value tag, Value value);
bool hasCatch(Value tag);
// Shows the error alert; returns unless the user chose Quit.
void showErrorMessage(const std::string& text);

// Where reports go when no window system shows alerts: the command line writes each one as a
// line on standard error. Returns the button chosen (1 OK, 2 Quit).
using ErrorMessageSink = int (*)(const std::string& text);
void setErrorMessageSink(ErrorMessageSink sink);
int errorReportCount();
// Whether the text of an error report is being built (printing then stops short of errors).
bool inErrorReport();

// The event-block counter: while it is positive, evaluation pumps no events. catch restores it.
extern int gEventBlockCounter;
// Raises the counter for a scope.
class EventBlock {
public:
    EventBlock() { ++gEventBlockCounter; }
    ~EventBlock() { --gEventBlockCounter; }
    EventBlock(const EventBlock&) = delete;
    EventBlock& operator=(const EventBlock&) = delete;
};

// The catch tags of the top level.
namespace Sym {
extern Value toplevel, cancel, errorTrap, errorHandler;
}
