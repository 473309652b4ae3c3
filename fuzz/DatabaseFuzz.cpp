// fuzz/DatabaseFuzz.cpp: opens arbitrary bytes as a record database and reads every record.
// Bit 0 of the first byte opens it for writing too: a record is added and the database updated,
// and an update that reports success must leave a file that opens again.
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

// Evaluates the forms; false when an error report abandoned them.
bool evalForms(const std::string& text)
{
    try {
        CatchFrame toplevel(Sym::toplevel);
        StringInputStream in(text);
        while (!readerAtEnd(in))
            eval(readValue(in));
        return true;
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
        return false;
    }
}

std::string readEverything()
{
    return "(let ((_i 0) (_t nil)) (while (< _i (count-record-types Fuzz-Db)) (set! _t (get-indexed-type _i Fuzz-Db))"
           " (let ((_j 0) (_r nil)) (while (< _j (count-records _t Fuzz-Db))"
           " (set! _r (get-indexed-record _t _j Fuzz-Db nil)) (get-record-size _r) (get-record-name _r)"
           " (set! _j (+ _j 1)))) (set! _i (+ _i 1))))";
}

int openInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    bool write = data[0] & 1;
    FILE* file = std::fopen(gPath.c_str(), "wb");
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
    std::string path = "\"" + gPath + "\"";
    if (!evalForms("(define Fuzz-Db (open-database " + path + (write ? " :mode 'output))" : "))")))
        return 0;
    evalForms(readEverything());
    if (!write) {
        evalForms("(close-database Fuzz-Db t)");
        return 0;
    }
    evalForms("(add-record (string->handle \"fuzz\") \"FUZZ\" (unique-record-id \"FUZZ\" Fuzz-Db) \"added\" Fuzz-Db nil)");
    bool updated = evalForms("(update-database Fuzz-Db)");
    evalForms("(close-database Fuzz-Db t)");
    if (updated) {
        if (!evalForms("(define Fuzz-Db (open-database " + path + "))")) {
            std::fprintf(stderr, "a database updated successfully does not open again\n");
            std::abort();
        }
        evalForms(readEverything());
        evalForms("(close-database Fuzz-Db t)");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    TopFrame top;
    setErrorMessageSink([](const std::string&) { return 1; });
    startMemory();
    startModules();
    gPath = "/tmp/velora-database-fuzz-" + std::to_string(getpid()) + ".db";
    int status = LLVMFuzzerRunDriver(&argc, &argv, openInput);
    std::remove(gPath.c_str());
    std::remove((gPath + ".compacting").c_str());
    stopModules();
    stopMemory();
    return status;
}
