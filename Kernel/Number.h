// Kernel/Number.h: the number tower as other units see it: kinds, the integer conversions, the
// numeric equality of equal?, and number text both ways.
#pragma once

#include "Kernel/Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace NumberError {
enum : int32_t {
    NoArgument = 42,     // = or /= called without arguments
    DivisionByZero = 58, // reported with nil
};
}

// An immediate when n fits in 24 bits, else a big integer.
Value makeInteger(int64_t n);
bool isInteger(Value v); // immediate or big
bool isNumber(Value v);  // any of the six kinds
bool isRealNumber(Value v); // any kind but complex
bool isExactNumber(Value v); // integer, big integer, rational, complex with two exact parts
// A Lisp integer whose magnitude fits in 31 bits; anything else raises the wrong-type error.
int32_t toInt32(Value v);
// A Lisp integer that fits in 64 bits; anything else raises the wrong-type error.
int64_t toInt64(Value v);
// A non-negative Lisp integer of at most 32 bits; anything else raises the wrong-type error.
uint32_t toUInt32(Value v);
double toDouble(Value v); // any real number (not complex), else the wrong-type error
// The numeric part of equal?: the kind of the first argument decides (an integer equals any
// other kind of the same double value but never a different integer, a big integer only a big
// integer of the same sign and digits, a rational an equal rational, a real any number of the same
// double value, a complex a complex with equal parts). Both must be numbers.
bool numbersEqual(Value a, Value b);
// The number that text spells, with sep as decimal separator: an integer (immediate or big, of
// any length), a real, a rational a/b or a complex ending in i. Nothing when the text is no number.
std::optional<Value> parseNumber(std::string_view text, char separator);
// The text of a number: decimal integers, n/d, reals by "%-27.15g" with the current decimal
// separator and a forced fraction, complex numbers as re+imi.
std::string numberText(Value v);
// The "%-27.15g" text of a double with the separator, as numberText writes a real.
std::string realText(double x, char separator);
// The C runtime's generator behind random: state × 214013 + 2531011, output bits 16 to 30. The
// state starts at 1 and is never reseeded.
int nextRandomOutput();
uint32_t randomGeneratorState();
