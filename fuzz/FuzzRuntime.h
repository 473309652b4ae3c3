// fuzz/FuzzRuntime.h: what the primitive fuzzers share: the runtime started once, primitives called
// by name inside a toplevel catch, and byte buffers as Lisp memory pointers.
#pragma once

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace fuzz {

// A fault of the code under test that no sanitizer sees: a wrong answer.
[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// Calls the primitive named name; false when it raised an error report.
template <typename... Args> bool call(Value& result, const char* name, Args... args)
{
    try {
        CatchFrame toplevel(Sym::toplevel);
        result = funcall(globalValue(intern(name)), args...);
        return true;
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
    }
    return false;
}

inline Value evalText(const char* text)
{
    StringInputStream in(text);
    Value result = kNil;
    while (!readerAtEnd(in))
        result = eval(readValue(in));
    return result;
}

// A memory pointer holding bytes; freed by the collector when unreachable, or by dispose.
inline Value memoryWith(const uint8_t* bytes, size_t size)
{
    Value p = makePointer(gMemoryPointerKind, 0);
    uint32_t address = newMemoryPointer(static_cast<uint32_t>(size));
    if (!address)
        fail("no memory for a buffer");
    if (size)
        std::memcpy(hostAddress(address), bytes, size);
    cellOf(p).cdr = address;
    return p;
}

inline void dispose(Value p)
{
    if (pointerKindIndex(p) == gHandleKind.index())
        disposeHandle(pointerAddress(p));
    else
        disposeMemoryPointer(pointerAddress(p));
    cellOf(p).cdr = 0;
}

template <typename Setup> int run(int argc, char** argv, int (*callback)(const uint8_t*, size_t), Setup setup)
{
    TopFrame top;
    setErrorMessageSink([](const std::string&) { return 1; });
    startMemory();
    startModules();
    try {
        CatchFrame toplevel(Sym::toplevel);
        setup();
    } catch (const VEr_Thrower&) {
        return 2;
    }
    int status = LLVMFuzzerRunDriver(&argc, &argv, callback);
    stopModules();
    stopMemory();
    return status;
}

} // namespace fuzz
