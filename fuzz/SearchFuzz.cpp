// fuzz/SearchFuzz.cpp: the buffer search on arbitrary patterns and buffers, checked against a plain
// scan. Input: a flag byte (bit 0 backward, bit 1 ignore-case, bit 2 a separator, bit 3 the wild-card
// search), a pattern count byte, each pattern as a length byte and its bytes, two offset bytes
// (start and end, taken modulo the buffer size + 2), then the buffer.
#include "FuzzRuntime.h"

#include "Kernel/Number.h"
#include "Kernel/VString.h"

#include <string>
#include <vector>

namespace {

Value gSeparator = kNil;
bool isSeparator(uint8_t c) { return c < 0x41; } // the Lisp separator below, natively

struct Input {
    bool backward, ignoreCase, separator, wildCard;
    std::vector<std::string> patterns;
    int64_t start, end;
    std::string buffer;
};

bool parse(const uint8_t* data, size_t size, Input& in)
{
    size_t at = 0;
    auto next = [&](uint8_t& b) { return at < size ? (b = data[at++], true) : false; };
    uint8_t flags = 0, count = 0, startByte = 0, endByte = 0;
    if (!next(flags) || !next(count))
        return false;
    in.backward = flags & 1;
    in.ignoreCase = flags & 2;
    in.separator = flags & 4;
    in.wildCard = flags & 8;
    for (int k = 0; k < 1 + count % 4; ++k) {
        uint8_t length = 0;
        if (!next(length))
            return false;
        std::string p;
        for (int i = 0; i < 1 + length % 8; ++i) {
            uint8_t c = 0;
            if (!next(c))
                return false;
            p.push_back(static_cast<char>(c ? c : 1)); // strings cannot hold the byte 0
        }
        in.patterns.push_back(p);
    }
    if (!next(startByte) || !next(endByte))
        return false;
    in.buffer.assign(reinterpret_cast<const char*>(data) + at, size - at);
    in.start = startByte % (in.buffer.size() + 2);
    in.end = std::min<int64_t>(endByte % (in.buffer.size() + 2), in.buffer.size());
    return true;
}

bool same(uint8_t a, uint8_t b, bool fold) { return fold ? lowerChar(a) == lowerChar(b) : a == b; }

bool separatedAt(const Input& in, int64_t from, int64_t to, bool wildCard)
{
    if (!in.separator)
        return true;
    if (from - 1 >= 0 && (wildCard || from - 1 < in.end) && !isSeparator(in.buffer[from - 1]))
        return false;
    return to >= in.end || isSeparator(in.buffer[to]);
}

// The answer as (pattern index, offset), or index -1.
std::pair<int, int64_t> expected(const Input& in)
{
    const std::string& text = in.buffer;
    if (in.wildCard) {
        const std::string& p = in.patterns[0];
        int64_t n = static_cast<int64_t>(p.size());
        for (int64_t pos = in.start; pos + n < in.end; ++pos) {
            bool ok = true;
            for (int64_t i = 0; i < n && ok; ++i)
                ok = p[i] == '?' || same(p[i], text[pos + i], in.ignoreCase);
            if (ok && separatedAt(in, pos, pos + n, true))
                return { 0, pos };
        }
        return { -1, 0 };
    }
    int64_t window = 255;
    for (auto& p : in.patterns)
        window = std::min<int64_t>(window, p.size());
    auto at = [&](int64_t w) -> std::pair<int, int64_t> {
        for (int k = static_cast<int>(in.patterns.size()) - 1; k >= 0; --k) {
            const std::string& p = in.patterns[k];
            int64_t n = static_cast<int64_t>(p.size());
            int64_t from = in.backward ? w + window - n : w;
            if (from < 0 || from + n > in.end)
                continue;
            bool ok = true;
            for (int64_t i = 0; i < n && ok; ++i)
                ok = same(p[i], text[from + i], in.ignoreCase);
            if (ok && separatedAt(in, from, from + n, false))
                return { k, from };
        }
        return { -1, 0 };
    };
    if (!in.backward) {
        for (int64_t w = in.start; w + window <= in.end; ++w)
            if (auto a = at(w); a.first >= 0)
                return a;
    } else {
        for (int64_t w = std::min(in.start + 1, in.end) - window; w >= 0; --w)
            if (auto a = at(w); a.first >= 0)
                return a;
    }
    return { -1, 0 };
}

int searchInput(const uint8_t* data, size_t size)
{
    Input in;
    if (!parse(data, size, in))
        return 0;
    Value buffer = fuzz::memoryWith(reinterpret_cast<const uint8_t*>(in.buffer.data()), in.buffer.size());
    Value patterns = kNil;
    for (size_t k = in.patterns.size(); k-- > 0;)
        patterns = cons(makeString(in.patterns[k]), patterns);
    Value separator = in.separator ? gSeparator : kNil;
    Value flag[2] = { kNil, kTrue };
    Value result = kNil;
    bool answered = in.wildCard
        ? fuzz::call(result, "search-buffer-wild-card", car(patterns), buffer, makeInteger(in.start),
                     makeInteger(in.end), flag[in.ignoreCase], separator)
        : fuzz::call(result, "search-buffer-subr", patterns, buffer, makeInteger(in.start), makeInteger(in.end),
                     flag[in.backward], flag[in.ignoreCase], separator);
    if (!answered)
        fuzz::fail("a search with good arguments raised an error");
    auto [index, offset] = expected(in);
    if (index < 0 ? isTrue(result) : isNil(result))
        fuzz::fail("found where nothing matches, or missed a match");
    if (index >= 0) {
        Value at = in.wildCard ? result : cdr(result);
        if (integerValue(at) != offset)
            fuzz::fail("wrong offset");
        if (!in.wildCard && car(result) != car(listTail(patterns, index)))
            fuzz::fail("wrong pattern");
    }
    fuzz::dispose(buffer);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return fuzz::run(argc, argv, searchInput, [] {
        gSeparator = fuzz::evalText("(define (fuzz-separator _c) (< _c 65)) fuzz-separator");
    });
}
