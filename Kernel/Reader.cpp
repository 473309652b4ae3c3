// Kernel/Reader.cpp: the Reader Module. Turns the characters of a native stream into Values,
// driven by a per-character class table that Lisp code can change:
//
//   0 escape           1 open ( [          2 close ) ]          3 wrong type when it starts a token
//   4 macro character  5 string "          6 symbol constituent 7 digit
//   8 number or symbol constituent (+ - . E e i |)
//   9-14 compact tokens of compiled units (symbols, small integers, variables)
//   15 reads as a close   16 wrong type    17 { source reference   18 } close brace
//   19 ; comment          20 line end      21 and up: blank
#include "Kernel/Reader.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Recycle.h"
#include "Kernel/StreamArgument.h"
#include "Kernel/Symbol.h"

#include <cstring>
#include <string>

char gDecimalSeparator = '.';

namespace {

using namespace ReaderToken;

uint8_t gClasses[256];
Value gMacros[256];          // user macro functions, nil when none
Value gUnitTable = kNil;     // vector of the compiled unit's symbols, or nil
LocaleKeywordReader gLocaleKeywordReader = nullptr;

Value gQuote, gQuasiquote, gUnquote, gUnquoteSplicing, gAnd, gOr, gNot, gFeatures, gCurrentLocale;

struct CharacterName {
    const char* name;
    int code;
    Value symbol;
};
CharacterName gCharacterNames[] = {
    { "enter", 3, 0 }, { "info", 5, 0 }, { "backspace", 8, 0 }, { "tab", 9, 0 }, { "linefeed", 10, 0 },
    { "vtab", 11, 0 }, { "return", 13, 0 }, { "escape", 27, 0 }, { "left-arrow", 28, 0 },
    { "right-arrow", 29, 0 }, { "up-arrow", 30, 0 }, { "down-arrow", 31, 0 }, { "space", 32, 0 },
    { "quotation-mark", 34, 0 }, { "quote", 39, 0 }, { "left-parenthesis", 40, 0 },
    { "right-parenthesis", 41, 0 }, { "semi-colon", 59, 0 }, { "left-bracket", 91, 0 },
    { "right-bracket", 93, 0 },
};

// Classic Mac characters 0x80-0xFF in the program's Windows character set; 0 where the Windows
// set has no equivalent (the character is then left as it is).
const uint8_t kMacHighToWindows[128] = {
    0xC4, 0xC5, 0xC7, 0xC9, 0xD1, 0xD6, 0xDC, 0xE1, 0xE0, 0xE2, 0xE4, 0xE3, 0xE5, 0xE7, 0xE9, 0xE8, // 80
    0xEA, 0xEB, 0xED, 0xEC, 0xEE, 0xEF, 0xF1, 0xF3, 0xF2, 0xF4, 0xF6, 0xF5, 0xFA, 0xF9, 0xFB, 0xFC, // 90
    0x86, 0xB0, 0xA2, 0xA3, 0xA7, 0x95, 0xB6, 0xDF, 0xAE, 0xA9, 0x99, 0xB4, 0xA8, 0x00, 0xC6, 0xD8, // A0
    0x00, 0xB1, 0x00, 0x00, 0xA5, 0xB5, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xBA, 0x00, 0xE6, 0xF8, // B0
    0xBF, 0xA1, 0xAC, 0x00, 0x83, 0x00, 0x00, 0xAB, 0xBB, 0x85, 0xA0, 0xC0, 0xC3, 0xD5, 0x8C, 0x9C, // C0
    0x96, 0x97, 0x93, 0x94, 0x91, 0x92, 0xF7, 0x00, 0xFF, 0x9F, 0x00, 0xA4, 0x8B, 0x9B, 0x00, 0x00, // D0
    0x87, 0xB7, 0x82, 0x84, 0x89, 0xC2, 0xCA, 0xC1, 0xCB, 0xC8, 0xCD, 0xCE, 0xCF, 0xCC, 0xD3, 0xD4, // E0
    0x00, 0xD2, 0xDA, 0xDB, 0xD9, 0x00, 0x88, 0x98, 0xAF, 0x00, 0x00, 0x00, 0xB8, 0x00, 0x00, 0x00, // F0
};

// The control characters that have a counterpart map to themselves, and so does ASCII (but 0x7F).
int macToWindows(int c)
{
    if (c >= 0x80)
        return kMacHighToWindows[c - 0x80] ? kMacHighToWindows[c - 0x80] : c;
    return c;
}

Value gMachine, gMac;

void initClasses()
{
    for (int c = 0; c < 256; ++c)
        gClasses[c] = 6;
    for (int c = 0; c < 8; ++c)
        gClasses[c] = 9;
    for (int c = 0x10; c < 0x20; ++c)
        gClasses[c] = 10;
    gClasses[0x08] = 11;
    gClasses[0x0F] = 12;
    gClasses[0x0C] = 13;
    gClasses[0x0E] = 14;
    gClasses[0x09] = gClasses[static_cast<unsigned char>(' ')] = 21;
    gClasses[0x0A] = gClasses[0x0B] = gClasses[0x0D] = 20;
    gClasses[static_cast<unsigned char>('\\')] = 0;
    gClasses[static_cast<unsigned char>('(')] = gClasses[static_cast<unsigned char>('[')] = 1;
    gClasses[static_cast<unsigned char>(')')] = gClasses[static_cast<unsigned char>(']')] = 2;
    for (char c : std::string("#&',:@_`"))
        gClasses[static_cast<unsigned char>(c)] = 4;
    gClasses[static_cast<unsigned char>('"')] = 5;
    for (int c = '0'; c <= '9'; ++c)
        gClasses[c] = 7;
    for (char c : std::string("+-.Eei|"))
        gClasses[static_cast<unsigned char>(c)] = 8;
    gClasses[static_cast<unsigned char>('{')] = 17;
    gClasses[static_cast<unsigned char>('}')] = 18;
    gClasses[static_cast<unsigned char>(';')] = 19;
}

// Vector elements are not 4-byte aligned in the block area: they are copied bytewise.
Value vectorElement(Value vector, uint32_t i)
{
    Value x;
    std::memcpy(&x, blockData(vector) + 4 + 4 * i, 4);
    return x;
}

void setVectorElement(Value vector, uint32_t i, Value x) { std::memcpy(blockData(vector) + 4 + 4 * i, &x, 4); }

// The reader stops a little above the evaluator's stack limit, so that the error report made at
// the raise point still has room to print.
void checkReaderStack()
{
    constexpr uintptr_t kReportMargin = 64 * 1024;
    char here;
    if (reinterpret_cast<uintptr_t>(&here) < gEvalStackLimit + kReportMargin) [[unlikely]]
        stackTooDeep();
    checkCStack();
}

[[noreturn]] void syntaxError() { raiseError(ErrorCode::Syntax, kNil); }

int cls(int c) { return gClasses[c]; }

// The next byte of a token that must go on; the end of input there is a syntax error.
int tokenByte(NativeStream& in)
{
    int c = in.readByte();
    if (c == NativeStream::kEnd)
        syntaxError();
    return c;
}

void skipComment(NativeStream& in)
{
    for (int c = in.peekByte(); c != NativeStream::kEnd && cls(c) != 20; c = in.peekByte())
        in.readByte();
}

// Symbol names are C strings inside the runtime: a zero byte cannot be part of one.
Value internName(const std::string& text)
{
    if (text.find('\0') != std::string::npos)
        raiseWrongType(makeImmediate(0));
    return internCopy(text);
}

// The characters of a symbol token: escapes, class 3 and the constituents.
std::string readSymbolText(NativeStream& in)
{
    std::string text;
    for (int c = in.peekByte(); c != NativeStream::kEnd; c = in.peekByte()) {
        int k = cls(c);
        if (k != 0 && k != 3 && k != 6 && k != 7 && k != 8)
            break;
        in.readByte();
        if (k == 0) {
            c = in.readByte();
            if (c == NativeStream::kEnd)
                break;
        }
        text.push_back(static_cast<char>(c));
    }
    return text;
}

// A token starting with a digit or a number-or-symbol constituent: a number when its characters
// count as one, the dot token for a lone separator, else a symbol.
int readNumberOrSymbol(NativeStream& in, Value& datum)
{
    std::string text;
    int slashes = 0, separators = 0, digits = 0, others = 0;
    for (int c = in.peekByte(); c != NativeStream::kEnd; c = in.peekByte()) {
        int k = cls(c);
        if (k != 0 && k != 6 && k != 7 && k != 8)
            break;
        in.readByte();
        if (k == 0) {
            c = in.readByte();
            if (c == NativeStream::kEnd)
                break;
            ++others;
        } else if (c == static_cast<unsigned char>(gDecimalSeparator)) {
            ++separators;
        } else if (c == '/') {
            ++slashes;
        } else if (k == 7) {
            ++digits;
        } else if (k == 6) {
            ++others;
        }
        text.push_back(static_cast<char>(c));
    }
    if (separators == 1 && slashes == 0 && digits == 0 && others == 0)
        return Dot;
    if (others == 0 && digits > 0 && separators <= 2 && slashes <= 2)
        if (auto number = parseNumber(text, gDecimalSeparator)) {
            datum = *number;
            return Datum;
        }
    datum = internName(text);
    return Datum;
}

// A string that the input ends inside is a syntax error: a missing closing quote would
// otherwise swallow the rest of a file without a word.
Value readString(NativeStream& in)
{
    std::string text;
    text.reserve(1024);
    for (int c = tokenByte(in); cls(c) != 5; c = tokenByte(in)) {
        if (cls(c) == 0)
            c = tokenByte(in);
        if (c != 0x0A)
            text.push_back(static_cast<char>(c));
    }
    return makeString(text);
}

// The next datum inside a construct (after a quote, a feature expression, a dot): skipped data
// are passed over; a closing token, a dot or the end of input there is a syntax error.
Value readDatum(NativeStream& in)
{
    for (;;) {
        Value datum = kNil;
        int token = readToken(in, datum);
        if (token == Datum)
            return datum;
        if (token != Nothing)
            syntaxError();
    }
}

// The elements up to the closing token closer (Close or CloseBrace), with an optional dotted tail.
Value readList(NativeStream& in, int closer)
{
    checkReaderStack();
    Value head = kNil, tail = kNil;
    for (;;) {
        Value item = kNil;
        int token = readToken(in, item);
        switch (token) {
        case Nothing:
            continue;
        case Datum: {
            Value cell = cons(item, kNil);
            if (head == kNil)
                head = cell;
            else
                setCdr(tail, cell);
            tail = cell;
            continue;
        }
        case Dot: {
            if (head == kNil)
                syntaxError();
            Value last = readDatum(in);
            setCdr(tail, last);
            do
                token = readToken(in, item);
            while (token == Nothing);
            if (token != closer)
                syntaxError();
            return head;
        }
        case Close:
        case CloseBrace:
            if (token != closer)
                syntaxError();
            return head;
        default: // end of input inside the list
            syntaxError();
        }
    }
}

Value list2(Value a, Value b) { return cons(a, cons(b, kNil)); }

bool isMember(Value x, Value list)
{
    uint64_t bound = gAreas.cellCount; // a circular list ends the search too
    for (; isPair(list) && bound > 0; list = cdr(list), --bound)
        if (car(list) == x)
            return true;
    return false;
}

bool featureHolds(Value expression, Value features)
{
    checkReaderStack();
    if (isSymbol(expression))
        return isMember(expression, features);
    if (!isPair(expression))
        raiseWrongType(expression);
    Value op = car(expression);
    Value args = cdr(expression);
    if (op == gAnd || op == gOr) {
        bool wanted = op == gOr;
        for (; isPair(args); args = cdr(args))
            if (featureHolds(car(args), features) == wanted)
                return wanted;
        if (args != kNil)
            raiseWrongType(expression);
        return !wanted;
    }
    if (op == gNot) {
        if (!isPair(args) || cdr(args) != kNil)
            raiseWrongType(expression);
        return !featureHolds(car(args), features);
    }
    raiseWrongType(op);
}

int readFeatureConditional(NativeStream& in, Value& datum)
{
    Value expression = readDatum(in);
    Value features = globalValue(gFeatures);
    bool holds = featureHolds(expression, isList(features) ? features : kNil);
    Value next = readDatum(in);
    if (!holds)
        return Nothing;
    datum = next;
    return Datum;
}

Value readCharacter(NativeStream& in)
{
    int c = tokenByte(in);
    int next = in.peekByte();
    if (next == NativeStream::kEnd || (cls(next) != 6 && cls(next) != 8))
        return makeImmediate(globalValue(gMachine) == gMac ? macToWindows(c) : c);
    std::string name(1, static_cast<char>(c));
    name += readSymbolText(in);
    Value symbol = internName(name);
    for (const CharacterName& entry : gCharacterNames)
        if (entry.symbol == symbol)
            return makeImmediate(entry.code);
    raiseWrongType(symbol);
}

Value readHexadecimal(NativeStream& in)
{
    std::string text = readSymbolText(in);
    if (text.empty() || text.size() > 15)
        raiseWrongType(makeString(text));
    int64_t n = 0;
    for (char ch : text) {
        int digit;
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (ch >= 'a' && ch <= 'f')
            digit = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F')
            digit = ch - 'A' + 10;
        else
            raiseWrongType(makeString(text));
        n = n * 16 + digit;
    }
    return makeInteger(n);
}

// #{ key value ... }: the value after the key of the current locale, else the first value.
Value readLocalizedLiteral(NativeStream& in)
{
    Value items = readList(in, CloseBrace);
    if (!isPair(items) || !isPair(cdr(items)))
        raiseWrongType(items);
    Value keyword = kNil;
    bool known = false;
    Value locale = globalValue(gCurrentLocale);
    if (gLocaleKeywordReader && locale != kNoValue && locale != kNil)
        known = gLocaleKeywordReader(locale, keyword);
    if (known)
        for (Value p = items; isPair(p) && isPair(cdr(p)); p = cdr(cdr(p)))
            if (car(p) == keyword)
                return car(cdr(p));
    return car(cdr(items));
}

int readDispatch(NativeStream& in, Value& datum)
{
    int c = in.peekByte();
    switch (c) {
    case '(': {
        in.readByte();
        Value items = readList(in, Close);
        uint32_t n = 0;
        Value p = items;
        for (; isPair(p); p = cdr(p))
            ++n;
        if (p != kNil)
            syntaxError(); // a vector has no dotted tail
        Value vector = makeVector(n, kNil);
        uint32_t i = 0;
        for (p = items; isPair(p); p = cdr(p))
            setVectorElement(vector, i++, car(p));
        datum = vector;
        return Datum;
    }
    case '\\':
        in.readByte();
        datum = readCharacter(in);
        return Datum;
    case 'f':
        in.readByte();
        datum = kNil;
        return Datum;
    case 't':
        in.readByte();
        datum = kTrue;
        return Datum;
    case 'x':
        in.readByte();
        datum = readHexadecimal(in);
        return Datum;
    case '{':
        in.readByte();
        datum = readLocalizedLiteral(in);
        return Datum;
    default:
        return Nothing;
    }
}

int readMacro(NativeStream& in, int c, Value& datum)
{
    if (gMacros[c] != kNil && in.m_lispObject != kNil) {
        Value function = gMacros[c];
        ObjectContextFrame context(in.m_lispObject);
        datum = funcall(function);
        return Datum;
    }
    switch (c) {
    case '#':
        return readDispatch(in, datum);
    case '&':
        return readFeatureConditional(in, datum);
    case '\'':
        datum = list2(gQuote, readDatum(in));
        return Datum;
    case '`':
        datum = list2(gQuasiquote, readDatum(in));
        return Datum;
    case '@':
        datum = list2(gUnquoteSplicing, readDatum(in));
        return Datum;
    case ',': {
        Value x = readDatum(in);
        datum = isPair(x) && car(x) == gUnquoteSplicing ? x : list2(gUnquote, x);
        return Datum;
    }
    case ':': {
        std::string name = readSymbolText(in);
        if (name.find('\0') != std::string::npos)
            raiseWrongType(makeImmediate(0));
        datum = makeKeyword(name);
        return Datum;
    }
    case '_':
        datum = makeVariableCell(internName(readSymbolText(in)));
        return Datum;
    default:
        return Nothing;
    }
}

// { ... }: (name file start . end), located in the file being loaded. The brace is consumed
// before any error, so that a reader loop never meets the same brace again.
Value readSourceReference(NativeStream& in)
{
    int64_t start = in.position();
    in.readByte();
    Value file = globalValue(Sym::loadedFile);
    if (file == kNil || file == kNoValue)
        raiseWrongType(kNil);
    Value items = readList(in, CloseBrace);
    int64_t end = in.position() - 1;
    Value name = isPair(items) ? car(items) : kNil;
    if (isPair(name))
        name = isPair(cdr(name)) ? car(cdr(name)) : kNil;
    Value tail = cons(makeInteger(start), makeInteger(end));
    tail = cons(file, tail);
    return cons(name, tail);
}

Value unitEntry(int64_t index)
{
    if (gUnitTable == kNil || index < 0 || index >= vectorLength(gUnitTable))
        raiseWrongType(makeInteger(index)); // a unit that does not fit its symbol table
    return vectorElement(gUnitTable, static_cast<uint32_t>(index));
}

Value readUnitToken(NativeStream& in, int k, int c)
{
    switch (k) {
    case 9:
        return unitEntry(c);
    case 10: {
        int b = tokenByte(in);
        return unitEntry(int64_t(c) * 256 + b - 4088);
    }
    case 11: {
        int a = tokenByte(in);
        int b = tokenByte(in);
        return unitEntry(a * 256 + b);
    }
    case 12:
        return makeImmediate(static_cast<int8_t>(tokenByte(in)));
    case 13: {
        int a = tokenByte(in);
        int b = tokenByte(in);
        return makeImmediate(static_cast<int16_t>((a << 8) | b));
    }
    default: { // 14
        int a = tokenByte(in);
        int b = tokenByte(in);
        Value symbol = unitEntry(a * 256 + b);
        if (!isSymbol(symbol))
            raiseWrongType(symbol);
        return makeVariableCell(symbol);
    }
    }
}

int toCharacterCode(Value ch)
{
    if (!isImmediateInteger(ch) || integerValue(ch) < 0 || integerValue(ch) > 255)
        raiseWrongType(ch);
    return integerValue(ch);
}

// ---- Primitives ----

Value readPrimitive(Value s)
{
    InputStreamScope scope(s);
    return readValue(scope.stream());
}

Value readlinePrimitive(Value s)
{
    InputStreamScope scope(s);
    NativeStream& in = scope.stream();
    std::string line;
    for (int c = in.readByte(); c != NativeStream::kEnd; c = in.readByte()) {
        if (c == 0x0A)
            break;
        if (c == 0x0D) {
            if (in.peekByte() == 0x0A)
                in.readByte();
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    return makeString(line);
}

Value readchPrimitive(Value s)
{
    InputStreamScope scope(s);
    int c = scope.stream().readCharacter();
    return makeImmediate(c == NativeStream::kEnd ? 65535 : c);
}

Value withDotMark(Value ch, Value function)
{
    DecimalSeparatorScope scope(static_cast<char>(toCharacterCode(ch)));
    return funcall(function);
}

Value genvarlog(Value symbol)
{
    if (!isSymbol(symbol))
        raiseWrongType(symbol);
    return makeVariableCell(symbol);
}

Value typech(Value ch, Value k)
{
    int c = toCharacterCode(ch);
    if (k != kNil) {
        if (!isImmediateInteger(k) || integerValue(k) < 0 || integerValue(k) > 255)
            raiseWrongType(k);
        gClasses[c] = static_cast<uint8_t>(integerValue(k));
    }
    return makeImmediate(gClasses[c]);
}

Value getMacroCharacter(Value ch) { return gMacros[toCharacterCode(ch)]; }

Value setMacroCharacter(Value ch, Value function)
{
    gMacros[toCharacterCode(ch)] = function;
    return kNoValue;
}

class ReaderModule final : public Module {
public:
    ReaderModule() : Module("Reader") {}
    void start() override
    {
        Module::start();
        initClasses();
        for (Value& macro : gMacros)
            macro = kNil;
        gUnitTable = kNil;
        gDecimalSeparator = '.';
        gMachine = internWithValue("Machine", intern("ibm"));
        internWithValue("OS", intern("windows"));
        internWithValue("Interface-Type", intern("graphics"));
        internWithValue("Development-Stage", intern("release"));
        internWithValue("Environment", intern("standalone"));
        gFeatures = intern("Features");
        gCurrentLocale = intern("Current-Locale");
        intern("keyword");
        gQuote = Sym::quote = intern("quote");
        gQuasiquote = Sym::quasiquote = intern("quasiquote");
        gUnquote = Sym::unquote = intern("unquote");
        gUnquoteSplicing = Sym::unquoteSplicing = intern("unquote-splicing");
        gAnd = intern("and");
        gOr = intern("or");
        gNot = intern("not");
        gMac = intern("mac");
        intern("unix");
        Sym::lambda = intern("lambda");
        for (CharacterName& entry : gCharacterNames)
            entry.symbol = intern(entry.name);

        defineFunction1("read", readPrimitive);
        defineFunction1("readline", readlinePrimitive);
        defineFunction1("readch", readchPrimitive);
        defineFunction2("with-dot-mark", withDotMark);
        defineFunction1("genvarlog", genvarlog);
        defineFunction2("typech", typech);
        defineFunction1("get-macro-character", getMacroCharacter);
        defineFunction2("set-macro-character", setMacroCharacter);
    }
    void markRoots() override
    {
        for (Value macro : gMacros)
            if (macro != kNil)
                mark(macro);
        if (gUnitTable != kNil)
            mark(gUnitTable);
    }
} readerModule;

} // namespace

int characterClass(unsigned char c) { return gClasses[c]; }
void setCharacterClass(unsigned char c, int k) { gClasses[c] = static_cast<uint8_t>(k); }

int readToken(NativeStream& in, Value& datum)
{
    checkReaderStack();
    for (;;) {
        int c = in.peekByte();
        if (c == NativeStream::kEnd)
            return End;
        int k = cls(c);
        switch (k) {
        case 0:
        case 6:
            datum = internName(readSymbolText(in));
            return Datum;
        case 1:
            in.readByte();
            datum = readList(in, Close);
            return Datum;
        case 2:
        case 15:
            in.readByte();
            return Close;
        case 3:
        case 16:
            in.readByte();
            raiseWrongType(makeImmediate(c));
        case 4:
            in.readByte();
            return readMacro(in, c, datum);
        case 5:
            in.readByte();
            datum = readString(in);
            return Datum;
        case 7:
        case 8:
            return readNumberOrSymbol(in, datum);
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:
        case 14:
            in.readByte();
            datum = readUnitToken(in, k, c);
            return Datum;
        case 17:
            datum = readSourceReference(in);
            return Datum;
        case 18:
            in.readByte();
            return CloseBrace;
        case 19:
            skipComment(in);
            continue;
        default:
            in.readByte();
            continue;
        }
    }
}

Value readValue(NativeStream& in)
{
    for (;;) {
        Value datum = kNil;
        switch (readToken(in, datum)) {
        case Datum:
            return datum;
        case Nothing:
            continue;
        case End:
            return kNil;
        default:
            syntaxError();
        }
    }
}

TopLevelRead readTopLevelForm(NativeStream& in, Value& form)
{
    int64_t before = -1;
    try {
        CatchFrame toplevel(Sym::toplevel);
        if (readerAtEnd(in))
            return TopLevelRead::End;
        before = in.position();
        form = readValue(in);
        return TopLevelRead::Form;
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
    }
    if (before >= 0 && in.position() == before)
        skipLine(in);
    return TopLevelRead::Failed;
}

void skipLine(NativeStream& in)
{
    for (int c = in.readByte(); c != NativeStream::kEnd; c = in.readByte())
        if (cls(c) == 20)
            return;
}

bool readerAtEnd(NativeStream& in)
{
    for (int c = in.peekByte(); c != NativeStream::kEnd; c = in.peekByte()) {
        int k = cls(c);
        if (k == 19)
            skipComment(in);
        else if (k >= 20)
            in.readByte();
        else
            return false;
    }
    return true;
}

void installUnitSymbols(Value table)
{
    if (table == kNil) {
        gUnitTable = kNil;
        return;
    }
    if (tagOf(table) == Tag::Vector) {
        gUnitTable = table;
        return;
    }
    if (!isPair(table))
        raiseWrongType(table);
    uint32_t n = 0;
    Value p = table;
    for (; isPair(p) && n < gAreas.cellCount; p = cdr(p))
        ++n;
    if (p != kNil)
        raiseWrongType(table);
    Value vector = makeVector(n, kNil);
    uint32_t i = 0;
    for (p = table; isPair(p); p = cdr(p))
        setVectorElement(vector, i++, car(p));
    gUnitTable = vector;
}

void dropUnitSymbols() { gUnitTable = kNil; }
Value unitSymbols() { return gUnitTable; }

Value makeVariableCell(Value symbol) { return retag(cons(makeImmediate(0), symbol), Tag::Variable); }

void setLocaleKeywordReader(LocaleKeywordReader reader) { gLocaleKeywordReader = reader; }
