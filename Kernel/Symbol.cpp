// Kernel/Symbol.cpp: the symbol table and the Symbol Module.
//
// Names are strings in the block area whose descriptor cells carry the permanent bit, so they
// are never freed; that holds for names from native constants too (they are copied once, which
// keeps every name inside the Lisp address space).
#include "Kernel/Symbol.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/VString.h"

#include <cstring>

namespace Sym {
Value t, nil, quote, quasiquote, unquote, unquoteSplicing, lambda, syntax, gamma, elseSym, select, loadedFile;
}
Value kTrue = 0;
ObjectContextHooks gObjectContextHooks;

namespace {

uint32_t gSymbolCount = 0;
uint32_t gFreeRecords = 0;
constexpr uint32_t kReserveRecords = 64;
uint32_t gReservedRecords = 0; // 0 once handed over

SymbolRecord* records() { return reinterpret_cast<SymbolRecord*>(gAreas.symbols); }

uint32_t hashName(std::string_view name)
{
    uint32_t h = 0;
    for (unsigned char b : name)
        h = 2 * h + b;
    return h % gSymbolCount;
}

bool nameEquals(Value name, std::string_view text)
{
    const char* chars = stringChars(name);
    return std::strncmp(chars, text.data(), text.size()) == 0 && chars[text.size()] == 0;
}

// Finds the record of text, or the free record where it would go.
uint32_t probe(std::string_view text)
{
    uint32_t i = hashName(text);
    SymbolRecord* table = records();
    while (table[i].name != 0 && !nameEquals(table[i].name, text))
        i = i + 1 == gSymbolCount ? 0 : i + 1;
    return i;
}

Value makeName(std::string_view text)
{
    Value name = makeString(text.data(), text.size());
    cellOf(name).car |= kPermanentBit;
    return name;
}

// Names are zero-terminated: text past an embedded zero byte is no part of the name.
std::string_view nameText(std::string_view text) { return text.substr(0, text.find('\0')); }

Value internText(std::string_view text, Value value, bool setWhenUnbound)
{
    text = nameText(text);
    uint32_t i = probe(text);
    SymbolRecord* table = records();
    if (table[i].name == 0) {
        // One record always stays free so that every probe ends. A reserve of records is kept
        // back too: when the table fills, it goes to the symbols of the forms that follow the
        // report, so that they can still be read.
        if (gFreeRecords <= 1 + gReservedRecords) {
            gReservedRecords = 0;
            raiseError(ErrorCode::MemoryExhausted, kNil);
        }
        Value name = makeName(text); // may collect; the table does not move
        i = probe(text);
        table = records();
        table[i].name = name;
        table[i].value = value;
        table[i].owner = 0;
        --gFreeRecords;
        return symbolAt(i);
    }
    if (setWhenUnbound && table[i].value == kNoValue)
        table[i].value = value;
    return symbolAt(i);
}

} // namespace

void initSymbolTable()
{
    gSymbolCount = static_cast<uint32_t>(gParams.symbolCount);
    gFreeRecords = gSymbolCount;
    gReservedRecords = gSymbolCount > 4 * kReserveRecords ? kReserveRecords : 0;
    SymbolRecord* table = records();
    for (uint32_t i = 0; i < gSymbolCount; ++i)
        table[i] = { 0, 0, 0, -1, -1 };
}

uint32_t symbolCount() { return gSymbolCount; }
uint32_t freeSymbolRecords() { return gFreeRecords; }

Value intern(const char* name) { return internText(name, kNoValue, false); }
Value internWithValue(const char* name, Value value) { return internText(name, value, true); }
Value internCopy(std::string_view text, Value value) { return internText(text, value, true); }

Value findSymbol(std::string_view name)
{
    uint32_t i = probe(nameText(name));
    return records()[i].name ? symbolAt(i) : kNil;
}

const char* symbolName(Value symbol) { return stringChars(symbolRecord(symbol).name); }
std::string_view symbolNameView(Value symbol) { return symbolName(symbol); }

Value makeKeyword(std::string_view text)
{
    std::string name = ":";
    name.append(text);
    Value keyword = internCopy(name, kNoValue);
    if (globalValue(keyword) == kNoValue)
        setGlobalValue(keyword, keyword);
    return keyword;
}

bool isKeyword(Value v) { return isSymbol(v) && symbolName(v)[0] == ':'; }

void setGlobalValue(Value symbol, Value value) { symbolRecord(symbol).value = value; }

namespace {
bool hasObjectContext() { return gSelf != kNoObject; }
} // namespace

Value symbolValue(Value symbol)
{
    if (hasObjectContext() && gObjectContextHooks.read) {
        Value result;
        if (gObjectContextHooks.read(gSelf, symbol, result))
            return result;
    }
    const SymbolRecord& r = symbolRecord(symbol);
    if (r.value == kNoValue || (r.owner != 0 && r.owner != kEnd))
        raiseError(ErrorCode::Unbound, symbol);
    return r.value;
}

void setSymbolValue(Value symbol, Value value)
{
    if (hasObjectContext() && gObjectContextHooks.write && gObjectContextHooks.write(gSelf, symbol, value))
        return;
    symbolRecord(symbol).value = value;
}

bool isBound(Value symbol)
{
    if (hasObjectContext() && gObjectContextHooks.bound) {
        bool result;
        if (gObjectContextHooks.bound(gSelf, symbol, result))
            return result;
    }
    const SymbolRecord& r = symbolRecord(symbol);
    return (r.owner == 0 || r.owner == kEnd) && r.value != kNoValue;
}

Value symbolToKeyword(Value symbol)
{
    if (tagOf(symbol) == Tag::Variable)
        symbol = cdr(symbol);
    if (!isSymbol(symbol))
        raiseWrongType(symbol);
    if (symbolRecord(symbol).partner != -1)
        return symbolAt(static_cast<uint16_t>(symbolRecord(symbol).partner));
    std::string name = ":";
    name.append(symbolName(symbol));
    Value keyword = internCopy(name, kNoValue);
    setGlobalValue(keyword, keyword);
    symbolRecord(symbol).partner = static_cast<int16_t>(symbolIndex(keyword));
    return keyword;
}

Value keywordToSymbol(Value keyword)
{
    if (!isKeyword(keyword))
        raiseWrongType(keyword);
    if (symbolRecord(keyword).partner != -1)
        return symbolAt(static_cast<uint16_t>(symbolRecord(keyword).partner));
    std::string name = symbolName(keyword);
    Value symbol = internCopy(name.substr(1), kNoValue);
    symbolRecord(keyword).partner = static_cast<int16_t>(symbolIndex(symbol));
    return symbol;
}

// ---- The Symbol Module ----

namespace {

Value toSymbol(Value v)
{
    if (!isSymbol(v))
        raiseWrongType(v);
    return v;
}

Value symbolToValue(Value symbol) { return symbolValue(toSymbol(symbol)); }

Value setPrimitive(Value symbol, Value value)
{
    setSymbolValue(toSymbol(symbol), value);
    return value;
}

bool boundTest(Value x)
{
    if (isSymbol(x))
        return isBound(x);
    if (tagOf(x) == Tag::Variable)
        return *variableSlot(x) != kNoValue;
    raiseWrongType(x);
}

Value boundP(Value x) { return boolValue(boundTest(x)); }
Value unboundP(Value x) { return boolValue(!boundTest(x)); }
Value findSymbolPrimitive(Value x) { return findSymbol(stringOf(x)); }
Value symbolP(Value x) { return boolValue(isSymbol(x)); }
Value keywordP(Value x) { return boolValue(isKeyword(x)); }

class SymbolModule final : public Module {
public:
    SymbolModule() : Module("Symbol") {}
    void start() override
    {
        Module::start();
        defineFunction1("symbol->value", symbolToValue);
        defineFunction2("set", setPrimitive);
        defineFunction1("bound?", boundP);
        defineFunction1("unbound?", unboundP);
        defineFunction1("find-symbol", findSymbolPrimitive);
        defineFunction1("symbol->keyword", symbolToKeyword);
        defineFunction1("keyword->symbol", keywordToSymbol);
        defineFunction1("symbol?", symbolP);
        defineFunction1("keyword?", keywordP);
        Sym::select = intern("select");
        Sym::loadedFile = internWithValue("Loaded-File", kNil);
    }
} symbolModule;

} // namespace
