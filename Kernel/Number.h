// Kernel/Number.h: the integer conversions other units use, and number text.
#pragma once

#include "Kernel/Value.h"

#include <optional>
#include <string>
#include <string_view>

// An immediate when n fits in 24 bits, else a big integer.
Value makeInteger(int64_t n);
bool isInteger(Value v); // immediate or big
bool isNumber(Value v);
// A Lisp integer as a native 32-bit integer; anything else raises the wrong-type error.
int32_t toInt32(Value v);
int64_t toInt64(Value v);
uint32_t toUInt32(Value v); // accepts the whole unsigned 32-bit range
double toDouble(Value v);   // any real number
// Number text: the number a token spells (decimal separator sep), nothing when it is no number.
std::optional<Value> parseNumber(std::string_view text, char separator);
std::string numberText(Value v);
