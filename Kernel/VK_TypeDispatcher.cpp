// Kernel/VK_TypeDispatcher.cpp: the print handlers of the core types and the dispatch table.
#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Object.h"
#include "Kernel/Eval.h"
#include "Kernel/VString.h"
#include "Kernel/Printer.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"

#include <cstdio>

namespace {

PrintHandler gBaseHandler;
Value gPrintSelf = 0;
PrintHandler* gHandlers[64];

void put(NativeStream& out, std::string_view text) { out.writeBlock(text.data(), text.size()); }

class UnknownHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        char text[40];
        std::snprintf(text, sizeof text, "Unknown type : %x", v);
        put(out, text);
    }
    void display(Value v, NativeStream&) override { raiseWrongType(v); }
};

// A handler with fixed print text; display prints, write raises the wrong-type error.
class FixedTextHandler final : public PrintHandler {
public:
    explicit FixedTextHandler(const char* text) : m_text(text) {}
    void print(Value, NativeStream& out) override { put(out, m_text); }

private:
    const char* m_text;
};

class NoValueHandler final : public PrintHandler {
public:
    void print(Value, NativeStream& out) override { put(out, "<no-value>"); }
};

class VariableHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        out.writeByte('_');
        printHandler(Tag::Symbol)->write(cdr(v), out);
    }
    void write(Value v, NativeStream& out) override { print(v, out); }
};

class StringHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override { put(out, stringChars(v)); }
    void display(Value v, NativeStream& out) override { write(v, out); }
    void write(Value v, NativeStream& out) override
    {
        std::string text = stringChars(v);
        out.writeByte('"');
        for (unsigned char c : text) {
            int cls = characterClass(c);
            if (cls == 5 || cls == 0)
                out.writeByte('\\');
            out.writeByte(c);
        }
        out.writeByte('"');
    }
};

class SymbolHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override { write(v, out); }
    void write(Value v, NativeStream& out) override
    {
        std::string name = symbolName(v);
        for (unsigned char c : name) {
            int cls = characterClass(c);
            if (cls == 5 || cls == 0 || (c != ':' && cls != 3 && cls != 6 && cls != 7 && cls != 8))
                out.writeByte('\\');
            out.writeByte(c);
        }
    }
};

// Print style of a symbol is its bare name.
class SymbolPrintHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override { put(out, symbolName(v)); }
    void display(Value v, NativeStream& out) override { m_write.write(v, out); }
    void write(Value v, NativeStream& out) override { m_write.write(v, out); }

private:
    SymbolHandler m_write;
};

class FunctionHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        put(out, "#<function ");
        Value head = car(car(cdr(v)));
        put(out, isSymbol(head) ? symbolName(head) : "lambda");
        put(out, ">");
    }
};

class PrimitiveHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        uint32_t code = payloadOf(cellOf(v).car);
        char text[48];
        std::snprintf(text, sizeof text, "#<primitive %u%s>", code & 0x1FFFFF, (code & 0x800000) ? " *" : "");
        put(out, text);
    }
};

class NumberHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override { put(out, numberText(v)); }
    void write(Value v, NativeStream& out) override { print(v, out); }
};

class ClassHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        if (v == kNoObject) {
            put(out, "#<class VELORA>");
            return;
        }
        put(out, descendsFromRoot(v) ? "#<class " : "#<mixin ");
        put(out, symbolName(className(v)));
        put(out, ">");
    }
};

// An instance prints as the string its print-self answers; an instance printed while that runs
// prints "#<instance>".
class InstanceHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        // Without a print-self method (the application framework defines it) there is nothing to ask.
        Value method;
        if (m_active || !(objectRead(v, gPrintSelf, method) || isBound(gPrintSelf))) {
            put(out, "#<instance>");
            return;
        }
        std::string text;
        {
            struct Active {
                bool& flag;
                explicit Active(bool& f) : flag(f) { flag = true; }
                ~Active() { flag = false; }
            } active(m_active);
            text = stringOf(sendMessage(v, gPrintSelf, nullptr, 0));
        }
        put(out, text);
    }

private:
    bool m_active = false;
};

class PointerHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        PointerKind* kind = pointerKind(pointerKindIndex(v));
        const char* name = kind ? kind->name() : "pointer";
        if (pointerAddress(v) == 0) {
            put(out, "<null ");
            put(out, name);
            put(out, ">");
            return;
        }
        put(out, kind ? kind->print(v) : "<pointer>");
    }
};

class ListHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override { printList(v, out, PrintStyle::Print); }
    void display(Value v, NativeStream& out) override { printList(v, out, PrintStyle::Display); }
    void write(Value v, NativeStream& out) override { printList(v, out, PrintStyle::Write); }

private:
    // A list circular through its cdrs is found by Brent's method as it is printed: it raises
    // the wrong-type error, or, inside an error report, ends with "...".
    static void printList(Value list, NativeStream& out, PrintStyle style)
    {
        out.writeByte('(');
        Value v = list;
        Value tortoise = list;
        uint64_t power = 1, steps = 0;
        bool first = true;
        while (isPair(v)) {
            if (!first)
                out.writeByte(' ');
            first = false;
            printValueTo(car(v), style, out);
            v = cdr(v);
            if (v == tortoise) {
                if (inErrorReport()) {
                    put(out, "...)");
                    return;
                }
                raiseWrongType(list);
            }
            if (++steps == power) {
                tortoise = v;
                power *= 2;
                steps = 0;
            }
        }
        if (v != kNil) {
            put(out, " . ");
            printValueTo(v, style, out);
        }
        out.writeByte(')');
    }
};

UnknownHandler gUnknown;
NoValueHandler gNoValue;
VariableHandler gVariable;
StringHandler gString;
SymbolPrintHandler gSymbol;
FunctionHandler gFunction;
PrimitiveHandler gPrimitive;
FixedTextHandler gSpecial("#<special>");
FixedTextHandler gHashTable("<hash-table>");
FixedTextHandler gLexical("#<lexical lambda>");
FixedTextHandler gGamma("#<function gamma>");
FixedTextHandler gClosed("#<closed gamma>");
InstanceHandler gInstance;
NumberHandler gNumber;
ClassHandler gClass;
PointerHandler gPointer;
ListHandler gList;

} // namespace

void PrintHandler::print(Value, NativeStream& out) { put(out, "#<keyword>"); }
void PrintHandler::write(Value v, NativeStream&) { raiseWrongType(v); }

void setPrintHandler(uint32_t tag, PrintHandler* handler) { gHandlers[tag & 0x3F] = handler; }
PrintHandler* printHandler(uint32_t tag) { return gHandlers[tag & 0x3F] ? gHandlers[tag & 0x3F] : &gBaseHandler; }

namespace {

class TypeDispatcherModule final : public Module {
public:
    TypeDispatcherModule() : Module("VK_TypeDispatcher") {}
    void start() override
    {
        Module::start();
        for (auto& h : gHandlers)
            h = &gBaseHandler;
        setPrintHandler(0x00, &gUnknown);
        setPrintHandler(0x01, &gUnknown);
        for (uint32_t tag : { Tag::Integer, Tag::Real, Tag::Rational, Tag::Complex, Tag::BigPositive, Tag::BigNegative })
            setPrintHandler(tag, &gNumber);
        setPrintHandler(Tag::Variable, &gVariable);
        setPrintHandler(Tag::NoValue, &gNoValue);
        setPrintHandler(Tag::String, &gString);
        setPrintHandler(Tag::Symbol, &gSymbol);
        setPrintHandler(Tag::Syntax, &gFunction);
        setPrintHandler(Tag::Function, &gFunction);
        setPrintHandler(Tag::Instance, &gInstance);
        setPrintHandler(Tag::Primitive, &gPrimitive);
        setPrintHandler(Tag::Special, &gSpecial);
        setPrintHandler(Tag::Class, &gClass);
        setPrintHandler(Tag::HashTable, &gHashTable);
        setPrintHandler(Tag::Lexical, &gLexical);
        setPrintHandler(Tag::Gamma, &gGamma);
        setPrintHandler(Tag::Pointer, &gPointer);
        setPrintHandler(Tag::Closed, &gClosed);
        setPrintHandler(Tag::List, &gList);
        gPrintSelf = intern("print-self");
    }
} typeDispatcherModule;

} // namespace
