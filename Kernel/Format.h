// Kernel/Format.h: the format engine.
#pragma once

#include "Kernel/Stream.h"
#include "Kernel/Value.h"

#include <string>

// Runs control over the end-marker-terminated arguments, writing to out.
void formatTo(NativeStream& out, const std::string& control, const Value* args);
std::string formatToString(const std::string& control, const Value* args);
