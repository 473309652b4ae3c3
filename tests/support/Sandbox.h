// tests/support/Sandbox.h: runs Lisp read from arbitrary bytes, as the top level of a script
// does, without reaching outside the process, and checks that the loop always moves on.
// Used by the property tests and the fuzz targets.
#pragma once

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Reader.h"
#include "Kernel/Stream.h"
#include "Kernel/Symbol.h"
#include "Platform/Host.h"

#include <chrono>
#include <string>
#include <string_view>

namespace sandbox {

// Primitives whose names hold one of these reach the machine (files, folders, processes, the
// network, the raw memory and the areas), stop or pause the run, or change the reader for the
// inputs that follow: in a sandbox they are unbound, and a call is an error report like any other.
inline constexpr std::string_view kRefused[] = {
    "file", "dir", "delete", "rename", "copy", "launch", "http", "mail", "url", "quit", "exit",
    "sleep", "pause", "wait", "mset", "block-move", "move-", "grow", "memory", "resource",
    "database", "record", "volume", "shortcut", "registry", "program", "typech", "macro-character",
    "process", "stream", "open", "save", "dispose", "handle", "recycle", "timer", "path", "system",
    "load", "symbols-table", "print-", "printer", "sound", "clipboard", "scrap", "set-language",
    "register", "finder", "alias", "remove", "create", "beep", "depth", "choose",
};

inline void refuseDangerousPrimitives()
{
    for (uint32_t i = 0; i < symbolCount(); ++i) {
        Value symbol = symbolAt(i);
        if (symbolRecord(symbol).name == 0)
            continue;
        uint32_t tag = tagOf(globalValue(symbol));
        bool callable = tag == Tag::Primitive || tag == Tag::Special
            || (tag >= Tag::FirstSpecialForm && tag <= Tag::LastSpecialForm);
        if (!callable)
            continue;
        std::string_view name = symbolNameView(symbol);
        for (std::string_view word : kRefused)
            if (name.find(word) != std::string_view::npos) {
                setGlobalValue(symbol, kNoValue);
                break;
            }
    }
}

// Output of the code under test goes nowhere.
class DiscardStream final : public NativeStream {
public:
    void seek(int64_t) override {}
    int64_t position() override { return 0; }
    int readByte() override { return kEnd; }
    int peekByte() override { return kEnd; }
    int64_t length() override { return 0; }
    void writeByte(int) override {}
    void writeBlock(const void*, size_t) override {}
};

struct Deadline {
    uint64_t end = 0;
    bool passed = false;
};
inline Deadline gDeadline;

// The evaluator's periodic poll: past the deadline the running form is abandoned as the top
// level abandons a form after an error.
inline void abandonAfterDeadline()
{
    if (gDeadline.end != 0 && hostMilliseconds() > gDeadline.end) {
        gDeadline.passed = true;
        throwTo(Sym::toplevel, kNil);
    }
}

struct Outcome {
    bool progressed = true;   // every step of the loop consumed input
    bool overran = false;     // evaluation was still running at the deadline
    uint64_t milliseconds = 0;
};

// Reads and evaluates every form of text as the top level of a script does. Each step must
// consume at least one byte, so the steps are bounded by the length: a loop that stays in place
// is reported instead of running for ever.
inline Outcome runTopLevel(const std::string& text, uint64_t limitMilliseconds)
{
    Outcome outcome;
    uint64_t start = hostMilliseconds();
    gDeadline = { start + limitMilliseconds, false };
    setEventPoll(abandonAfterDeadline);
    DiscardStream discard;
    OutputRedirection redirect(discard);
    StringInputStream in(text);
    for (size_t steps = 0;; ++steps) {
        if (steps > text.size() + 1) {
            outcome.progressed = false;
            break;
        }
        Value form = kNil;
        TopLevelRead read = readTopLevelForm(in, form);
        if (read == TopLevelRead::End)
            break;
        if (read == TopLevelRead::Failed)
            continue;
        LispStackMark mark;
        try {
            pushLisp(form);
            CatchFrame toplevel(Sym::toplevel);
            eval(form);
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
        } catch (const VEr_Quit&) {
            break; // the program ended the run
        }
    }
    setEventPoll(nullptr);
    outcome.overran = gDeadline.passed;
    gDeadline = {};
    outcome.milliseconds = hostMilliseconds() - start;
    return outcome;
}

} // namespace sandbox
