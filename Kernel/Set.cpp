// Kernel/Set.cpp: the Set Module: lists used as sets, under a key function and a test.
// A nil key means the element itself; a nil test means equal?; the test receives the searched
// item first. Every list argument must be a proper list.
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Logical.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Symbol.h"
#include "Kernel/Vector.h"

namespace {

Value keyed(Value key, Value x) { return key == kNil ? x : funcall(key, x); }

bool matches(Value test, Value item, Value element)
{
    return test == kNil ? isEqual(item, element) : funcall(test, item, element) != kNil;
}

// Whether item matches the keyed value of some element of set. The key and test may be Lisp code
// that changes the list, so the walk checks each link.
bool isMember(Value item, Value set, Value key, Value test)
{
    for (; isPair(set); set = cdr(set))
        if (matches(test, item, keyed(key, car(set))))
            return true;
    return false;
}

bool includes(Value a, Value b, Value key, Value test)
{
    for (; isPair(a); a = cdr(a))
        if (!isMember(keyed(key, car(a)), b, key, test))
            return false;
    return true;
}

// A fresh list of the elements of a whose keyed value is (or is not) a member of b, in a's order.
Value filter(Value a, Value b, Value key, Value test, bool wanted)
{
    Value head = kNil, tail = kNil;
    for (; isPair(a); a = cdr(a)) {
        if (isMember(keyed(key, car(a)), b, key, test) != wanted)
            continue;
        Value cell = cons(car(a), kNil);
        if (head == kNil)
            head = cell;
        else
            setCdr(tail, cell);
        tail = cell;
    }
    return head;
}

// A copy of list with tail as the cdr of its last pair.
Value copyOnto(Value list, Value tail)
{
    Value head = kNil, last = kNil;
    for (; isPair(list); list = cdr(list)) {
        Value cell = cons(car(list), kNil);
        if (head == kNil)
            head = cell;
        else
            setCdr(last, cell);
        last = cell;
    }
    if (head == kNil)
        return tail;
    setCdr(last, tail);
    return head;
}

// Unlinks every element whose keyed value matches that of an earlier element; first occurrences
// keep their order.
Value removeDuplicates(Value list, Value key, Value test)
{
    for (Value j = list; isPair(j); j = cdr(j)) {
        Value item = keyed(key, car(j));
        Value previous = j;
        while (isPair(previous) && isPair(cdr(previous))) {
            Value k = cdr(previous);
            if (matches(test, item, keyed(key, car(k))))
                setCdr(previous, cdr(k));
            else
                previous = k;
        }
    }
    return list;
}

Value includeP(Value a, Value b, Value key, Value test)
{
    properListLength(a);
    properListLength(b);
    return boolValue(includes(a, b, key, test));
}

Value equalSetP(Value a, Value b, Value key, Value test)
{
    properListLength(a);
    properListLength(b);
    return boolValue(includes(a, b, key, test) && includes(b, a, key, test));
}

Value intersection(Value a, Value b, Value key, Value test)
{
    properListLength(a);
    properListLength(b);
    return filter(a, b, key, test, true);
}

Value difference(Value a, Value b, Value key, Value test)
{
    properListLength(a);
    properListLength(b);
    return b == kNil ? a : filter(a, b, key, test, false);
}

Value unionPrimitive(Value a, Value b, Value key, Value test)
{
    properListLength(a);
    properListLength(b);
    Value both = copyOnto(a, copyOnto(b, kNil));
    return removeDuplicates(both, key, test);
}

Value makeSet(Value list, Value key, Value test, Value inPlace)
{
    properListLength(list);
    return removeDuplicates(isFlagSet(inPlace) ? list : copyOnto(list, kNil), key, test);
}

class SetModule final : public Module {
public:
    SetModule() : Module("Set") {}
    void start() override
    {
        Module::start();
        defineFunction4("include?", includeP);
        defineFunction4("equal-set?", equalSetP);
        defineFunction4("intersection", intersection);
        defineFunction4("difference", difference);
        defineFunction4("union", unionPrimitive);
        defineFunction4("make-set", makeSet);
    }
} theSetModule;

} // namespace
