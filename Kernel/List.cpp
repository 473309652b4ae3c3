// Kernel/List.cpp: the List Module: pairs, the list library, association and property lists,
// searching with keys and tests, and the sort.
#include "Kernel/List.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Logical.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"

#include <algorithm>
#include <utility>
#include <vector>

void raiseCircular(Value list)
{
    // The report shows the culprit, and printing a circular list would not end: it gets the
    // first elements of the list instead.
    ListBuilder shown;
    Value p = list;
    for (int i = 0; i < 8 && isPair(p); ++i, p = cdr(p))
        shown.add(car(p));
    shown.add(intern("..."));
    raiseWrongType(shown.head);
}

namespace {

// Counts the pairs a walk visits; a list with more pairs than there are cells is circular.
// A walk that builds as it goes checks the whole list first, before a cycle can fill the cells.
class Walk {
public:
    enum Kind { Reading, Building };
    explicit Walk(Value list, Kind kind = Reading) : m_list(list)
    {
        if (kind == Building)
            listLength(list);
    }
    void step()
    {
        if (++m_steps > gAreas.cellCount)
            raiseCircular(m_list);
    }

private:
    Value m_list;
    uint64_t m_steps = 0;
};

Value requireList(Value v)
{
    if (!isList(v))
        raiseWrongType(v);
    return v;
}

Value requirePair(Value v)
{
    if (!isPair(v))
        raiseWrongType(v);
    return v;
}

// An index or count argument: an integer, not negative.
uint64_t toIndex(Value v)
{
    if (!isInteger(v))
        raiseWrongType(v);
    int64_t n = toInt64(v);
    if (n < 0)
        raiseWrongType(v);
    return static_cast<uint64_t>(n);
}

Value carOf(Value v)
{
    if (isPair(v))
        return car(v);
    return requireList(v) == kNil ? kNil : car(v);
}

Value cdrOf(Value v)
{
    if (isPair(v))
        return cdr(v);
    return requireList(v) == kNil ? kNil : cdr(v);
}

// The last pair of a list whose walk starts at a pair.
Value finalPair(Value list)
{
    Walk walk(list);
    Value p = list;
    while (isPair(cdr(p))) {
        walk.step();
        p = cdr(p);
    }
    return p;
}

Value keyOf(Value key, Value element) { return key == kNil ? element : funcall(key, element); }

bool matches(Value test, Value x, Value keyed)
{
    return test == kNil ? isEqual(x, keyed) : isTrue(funcall(test, x, keyed));
}

// The first pair of list whose keyed car matches x, or nil.
Value findMatch(Value x, Value list, Value key, Value test)
{
    Walk walk(requireList(list));
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        if (matches(test, x, keyOf(key, car(p))))
            return p;
    }
    return kNil;
}

} // namespace

// ---- Native list operations ----

uint32_t listLength(Value list)
{
    Walk walk(list);
    uint32_t n = 0;
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        ++n;
    }
    return n;
}

Value listTail(Value list, uint64_t n)
{
    Walk walk(list);
    Value p = list;
    for (; n > 0; --n) {
        if (!isPair(p))
            return kNil;
        walk.step();
        p = cdr(p);
    }
    return p;
}

Value lastPair(Value list)
{
    Walk walk(list);
    Value p = list;
    while (isPair(p) && cdr(p) != kNil) {
        walk.step();
        p = cdr(p);
    }
    return p;
}

Value appendInPlace(Value a, Value b)
{
    if (!isPair(a))
        return b;
    setCdr(finalPair(a), b);
    return a;
}

Value copyList(Value list)
{
    Walk walk(list, Walk::Building);
    ListBuilder copy;
    Value p = list;
    for (; isPair(p); p = cdr(p)) {
        walk.step();
        copy.add(car(p));
    }
    if (copy.head == kNil)
        return p;
    setCdr(copy.tail, p);
    return copy.head;
}

Value reverseInPlace(Value list)
{
    Walk walk(list);
    Value reversed = kNil;
    Value p = list;
    while (isPair(p)) {
        walk.step();
        Value next = cdr(p);
        setCdr(p, reversed);
        reversed = p;
        p = next;
    }
    return reversed;
}

namespace {

template <typename Same> Value memberBy(Value x, Value list, Same same)
{
    Walk walk(list);
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        if (same(x, car(p)))
            return p;
    }
    return kNil;
}

} // namespace

Value memq(Value x, Value list)
{
    return memberBy(x, list, [](Value a, Value b) { return a == b; });
}
Value memv(Value x, Value list) { return memberBy(x, list, isEqv); }
Value memberEqual(Value x, Value list) { return memberBy(x, list, isEqual); }

namespace {

// ---- Pairs ----

Value pairP(Value v) { return boolValue(isPair(v)); }
Value listP(Value v) { return boolValue(isList(v)); }
Value atomP(Value v) { return boolValue(!isPair(v)); }
Value consPrimitive(Value a, Value d) { return cons(a, d); }

// The compositions of car and cdr: the letters between c and r, applied right to left.
constexpr const char* kCxrNames[] = { "caar", "cadr", "cdar", "cddr", "caaar", "caadr", "cadar", "caddr",
    "cdaar", "cdadr", "cddar", "cdddr", "caaaar", "caaadr", "caadar", "caaddr", "cadaar", "cadadr", "caddar",
    "cadddr", "cdaaar", "cdaadr", "cdadar", "cdaddr", "cddaar", "cddadr", "cdddar", "cddddr" };
constexpr int kCxrCount = sizeof kCxrNames / sizeof kCxrNames[0];

template <int I> Value cxr(Value v)
{
    const char* name = kCxrNames[I];
    int last = 0;
    while (name[last + 1] != 'r')
        ++last;
    for (int i = last; i >= 1; --i)
        v = name[i] == 'a' ? carOf(v) : cdrOf(v);
    return v;
}

template <int... I> void defineCxrs(std::integer_sequence<int, I...>, void (*define)(const char*, Fn1))
{
    (define(kCxrNames[I], cxr<I>), ...);
}

// third ... tenth: element N.
template <int N> Value nthElement(Value list)
{
    Value p = listTail(requireList(list), N);
    return isPair(p) ? car(p) : kNil;
}

Value setCarPrimitive(Value pair, Value v)
{
    setCar(requirePair(pair), v);
    return v;
}

Value setCdrPrimitive(Value pair, Value v)
{
    setCdr(requirePair(pair), v);
    return v;
}

// set-second! ... set-tenth!: the car of the pair N cdrs down. A list too short to have that pair
// is refused rather than written through.
template <int N> Value setNthElement(Value list, Value v)
{
    Value p = listTail(requireList(list), N);
    if (!isPair(p))
        raiseWrongType(list);
    setCar(p, v);
    return v;
}

// ---- Building and joining ----

Value listPrimitive(Value* rest)
{
    ListBuilder list;
    for (; *rest != kEnd; ++rest)
        list.add(*rest);
    return list.head;
}

Value consList(Value* rest)
{
    if (*rest == kEnd)
        return kNil;
    ListBuilder list;
    for (; rest[1] != kEnd; ++rest)
        list.add(*rest);
    if (list.head == kNil)
        return *rest;
    setCdr(list.tail, *rest);
    return list.head;
}

Value appendPrimitive(Value* rest)
{
    Value* last = nullptr;
    for (Value* a = rest; *a != kEnd; ++a)
        if (*a != kNil)
            last = a;
    if (!last)
        return kNil;
    ListBuilder result;
    for (Value* a = rest; a != last; ++a) {
        Walk walk(requireList(*a), Walk::Building);
        for (Value p = *a; isPair(p); p = cdr(p)) {
            walk.step();
            result.add(car(p));
        }
    }
    if (result.head == kNil)
        return *last;
    setCdr(result.tail, *last);
    return result.head;
}

Value appendDestructive(Value* rest)
{
    Value head = kNil, tail = kNil;
    for (Value* a = rest; *a != kEnd; ++a) {
        if (*a == kNil)
            continue;
        if (tail != kNil) {
            requirePair(tail);
            setCdr(finalPair(tail), *a);
        } else {
            head = *a;
        }
        tail = *a;
    }
    return head;
}

// ---- Walking ----

Value lengthPrimitive(Value list) { return makeInteger(listLength(requireList(list))); }

Value lastPrimitive(Value list)
{
    return isPair(requireList(list)) ? car(finalPair(list)) : kNil;
}

Value lastPairPrimitive(Value list) { return lastPair(list); }

Value butlast(Value list)
{
    if (!isPair(list))
        return kNil;
    Walk walk(list, Walk::Building);
    ListBuilder result;
    for (Value p = list; isPair(cdr(p)); p = cdr(p)) {
        walk.step();
        result.add(car(p));
    }
    return result.head;
}

Value listTailPrimitive(Value list, Value n) { return listTail(requireList(list), toIndex(n)); }

Value listRef(Value list, Value n)
{
    Value p = listTail(requireList(list), toIndex(n));
    return isPair(p) ? car(p) : kNil;
}

Value reversedRef(Value list, Value n)
{
    uint64_t index = toIndex(n);
    uint32_t length = listLength(requireList(list));
    if (index >= length)
        return kNil;
    return car(listTail(list, length - 1 - index));
}

Value sublist(Value list, Value start, Value end)
{
    uint64_t from = toIndex(start);
    uint64_t to = end == kNil ? UINT64_MAX : toIndex(end);
    ListBuilder result;
    Value p = listTail(requireList(list), from);
    Walk walk(list, Walk::Building);
    for (uint64_t i = from; i < to && isPair(p); ++i, p = cdr(p)) {
        walk.step();
        result.add(car(p));
    }
    return result.head;
}

Value reversePrimitive(Value list)
{
    if (!isPair(requireList(list)) || !isPair(cdr(list)))
        return list;
    Walk walk(list, Walk::Building);
    Value reversed = kNil;
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        reversed = cons(car(p), reversed);
    }
    return reversed;
}

Value reverseDestructive(Value list) { return reverseInPlace(requireList(list)); }
Value copyListPrimitive(Value list) { return copyList(requireList(list)); }

Value copyTree(Value v)
{
    if (tagOf(v) == Tag::Variable)
        return retag(cons(car(v), cdr(v)), Tag::Variable);
    if (!isPair(v))
        return v;
    checkCStack();
    Walk walk(v, Walk::Building);
    ListBuilder copy;
    Value p = v;
    for (; isPair(p); p = cdr(p)) {
        walk.step();
        copy.add(copyTree(car(p)));
    }
    setCdr(copy.tail, copyTree(p));
    return copy.head;
}

// ---- Searching ----

Value memqPrimitive(Value x, Value list) { return memq(x, requireList(list)); }
Value memvPrimitive(Value x, Value list) { return memv(x, requireList(list)); }
Value member(Value x, Value list, Value key, Value test) { return findMatch(x, list, key, test); }

Value find(Value x, Value list, Value key, Value test)
{
    Value p = findMatch(x, list, key, test);
    return p == kNil ? kNil : car(p);
}

Value listPosition(Value x, Value list, Value key, Value test, Value start)
{
    uint64_t index = start == kNil ? 0 : toIndex(start);
    Value p = listTail(requireList(list), index);
    Walk walk(list);
    for (; isPair(p); p = cdr(p), ++index) {
        walk.step();
        if (matches(test, x, keyOf(key, car(p))))
            return makeInteger(static_cast<int64_t>(index));
    }
    return kNil;
}

Value add(Value x, Value list, Value key, Value test)
{
    return findMatch(x, list, key, test) == kNil ? cons(x, list) : list;
}

template <typename Same> Value assocBy(Value key, Value alist, Same same)
{
    Walk walk(requireList(alist));
    for (Value p = alist; isPair(p); p = cdr(p)) {
        walk.step();
        Value entry = car(p);
        if (isPair(entry) && same(key, car(entry)))
            return entry;
    }
    return kNil;
}

Value assq(Value key, Value alist)
{
    return assocBy(key, alist, [](Value a, Value b) { return a == b; });
}
Value assv(Value key, Value alist) { return assocBy(key, alist, isEqv); }

Value assoc(Value key, Value alist, Value keyfn, Value test)
{
    return assocBy(key, alist, [&](Value x, Value k) { return matches(test, x, keyOf(keyfn, k)); });
}

Value associate(Value key, Value value, Value alist)
{
    Value entry = assv(key, alist);
    if (entry == kNil)
        return cons(cons(key, value), alist);
    setCdr(entry, value);
    return alist;
}

// ---- Removing and replacing ----

// The match is found before anything is built, so an error raised by key or test leaves no
// half-made list behind.
Value removePrimitive(Value x, Value list, Value key, Value test)
{
    Value match = findMatch(x, list, key, test);
    if (match == kNil)
        return list;
    listLength(list); // a key or test function may have made the list circular
    ListBuilder result;
    Value p = list;
    for (; isPair(p) && p != match; p = cdr(p))
        result.add(car(p));
    if (p != match) // a key or test function cut the match off the list
        return list;
    if (result.head == kNil)
        return cdr(match);
    setCdr(result.tail, cdr(match));
    return result.head;
}

// Unlinks the pair cell from list; cell is one of list's pairs.
Value unlink(Value cell, Value list)
{
    if (cell == list)
        return cdr(list);
    Walk walk(list);
    for (Value p = list; isPair(p) && isPair(cdr(p)); p = cdr(p)) {
        walk.step();
        if (cdr(p) == cell) {
            setCdr(p, cdr(cell));
            break;
        }
    }
    return list;
}

Value removeDestructive(Value x, Value list, Value key, Value test)
{
    Value match = findMatch(x, list, key, test);
    return match == kNil ? list : unlink(match, list);
}

Value removeTail(Value cell, Value list)
{
    if (!isPair(requireList(list)))
        return list;
    return unlink(cell, list);
}

Value replace(Value x, Value newValue, Value list)
{
    Value p = memberEqual(x, requireList(list));
    if (p != kNil)
        setCar(p, newValue);
    return list;
}

// ---- Predicates over elements ----

Value collectIf(Value pred, Value list, Value key)
{
    Walk walk(requireList(list), Walk::Building);
    ListBuilder result;
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        if (isTrue(funcall(pred, keyOf(key, car(p)))))
            result.add(car(p));
    }
    return result.head;
}

Value countIf(Value pred, Value list, Value key)
{
    Walk walk(requireList(list));
    int64_t n = 0;
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        if (isTrue(funcall(pred, keyOf(key, car(p)))))
            ++n;
    }
    return makeInteger(n);
}

Value findIf(Value pred, Value list, Value key)
{
    Walk walk(requireList(list));
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        if (isTrue(funcall(pred, keyOf(key, car(p)))))
            return car(p);
    }
    return kNil;
}

Value findBestIf(Value better, Value list, Value key, Value filter)
{
    Walk walk(requireList(list));
    Value best = kNil, bestKey = kNil;
    bool found = false;
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        Value candidate = car(p);
        if (filter != kNil && !isTrue(funcall(filter, candidate)))
            continue;
        Value candidateKey = keyOf(key, candidate);
        if (!found || isTrue(funcall(better, bestKey, candidateKey))) {
            best = candidate;
            bestKey = candidateKey;
            found = true;
        }
    }
    return best;
}

Value some(Value pred, Value list)
{
    Walk walk(requireList(list));
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        Value result = funcall(pred, car(p));
        if (isTrue(result))
            return result;
    }
    return kNil;
}

Value every(Value pred, Value list)
{
    Walk walk(requireList(list));
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        if (!isTrue(funcall(pred, car(p))))
            return kNil;
    }
    return kTrue;
}

Value partition(Value list, Value classes, Value key)
{
    requireList(list);
    Walk classWalk(requireList(classes), Walk::Building);
    ListBuilder buckets;
    for (Value c = classes; isPair(c); c = cdr(c)) {
        classWalk.step();
        buckets.add(cons(car(c), kNil));
    }
    Walk walk(list, Walk::Building);
    for (Value p = list; isPair(p); p = cdr(p)) {
        walk.step();
        Value keyed = keyOf(key, car(p));
        for (Value b = buckets.head; isPair(b); b = cdr(b)) {
            Value bucket = car(b);
            if (isEqual(car(bucket), keyed)) {
                setCdr(bucket, cons(car(p), cdr(bucket)));
                break;
            }
        }
    }
    for (Value b = buckets.head; isPair(b); b = cdr(b))
        setCdr(car(b), reverseInPlace(cdr(car(b))));
    return buckets.head;
}

// ---- Sort ----

// The (element, key) entries of a sort in progress. Sorts can nest (a predicate may sort), so the
// active work arrays form a chain that the collector hook marks. Each array belongs to the scope of
// its sort and is released when that scope ends, also when an error unwinds through it. Errors are
// reported before the unwinding starts and a predicate may catch an error of its own and go on, so
// the error reset leaves the arrays of running sorts alone.
struct SortWork {
    std::vector<Value> entries; // element 2i, key 2i + 1
    SortWork* previous = nullptr;
};
SortWork* gSortWork = nullptr;

class SortWorkScope {
public:
    explicit SortWorkScope(size_t count)
    {
        m_work.entries.assign(2 * count, kNil);
        m_work.previous = gSortWork;
        gSortWork = &m_work;
    }
    ~SortWorkScope() { gSortWork = m_work.previous; }
    SortWorkScope(const SortWorkScope&) = delete;
    SortWorkScope& operator=(const SortWorkScope&) = delete;
    std::vector<Value>& entries() { return m_work.entries; }

private:
    SortWork m_work;
};

class Quicksort {
public:
    Quicksort(std::vector<Value>& entries, Value pred) : m_e(entries), m_pred(pred) {}

    // Sorts [lo, hi): recursion on the smaller part, the loop goes on with the larger.
    void sort(size_t lo, size_t hi)
    {
        while (hi - lo > 1) {
            swap(lo + (hi - lo) / 2, lo);
            size_t i = lo, j = hi;
            for (;;) {
                ++i;
                while (i < hi && before(i, lo))
                    ++i;
                --j;
                while (j > lo && !before(j, lo))
                    --j;
                if (i >= j)
                    break;
                swap(i, j);
            }
            if (j == lo) {
                ++lo;
                continue;
            }
            swap(lo, j);
            if (j - lo < hi - (j + 1)) {
                sort(lo, j);
                lo = j + 1;
            } else {
                sort(j + 1, hi);
                hi = j;
            }
        }
    }

private:
    bool before(size_t a, size_t b)
    {
        Value keyA = m_e[2 * a + 1], keyB = m_e[2 * b + 1];
        return isTrue(funcall(m_pred, keyA, keyB));
    }
    void swap(size_t a, size_t b)
    {
        std::swap(m_e[2 * a], m_e[2 * b]);
        std::swap(m_e[2 * a + 1], m_e[2 * b + 1]);
    }

    std::vector<Value>& m_e;
    Value m_pred;
};

Value sortList(Value pred, Value list, Value key, Value same, bool inPlace)
{
    if (requireList(list) == kNil)
        return kNil;
    size_t n = listLength(list);
    SortWorkScope scope(n);
    std::vector<Value>& e = scope.entries();
    size_t i = 0;
    for (Value p = list; i < n; p = cdr(p), ++i)
        e[2 * i] = e[2 * i + 1] = car(p);
    if (key != kNil) {
        for (i = 0; i < n; ++i) {
            Value k = funcall(key, e[2 * i]);
            e[2 * i + 1] = k;
        }
    }
    Quicksort(e, pred).sort(0, n);

    // The surviving entries are chosen before any list is touched.
    std::vector<size_t> kept;
    kept.reserve(n);
    kept.push_back(0);
    for (i = 1; i < n; ++i) {
        if (same == kNil) {
            kept.push_back(i);
            continue;
        }
        Value previousKey = e[2 * i - 1], thisKey = e[2 * i + 1];
        if (!isTrue(funcall(same, previousKey, thisKey)))
            kept.push_back(i);
    }

    if (!inPlace) {
        Value result = kNil;
        for (size_t k = kept.size(); k-- > 0;)
            result = cons(e[2 * kept[k]], result);
        return result;
    }
    // A predicate may have shortened the list meanwhile: missing pairs are made anew.
    Value p = list, previous = kNil;
    for (size_t k : kept) {
        if (!isPair(p)) {
            p = cons(kNil, kNil);
            setCdr(previous, p);
        }
        setCar(p, e[2 * k]);
        previous = p;
        p = cdr(p);
    }
    setCdr(previous, kNil);
    return list;
}

Value sortPrimitive(Value pred, Value list, Value key, Value same) { return sortList(pred, list, key, same, false); }
Value sortDestructive(Value pred, Value list, Value key, Value same) { return sortList(pred, list, key, same, true); }

// ---- Reshaping ----

Value transposeRows(Value rows, bool reuse)
{
    Value cursors = copyList(requireList(rows)); // the rest of each row
    uint32_t width = isPair(cursors) ? listLength(car(cursors)) : 0;
    ListBuilder columns;
    for (uint32_t i = 0; i < width; ++i) {
        ListBuilder column;
        for (Value c = cursors; isPair(c); c = cdr(c)) {
            Value row = car(c);
            if (!isPair(row)) {
                column.add(kNil);
                continue;
            }
            setCar(c, cdr(row));
            if (reuse) {
                setCdr(row, kNil);
                if (column.head == kNil)
                    column.head = row;
                else
                    setCdr(column.tail, row);
                column.tail = row;
            } else {
                column.add(car(row));
            }
        }
        columns.add(column.head);
    }
    return columns.head;
}

Value transpose(Value rows) { return transposeRows(rows, false); }
Value transposeDestructive(Value rows) { return transposeRows(rows, true); }

Value changeRank(Value list, Value from, Value to)
{
    uint64_t n = listLength(requireList(list));
    uint64_t source = toIndex(from);
    uint64_t d = to == kNil ? n : std::min<uint64_t>(n, toIndex(to));
    if (source >= n || source == d || d == source + 1)
        return list;
    Value moved = listTail(list, source);
    Value anchor = d == 0 ? kNil : listTail(list, d - 1);
    Value head = list;
    if (source == 0)
        head = cdr(moved);
    else
        setCdr(listTail(list, source - 1), cdr(moved));
    if (d == 0) {
        setCdr(moved, head);
        return moved;
    }
    setCdr(moved, cdr(anchor));
    setCdr(anchor, moved);
    return head;
}

// ---- Property lists ----

Value getprop(Value key, Value plist)
{
    Walk walk(requireList(plist));
    for (Value p = plist; isPair(p); p = isPair(cdr(p)) ? cdr(cdr(p)) : kNil) {
        walk.step();
        if (car(p) == key)
            return p;
    }
    return kNil;
}

Value getf(Value key, Value plist, Value fallback)
{
    Value p = getprop(key, plist);
    if (p == kNil)
        return fallback;
    return isPair(cdr(p)) ? car(cdr(p)) : kNil;
}

Value remprop(Value key, Value plist)
{
    Value p = getprop(key, plist);
    if (p == kNil)
        return plist;
    Value after = isPair(cdr(p)) ? cdr(cdr(p)) : kNil;
    if (p == plist)
        return after;
    for (Value q = plist; isPair(q); q = cdr(q)) {
        if (cdr(q) == p) {
            setCdr(q, after);
            break;
        }
    }
    return plist;
}

Value forEachProperty(Value fn, Value plist)
{
    Walk walk(requireList(plist));
    for (Value p = plist; isPair(p); p = isPair(cdr(p)) ? cdr(cdr(p)) : kNil) {
        walk.step();
        Value k = car(p);
        Value v = isPair(cdr(p)) ? car(cdr(p)) : kNil;
        funcall(fn, k, v);
    }
    return kNoValue;
}

// ---- Counting loops ----

template <typename Each> void countFromTo(Value from, Value to, Value down, Each each)
{
    if (!isInteger(from))
        raiseWrongType(from);
    if (!isInteger(to))
        raiseWrongType(to);
    int64_t first = toInt64(from), last = toInt64(to);
    if (down == kNil) {
        for (int64_t i = first; i <= last; ++i)
            each(makeInteger(i));
    } else {
        for (int64_t i = first; i >= last; --i)
            each(makeInteger(i));
    }
}

Value forPrimitive(Value from, Value to, Value fn, Value down)
{
    countFromTo(from, to, down, [&](Value i) { funcall(fn, i); });
    return kNoValue;
}

Value forCollect(Value from, Value to, Value fn, Value down)
{
    ListBuilder result;
    countFromTo(from, to, down, [&](Value i) { result.add(funcall(fn, i)); });
    return result.head;
}

class ListModule final : public Module {
public:
    ListModule() : Module("List") {}
    void start() override
    {
        Module::start();
        defineFunction1("pair?", pairP);
        defineFunction1("list?", listP);
        defineFunction1("atom?", atomP);
        defineFunction1("car", carOf);
        defineFunction1("first", carOf);
        defineFunction1("cdr", cdrOf);
        defineCxrs(std::make_integer_sequence<int, kCxrCount>(), defineFunction1);
        defineFunction1("second", cxr<1>);
        defineFunction1("third", nthElement<2>);
        defineFunction1("fourth", nthElement<3>);
        defineFunction1("fifth", nthElement<4>);
        defineFunction1("sixth", nthElement<5>);
        defineFunction1("seventh", nthElement<6>);
        defineFunction1("eighth", nthElement<7>);
        defineFunction1("ninth", nthElement<8>);
        defineFunction1("tenth", nthElement<9>);
        defineFunction2("set-car!", setCarPrimitive);
        defineFunction2("set-first!", setCarPrimitive);
        defineFunction2("set-cdr!", setCdrPrimitive);
        defineFunction2("set-second!", setNthElement<1>);
        defineFunction2("set-third!", setNthElement<2>);
        defineFunction2("set-fourth!", setNthElement<3>);
        defineFunction2("set-fifth!", setNthElement<4>);
        defineFunction2("set-sixth!", setNthElement<5>);
        defineFunction2("set-seventh!", setNthElement<6>);
        defineFunction2("set-eighth!", setNthElement<7>);
        defineFunction2("set-ninth!", setNthElement<8>);
        defineFunction2("set-tenth!", setNthElement<9>);
        defineFunction2("cons", consPrimitive);
        defineFunctionRest0("list", listPrimitive);
        defineFunctionRest0("cons-list", consList);
        defineFunctionRest0("append", appendPrimitive);
        defineFunctionRest0("append!", appendDestructive);
        defineFunction1("length", lengthPrimitive);
        defineFunction1("last", lastPrimitive);
        defineFunction1("last-pair", lastPairPrimitive);
        defineFunction1("butlast", butlast);
        defineFunction2("list-tail", listTailPrimitive);
        defineFunction2("list-ref", listRef);
        defineFunction2("reversed-ref", reversedRef);
        defineFunction3("sublist", sublist);
        defineFunction1("reverse", reversePrimitive);
        defineFunction1("reverse!", reverseDestructive);
        defineFunction1("copy-list", copyListPrimitive);
        defineFunction1("copy-tree", copyTree);
        defineFunction2("memq", memqPrimitive);
        defineFunction2("memv", memvPrimitive);
        defineFunction4("member", member);
        defineFunction4("find", find);
        defineFunction5("list-position", listPosition);
        defineFunction4("add", add);
        defineFunction2("assq", assq);
        defineFunction2("assv", assv);
        defineFunction4("assoc", assoc);
        defineFunction3("associate", associate);
        defineFunction4("remove", removePrimitive);
        defineFunction4("remove!", removeDestructive);
        defineFunction2("remove-tail!", removeTail);
        defineFunction3("replace!", replace);
        defineFunction3("collect-if", collectIf);
        defineFunction3("count-if", countIf);
        defineFunction3("find-if", findIf);
        defineFunction4("find-best-if", findBestIf);
        defineFunction2("some", some);
        defineFunction2("every", every);
        defineFunction3("partition", partition);
        defineFunction4("sort", sortPrimitive);
        defineFunction4("sort!", sortDestructive);
        defineFunction1("transpose", transpose);
        defineFunction1("transpose!", transposeDestructive);
        defineFunction3("change-rank!", changeRank);
        defineFunction2("getprop", getprop);
        defineFunction3("getf", getf);
        defineFunction2("remprop!", remprop);
        defineFunction2("for-each-property", forEachProperty);
        defineFunction4("for", forPrimitive);
        defineFunction4("for-collect", forCollect);
    }
    void markRoots() override
    {
        for (SortWork* w = gSortWork; w; w = w->previous)
            for (Value v : w->entries)
                mark(v);
    }
} listModule;

} // namespace
