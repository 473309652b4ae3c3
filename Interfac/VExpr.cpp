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
    }
} theVExprModule;

} // namespace
