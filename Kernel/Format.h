// Kernel/Format.h: the format engine.
#pragma once

#include "Kernel/Stream.h"
#include "Kernel/Value.h"

#include <string>

// Runs control over the end-marker-terminated arguments, writing to out. Any fault of the control
// text, or a directive left without its argument, raises the wrong-type error with nil. The engine
// may be re-entered from inside a directive (a value whose printing formats).
void formatTo(NativeStream& out, const std::string& control, const Value* args);
std::string formatToString(const std::string& control, const Value* args);
