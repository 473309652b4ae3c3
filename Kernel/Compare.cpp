// Kernel/Compare.cpp: the Compare Module: compare-buffers, the line difference of two memory
// blocks of characters, found by a greedy forward search for the shortest edit script.
#include "Kernel/Error.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kReturn = 13;

// A buffer's bytes (copied out of Lisp memory) and its line table: line i runs from entry i to
// entry i + 1, its carriage return included; a last line without one ends at length + 1.
struct Lines {
    std::string bytes;
    std::vector<uint32_t> starts;
    int64_t count() const { return static_cast<int64_t>(starts.size()) - 1; }
};

Lines readLines(Value pointer, Value length)
{
    if (!isPointer(pointer))
        raiseWrongType(pointer);
    if (!isInteger(length))
        raiseWrongType(length);
    int64_t size = toInt64(length);
    if (size < 0)
        raiseWrongType(length);
    uint32_t address = pointerAddress(pointer);
    if (pointerKindIndex(pointer) == gHandleKind.index())
        address = handleAddress(address);
    const uint8_t* data = checkedRange(address, static_cast<uint64_t>(size), pointer);
    Lines lines;
    lines.bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
    lines.starts.push_back(0);
    for (size_t i = 0; i < lines.bytes.size(); ++i)
        if (lines.bytes[i] == kReturn)
            lines.starts.push_back(static_cast<uint32_t>(i + 1));
    if (lines.bytes.empty() || lines.bytes.back() != kReturn)
        lines.starts.push_back(static_cast<uint32_t>(size + 1));
    return lines;
}

// Lines are the same when their lengths agree and so do their bytes before the carriage return.
bool sameLine(const Lines& a, int64_t i, const Lines& b, int64_t j)
{
    uint32_t length = a.starts[i + 1] - a.starts[i];
    if (b.starts[j + 1] - b.starts[j] != length)
        return false;
    return length == 1 || std::memcmp(a.bytes.data() + a.starts[i], b.bytes.data() + b.starts[j], length - 1) == 0;
}

// One step of an edit path: after taking line x - 1 of A (a deletion) or line y - 1 of B (an
// insertion), the search stands at (x, y). Paths share their older parts, so the steps live in
// a pool and link to the step before them.
struct Move {
    int64_t x, y;
    bool insertion;
    int64_t older; // index in the pool, -1 for none
};

// The newest move of a shortest path from (0, 0) to the end of both buffers.
int64_t shortestPath(const Lines& a, const Lines& b, int64_t start, std::vector<Move>& pool)
{
    const int64_t nA = a.count(), nB = b.count();
    const int64_t m = std::max(nA, nB);
    const int64_t offset = m + 2; // room for k - 1 and k + 1 on every diagonal visited
    std::vector<int64_t> reach(2 * offset + 1, 0);
    std::vector<int64_t> path(2 * offset + 1, -1);
    auto at = [&](int64_t k) { return static_cast<size_t>(std::clamp<int64_t>(k + offset, 0, 2 * offset)); };
    reach[at(0)] = start;
    int64_t lo = start < nA ? -1 : 1;
    int64_t hi = start < nB ? 1 : -1;
    for (int64_t d = 1; d <= 2 * m; ++d) {
        int64_t newLo = lo;
        for (int64_t k = lo; k <= hi; k += 2) {
            bool deletion = k == -d || (k != d && reach[at(k + 1)] >= reach[at(k - 1)]);
            int64_t x = deletion ? reach[at(k + 1)] + 1 : reach[at(k - 1)];
            int64_t y = x + k;
            pool.push_back({ x, y, !deletion, path[at(deletion ? k + 1 : k - 1)] });
            path[at(k)] = static_cast<int64_t>(pool.size()) - 1;
            while (x < nA && y < nB && x >= 0 && y >= 0 && sameLine(a, x, b, y)) {
                ++x;
                ++y;
            }
            reach[at(k)] = x;
            if (x == nA && y == nB)
                return path[at(k)];
            if (x == nA)
                newLo = k + 2;
            if (y == nB)
                hi = k - 2;
        }
        lo = newLo - 1;
        hi = hi + 1;
    }
    return -1;
}

struct Hunk {
    bool insertion;
    uint32_t position, start, end;
    const Move* oldest;
};

uint32_t entry(const Lines& lines, int64_t i)
{
    if (i < 0 || i > lines.count())
        raiseError(ErrorCode::User, kNil); // a move outside the buffers: the search went wrong
    return lines.starts[static_cast<size_t>(i)];
}

Hunk hunkOf(const Move& move, const Lines& a, const Lines& b)
{
    if (move.insertion)
        return { true, entry(a, move.x), entry(b, move.y - 1), entry(b, move.y), &move };
    return { false, entry(a, move.x), entry(a, move.x - 1), entry(a, move.x), &move };
}

Value hunkList(const Hunk& h)
{
    ListBuilder list;
    list.add(makeInteger(h.insertion ? 1 : 0));
    list.add(makeInteger(h.position));
    list.add(makeInteger(h.start));
    list.add(makeInteger(h.end));
    return list.head;
}

Value compareBuffers(Value pointer1, Value length1, Value pointer2, Value length2)
{
    Lines a = readLines(pointer1, length1);
    Lines b = readLines(pointer2, length2);
    const int64_t nA = a.count(), nB = b.count();
    int64_t start = 0;
    while (start < nA && start < nB && sameLine(a, start, b, start))
        ++start;
    if (start == nA && start == nB)
        return cons(makeInteger(0), kNil);

    std::vector<Move> pool;
    pool.reserve(static_cast<size_t>(nA + nB + 1));
    int64_t newest = shortestPath(a, b, start, pool);
    if (newest < 0)
        raiseError(ErrorCode::User, kNil);

    // Positions are reported within the buffers: the assumed carriage return has no byte.
    for (Lines* lines : { &a, &b })
        if (lines->starts.back() > lines->bytes.size())
            --lines->starts.back();

    // Fold runs of like moves into hunks, newest first, so each finished hunk goes to the front.
    Value hunks = kNil;
    int64_t count = 0;
    Hunk current = hunkOf(pool[static_cast<size_t>(newest)], a, b);
    for (int64_t i = pool[static_cast<size_t>(newest)].older; i >= 0; i = pool[static_cast<size_t>(i)].older) {
        const Move& older = pool[static_cast<size_t>(i)];
        const Move& oldest = *current.oldest;
        bool joins = older.insertion == current.insertion
            && (current.insertion ? oldest.x == older.x && oldest.y == older.y + 1 : oldest.x == older.x + 1);
        if (joins) {
            current.start = hunkOf(older, a, b).start;
            current.oldest = &older;
            continue;
        }
        // A run of insertions replacing the deleted run just before it counts as one change.
        if (!(current.insertion && !older.insertion && older.x == oldest.x))
            ++count;
        hunks = cons(hunkList(current), hunks);
        current = hunkOf(older, a, b);
    }
    ++count;
    hunks = cons(hunkList(current), hunks);
    return cons(makeInteger(count), hunks);
}

class CompareModule final : public Module {
public:
    CompareModule() : Module("Compare") {}
    void start() override
    {
        Module::start();
        defineFunction4("compare-buffers", compareBuffers);
    }
} theCompareModule;

} // namespace
