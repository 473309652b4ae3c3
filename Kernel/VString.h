// Kernel/VString.h: strings and the string conversion of any Value.
#pragma once

#include "Kernel/Value.h"

#include <string>

// The text of a Value as string primitives take it: a string's characters, a symbol's name,
// a character code's character, otherwise the Value printed in print style.
std::string stringOf(Value v);
// A Lisp string's characters; anything else raises the wrong-type error.
std::string toStdString(Value v);
