// Kernel/VString.cpp: the VString Module: strings, characters and the code page 1252 tables.
//
// Strings are zero-terminated bytes in the block area, so a string never holds the byte 0. The
// collector slides block data on any allocation: the primitives keep string Values and ask for
// their characters again after anything that allocates, or copy them first.
#include "Kernel/VString.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Printer.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

struct CharTables {
    std::array<uint8_t, 256> upper, lower, accentFree, collation;
    std::array<bool, 256> letter;
};

void mapRange(std::array<uint8_t, 256>& table, int first, int last, int to)
{
    for (int c = first; c <= last; ++c)
        table[c] = static_cast<uint8_t>(to + (c - first));
}

void mapToOne(std::array<uint8_t, 256>& table, int first, int last, int to)
{
    for (int c = first; c <= last; ++c)
        table[c] = static_cast<uint8_t>(to);
}

CharTables buildTables()
{
    CharTables t;
    for (int c = 0; c < 256; ++c) {
        t.upper[c] = t.lower[c] = t.accentFree[c] = static_cast<uint8_t>(c);
        t.letter[c] = false;
    }
    mapRange(t.upper, 0x61, 0x7A, 0x41);
    mapRange(t.upper, 0x9C, 0x9C, 0x8C);
    mapRange(t.upper, 0xE0, 0xEF, 0xC0);
    mapRange(t.upper, 0xF1, 0xF6, 0xD1);
    mapRange(t.upper, 0xF8, 0xFC, 0xD8);
    mapRange(t.upper, 0xFF, 0xFF, 0x9F);

    mapRange(t.lower, 0x41, 0x5A, 0x61);
    mapRange(t.lower, 0x8C, 0x8C, 0x9C);
    mapRange(t.lower, 0x9F, 0x9F, 0xFF);
    mapRange(t.lower, 0xC0, 0xCF, 0xE0);
    mapRange(t.lower, 0xD1, 0xD6, 0xF1);
    mapRange(t.lower, 0xD8, 0xDC, 0xF8);

    auto& a = t.accentFree;
    mapToOne(a, 0x9F, 0x9F, 'Y');
    mapToOne(a, 0xC0, 0xC5, 'A');
    mapToOne(a, 0xC7, 0xC7, 'C');
    mapToOne(a, 0xC8, 0xCB, 'E');
    mapToOne(a, 0xCC, 0xCF, 'I');
    mapToOne(a, 0xD2, 0xD6, 'O');
    mapToOne(a, 0xD9, 0xDC, 'U');
    mapToOne(a, 0xE0, 0xE5, 'a');
    mapToOne(a, 0xE7, 0xE7, 'c');
    mapToOne(a, 0xE8, 0xEB, 'e');
    mapToOne(a, 0xEC, 0xEF, 'i');
    mapToOne(a, 0xF2, 0xF6, 'o');
    mapToOne(a, 0xF9, 0xFC, 'u');
    mapToOne(a, 0xFF, 0xFF, 'y');

    // Collation folds case and accents together. Ñ, Æ, Ø, Ý, Þ, Ð and their lower-case forms
    // keep their codes, so they sort after Z.
    for (int c = 0; c < 256; ++c)
        t.collation[c] = static_cast<uint8_t>(c);
    auto& k = t.collation;
    mapRange(k, 0x61, 0x7A, 0x41);
    mapRange(k, 0x9C, 0x9C, 0x8C);
    mapToOne(k, 0x9F, 0x9F, 'Y');
    mapToOne(k, 0xFF, 0xFF, 'Y');
    const struct { int first, last; char to; } folds[] = {
        { 0xC0, 0xC5, 'A' }, { 0xC7, 0xC7, 'C' }, { 0xC8, 0xCB, 'E' }, { 0xCC, 0xCF, 'I' },
        { 0xD2, 0xD6, 'O' }, { 0xD9, 0xDC, 'U' },
    };
    for (auto& f : folds) {
        mapToOne(k, f.first, f.last, f.to);
        mapToOne(k, f.first + 0x20, f.last + 0x20, f.to);
    }

    for (int c = 'A'; c <= 'Z'; ++c)
        t.letter[c] = t.letter[c + 0x20] = true;
    for (int c = '0'; c <= '9'; ++c)
        t.letter[c] = true;
    t.letter[0x8C] = t.letter[0x9C] = t.letter[0x9F] = true;
    for (int c = 0xC0; c <= 0xFF; ++c)
        t.letter[c] = c != 0xD7 && c != 0xF7;
    return t;
}

const CharTables gTables = buildTables();

std::string_view charsOf(Value s) { return { stringChars(s), stringLength(s) }; }

// A string argument of a primitive that reads the characters directly.
Value toString(Value v)
{
    if (!isString(v))
        raiseWrongType(v);
    return v;
}

// A non-negative index or count; anything else raises the wrong-type error with it.
uint32_t toIndex(Value v)
{
    if (!isImmediateInteger(v) || integerValue(v) < 0)
        raiseWrongType(v);
    return static_cast<uint32_t>(integerValue(v));
}

// Composes a new string of n bytes directly at the free end of the block area. fill(out) runs
// once the room is secured: it may read block data (which stays put from then on) but must not
// allocate.
template <typename Fill> Value composeString(size_t n, Fill fill)
{
    if (n == 0)
        return gEmptyString;
    if (n > 0x7FFFFFF0u)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    reserveBlock(static_cast<uint32_t>(n) + 1);
    char* at = reinterpret_cast<char*>(blockFreeEnd());
    fill(at);
    at[n] = 0;
    return commitBlock(static_cast<uint32_t>(n) + 1, Tag::String, Tag::StringHeader);
}

// A new string with every byte of the text of v mapped through table.
Value mapString(Value v, const std::array<uint8_t, 256>& table)
{
    Value s = textValue(v);
    return composeString(stringLength(s), [&](char* out) {
        std::string_view in = charsOf(s);
        for (size_t i = 0; i < in.size(); ++i)
            out[i] = static_cast<char>(table[static_cast<uint8_t>(in[i])]);
    });
}

// Keeps Values pushed on the Lisp stack for the collector until the scope ends.
class LispStackScope {
public:
    LispStackScope() : m_base(gLispSP) {}
    ~LispStackScope() { gLispSP = m_base; }
    LispStackScope(const LispStackScope&) = delete;
    LispStackScope& operator=(const LispStackScope&) = delete;
    Value* base() const { return m_base; }

private:
    Value* m_base;
};

// Elements of a proper list, in order; an improper or circular list raises the wrong-type error
// with it (no proper list is longer than the cell area).
template <typename Each> void forEachElement(Value list, Each each)
{
    Value p = list;
    for (uint32_t n = 0; isPair(p); p = cdr(p)) {
        if (++n > gAreas.cellCount)
            raiseWrongType(list);
        each(car(p));
    }
    if (!isNil(p))
        raiseWrongType(list);
}

bool isMemberCode(Value list, uint8_t c)
{
    Value code = makeImmediate(c);
    bool found = false;
    forEachElement(list, [&](Value x) { found = found || x == code; });
    return found;
}

bool isBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isStripped(uint8_t c, Value chars) { return isNil(chars) ? isBlank(c) : isMemberCode(chars, c); }

// ---- Predicates and conversions ----

Value stringP(Value x) { return boolValue(isString(x)); }
Value charP(Value x) { return boolValue(isImmediateInteger(x)); }
Value emptyStringP(Value x) { return boolValue(isString(x) && stringChars(x)[0] == 0); }
Value string(Value x) { return textValue(x); }

Value stringAppend(Value* rest)
{
    while (*rest != kEnd && *rest == gEmptyString)
        ++rest;
    if (*rest == kEnd)
        return gEmptyString;
    if (rest[1] == kEnd)
        return textValue(*rest);
    LispStackScope scope;
    size_t total = 0;
    for (Value* a = rest; *a != kEnd; ++a) {
        Value text = textValue(*a);
        pushLisp(text);
        total += stringLength(text);
    }
    Value* texts = scope.base();
    size_t count = static_cast<size_t>(gLispSP - texts);
    return composeString(total, [&](char* out) {
        for (size_t i = 0; i < count; ++i) {
            std::string_view t = charsOf(texts[i]);
            std::memcpy(out, t.data(), t.size());
            out += t.size();
        }
    });
}

Value makeStringPrimitive(Value n)
{
    uint32_t count = toIndex(n);
    return composeString(count, [&](char* out) { std::memset(out, ' ', count); });
}

// A character code for a new string: the byte 0 cannot be held by a string.
uint8_t toStoredChar(Value c)
{
    uint8_t code = toCharCode(c);
    if (code == 0)
        raiseWrongType(c);
    return code;
}

Value charPrimitive(Value c)
{
    uint8_t code = toStoredChar(c);
    return composeString(1, [&](char* out) { out[0] = static_cast<char>(code); });
}

Value ascii(Value s) { return makeImmediate(static_cast<uint8_t>(stringChars(toString(s))[0])); }

Value copyString(Value x)
{
    Value s = textValue(x);
    return composeString(stringLength(s), [&](char* out) { std::memcpy(out, stringChars(s), stringLength(s)); });
}

Value stringReverse(Value x)
{
    Value s = toString(x);
    return composeString(stringLength(s), [&](char* out) {
        std::string_view in = charsOf(s);
        std::reverse_copy(in.begin(), in.end(), out);
    });
}

Value stringLengthPrimitive(Value x) { return makeInteger(stringLength(textValue(x))); }

// An index into s: a non-negative integer below the length.
uint32_t toStringIndex(Value s, Value i)
{
    uint32_t index = toIndex(i);
    if (index >= stringLength(s))
        raiseWrongType(i);
    return index;
}

Value stringRef(Value s, Value i)
{
    toString(s);
    return makeImmediate(static_cast<uint8_t>(stringChars(s)[toStringIndex(s, i)]));
}

Value stringSet(Value s, Value i, Value c)
{
    toString(s);
    uint32_t index = toStringIndex(s, i);
    uint8_t code = toStoredChar(c);
    // Changing a print name in place would lose its symbol in the symbol table.
    if (Value symbol = findSymbol(charsOf(s)); !isNil(symbol) && symbolRecord(symbol).name == s)
        raiseWrongType(s);
    const_cast<char*>(stringChars(s))[index] = static_cast<char>(code);
    return c;
}

// A substring bound: negative counts from the end, then clipped to [0, length].
int64_t boundOf(Value v, int64_t length)
{
    int64_t n = toInt64(v);
    if (n < 0)
        n = std::max<int64_t>(n + length, 0);
    return std::min(n, length);
}

Value substring(Value s, Value start, Value end)
{
    toString(s);
    int64_t length = stringLength(s);
    int64_t from = isNil(start) ? 0 : boundOf(start, length);
    int64_t to = isNil(end) ? length : boundOf(end, length);
    if (from >= to)
        return gEmptyString;
    return composeString(static_cast<size_t>(to - from),
        [&](char* out) { std::memcpy(out, stringChars(s) + from, static_cast<size_t>(to - from)); });
}

Value stringPosition(Value c, Value s, Value, Value, Value start)
{
    uint8_t code = toCharCode(c);
    std::string_view text = charsOf(toString(s));
    size_t from = isNil(start) ? 0 : toIndex(start);
    if (from >= text.size())
        return kNil;
    size_t at = text.find(static_cast<char>(code), from);
    return at == std::string_view::npos ? kNil : makeInteger(static_cast<int64_t>(at));
}

Value memstring(Value pattern, Value s, Value nocase)
{
    Value p = textValue(pattern);
    Value text = textValue(s);
    std::string_view needle = charsOf(p), hay = charsOf(text);
    size_t at = std::string_view::npos;
    if (isNil(nocase)) {
        at = hay.find(needle);
    } else if (needle.size() <= hay.size()) {
        for (size_t i = 0; i + needle.size() <= hay.size() && at == std::string_view::npos; ++i) {
            size_t k = 0;
            while (k < needle.size()
                && upperChar(static_cast<uint8_t>(hay[i + k])) == upperChar(static_cast<uint8_t>(needle[k])))
                ++k;
            if (k == needle.size())
                at = i;
        }
    }
    if (at == std::string_view::npos)
        return kNil;
    if (at == 0)
        return text;
    size_t n = hay.size() - at;
    return composeString(n, [&](char* out) { std::memcpy(out, stringChars(text) + at, n); });
}

// ---- Comparisons ----

int compareValues(Value a, Value b)
{
    Value ta = textValue(a);
    Value tb = textValue(b);
    return compareTexts(charsOf(ta), charsOf(tb));
}

Value stringLess(Value a, Value b) { return boolValue(compareValues(a, b) < 0); }
Value stringLessEqual(Value a, Value b) { return boolValue(compareValues(a, b) <= 0); }
Value stringGreater(Value a, Value b) { return boolValue(compareValues(a, b) > 0); }
Value stringGreaterEqual(Value a, Value b) { return boolValue(compareValues(a, b) >= 0); }

bool equalValues(Value a, Value b)
{
    Value ta = textValue(a);
    Value tb = textValue(b);
    return charsOf(ta) == charsOf(tb);
}

Value stringEqual(Value a, Value b) { return boolValue(equalValues(a, b)); }
Value stringNotEqual(Value a, Value b) { return boolValue(!equalValues(a, b)); }

Value stringNocaseEqual(Value a, Value b, Value accents)
{
    Value ta = textValue(a);
    Value tb = textValue(b);
    return boolValue(equalTextsNoCase(charsOf(ta), charsOf(tb), isFlagSet(accents)));
}

// ---- Case and accents ----

Value upperString(Value x) { return mapString(x, gTables.upper); }
Value lowerString(Value x) { return mapString(x, gTables.lower); }
Value removeAccent(Value x) { return mapString(x, gTables.accentFree); }

Value capitalizeWord(Value x)
{
    Value s = textValue(x);
    return composeString(stringLength(s), [&](char* out) {
        std::string_view in = charsOf(s);
        std::memcpy(out, in.data(), in.size());
        out[0] = static_cast<char>(upperChar(static_cast<uint8_t>(out[0])));
    });
}

Value upperCharPrimitive(Value c) { return makeImmediate(upperChar(toCharCode(c))); }
Value lowerCharPrimitive(Value c) { return makeImmediate(lowerChar(toCharCode(c))); }
Value alphaCharP(Value c) { return boolValue(isLetterChar(toCharCode(c))); }

// ---- Symbols and lists ----

Value stringToSymbol(Value s) { return internCopy(charsOf(toString(s))); }

Value symbolToString(Value x) { return textValue(x); }

Value stringToList(Value s)
{
    std::string text(charsOf(toString(s)));
    Value list = kNil;
    for (size_t i = text.size(); i-- > 0;)
        list = cons(makeImmediate(static_cast<uint8_t>(text[i])), list);
    return list;
}

Value listToString(Value list)
{
    std::string text;
    forEachElement(list, [&](Value c) { text.push_back(static_cast<char>(toStoredChar(c))); });
    return makeString(text);
}

// ---- Blanks ----

Value stripSpaces(Value s, Value chars)
{
    std::string_view text = charsOf(toString(s));
    size_t first = 0, last = text.size();
    while (first < last && isStripped(static_cast<uint8_t>(text[first]), chars))
        ++first;
    while (last > first && isStripped(static_cast<uint8_t>(text[last - 1]), chars))
        --last;
    if (first == 0 && last == text.size())
        return s;
    return composeString(last - first, [&](char* out) { std::memcpy(out, stringChars(s) + first, last - first); });
}

Value stripAllSpaces(Value s, Value chars)
{
    std::string kept;
    std::string_view text = charsOf(toString(s));
    for (char c : text)
        if (!isStripped(static_cast<uint8_t>(c), chars))
            kept.push_back(c);
    if (kept.size() == text.size())
        return s;
    return makeString(kept);
}

Value stringEvery(Value chars, Value s, Value start, Value end)
{
    std::string_view text = charsOf(toString(s));
    size_t from = isNil(start) ? 0 : toIndex(start);
    size_t to = isNil(end) ? text.size() : std::min<size_t>(toIndex(end), text.size());
    for (size_t i = from; i < to; ++i)
        if (!isMemberCode(chars, static_cast<uint8_t>(text[i])))
            return kNil;
    return kTrue;
}

// ---- Entities ----

struct Entity {
    std::string name, value;
    bool encodes; // has a third element that is not nil
};

std::vector<Entity> entityTable(Value table)
{
    std::vector<Entity> entries;
    forEachElement(table, [&](Value entry) {
        if (!isPair(entry) || !isPair(cdr(entry)) || !isString(car(entry)) || !isString(car(cdr(entry))))
            raiseWrongType(entry);
        Value more = cdr(cdr(entry));
        entries.push_back({ stringChars(car(entry)), stringChars(car(cdr(entry))), isPair(more) && isTrue(car(more)) });
    });
    return entries;
}

Value decodeEntities(Value s, Value table)
{
    toString(s);
    if (isNil(table))
        return s;
    std::vector<Entity> entries = entityTable(table);
    std::string text(charsOf(s));
    std::string out;
    bool replaced = false;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out.push_back(text[i++]);
            continue;
        }
        size_t stop = text.find_first_of("&;", i + 1);
        const Entity* match = nullptr;
        if (stop != std::string::npos && text[stop] == ';' && stop > i + 1) {
            std::string_view name(text.data() + i + 1, stop - i - 1);
            for (const Entity& e : entries)
                if (e.name == name) {
                    match = &e;
                    break;
                }
        }
        if (match) {
            out += match->value;
            replaced = true;
            i = stop + 1;
        } else {
            // The sequence stays; scanning goes on at its terminator, which may start another.
            size_t next = stop == std::string::npos ? text.size() : stop;
            out.append(text, i, next - i);
            i = next;
        }
    }
    return replaced ? makeString(out) : s;
}

Value encodeEntities(Value s, Value table)
{
    toString(s);
    if (isNil(table))
        return s;
    std::vector<Entity> entries = entityTable(table);
    std::string text(charsOf(s));
    std::string out;
    bool replaced = false;
    size_t i = 0;
    while (i < text.size()) {
        const Entity* match = nullptr;
        for (const Entity& e : entries)
            if (e.encodes && !e.value.empty() && text.compare(i, e.value.size(), e.value) == 0) {
                match = &e;
                break;
            }
        if (match) {
            out += '&';
            out += match->name;
            out += ';';
            i += match->value.size();
            replaced = true;
        } else {
            out.push_back(text[i++]);
        }
    }
    return replaced ? makeString(out) : s;
}

// ---- Word-sequence similarity ----

constexpr size_t kMaxWords = 200;

// The common-word count of two word sequences. Each count depends only on the two starting
// positions, so counts are remembered: the three-way recursion would otherwise be exponential.
class WordMatcher {
public:
    WordMatcher(std::vector<std::string> a, std::vector<std::string> b)
        : m_a(std::move(a))
        , m_b(std::move(b))
        , m_memo((m_a.size() + 1) * (m_b.size() + 1), -1)
    {
    }

    int common(size_t i, size_t j)
    {
        checkCStack();
        int& memo = m_memo[i * (m_b.size() + 1) + j];
        if (memo < 0)
            memo = compute(i, j);
        return memo;
    }

private:
    // Position of word in words from `from`, or npos.
    static size_t find(const std::vector<std::string>& words, size_t from, const std::string& word)
    {
        for (size_t k = from; k < words.size(); ++k)
            if (words[k] == word)
                return k;
        return std::string::npos;
    }

    int compute(size_t i, size_t j)
    {
        const size_t na = m_a.size(), nb = m_b.size();
        int count = 0;
        for (;;) {
            while (i < na && j < nb && m_a[i] == m_b[j]) {
                ++count;
                ++i;
                ++j;
            }
            if (i >= na || j >= nb)
                return count;
            size_t s = std::string::npos;
            while (i < na && (s = find(m_b, j, m_a[i])) == std::string::npos)
                ++i;
            if (s == std::string::npos)
                return count;
            size_t r = std::string::npos;
            while (j < nb && (r = find(m_a, i, m_b[j])) == std::string::npos)
                ++j;
            if (r == std::string::npos)
                return count;
            if (m_a[i] == m_b[j]) {
                ++count;
                ++i;
                ++j;
                if (i >= na || j >= nb)
                    return count;
                continue;
            }
            return count + std::max({ common(i, s), common(r, j), common(i + 1, j + 1) });
        }
    }

    std::vector<std::string> m_a, m_b;
    std::vector<int> m_memo;
};

std::vector<std::string> wordsOf(Value list)
{
    std::vector<std::string> words;
    forEachElement(list, [&](Value w) {
        if (words.size() == kMaxWords)
            raiseWrongType(list);
        words.push_back(stringOf(w));
    });
    return words;
}

Value matchSegmentPourcentage(Value words1, Value words2)
{
    if (isNil(words1) || isNil(words2))
        return makeImmediate(0);
    std::vector<std::string> a = wordsOf(words1), b = wordsOf(words2);
    size_t n = std::max(a.size(), b.size());
    WordMatcher matcher(std::move(a), std::move(b));
    int c = matcher.common(0, 0);
    return makeInteger(static_cast<int64_t>(c) * 100 / static_cast<int64_t>(n));
}

// ---- Memory ----

Value ptrToString(Value pointer)
{
    uint32_t address = toPointerAddress(pointer);
    uint8_t length = *checkedRange(address, 1, pointer);
    const uint8_t* bytes = checkedRange(address + 1, length, pointer);
    std::string text(reinterpret_cast<const char*>(bytes), length);
    return makeString(text);
}

Value textToString(Value pointer, Value n)
{
    uint32_t address = toPointerAddress(pointer);
    uint32_t length = toIndex(n);
    const uint8_t* bytes = checkedRange(address, length, pointer);
    std::string text(reinterpret_cast<const char*>(bytes), length);
    return makeString(text);
}

Value putString(Value s, Value pointer)
{
    std::string text(charsOf(toString(s)));
    if (text.size() > 255)
        text.resize(255);
    uint32_t address = toPointerAddress(pointer);
    uint8_t* at = checkedRange(address, text.size() + 1, pointer);
    at[0] = static_cast<uint8_t>(text.size());
    std::memcpy(at + 1, text.data(), text.size());
    return kNoValue;
}

Value putStringText(Value s, Value pointer)
{
    std::string text(charsOf(toString(s)));
    uint32_t address = toPointerAddress(pointer);
    uint8_t* at = checkedRange(address, text.size(), pointer);
    std::memcpy(at, text.data(), text.size());
    return kNoValue;
}

Value stringToHandle(Value s)
{
    std::string text(charsOf(toString(s)));
    Handle h = newHandle(static_cast<uint32_t>(text.size()));
    if (!h)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    if (!text.empty())
        std::memcpy(checkedRange(handleAddress(h), text.size(), s), text.data(), text.size());
    return makePointer(gHandleKind, h);
}

Value handleToString(Value handle)
{
    Handle h = toHandle(handle);
    int32_t size = handleSize(h);
    if (size < 0)
        raiseWrongType(handle);
    if (size == 0)
        return gEmptyString;
    const uint8_t* bytes = checkedRange(handleAddress(h), static_cast<uint32_t>(size), handle);
    std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    return makeString(text);
}

class VStringModule final : public Module {
public:
    VStringModule() : Module("VString") {}
    void start() override
    {
        Module::start();
        defineFunction1("string?", stringP);
        defineFunction1("char?", charP);
        defineFunction1("empty-string?", emptyStringP);
        defineFunction1("string", string);
        defineFunctionRest0("string-append", stringAppend);
        defineFunction1("make-string", makeStringPrimitive);
        defineFunction1("char", charPrimitive);
        defineFunction1("ascii", ascii);
        defineFunction1("copy-string", copyString);
        defineFunction1("string-reverse", stringReverse);
        defineFunction1("string-length", stringLengthPrimitive);
        defineFunction2("string-ref", stringRef);
        defineFunction3("string-set!", stringSet);
        defineFunction3("substring", substring);
        defineFunction5("string-position", stringPosition);
        defineFunction3("memstring", memstring);
        defineFunction2("string<?", stringLess);
        defineFunction2("string<=?", stringLessEqual);
        defineFunction2("string>?", stringGreater);
        defineFunction2("string>=?", stringGreaterEqual);
        defineFunction2("string=?", stringEqual);
        defineFunction2("string/=?", stringNotEqual);
        defineFunction3("string-nocase=?", stringNocaseEqual);
        defineFunction1("upper-string", upperString);
        defineFunction1("lower-string", lowerString);
        defineFunction1("remove-accent", removeAccent);
        defineFunction1("capitalize-word", capitalizeWord);
        defineFunction1("upper-char", upperCharPrimitive);
        defineFunction1("lower-char", lowerCharPrimitive);
        defineFunction1("alpha-char?", alphaCharP);
        defineFunction1("string->symbol", stringToSymbol);
        defineFunction1("symbol->string", symbolToString);
        defineFunction1("string->list", stringToList);
        defineFunction1("list->string", listToString);
        defineFunction2("strip-spaces", stripSpaces);
        defineFunction2("strip-all-spaces", stripAllSpaces);
        defineFunction4("string-every", stringEvery);
        defineFunction2("decode-entities", decodeEntities);
        defineFunction2("encode-entities", encodeEntities);
        defineFunction2("match-segment-pourcentage", matchSegmentPourcentage);
        defineFunction1("ptr->string", ptrToString);
        defineFunction2("text->string", textToString);
        defineFunction2("put-string", putString);
        defineFunction2("put-string-text", putStringText);
        defineFunction1("string->handle", stringToHandle);
        defineFunction1("handle->string", handleToString);
    }
    // The shared empty string is referenced from native code only.
    void markRoots() override { mark(gEmptyString); }
} vstringModule;

} // namespace

uint8_t upperChar(uint8_t c) { return gTables.upper[c]; }
uint8_t lowerChar(uint8_t c) { return gTables.lower[c]; }
uint8_t accentFreeChar(uint8_t c) { return gTables.accentFree[c]; }
uint8_t collationChar(uint8_t c) { return gTables.collation[c]; }
bool isLetterChar(uint8_t c) { return gTables.letter[c]; }

int compareTexts(std::string_view a, std::string_view b)
{
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    if (i == a.size())
        return i == b.size() ? 0 : -1;
    if (i == b.size())
        return 1;
    int tieBreak = static_cast<uint8_t>(a[i]) < static_cast<uint8_t>(b[i]) ? -1 : 1;
    for (; i < a.size(); ++i) {
        if (i == b.size())
            return 1;
        uint8_t ca = collationChar(static_cast<uint8_t>(a[i])), cb = collationChar(static_cast<uint8_t>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return i < b.size() ? -1 : tieBreak;
}

bool equalTextsNoCase(std::string_view a, std::string_view b, bool ignoreAccents)
{
    if (a.size() != b.size())
        return false;
    const auto& table = ignoreAccents ? gTables.collation : gTables.upper;
    for (size_t i = 0; i < a.size(); ++i)
        if (table[static_cast<uint8_t>(a[i])] != table[static_cast<uint8_t>(b[i])])
            return false;
    return true;
}

uint8_t toCharCode(Value v)
{
    if (!isImmediateInteger(v))
        raiseWrongType(v);
    return static_cast<uint8_t>(payloadOf(v));
}

std::string stringOf(Value v)
{
    switch (tagOf(v)) {
    case Tag::String:
        return stringChars(v);
    case Tag::Symbol:
        return symbolName(v);
    case Tag::Integer:
    case Tag::Real:
    case Tag::Rational:
    case Tag::Complex:
    case Tag::BigPositive:
    case Tag::BigNegative:
        return numberText(v);
    default:
        return printedText(v, PrintStyle::Print);
    }
}

Value textValue(Value v)
{
    switch (tagOf(v)) {
    case Tag::String:
        return v;
    case Tag::Symbol:
        return symbolRecord(v).name;
    default:
        return makeString(stringOf(v));
    }
}

std::string toStdString(Value v)
{
    if (!isString(v))
        raiseWrongType(v);
    return stringChars(v);
}
