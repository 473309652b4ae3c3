// Kernel/Reader.h: reading Values from native streams.
#pragma once

#include "Kernel/Stream.h"
#include "Kernel/Value.h"

// The character class table: one class per character code (see Reader.cpp for the classes).
int characterClass(unsigned char c);
void setCharacterClass(unsigned char c, int cls);

// What the token reader returns besides data.
namespace ReaderToken {
enum : int {
    Datum = 0,      // a datum was read
    Close = 2,      // ) or ]
    Dot = 3,        // a lone decimal separator
    End = 15,       // end of input
    Nothing = 16,   // a datum that was skipped (false feature expression, unknown # sequence)
    CloseBrace = 18 // }
};
}
// The next token of the stream; datum is set when the result is ReaderToken::Datum.
int readToken(NativeStream& in, Value& datum);
// The next datum of the stream, skipping skipped data; nil at the end of input. A stray closing
// token or dot raises error 25.
Value readValue(NativeStream& in);
// Skips blanks and comments; whether the stream reached the end of its input.
bool readerAtEnd(NativeStream& in);

// One step of a top-level loop (scripts, the REPL, load): skips blanks, then reads the next form
// inside a toplevel catch. After an error report (Failed) the stream has moved on: when the
// report left it where the form began, the rest of that line is skipped, so that no loop reads
// the same position twice.
enum class TopLevelRead { Form, End, Failed };
TopLevelRead readTopLevelForm(NativeStream& in, Value& form);
// Consumes the characters up to and including the next line end (or to the end of input).
void skipLine(NativeStream& in);

// The decimal separator of number syntax, and a scope that changes it.
extern char gDecimalSeparator;
class DecimalSeparatorScope {
public:
    explicit DecimalSeparatorScope(char separator) : m_saved(gDecimalSeparator) { gDecimalSeparator = separator; }
    ~DecimalSeparatorScope() { gDecimalSeparator = m_saved; }
    DecimalSeparatorScope(const DecimalSeparatorScope&) = delete;
    DecimalSeparatorScope& operator=(const DecimalSeparatorScope&) = delete;

private:
    char m_saved;
};

// The symbol table of the compiled unit being read: a vector (or a list, copied into a vector)
// whose entries the compact byte tokens index. nil drops it. Reading a compact symbol token with
// no table, or with an index past its end, raises the wrong-type error with the index.
void installUnitSymbols(Value table);
void dropUnitSymbols();
Value unitSymbols(); // nil when none is installed

// A fresh variable cell for symbol, slot address 0 (what _name reads as).
Value makeVariableCell(Value symbol);

// The object system tells how to find the `keyword` slot of the locale object in
// `Current-Locale`; it answers false when locale is no object with that slot.
using LocaleKeywordReader = bool (*)(Value locale, Value& keyword);
void setLocaleKeywordReader(LocaleKeywordReader reader);
