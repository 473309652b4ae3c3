// Kernel/Symbol.h: the symbol table, interning, global values and keywords.
#pragma once

#include "Kernel/Memory.h"
#include "Kernel/Value.h"

#include <string_view>

struct SymbolRecord {
    Value name;      // string Value, 0 for a free record
    Value value;     // global value, the no-value marker when unbound
    Value owner;     // 0, a class owning the value field, or the end marker
    int16_t slot;    // slot number given by the object system, -1 until then
    int16_t partner; // record index of the keyword or ordinary partner, -1 when none
};
static_assert(sizeof(SymbolRecord) == 16);

void initSymbolTable(); // called by memory start: every record free
inline uint32_t symbolIndex(Value symbol) { return payloadOf(symbol) >> 4; }
// The record of a symbol: its Value's payload is the record's byte offset in the table.
inline SymbolRecord& symbolRecord(Value symbol)
{
    return *reinterpret_cast<SymbolRecord*>(gAreas.symbols + payloadOf(symbol));
}
inline Value symbolAt(uint32_t index) { return makeValue(Tag::Symbol, index << 4); }
uint32_t symbolCount();
uint32_t freeSymbolRecords();

// A name given as a native constant (it lives for the whole run).
Value intern(const char* name);
Value internWithValue(const char* name, Value value);
// A name built at run time: copied into the block area when a new symbol is made.
Value internCopy(std::string_view text, Value value = kNoValue);
Value findSymbol(std::string_view name); // nil when missing
Value makeKeyword(std::string_view text); // ":" + text, bound to itself
const char* symbolName(Value symbol); // valid until the next allocation
std::string_view symbolNameView(Value symbol);

// Values in the current context. The object system installs its lookup through the hooks.
Value symbolValue(Value symbol); // raises error 6 when unbound
void setSymbolValue(Value symbol, Value value);
bool isBound(Value symbol);
inline Value globalValue(Value symbol) { return symbolRecord(symbol).value; }
void setGlobalValue(Value symbol, Value value);

struct ObjectContextHooks {
    // Each returns true when the object context answered.
    bool (*read)(Value self, Value symbol, Value& result) = nullptr;
    bool (*write)(Value self, Value symbol, Value value) = nullptr;
    bool (*bound)(Value self, Value symbol, bool& result) = nullptr;
};
extern ObjectContextHooks gObjectContextHooks;

Value symbolToKeyword(Value symbol);
Value keywordToSymbol(Value keyword);
bool isKeyword(Value v);

// Symbols other units use often.
namespace Sym {
extern Value t, nil, quote, quasiquote, unquote, unquoteSplicing, lambda, syntax, gamma, elseSym, select,
    loadedFile;
}
extern Value kTrue; // the symbol t
inline Value boolValue(bool b) { return b ? kTrue : kNil; }
