// fuzz/ExprFuzz.cpp: the structural search and unify-expr over arbitrary source text. The first
// byte chooses step-over, the start (modulo the length + 1) and the pattern set; every answer must
// be an extent inside the text.
#include "FuzzRuntime.h"

namespace {

Value gPatternSets = kNil;

void checkExtent(Value extent, int64_t size)
{
    if (!isPair(extent) || !isImmediateInteger(car(extent)) || !isImmediateInteger(cdr(extent)))
        fuzz::fail("an extent that is no pair of integers");
    int64_t from = integerValue(car(extent)), to = integerValue(cdr(extent));
    if (from < 0 || from > to || to > size)
        fuzz::fail("an extent outside the text");
}

int searchInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    uint8_t flags = data[0];
    int64_t length = static_cast<int64_t>(size - 1);
    Value buffer = fuzz::memoryWith(data + 1, size - 1);
    Value patterns = car(listTail(gPatternSets, (flags >> 1) % listLength(gPatternSets)));
    int64_t start = (flags >> 3) % (length + 1);
    Value result = kNil;
    if (!fuzz::call(result, "search-symbolic", patterns, buffer, makeInteger(length), makeInteger(start),
                    makeInteger(start), (flags & 1) ? kTrue : kNil, kNil))
        fuzz::fail("search-symbolic raised an error");
    if (isTrue(result)) {
        checkExtent(cdr(result), length);
        Value bindings = kNil;
        if (!fuzz::call(bindings, "unify-expr", car(result), buffer, makeInteger(length), car(cdr(result)),
                        cdr(cdr(result))))
            fuzz::fail("unify-expr raised an error");
        for (Value b = bindings; isPair(b); b = cdr(b))
            checkExtent(cdr(car(b)), length);
    }
    fuzz::dispose(buffer);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return fuzz::run(argc, argv, searchInput, [] {
        gPatternSets = fuzz::evalText(
            "(define Fuzz-W (list Symbolic-Token)) (define Fuzz-W1 (list Symbolic-Token 1))"
            " (define Fuzz-W2 (list Symbolic-Token 2))"
            " (define Fuzz-Sets (list (list 'a \"s\" 12 '())"
            "   (list (list 'define Fuzz-W Fuzz-W2) (list Fuzz-W1 'b Fuzz-W2))"
            "   (list (cons 'a Fuzz-W) (cons 'a (cons Fuzz-W1 'b)) (list (list Fuzz-W2) Fuzz-W1))"
            "   (list (cons :prm 'x) (list Fuzz-W2 Fuzz-W2 'c))))"
            " Fuzz-Sets");
    });
}
