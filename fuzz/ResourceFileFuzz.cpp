// fuzz/ResourceFileFuzz.cpp: opens arbitrary bytes as a resource file and reads every resource.
// Bit 0 of the first byte opens it for writing too: a resource is added and written back, and a
// write-back that reports success must leave a file that opens again.
#include "Interfac/Resource.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace {

std::string gPath;

void evalForms(const std::string& text)
{
    try {
        CatchFrame toplevel(Sym::toplevel);
        StringInputStream in(text);
        while (!readerAtEnd(in))
            eval(readValue(in));
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
    }
}

const char* const kReadEverything =
    "(let ((_i 1) (_t nil)) (while (<= _i (count1types)) (set! _t (get1indtype _i))"
    " (let ((_j 1) (_r nil)) (while (<= _j (count1resources _t)) (set! _r (get1indresource _t _j))"
    " (when _r (sizeresource _r) (getresname _r) (getresattrs _r) (get-resource-name _t (getresid _r)))"
    " (set! _j (+ _j 1)))) (set! _i (+ _i 1))))";

int openInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    bool write = data[0] & 1;
    FILE* file = std::fopen(gPath.c_str(), "wb");
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
    int refNum = openResourceFile(gPath, !write);
    if (refNum < 0)
        return 0;
    evalForms(kReadEverything);
    evalForms("(get-ind-string 128 1) (get-nb-string 128) (get-bndl-creator)");
    if (write) {
        evalForms("(addresource (string->handle \"fuzz\") \"FUZZ\" (uniqueid \"FUZZ\") \"added\")");
        evalForms("(updateresfile (curresfile))");
        bool written = resError() == 0;
        discardResourceFile(refNum);
        if (written) {
            int again = openResourceFile(gPath, true);
            if (again < 0) {
                std::fprintf(stderr, "a file written back successfully does not open again: %d\n", resError());
                std::abort();
            }
            evalForms(kReadEverything);
            refNum = again;
        } else {
            return 0;
        }
    }
    discardResourceFile(refNum);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    TopFrame top;
    setErrorMessageSink([](const std::string&) { return 1; });
    startMemory();
    startModules();
    gPath = "/tmp/velora-resource-fuzz-" + std::to_string(getpid()) + ".rsrc";
    int status = LLVMFuzzerRunDriver(&argc, &argv, openInput);
    std::remove(gPath.c_str());
    stopModules();
    stopMemory();
    return status;
}
