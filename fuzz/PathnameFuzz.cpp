// fuzz/PathnameFuzz.cpp: paths and names from outside (command lines, replay answers, folder
// listings, Lisp strings). The first byte chooses the operation: 0 a native path to a pathname
// and back, 1 match-filename (name and pattern split at the first line feed), 2 code page 1252
// and UTF-8 conversions, 3 the host and Lisp forms of a path over a drive table whose folders do
// not exist (no real folder is listed), 4 and 5 the bytes read through a Mac-Stream or PC-Stream
// and written through another into a handle. Error reports and throws to bad-character are
// expected; anything else is a fault.
#include "Interfac/Pathname.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Platform/Files/Files.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace {

int runInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 6) {
    case 0:
        try {
            CatchFrame toplevel(Sym::toplevel);
            Value pathname = pathnameOf(text);
            std::string back = nativePathOf(pathname);
            // A path without a drive prefix or leading separator comes back as it was.
            if (text.size() <= kMaxNativePath && text.find('\0') == std::string::npos && text.find(':') == std::string::npos && (text.empty() || text[0] != '\\') &&
                (text.empty() || text.back() != '\\') && back != text)
                std::abort();
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
        }
        break;
    case 1: {
        size_t cut = text.find('\n');
        std::string name = text.substr(0, cut);
        std::string pattern = cut == std::string::npos ? std::string() : text.substr(cut + 1);
        bool matched = matchFilename(name, pattern);
        if (pattern == "*" && !matched)
            std::abort();
        break;
    }
    case 2: {
        std::string cp;
        if (utf8ToCp1252(text, cp) && cp1252ToUtf8(cp) != text)
            std::abort();
        std::string back;
        if (!utf8ToCp1252(cp1252ToUtf8(text), back) || back != text)
            std::abort();
        break;
    }
    case 3: {
        std::string host, lisp;
        if (!failed(filesHostPath(text, host)) && host.empty())
            std::abort();
        filesLispPath(text, lisp);
        break;
    }
    case 4:
    case 5:
        try {
            CatchFrame toplevel(Sym::toplevel);
            Value filter = globalValue(intern(data[0] % 6 == 4 ? "Mac-Stream" : "PC-Stream"));
            funcall(globalValue(intern("fuzz-filter")), makeString(text), filter);
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
        }
        break;
    }
    return 0;
}

// Reads a string through a filter of class c in blocks, writing each block through another filter
// of the same class into an output handle; a rejected byte ends only its block.
const char* const kFilterCode = R"(
(define (fuzz-pump _f _w _h)
  (unless (_f (end-of-stream?))
    (catch 'bad-character (_w (write-block _h (_f (read-block _h 7)))))
    (fuzz-pump _f _w _h)))
(define (fuzz-filter _text _c)
  (let ((_in (make-instance Input-Stream-String)) (_f (make-instance _c))
        (_out (make-instance obj-output-handle)) (_w (make-instance _c)) (_h (new-handle 7)))
    (_in (link-object)) (_in (set! target-string _text)) (_in (open))
    (_f (link-object)) (_f (set! stream _in)) (_f (open))
    (_out (link-object)) (_out (open))
    (_w (link-object)) (_w (set! stream _out)) (_w (open))
    (fuzz-pump _f _w _h)
    (catch 'bad-character (read _f))
    (_w (destroy-c)) (_out (destroy-c)) (_f (destroy-c)) (_in (destroy-c))
    (dispose-handle _h)))
)";

} // namespace

int main(int argc, char** argv)
{
    TopFrame top;
    setErrorMessageSink([](const std::string&) { return 1; });
    filesSetDrives("C:=/nonexistent-velora-fuzz/c;D:=/nonexistent-velora-fuzz/d:cdrom");
    startMemory();
    startModules();
    try {
        CatchFrame toplevel(Sym::toplevel);
        StringInputStream code(kFilterCode);
        while (!readerAtEnd(code))
            eval(readValue(code));
    } catch (const VEr_Thrower&) {
        return 2;
    }
    int status = LLVMFuzzerRunDriver(&argc, &argv, runInput);
    stopModules();
    stopMemory();
    return status;
}
