// fuzz/CompiledUnitFuzz.cpp: builds a symbol table from arbitrary SYMB bytes and reads every
// datum of an arbitrary compiled unit with it. The input is a big-endian u16 n, n bytes of SYMB
// resource, then the unit's bytes.
#include "Interfac/VLoad.h"
#include "Kernel/Error.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Reader.h"
#include "Kernel/Stream.h"
#include "Kernel/Symbol.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace {

int readUnit(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t symbLength = std::min<size_t>(size - 2, size_t(data[0]) << 8 | data[1]);
    std::string symb(reinterpret_cast<const char*>(data) + 2, symbLength);
    size_t unitLength = size - 2 - symbLength;
    try {
        CatchFrame toplevel(Sym::toplevel);
        installUnitSymbols(symbolTableFromBytes(symb, kNil));
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
    }
    Handle h = newHandle(static_cast<uint32_t>(unitLength));
    if (unitLength > 0)
        std::memcpy(hostAddress(handleAddress(h)), data + 2 + symbLength, unitLength);
    {
        HandleStream in(h, HandleStream::Mode::Read);
        for (;;) {
            int64_t before = in.position();
            bool ended = false;
            try {
                CatchFrame toplevel(Sym::toplevel);
                Value datum = kNil;
                ended = readToken(in, datum) == ReaderToken::End;
            } catch (const VEr_Thrower& thrown) {
                if (thrown.tag != Sym::toplevel)
                    throw;
                if (in.position() == before)
                    break; // an error that consumed nothing would repeat forever
            }
            if (ended)
                break;
        }
    }
    disposeHandle(h);
    dropUnitSymbols();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    TopFrame top;
    setErrorMessageSink([](const std::string&) { return 1; });
    startMemory();
    startModules();
    int status = LLVMFuzzerRunDriver(&argc, &argv, readUnit);
    stopModules();
    stopMemory();
    return status;
}
