// Kernel/Format.cpp: the Format Module. A first engine: ~a, ~w, ~y, ~% and ~~.
#include "Kernel/Format.h"

#include "Kernel/Error.h"
#include "Kernel/Module.h"
#include "Kernel/Printer.h"

void formatTo(NativeStream& out, const std::string& control, const Value* args)
{
    for (size_t i = 0; i < control.size(); ++i) {
        char c = control[i];
        if (c != '~' || i + 1 == control.size()) {
            out.writeByte(static_cast<unsigned char>(c));
            continue;
        }
        char d = control[++i];
        switch (d) {
        case '%':
            out.writeByte('\r');
            break;
        case '~':
            out.writeByte('~');
            break;
        case 'a':
        case 'A':
        case 'w':
        case 'W':
        case 'y':
        case 'Y':
            if (*args == kEnd)
                raiseWrongType(kNil);
            printValueTo(*args++, d == 'a' || d == 'A' ? PrintStyle::Print : (d == 'w' || d == 'W') ? PrintStyle::Write : PrintStyle::Display, out);
            break;
        default:
            raiseWrongType(kNil);
        }
    }
}

std::string formatToString(const std::string& control, const Value* args)
{
    StringOutputStream out;
    formatTo(out, control, args);
    return out.text();
}

namespace {

class FormatModule final : public Module {
public:
    FormatModule() : Module("Format") {}
} formatModule;

} // namespace
