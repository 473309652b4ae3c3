// Kernel/VString.h: strings, the code page 1252 character tables and the string conversion of
// any Value.
#pragma once

#include "Kernel/Value.h"

#include <string>
#include <string_view>

// The text of a Value as string primitives take it: a string's characters, a symbol's name, a
// number's text, otherwise the Value printed in print style.
std::string stringOf(Value v);
// The same text as a string Value: a string itself, a symbol's own print-name string, otherwise a
// new string. May allocate.
Value textValue(Value v);
// A Lisp string's characters; anything else raises the wrong-type error.
std::string toStdString(Value v);

// The character tables of code page 1252.
uint8_t upperChar(uint8_t c);
uint8_t lowerChar(uint8_t c);
uint8_t accentFreeChar(uint8_t c);
uint8_t collationChar(uint8_t c); // upper case and accent removal combined
bool isLetterChar(uint8_t c);     // letters (accented ones included) and digits

// The ordering of texts: case and accents are ignored first, raw codes break ties. Returns -1, 0
// or +1.
int compareTexts(std::string_view a, std::string_view b);
// Equality ignoring case (through the upper-case table), and accents too when asked.
bool equalTextsNoCase(std::string_view a, std::string_view b, bool ignoreAccents);

// A character argument: an integer immediate, of which the low byte is the code; anything else
// raises the wrong-type error.
uint8_t toCharCode(Value v);
