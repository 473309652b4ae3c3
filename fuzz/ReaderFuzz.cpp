// fuzz/ReaderFuzz.cpp: reads every datum of arbitrary bytes. The runtime starts once; each
// input is read inside a toplevel catch, so error reports are expected and anything else
// (a crash, a sanitizer report, a hang, an error that consumed nothing) is a fault.
//
// The first byte of an input chooses the reader's surroundings: bit 0 installs a small
// compiled-unit symbol table, bit 1 sets Loaded-File (source references), bit 2 sets Features,
// bit 3 gives the stream a Lisp stream object (user macro characters run), bit 4 makes "|" the
// decimal separator.
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace {

Value gUnitTable = kNil;
Value gFeatures = kNil;
Value gFeatureList = kNil;

void readEveryDatum(NativeStream& in)
{
    for (;;) {
        int64_t before = -1;
        try {
            CatchFrame toplevel(Sym::toplevel);
            for (;;) {
                if (readerAtEnd(in))
                    return;
                before = in.position();
                readValue(in);
            }
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
        }
        // Every reader error consumes at least the character that caused it; one that did not
        // would make a top-level loop read the same place for ever.
        if (in.position() == before)
            std::abort();
    }
}

int readInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    uint8_t flags = data[0];
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    installUnitSymbols(flags & 1 ? gUnitTable : kNil);
    setGlobalValue(Sym::loadedFile, flags & 2 ? intern("fuzz-unit") : kNil);
    setGlobalValue(gFeatures, flags & 4 ? gFeatureList : kNoValue);
    StringInputStream in(text);
    if (flags & 8)
        in.m_lispObject = intern("fuzz-stream");
    {
        DecimalSeparatorScope separator(flags & 16 ? '|' : '.');
        readEveryDatum(in);
    }
    dropUnitSymbols();
    setGlobalValue(Sym::loadedFile, kNil);
    return 0;
}

// "!" becomes a user macro character; it answers a constant.
void defineMacros()
{
    StringInputStream setup("(typech 33 4) (set-macro-character 33 (lambda () 'bang))");
    while (!readerAtEnd(setup))
        eval(readValue(setup));
}

} // namespace

int main(int argc, char** argv)
{
    TopFrame top;
    setErrorMessageSink([](const std::string&) { return 1; });
    startMemory();
    startModules();
    for (int i = 39; i >= 0; --i) // a list: the reader copies it into a vector
        gUnitTable = cons(internCopy("unit-" + std::to_string(i)), gUnitTable);
    setGlobalValue(intern("fuzz-unit-table"), gUnitTable); // global values keep both alive
    gFeatures = intern("Features");
    gFeatureList = cons(intern("windows"), cons(intern("graphics"), kNil));
    setGlobalValue(intern("fuzz-feature-list"), gFeatureList); // a root for the list
    try {
        CatchFrame toplevel(Sym::toplevel);
        defineMacros();
    } catch (const VEr_Thrower&) {
        return 2;
    }
    int status = LLVMFuzzerRunDriver(&argc, &argv, readInput);
    stopModules();
    stopMemory();
    return status;
}
