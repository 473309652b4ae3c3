// fuzz/CharsetsFuzz.cpp: the character-set conversions on arbitrary bytes. The first byte chooses
// skip-tokens and a count (taken modulo the length + 1); the conversion primitives run over a
// memory pointer, and the plain conversions must be exact inverses where both tables have entries.
#include "FuzzRuntime.h"

#include "Kernel/Charsets.h"

#include <string>

namespace {

int convertInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    bool skipTokens = data[0] & 1;
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    int64_t count = (data[0] >> 1) % (bytes.size() + 1);

    // Round trips through the tables.
    std::string mac = bytes;
    ptrdiff_t missing = convertBytes(reinterpret_cast<unsigned char*>(mac.data()), mac.size(), charsets::kMacToWindows);
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (macToWindows(b) != 0 && windowsToMac(macToWindows(b)) != b)
            fuzz::fail("Mac to Windows and back changes a byte");
        if (windowsToMac(b) != 0 && macToWindows(windowsToMac(b)) != b)
            fuzz::fail("Windows to Mac and back changes a byte");
        if ((missing < 0 || static_cast<size_t>(missing) > i) && macToWindows(b) == 0)
            fuzz::fail("a byte without entry went unreported");
    }

    const char* names[3] = { "mac->ibm-ptr", "ibm->mac-ptr", "iso->mac" };
    for (const char* name : names) {
        Value buffer = fuzz::memoryWith(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        Value result = kNil;
        Value flag = skipTokens ? kTrue : kNil;
        bool ok = std::strcmp(name, "iso->mac") == 0
            ? fuzz::call(result, name, buffer, kNil, makeInteger(count), flag)
            : fuzz::call(result, name, buffer, makeInteger(count), flag);
        if (!ok)
            fuzz::fail("a conversion within the buffer raised an error");
        if (std::memcmp(hostAddress(pointerAddress(buffer)) + count, bytes.data() + count, bytes.size() - count) != 0)
            fuzz::fail("a conversion wrote past its count");
        fuzz::dispose(buffer);
    }
    Value tooMany = fuzz::memoryWith(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    Value ignored = kNil;
    if (fuzz::call(ignored, "mac->ibm-ptr", tooMany, makeInteger(bytes.size() + 1), kTrue))
        fuzz::fail("a count past the buffer was accepted");
    fuzz::dispose(tooMany);

    std::string text;
    for (char c : bytes)
        text.push_back(c ? c : 'x');
    Value result = kNil;
    if (!fuzz::call(result, "mac->ibm-string", makeString(text)))
        fuzz::fail("mac->ibm-string raised an error");
    if (!fuzz::call(result, "ibm->mac-string", makeString(text)))
        fuzz::fail("ibm->mac-string raised an error");
    return 0;
}

} // namespace

int main(int argc, char** argv) { return fuzz::run(argc, argv, convertInput, [] {}); }
