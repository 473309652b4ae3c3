// tests/kernel/Support.h: helpers shared by the native tests.
#pragma once

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Printer.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"

#include <string>
#include <vector>

extern std::vector<std::string> gTestReports;

// Runs body inside a toplevel catch, the way the top-level loop does. Returns the error report
// text when one was made (empty when the body finished normally).
template <typename Body> std::string reportOf(Body body)
{
    gTestReports.clear();
    try {
        CatchFrame toplevel(Sym::toplevel);
        body();
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
    }
    return gTestReports.empty() ? std::string() : gTestReports.back();
}

inline Value readText(const std::string& text)
{
    StringInputStream in(text);
    return readValue(in);
}

// Evaluates the forms of text in order and prints the last value.
inline std::string evalText(const std::string& text)
{
    StringInputStream in(text);
    Value result = kNoValue;
    while (!readerAtEnd(in))
        result = eval(readValue(in));
    return printedText(result, PrintStyle::Print);
}
