// Kernel/Printer.cpp: the printing primitives.
#include "Kernel/Printer.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Module.h"
#include "Kernel/StreamArgument.h"

void printValueTo(Value v, PrintStyle style, NativeStream& out)
{
    checkCStack();
    PrintHandler* h = printHandler(tagOf(v));
    switch (style) {
    case PrintStyle::Print:
        h->print(v, out);
        break;
    case PrintStyle::Display:
        h->display(v, out);
        break;
    case PrintStyle::Write:
        h->write(v, out);
        break;
    }
}

void printValue(Value v) { printValueTo(v, PrintStyle::Print, *gCurrentOutput); }
void displayValue(Value v) { printValueTo(v, PrintStyle::Display, *gCurrentOutput); }
void writeValue(Value v) { printValueTo(v, PrintStyle::Write, *gCurrentOutput); }

std::string printedText(Value v, PrintStyle style)
{
    StringOutputStream out;
    printValueTo(v, style, out);
    return out.text();
}

void writeText(NativeStream& out, const char* text) { out.writeBlock(text, std::strlen(text)); }

namespace {

constexpr char kLineEnd = '\r';

Value printTo(Value x, Value s, PrintStyle style, bool lineEnd)
{
    NativeStream& out = toOutputStream(s);
    OutputRedirection redirect(out);
    printValueTo(x, style, out);
    if (lineEnd)
        out.writeByte(kLineEnd);
    return x;
}

Value princ(Value x, Value s) { return printTo(x, s, PrintStyle::Print, true); }
Value prin(Value x, Value s) { return printTo(x, s, PrintStyle::Print, false); }
Value writePrimitive(Value x, Value s) { return printTo(x, s, PrintStyle::Write, false); }
Value display(Value x, Value s) { return printTo(x, s, PrintStyle::Display, true); }
Value displ(Value x, Value s) { return printTo(x, s, PrintStyle::Display, false); }

Value newLine(Value s)
{
    toOutputStream(s).writeByte(kLineEnd);
    return kNoValue;
}

Value debugDisplay(Value* rest) { return rest[0]; }

class PrinterModule final : public Module {
public:
    PrinterModule() : Module("Printer") {}
    void start() override
    {
        Module::start();
        defineFunction2("princ", princ);
        defineFunction2("prin", prin);
        defineFunction1("new-line", newLine);
        defineFunction2("write", writePrimitive);
        defineFunction2("display", display);
        defineFunction2("displ", displ);
        defineFunctionRest0("debug-display", debugDisplay);
    }
} printerModule;

} // namespace
