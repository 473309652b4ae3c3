// Interfac/CommandLine.cpp: --version, --script, --eval and --repl. Scripts and the REPL run
// without the boot sequence and without an image: the Modules start, forms are read and
// evaluated in order, and each error report is one line on standard error.
#include "Interfac/CommandLine.h"

#include "Interfac/Booting.h"
#include "Interfac/VAlert.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Module.h"
#include "Kernel/Printer.h"
#include "Kernel/Reader.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"
#include "Kernel/Vector.h"
#include "Platform/Audio/Audio.h"
#include "Platform/Host.h"

#include <histedit.h>

#include <algorithm>
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

// The meaning of the error codes a user meets most, for the line under a report.
const char* errorWords(long family, long code)
{
    static const struct {
        long family, code;
        const char* words;
    } kWords[] = {
        { 1010, 0, "user error" },
        { 1010, 2, "wrong type" },
        { 1010, 3, "written after reading" },
        { 1010, 4, "read after writing" },
        { 1010, 5, "not applicable" },
        { 1010, 6, "unbound symbol" },
        { 1010, 9, "memory exhausted" },
        { 1010, 15, "cannot be made permanent" },
        { 1010, 17, "no catch for the tag" },
        { 1010, 25, "syntax error or unexpected end of input" },
        { 1010, 42, "missing argument" },
        { 1010, 58, "division by zero" },
        { 1010, 60, "empty handle" },
    };
    for (const auto& entry : kWords)
        if (entry.family == family && entry.code == code)
            return entry.words;
    return nullptr;
}

// Each report is its own line on standard error; a line naming the error in words follows when
// the code is a known one.
int reportOnStandardError(const std::string& text)
{
    ++gReportedErrors;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    long family = 0, code = 0;
    if (std::sscanf(text.c_str(), "Error: %ld-%ld,", &family, &code) == 2)
        if (const char* words = errorWords(family, code))
            std::fprintf(stderr, "  (%s)\n", words);
    std::fflush(stderr);
    return 1;
}

// An alert on the command line (out of memory, for instance) is a reported problem too.
int alertOnStandardError(int, const std::string& text, int defaultButton)
{
    ++gReportedErrors;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    return defaultButton;
}

// The REPL shows values as they would be typed: strings and symbols in write style, inside
// lists and vectors too; other values in print style (write style refuses most of them).
void showForRepl(Value v, NativeStream& out, int depth)
{
    constexpr int kMaxDepth = 64;
    constexpr uint32_t kMaxElements = 100000;
    if (depth > kMaxDepth) {
        writeText(out, "...");
        return;
    }
    if (isString(v) || isSymbol(v)) {
        printValueTo(v, PrintStyle::Write, out);
    } else if (isPair(v)) {
        out.writeByte('(');
        uint32_t count = 0;
        for (; isPair(v); v = cdr(v)) {
            if (count > 0)
                out.writeByte(' ');
            if (++count > kMaxElements) {
                writeText(out, "...");
                v = kNil;
                break;
            }
            showForRepl(car(v), out, depth + 1);
        }
        if (v != kNil) {
            writeText(out, " . ");
            showForRepl(v, out, depth + 1);
        }
        out.writeByte(')');
    } else if (isVector(v)) {
        writeText(out, "#(");
        uint32_t n = vectorLength(v);
        for (uint32_t i = 0; i < n; ++i) {
            if (i > 0)
                out.writeByte(' ');
            showForRepl(vectorElement(v, i), out, depth + 1);
        }
        out.writeByte(')');
    } else {
        printValueTo(v, PrintStyle::Print, out);
    }
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
        switch (readTopLevelForm(in, form)) {
        case TopLevelRead::End:
            return;
        case TopLevelRead::Failed:
            continue;
        case TopLevelRead::Form:
            evalTopLevel(form, nullptr);
            continue;
        }
    }
}

enum class Shown { AsPrinted, ForRepl };

// Shows a value on the current output, then a line end.
void printResult(Value result, Shown shown)
{
    try {
        CatchFrame toplevel(Sym::toplevel);
        if (shown == Shown::ForRepl)
            showForRepl(result, *gCurrentOutput, 0);
        else
            printValue(result);
        gCurrentOutput->writeByte('\r');
        gCurrentOutput->flush();
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
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
            TopLevelRead step = readTopLevelForm(in, form);
            if (step == TopLevelRead::End)
                break;
            Value result;
            if (step == TopLevelRead::Form && evalTopLevel(form, &result))
                printResult(result, Shown::ForRepl);
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
    setAlertSink(alertOnStandardError);
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
                Value result;
                if (readTopLevelForm(in, form) == TopLevelRead::Form && evalTopLevel(form, &result))
                    printResult(result, Shown::AsPrinted);
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
    std::puts("usage: velora [--image FILE] [--headless] [--replay FILE] [DOCUMENT...] | --version | --script FILE... | --eval EXPR | --repl");
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
    // --headless keeps the run off the host's devices, the display and sound, whatever it runs.
    bool headless = std::erase(args, std::string("--headless")) > 0;
    if (headless)
        audioUseNullDevice(true);
    auto withHeadless = [&](std::vector<std::string> rest) {
        if (headless)
            rest.insert(rest.begin(), "--headless");
        return rest;
    };
    if (args.empty() || args[0].rfind("--", 0) != 0 || args[0] == "--replay")
        return bootImage(std::string(), withHeadless(args));
    if (args[0] == "--image" && args.size() >= 2)
        return bootImage(args[1], withHeadless({ args.begin() + 2, args.end() }));
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
