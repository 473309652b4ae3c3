// Interfac/VExpr.cpp: the VExpr Module: character-set conversion of buffers and strings, line-feed
// removal, strings from buffers, and the structural search for Lisp expressions in source text.
#include "Kernel/Buffer.h"
#include "Kernel/Charsets.h"
#include "Kernel/Error.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---- Character sets ----

// Converts count bytes in place through table and answers the offset of the first byte without an
// entry, or -1. With skipTokens, a control byte without entry is a token of a compiled unit: it is
// skipped with the one or two bytes that belong to it (by its reader class), never converted.
int64_t convertInPlace(uint8_t* bytes, int64_t count, const unsigned char (&table)[256], bool skipTokens)
{
    int64_t firstMissing = -1;
    for (int64_t i = 0; i < count; ++i) {
        uint8_t b = bytes[i];
        uint8_t converted = table[b];
        if (skipTokens && b < 0x20 && converted == 0) {
            int cls = characterClass(b);
            if (cls == 10 || cls == 12)
                i += 1;
            else if (cls == 11 || cls == 13 || cls == 14)
                i += 2;
            continue;
        }
        if (converted != 0)
            bytes[i] = converted;
        else if (firstMissing < 0)
            firstMissing = i;
    }
    return firstMissing;
}

int64_t convertBuffer(Value bufferValue, Value count, Value skipTokens, const unsigned char (&table)[256],
                      uint8_t& missingByte)
{
    BufferArgument buffer(bufferValue);
    int64_t n = toBufferOffset(count);
    uint8_t* bytes = buffer.range(0, n, count);
    int64_t missing = convertInPlace(bytes, n, table, isTrue(skipTokens));
    if (missing >= 0)
        missingByte = bytes[missing];
    return missing;
}

Value macToIbmPtr(Value buffer, Value count, Value skipTokens)
{
    uint8_t missing = 0;
    if (convertBuffer(buffer, count, skipTokens, charsets::kMacToWindows, missing) < 0)
        return kNil;
    return makeImmediate(missing);
}

Value ibmToMacPtr(Value buffer, Value count, Value skipTokens)
{
    uint8_t missing = 0;
    if (convertBuffer(buffer, count, skipTokens, charsets::kWindowsToMac, missing) < 0)
        return kNil;
    return makeImmediate(missing);
}

Value isoToMac(Value buffer, Value, Value count, Value skipTokens)
{
    uint8_t missing = 0;
    if (convertBuffer(buffer, count, skipTokens, charsets::kLatin1ToMac, missing) < 0)
        return count;
    return cons(makeImmediate(missing), kNil);
}

Value convertedString(Value v, const unsigned char (&table)[256])
{
    std::string text = stringOf(v);
    if (convertBytes(reinterpret_cast<unsigned char*>(text.data()), text.size(), table) >= 0)
        return kNil;
    return makeString(text);
}

Value macToIbmString(Value v) { return convertedString(v, charsets::kMacToWindows); }
Value ibmToMacString(Value v) { return convertedString(v, charsets::kWindowsToMac); }

// ---- Buffers ----

Value removeCrLf(Value bufferValue, Value count)
{
    BufferArgument buffer(bufferValue);
    int64_t n = toBufferOffset(count);
    uint8_t* bytes = buffer.range(0, n, count);
    uint8_t* end = std::remove(bytes, bytes + n, uint8_t('\n'));
    return makeInteger(end - bytes);
}

// Strings cannot hold the byte 0: the string ends before the first one in the range.
Value bufferGetString(Value bufferValue, Value, Value a, Value b)
{
    BufferArgument buffer(bufferValue);
    int64_t from = toBufferOffset(a), to = toBufferOffset(b);
    Value culprit = from > to ? a : b;
    if (from > to)
        std::swap(from, to);
    const uint8_t* bytes = buffer.range(from, to - from, culprit);
    const void* zero = std::memchr(bytes, 0, static_cast<size_t>(to - from));
    size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes) : static_cast<size_t>(to - from);
    return makeString(std::string(reinterpret_cast<const char*>(bytes), length));
}

// ---- The structural search ----

Value gSymbolicToken = kNil; // the variable Symbolic-Token
Value gKeywordPrm = kNil, gKeywordPrj = kNil, gKeywordDef = kNil;
Value gKindVelora = kNil, gKindPrj = kNil, gKindDef = kNil;

// Values pushed on the Lisp stack while native code walks them; popped when the guard ends.
class LispStackRoots {
public:
    ~LispStackRoots() { gLispSP = m_saved; }
    void keep(Value v) { pushLisp(v); }

private:
    Value* m_saved = gLispSP;
};

// An expression's extent [start, end); start -1 when there is none.
struct Extent {
    int64_t start = -1;
    int64_t end = -1;
    bool found() const { return start >= 0; }
};

bool isBlank(uint8_t c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
bool isPrefix(uint8_t c) { return c == '\'' || c == '`' || c == ',' || c == '@' || c == '#'; }
bool isAtomChar(uint8_t c) { return !isBlank(c) && (c == 0 || !std::strchr("\"#'(),;@[]`", c)); }

// Lisp source text and the lexical rules of the walk over it.
class SourceText {
public:
    explicit SourceText(std::string text) : m_text(std::move(text)) {}
    int64_t size() const { return static_cast<int64_t>(m_text.size()); }
    uint8_t at(int64_t i) const { return static_cast<uint8_t>(m_text[i]); }
    std::string_view slice(int64_t from, int64_t to) const { return std::string_view(m_text).substr(from, to - from); }

    // Past blanks and comments.
    int64_t skipBlanks(int64_t i, int64_t limit) const
    {
        while (i < limit) {
            if (isBlank(at(i)))
                ++i;
            else if (at(i) == ';')
                while (i < limit && at(i) != '\n' && at(i) != '\r')
                    ++i;
            else
                break;
        }
        return i;
    }

    // The expression that starts at i (after blanks), within limit.
    Extent expressionAt(int64_t i, int64_t limit, int depth = 0) const
    {
        i = skipBlanks(i, limit);
        if (i >= limit || depth > 10000)
            return {};
        uint8_t c = at(i);
        if (c == ')' || c == ']')
            return {};
        if (c == '"') {
            int64_t j = stringEnd(i, limit);
            return j < 0 ? Extent {} : Extent { i, j };
        }
        if (c == '(' || c == '[') {
            int64_t j = listEnd(i, limit);
            return j < 0 ? Extent {} : Extent { i, j };
        }
        if (c == '#' && i + 1 < limit && at(i + 1) == '{')
            return { i, i + 2 };
        if (c == '#' && i + 2 < limit && at(i + 1) == '\\') {
            if (at(i + 2) != 0 && std::strchr(")]'`,@#([\"", at(i + 2)))
                return { i, i + 3 };
            return { i, atomEnd(i + 1, limit) };
        }
        if (isPrefix(c)) {
            Extent next = expressionAt(i + 1, limit, depth + 1);
            return next.found() ? Extent { i, next.end } : Extent {};
        }
        // Any other byte (the byte 0 among them) is an atom of one character at least, so the
        // walk always moves on.
        return { i, std::max(atomEnd(i, limit), i + 1) };
    }

    // The elements of the bracketed list [from, to): their extents, and the offset of a lone "."
    // among them in dotAt (-1 when none).
    std::vector<Extent> elements(const Extent& list, int64_t& dotIndex) const
    {
        std::vector<Extent> result;
        dotIndex = -1;
        int64_t i = list.start + 1, limit = list.end - 1;
        for (;;) {
            Extent e = expressionAt(i, limit);
            if (!e.found())
                break;
            if (e.end - e.start == 1 && at(e.start) == '.')
                dotIndex = static_cast<int64_t>(result.size());
            result.push_back(e);
            i = e.end;
        }
        return result;
    }

private:
    int64_t atomEnd(int64_t i, int64_t limit) const
    {
        while (i < limit && (isAtomChar(at(i)) || at(i) == '\\'))
            i += at(i) == '\\' ? 2 : 1;
        return std::min(i, limit);
    }

    // Past the closing quote of the string opening at i, or -1.
    int64_t stringEnd(int64_t i, int64_t limit) const
    {
        for (int64_t j = i + 1; j < limit; ++j) {
            if (at(j) == '\\')
                ++j;
            else if (at(j) == '"')
                return j + 1;
        }
        return -1;
    }

    // Past the bracket that closes the one at i (either kind closes either), or -1.
    int64_t listEnd(int64_t i, int64_t limit) const
    {
        int64_t depth = 0;
        for (int64_t j = i; j < limit; ++j) {
            uint8_t c = at(j);
            if (c == '\\') {
                ++j;
            } else if (c == '"') {
                j = stringEnd(j, limit);
                if (j < 0)
                    return -1;
                --j;
            } else if (c == ';') {
                while (j + 1 < limit && at(j + 1) != '\n' && at(j + 1) != '\r')
                    ++j;
            } else if (c == '(' || c == '[') {
                ++depth;
            } else if (c == ')' || c == ']') {
                if (--depth == 0)
                    return j + 1;
            }
        }
        return -1;
    }

    std::string m_text;
};

struct Binding {
    Value wildCard;
    Extent extent;
};

class Matcher {
public:
    static constexpr int kMaxDepth = 2000; // nesting of lists and runs followed by a match
    Matcher(const SourceText& text, Value marker) : m_text(text), m_marker(marker) {}

    std::vector<Binding> bindings;

    bool isWildCard(Value pattern) const { return isPair(pattern) && car(pattern) == m_marker; }

    // The k of a wild card (marker k ...): 1 one or more elements, 2 zero or more, else one.
    int64_t runKind(Value wildCard) const
    {
        Value rest = cdr(wildCard);
        return isPair(rest) && isImmediateInteger(car(rest)) ? integerValue(car(rest)) : 0;
    }

    bool match(Value pattern, const Extent& e, int depth = 0)
    {
        if (depth > kMaxDepth)
            return false;
        if (isWildCard(pattern)) {
            bindings.push_back({ pattern, e });
            return true;
        }
        uint8_t first = m_text.at(e.start);
        if (isPrefix(first))
            return false;
        if (isString(pattern))
            return first == '"' && m_text.slice(e.start + 1, e.end - 1) == std::string_view(stringChars(pattern), stringLength(pattern));
        if (isSymbol(pattern) && pattern != kNil)
            return m_text.slice(e.start, e.end) == symbolNameView(pattern);
        if (isInteger(pattern))
            return m_text.slice(e.start, e.end) == numberText(pattern);
        if (!isList(pattern) || (first != '(' && first != '['))
            return false;
        int64_t dotIndex = -1;
        std::vector<Extent> elements = m_text.elements(e, dotIndex);
        if (pattern == kNil)
            return elements.empty();
        return matchElements(pattern, elements, 0, dotIndex, depth + 1);
    }

private:
    // Plain elements are matched in a loop; only runs (and nested lists) recurse, so the depth
    // follows the nesting, not the length of a list.
    bool matchElements(Value pattern, const std::vector<Extent>& elements, size_t index, int64_t dotIndex, int depth)
    {
        const size_t count = elements.size();
        for (;;) {
            if (isWildCard(pattern)) { // a wild-card tail binds the remaining elements
                Extent rest = index < count ? Extent { elements[index].start, elements[count - 1].end }
                                            : Extent { runStart(elements, index), runStart(elements, index) };
                bindings.push_back({ pattern, rest });
                return true;
            }
            if (pattern == kNil)
                return index == count && dotIndex < 0;
            if (!isPair(pattern)) { // the tail of a dotted pattern: "." then one expression
                if (dotIndex < 0 || static_cast<size_t>(dotIndex) != index || index + 2 != count)
                    return false;
                return match(pattern, elements[index + 1], depth + 1);
            }
            if (dotIndex >= 0 && static_cast<size_t>(dotIndex) == index)
                return false; // the pattern has more elements where the list has its dot
            Value element = car(pattern);
            int64_t kind = isWildCard(element) ? runKind(element) : 0;
            if (kind == 1 || kind == 2) {
                if (depth > kMaxDepth)
                    return false;
                size_t limit = dotIndex >= 0 ? static_cast<size_t>(dotIndex) : count;
                for (size_t n = kind == 1 ? 1 : 0; index + n <= limit; ++n) {
                    size_t saved = bindings.size();
                    Extent run = n > 0 ? Extent { elements[index].start, elements[index + n - 1].end }
                                       : Extent { runStart(elements, index), runStart(elements, index) };
                    bindings.push_back({ element, run });
                    if (matchElements(cdr(pattern), elements, index + n, dotIndex, depth + 1))
                        return true;
                    bindings.resize(saved);
                }
                return false;
            }
            if (index >= count || !match(element, elements[index], depth + 1))
                return false;
            pattern = cdr(pattern);
            ++index;
        }
    }

    static int64_t runStart(const std::vector<Extent>& elements, size_t index)
    {
        if (index < elements.size())
            return elements[index].start;
        return elements.empty() ? 0 : elements.back().end;
    }

    const SourceText& m_text;
    Value m_marker;
};

// The source text of a buffer: its first length bytes.
SourceText sourceOf(Value bufferValue, Value length, int64_t& size)
{
    BufferArgument buffer(bufferValue);
    size = toBufferOffset(length);
    const uint8_t* bytes = buffer.range(0, size, length);
    return SourceText(std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size)));
}

// The pattern that takes part for kind, or no value when it does not.
Value activePattern(Value pattern, Value kind)
{
    if (!isPair(pattern))
        return pattern;
    const Value keywords[3] = { gKeywordPrm, gKeywordPrj, gKeywordDef };
    const Value kinds[3] = { gKindVelora, gKindPrj, gKindDef };
    for (int i = 0; i < 3; ++i)
        if (car(pattern) == keywords[i])
            return isNil(kind) || kind == kinds[i] ? cdr(pattern) : kNoValue;
    return pattern;
}

// Where the walk goes after trying e: inside a bracketed list, past the first character of a
// prefixed expression, after anything else.
int64_t nextPosition(const SourceText& text, const Extent& e, bool stepOver)
{
    uint8_t first = text.at(e.start);
    if (stepOver)
        return e.end;
    if (first == '(' || first == '[' || (isPrefix(first) && !(first == '#' && e.end - e.start == 2 && text.at(e.start + 1) == '{')))
        return e.start + 1;
    return e.end;
}

Value searchSymbolic(Value patterns, Value bufferValue, Value length, Value start, Value end, Value stepOver, Value kind)
{
    LispStackRoots roots;
    roots.keep(patterns);
    int64_t size = 0;
    SourceText text = sourceOf(bufferValue, length, size);
    int64_t from = toBufferOffset(start), to = toBufferOffset(end);
    if (from > size)
        raiseWrongType(start);
    if (to > size || to < from)
        raiseWrongType(end);
    if (!isList(patterns))
        raiseWrongType(patterns);
    listLength(patterns); // a circular list is the wrong-type error
    Value marker = globalValue(gSymbolicToken);
    // As if [start, end) had just been tried without success.
    int64_t position = from;
    if (from != to) {
        uint8_t first = text.at(from);
        position = first == '(' || first == '[' || isPrefix(first) ? from + 1 : to;
    }
    for (;;) {
        // Closing brackets between expressions are passed over.
        for (position = text.skipBlanks(position, size); position < size && (text.at(position) == ')' || text.at(position) == ']');)
            position = text.skipBlanks(position + 1, size);
        Extent e = text.expressionAt(position, size);
        if (!e.found())
            return kNil;
        for (Value rest = patterns; isPair(rest); rest = cdr(rest)) {
            Value pattern = activePattern(car(rest), kind);
            if (pattern == kNoValue)
                continue;
            Matcher matcher(text, marker);
            if (matcher.match(pattern, e)) {
                Value extent = cons(makeInteger(e.start), makeInteger(e.end));
                return cons(car(rest), extent);
            }
        }
        position = nextPosition(text, e, isTrue(stepOver));
    }
}

Value unifyExpr(Value pattern, Value bufferValue, Value length, Value start, Value end)
{
    LispStackRoots roots;
    roots.keep(pattern);
    int64_t size = 0;
    SourceText text = sourceOf(bufferValue, length, size);
    int64_t from = toBufferOffset(start), to = toBufferOffset(end);
    if (from > size)
        raiseWrongType(start);
    if (to > size || to < from)
        raiseWrongType(end);
    Extent e = text.expressionAt(from, to);
    if (!e.found())
        return kNil;
    Matcher matcher(text, globalValue(gSymbolicToken));
    matcher.match(pattern, e);
    ListBuilder result;
    for (const Binding& b : matcher.bindings) {
        Value extent = cons(makeInteger(b.extent.start), makeInteger(b.extent.end));
        Value binding = cons(b.wildCard, extent);
        result.add(binding);
    }
    return result.head;
}

class VExprModule final : public Module {
public:
    VExprModule() : Module("VExpr") {}

    void start() override
    {
        Module::start();
        defineFunction3("mac->ibm-ptr", macToIbmPtr);
        defineFunction3("ibm->mac-ptr", ibmToMacPtr);
        defineFunction4("iso->mac", isoToMac);
        defineFunction1("mac->ibm-string", macToIbmString);
        defineFunction1("ibm->mac-string", ibmToMacString);
        defineFunction2("remove-cr-lf", removeCrLf);
        defineFunction4("buffer-get-string", bufferGetString);
        defineFunction7("search-symbolic", searchSymbolic);
        defineFunction5("unify-expr", unifyExpr);
        gSymbolicToken = intern("Symbolic-Token");
        setGlobalValue(gSymbolicToken, cons(kNil, kNil));
        gKeywordPrm = makeKeyword("prm");
        gKeywordPrj = makeKeyword("prj");
        gKeywordDef = makeKeyword("def");
        gKindVelora = intern("velora");
        gKindPrj = intern("velora-prj");
        gKindDef = intern("velora-def");
    }
} theVExprModule;

} // namespace
