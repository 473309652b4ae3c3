// Kernel/Printer.h: printing Values in the three styles, through the per-tag print handlers.
#pragma once

#include "Kernel/Stream.h"
#include "Kernel/Value.h"

#include <string>

enum class PrintStyle { Print, Display, Write };

class PrintHandler {
public:
    virtual ~PrintHandler() = default;
    virtual void print(Value v, NativeStream& out);
    virtual void display(Value v, NativeStream& out) { print(v, out); }
    virtual void write(Value v, NativeStream& out);
};
void setPrintHandler(uint32_t tag, PrintHandler* handler);
PrintHandler* printHandler(uint32_t tag);

void printValue(Value v);   // print style on the current output
void displayValue(Value v);
void writeValue(Value v);
void printValueTo(Value v, PrintStyle style, NativeStream& out);
std::string printedText(Value v, PrintStyle style = PrintStyle::Print);
void writeText(NativeStream& out, const char* text);
