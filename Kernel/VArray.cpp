// Kernel/VArray.cpp: the VArray Module: multi-dimensional arrays and their printed form.
#include "Kernel/VArray.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Printer.h"
#include "Kernel/Symbol.h"
#include "Kernel/Vector.h"

#include <vector>

namespace {

Value toArray(Value v)
{
    if (!isArray(v))
        raiseWrongType(v);
    return v;
}

// The position of the element the indices designate, the first index varying fastest. Indices
// beyond the rank are ignored and missing ones count as 0; every index given must lie within its
// dimension, so no access leaves the block.
uint32_t arrayPosition(Value a, const Value* indices)
{
    uint32_t rank = arrayRank(a);
    uint32_t position = 0, stride = 1;
    for (uint32_t k = 0; k < rank && indices[k] != kEnd; ++k) {
        uint32_t d = arrayDimension(a, k);
        position += stride * toIndexBelow(indices[k], d);
        stride *= d;
    }
    if (position >= arrayElementCount(a))
        raiseWrongType(a); // an array without elements
    return position;
}

// (make-array d1 d2 ...): every dimension an integer from 0 to 65535 and at most 65,536
// elements in all, so that positions fit the 16-bit dimensions.
Value makeArray(Value* dims)
{
    std::vector<uint16_t> dimensions;
    uint32_t count = 1;
    for (; *dims != kEnd; ++dims) {
        uint32_t d = toIndexBelow(*dims, 0x10000);
        if (dimensions.size() >= 0xFFFF || (d != 0 && count > kMaxArrayElements / d))
            raiseWrongType(*dims);
        count *= d;
        dimensions.push_back(static_cast<uint16_t>(d));
    }
    uint16_t rank = static_cast<uint16_t>(dimensions.size());
    uint32_t bytes = 4 * count + 2 * rank + 6;
    reserveBlock(bytes);
    uint8_t* at = blockFreeEnd();
    std::memcpy(at, &count, 4);
    std::memcpy(at + 4, &rank, 2);
    if (rank > 0)
        std::memcpy(at + 6, dimensions.data(), 2 * rank);
    Value zero = makeImmediate(0);
    for (uint32_t i = 0; i < count; ++i)
        std::memcpy(at + 6 + 2 * rank + 4 * i, &zero, 4);
    return commitBlock(bytes, Tag::Array, Tag::ArrayHeader);
}

Value arrayP(Value v) { return boolValue(isArray(v)); }

Value arrayRef(Value a, Value* indices)
{
    toArray(a);
    return arrayElement(a, arrayPosition(a, indices));
}

Value arraySet(Value a, Value x, Value* indices)
{
    toArray(a);
    setArrayElement(a, arrayPosition(a, indices), x);
    return x;
}

// Copies every element of from into to, position by position; to must hold at least as many.
Value copyArray(Value from, Value to)
{
    toArray(from);
    toArray(to);
    uint32_t n = arrayElementCount(from);
    if (arrayElementCount(to) < n)
        raiseWrongType(to);
    for (uint32_t i = 0; i < n; ++i)
        setArrayElement(to, i, arrayElement(from, i));
    return kNoValue;
}

// "##" then nested lists: the outermost has one entry per value of the last index, the innermost
// hold the elements along the first index.
class ArrayPrintHandler final : public PrintHandler {
public:
    void print(Value a, NativeStream& out) override
    {
        writeText(out, "##");
        uint32_t rank = arrayRank(a);
        if (rank == 0)
            printValueTo(arrayElement(a, 0), PrintStyle::Print, out);
        else
            printLevel(a, rank - 1, 0, out);
    }

private:
    static uint32_t stride(Value a, uint32_t k)
    {
        uint32_t s = 1;
        for (uint32_t j = 0; j < k; ++j)
            s *= arrayDimension(a, j);
        return s;
    }

    // Printing an element may run Lisp code, so the block is asked for again each time.
    static void printLevel(Value a, uint32_t k, uint32_t base, NativeStream& out)
    {
        checkCStack();
        out.writeByte('(');
        uint32_t d = arrayDimension(a, k), step = stride(a, k);
        for (uint32_t i = 0; i < d; ++i) {
            if (i > 0)
                out.writeByte(' ');
            if (k == 0)
                printValueTo(arrayElement(a, base + i), PrintStyle::Print, out);
            else
                printLevel(a, k - 1, base + i * step, out);
        }
        out.writeByte(')');
    }
} gArrayPrintHandler;

class VArrayModule final : public Module {
public:
    VArrayModule() : Module("VArray") {}
    void start() override
    {
        Module::start();
        defineFunctionRest0("make-array", makeArray);
        defineFunction1("array?", arrayP);
        defineFunctionRest1("array-ref", arrayRef);
        defineFunctionRest2("array-set!", arraySet);
        defineFunction2("copy-array", copyArray);
        setPrintHandler(Tag::Array, &gArrayPrintHandler);
    }
} theVArrayModule;

} // namespace
