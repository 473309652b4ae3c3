// Kernel/Search.cpp: the Search Module: multi-pattern (Horspool) and wild-card search in a byte
// buffer, forward or backward, with an optional separator test around a match.
#include "Kernel/Buffer.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxPatternLength = 255;

// A pattern argument: a string of 1 to 255 characters.
std::string toPattern(Value pattern)
{
    if (!isString(pattern))
        raiseWrongType(pattern);
    std::string text(stringChars(pattern), stringLength(pattern));
    if (text.empty() || text.size() > kMaxPatternLength)
        raiseWrongType(pattern);
    return text;
}

// Every byte that equals b through the lower-case table, b included.
std::vector<uint8_t> caseVariants(uint8_t b, bool ignoreCase)
{
    if (!ignoreCase)
        return { b };
    std::vector<uint8_t> variants;
    for (int c = 0; c < 256; ++c)
        if (lowerChar(static_cast<uint8_t>(c)) == lowerChar(b))
            variants.push_back(static_cast<uint8_t>(c));
    return variants;
}

// The separator test around a match of [from, to) in a buffer searched up to end: each neighbour
// must lie outside [0, end) or make the separator answer true. The separator is Lisp code: it may
// collect or change the buffer, so callers ask the buffer for its bytes again afterwards.
bool separatedAt(const BufferArgument& buffer, Value separator, int64_t from, int64_t to, int64_t end, Value endValue)
{
    for (int64_t at : { from - 1, to }) {
        if (at < 0 || at >= end)
            continue;
        uint8_t byte = *buffer.range(at, 1, endValue);
        if (!isTrue(funcall(separator, makeImmediate(byte))))
            return false;
    }
    return true;
}

class MultiPatternSearch {
public:
    MultiPatternSearch(std::vector<std::string> patterns, bool backward, bool ignoreCase)
        : m_patterns(std::move(patterns)), m_backward(backward), m_ignoreCase(ignoreCase)
    {
        m_window = m_patterns[0].size();
        for (auto& p : m_patterns)
            m_window = std::min(m_window, p.size());
        m_shift.fill(m_window);
        // Patterns sharing a key are tried from the last listed to the first.
        for (size_t k = m_patterns.size(); k-- > 0;) {
            const std::string& p = m_patterns[k];
            uint8_t key = static_cast<uint8_t>(m_backward ? p[p.size() - m_window] : p[m_window - 1]);
            for (uint8_t b : caseVariants(key, m_ignoreCase)) {
                m_buckets[b].push_back(static_cast<int>(k));
                m_isKey[b] = true;
            }
        }
        for (size_t i = 1; i < m_window; ++i)
            for (auto& p : m_patterns) {
                uint8_t c = static_cast<uint8_t>(m_backward ? p[p.size() - i] : p[i - 1]);
                for (uint8_t b : caseVariants(c, m_ignoreCase))
                    m_shift[b] = std::min<int64_t>(m_shift[b], static_cast<int64_t>(m_window - i));
            }
        for (int c = 0; c < 256; ++c)
            m_fold[c] = m_ignoreCase ? lowerChar(static_cast<uint8_t>(c)) : static_cast<uint8_t>(c);
    }

    // The index of the pattern found and the offset of its first byte, or -1. The separator, when
    // not nil, is called for the neighbours of a match; the buffer's bytes are taken again after it.
    int find(const BufferArgument& buffer, int64_t start, int64_t end, Value separator, Value endValue,
             int64_t& matchOffset) const
    {
        const int64_t window = static_cast<int64_t>(m_window);
        const uint8_t* bytes = buffer.range(0, end, endValue);
        if (!m_backward) {
            for (int64_t p = start + window - 1; p < end; p += m_shift[bytes[p]]) {
                // The common case, a byte that is no pattern's key, in a tight loop.
                while (!m_isKey[bytes[p]]) {
                    p += m_shift[bytes[p]];
                    if (p >= end)
                        return -1;
                }
                for (int k : m_buckets[bytes[p]]) {
                    const std::string& pattern = m_patterns[k];
                    int64_t from = p - window + 1, to = from + static_cast<int64_t>(pattern.size());
                    if (to > end || !matchesAt(bytes, from, pattern))
                        continue;
                    if (!isNil(separator)) {
                        bool separated = separatedAt(buffer, separator, from, to, end, endValue);
                        bytes = buffer.range(0, end, endValue);
                        if (!separated)
                            continue;
                    }
                    matchOffset = from;
                    return k;
                }
            }
            return -1;
        }
        // Backward: the window is [p, p + window); a match ends at p + window, at or before end.
        for (int64_t p = std::min(start + 1, end) - window; p >= 0; p -= m_shift[bytes[p]]) {
            for (int k : m_buckets[bytes[p]]) {
                const std::string& pattern = m_patterns[k];
                int64_t to = p + window, from = to - static_cast<int64_t>(pattern.size());
                if (from < 0 || !matchesAt(bytes, from, pattern))
                    continue;
                if (!isNil(separator)) {
                    bool separated = separatedAt(buffer, separator, from, to, end, endValue);
                    bytes = buffer.range(0, end, endValue);
                    if (!separated)
                        continue;
                }
                matchOffset = from;
                return k;
            }
        }
        return -1;
    }

private:
    bool matchesAt(const uint8_t* bytes, int64_t from, const std::string& pattern) const
    {
        const uint8_t* at = bytes + from;
        for (size_t i = 0; i < pattern.size(); ++i)
            if (m_fold[at[i]] != m_fold[static_cast<uint8_t>(pattern[i])])
                return false;
        return true;
    }

    std::vector<std::string> m_patterns;
    bool m_backward;
    bool m_ignoreCase;
    size_t m_window; // the length of the shortest pattern
    std::array<int64_t, 256> m_shift;
    std::array<std::vector<int>, 256> m_buckets;
    std::array<bool, 256> m_isKey {};
    std::array<uint8_t, 256> m_fold;
};

// The search range: start and end as offsets, end checked against the buffer.
void searchRange(const BufferArgument& buffer, Value start, Value end, int64_t& from, int64_t& to)
{
    from = toBufferOffset(start);
    to = toBufferOffset(end);
    buffer.range(0, to, end);
}

Value searchBufferSubr(Value patterns, Value bufferValue, Value start, Value end, Value backward,
                       Value ignoreCase, Value separator)
{
    std::vector<std::string> texts;
    if (isString(patterns)) {
        texts.push_back(toPattern(patterns));
    } else {
        if (!isPair(patterns))
            raiseWrongType(patterns);
        for (Value rest = patterns; isPair(rest); rest = cdr(rest))
            texts.push_back(toPattern(car(rest)));
    }
    BufferArgument buffer(bufferValue);
    int64_t from = 0, to = 0;
    searchRange(buffer, start, end, from, to);
    MultiPatternSearch search(std::move(texts), isTrue(backward), isTrue(ignoreCase));
    int64_t offset = 0;
    int found = search.find(buffer, from, to, separator, end, offset);
    if (found < 0)
        return kNil;
    Value pattern = isString(patterns) ? patterns : car(listTail(patterns, static_cast<uint64_t>(found)));
    return cons(pattern, makeInteger(offset));
}

Value searchBufferWildCard(Value patternValue, Value bufferValue, Value start, Value end, Value ignoreCase,
                           Value separator)
{
    std::string pattern = toPattern(patternValue);
    BufferArgument buffer(bufferValue);
    int64_t from = 0, to = 0;
    searchRange(buffer, start, end, from, to);
    bool fold = isTrue(ignoreCase);
    const int64_t length = static_cast<int64_t>(pattern.size());
    const uint8_t* bytes = buffer.range(0, to, end);
    // A match that would end exactly at end is not tried.
    for (int64_t position = from; position + length < to; ++position) {
        bool matched = true;
        for (int64_t i = 0; i < length && matched; ++i) {
            uint8_t p = static_cast<uint8_t>(pattern[i]), b = bytes[position + i];
            matched = p == '?' || p == b || (fold && lowerChar(p) == lowerChar(b));
        }
        if (!matched)
            continue;
        if (!isNil(separator)) {
            bool separated = separatedAt(buffer, separator, position, position + length, to, end);
            bytes = buffer.range(0, to, end);
            if (!separated)
                continue;
        }
        return makeInteger(position);
    }
    return kNil;
}

Value searchNotAscii(Value bufferValue, Value start, Value end)
{
    BufferArgument buffer(bufferValue);
    int64_t from = 0, to = 0;
    searchRange(buffer, start, end, from, to);
    const uint8_t* bytes = buffer.range(0, to, end);
    for (int64_t i = from; i < to; ++i)
        if (bytes[i] >= 0x80)
            return cons(kNil, makeInteger(i));
    return kNil;
}

class SearchModule final : public Module {
public:
    SearchModule() : Module("Search") {}

    void start() override
    {
        Module::start();
        defineFunction7("search-buffer-subr", searchBufferSubr);
        defineFunction6("search-buffer-wild-card", searchBufferWildCard);
        defineFunction3("search-not-ascii", searchNotAscii);
    }
} theSearchModule;

} // namespace
