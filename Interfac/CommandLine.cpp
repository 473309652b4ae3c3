// Interfac/CommandLine.cpp: --version, --script, --eval and --repl. Scripts and the REPL run
// without the boot sequence and without an image: the Modules start, forms are read and
// evaluated in order, and each error report is one line on standard error.
#include "Interfac/CommandLine.h"

#include "Interfac/Booting.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Module.h"
#include "Kernel/Printer.h"
#include "Kernel/Reader.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"
#include "Platform/Host.h"

#include <histedit.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kStackBytes = 64ull << 20;
int gReportedErrors = 0;

int reportOnStandardError(const std::string& text)
{
    ++gReportedErrors;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    return 1;
}

// Evaluates one form inside a toplevel catch; false when the form's evaluation was abandoned.
// The form stays on the Lisp stack while it runs: nothing else holds it, only pieces of it are
// held by the evaluation.
bool evalTopLevel(Value form, Value* result)
{
    LispStackMark mark;
    try {
        pushLisp(form);
        CatchFrame toplevel(Sym::toplevel);
        Value v = eval(form);
        if (result)
            *result = v;
        return true;
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
        return false;
    }
}

// Reads and evaluates every form of the stream.
void runStream(NativeStream& in)
{
    for (;;) {
        Value form = kNil;
        bool ended = false;
        bool read = false;
        try {
            CatchFrame toplevel(Sym::toplevel);
            if (readerAtEnd(in)) {
                ended = true;
            } else {
                form = readValue(in);
                read = true;
            }
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
        }
        if (ended)
            return;
        if (read)
            evalTopLevel(form, nullptr);
    }
}

bool readFile(const char* path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}

// Whether text holds at least one complete form: brackets balance outside strings and comments.
bool isCompleteInput(const std::string& text)
{
    int depth = 0;
    bool inString = false;
    bool any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        int cls = characterClass(c);
        if (cls == 19) {
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else if (c == '\\') {
            ++i;
            any = true;
        } else if (cls == 5) {
            inString = true;
            any = true;
        } else if (cls == 1) {
            ++depth;
            any = true;
        } else if (cls == 2) {
            --depth;
        } else if (cls != 20 && cls < 21) {
            any = true;
        }
    }
    return any && !inString && depth <= 0;
}

const char* prompt(EditLine*) { return "velora> "; }

void runRepl()
{
    EditLine* editor = el_init("velora", stdin, stdout, stderr);
    History* hist = history_init();
    HistEvent event;
    history(hist, &event, H_SETSIZE, 500);
    el_set(editor, EL_PROMPT, prompt);
    el_set(editor, EL_EDITOR, "emacs");
    el_set(editor, EL_HIST, history, hist);
    std::string pending;
    for (;;) {
        int count = 0;
        const char* line = el_gets(editor, &count);
        if (!line || count <= 0)
            break;
        pending += line;
        if (!isCompleteInput(pending))
            continue;
        std::string input = pending;
        if (!input.empty() && input.back() == '\n')
            input.pop_back();
        history(hist, &event, H_ENTER, input.c_str());
        StringInputStream in(pending);
        pending.clear();
        for (;;) {
            Value form = kNil;
            bool ended = false;
            try {
                CatchFrame toplevel(Sym::toplevel);
                if (readerAtEnd(in))
                    ended = true;
                else
                    form = readValue(in);
            } catch (const VEr_Thrower& thrown) {
                if (thrown.tag != Sym::toplevel)
                    throw;
                break;
            }
            if (ended)
                break;
            Value result;
            if (evalTopLevel(form, &result)) {
                try {
                    CatchFrame toplevel(Sym::toplevel);
                    printValue(result);
                    gCurrentOutput->writeByte('\r');
                    gCurrentOutput->flush();
                } catch (const VEr_Thrower&) {
                }
            }
        }
    }
    history_end(hist);
    el_end(editor);
}

enum class Mode { Script, Eval, Repl };

int runInterpreter(Mode mode, const std::vector<std::string>& inputs)
{
    TopFrame top;
    setErrorMessageSink(reportOnStandardError);
    int status = 0;
    try {
        startMemory();
        try {
            startModules();
            switch (mode) {
            case Mode::Script:
                for (const std::string& path : inputs) {
                    std::string text;
                    if (!readFile(path.c_str(), text)) {
                        std::fprintf(stderr, "velora: cannot read %s\n", path.c_str());
                        status = 2;
                        break;
                    }
                    StringInputStream in(text);
                    runStream(in);
                }
                break;
            case Mode::Eval: {
                StringInputStream in(inputs.front());
                Value form = kNil;
                bool read = false;
                try {
                    CatchFrame toplevel(Sym::toplevel);
                    form = readValue(in);
                    read = true;
                } catch (const VEr_Thrower& thrown) {
                    if (thrown.tag != Sym::toplevel)
                        throw;
                }
                Value result;
                if (read && evalTopLevel(form, &result)) {
                    try {
                        CatchFrame toplevel(Sym::toplevel);
                        printValue(result);
                        gCurrentOutput->writeByte('\r');
                    } catch (const VEr_Thrower&) {
                    }
                }
                break;
            }
            case Mode::Repl:
                runRepl();
                break;
            }
        } catch (const VEr_Quit&) {
        }
        gCurrentOutput->flush();
        std::fflush(stdout);
        stopModules();
    } catch (const VEr_Quit&) {
    }
    stopMemory();
    if (status == 0 && gReportedErrors > 0)
        status = 1;
    return status;
}

void usage()
{
    std::puts("usage: velora [--image FILE] [DOCUMENT...] | --version | --script FILE... | --eval EXPR | --repl");
}

} // namespace

int runCommandLine(int argc, char** argv)
{
    hostEnlargeStack(kStackBytes);
    if (const char* stress = std::getenv("VELORA_GC_STRESS"); stress && std::strcmp(stress, "0") != 0) {
        gCollectorStress = true;
        long interval = std::strtol(stress, nullptr, 10);
        gCollectorStressInterval = interval > 0 ? static_cast<uint32_t>(interval) : 1;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0].rfind("--", 0) != 0)
        return bootImage(std::string(), args);
    if (args[0] == "--image" && args.size() >= 2)
        return bootImage(args[1], { args.begin() + 2, args.end() });
    if (args[0] == "--version") {
        std::printf("Velora %s\n", VELORA_VERSION);
        return 0;
    }
    if (args[0] == "--script" && args.size() >= 2)
        return runInterpreter(Mode::Script, { args.begin() + 1, args.end() });
    if (args[0] == "--eval" && args.size() == 2)
        return runInterpreter(Mode::Eval, { args[1] });
    if (args[0] == "--repl")
        return runInterpreter(Mode::Repl, {});
    usage();
    return 2;
}
