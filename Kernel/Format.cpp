// Kernel/Format.cpp: the Format Module and the directive-driven formatter.
//
// A directive is "~", up to seven prefix parameters separated by commas (a decimal number, 'c
// for the code of c, V for the next argument, # for the count of arguments left), the modifiers
// ":" and "@" in any order, then the directive character. The state of one run (arguments,
// position, open conditional) lives in a FormatRun on the C stack, so format may be re-entered
// from inside a directive (an instance's print-self, say) without disturbing the outer run.
// Every error is the wrong-type error with nil.
#include "Kernel/Format.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Printer.h"
#include "Kernel/Reader.h"
#include "Kernel/StreamArgument.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int kMaxParameters = 7;
constexpr char kLineEnd = '\r';

[[noreturn]] void formatError() { raiseWrongType(kNil); }

// A prefix parameter as written, before V and # are resolved.
struct ParameterSpec {
    enum Kind { Absent, Number, NextArgument, ArgumentsLeft } kind = Absent;
    int32_t number = 0;
};

struct Directive {
    ParameterSpec parameters[kMaxParameters];
    int parameterCount = 0;
    bool colon = false;
    bool at = false;
    char character = 0; // lower case
    size_t end = 0;     // position after the directive
};

// Parses the directive whose "~" is at control[start].
Directive parseDirective(const std::string& control, size_t start)
{
    Directive d;
    size_t i = start + 1;
    auto more = [&] { return i < control.size(); };
    for (;;) {
        ParameterSpec p;
        if (more() && (control[i] == '-' || control[i] == '+' || (control[i] >= '0' && control[i] <= '9'))) {
            bool negative = control[i] == '-';
            if (control[i] == '-' || control[i] == '+')
                ++i;
            if (!more() || control[i] < '0' || control[i] > '9')
                formatError();
            int64_t n = 0;
            while (more() && control[i] >= '0' && control[i] <= '9') {
                n = n * 10 + (control[i++] - '0');
                if (n > INT32_MAX)
                    formatError();
            }
            p = { ParameterSpec::Number, static_cast<int32_t>(negative ? -n : n) };
        } else if (more() && control[i] == '\'') {
            if (i + 1 >= control.size())
                formatError();
            p = { ParameterSpec::Number, static_cast<uint8_t>(control[i + 1]) };
            i += 2;
        } else if (more() && (control[i] == 'v' || control[i] == 'V')) {
            p.kind = ParameterSpec::NextArgument;
            ++i;
        } else if (more() && control[i] == '#') {
            p.kind = ParameterSpec::ArgumentsLeft;
            ++i;
        }
        bool comma = more() && control[i] == ',';
        if (p.kind != ParameterSpec::Absent || comma) {
            if (d.parameterCount == kMaxParameters)
                formatError();
            d.parameters[d.parameterCount++] = p;
        }
        if (!comma)
            break;
        ++i;
    }
    for (; more() && (control[i] == ':' || control[i] == '@'); ++i)
        (control[i] == ':' ? d.colon : d.at) = true;
    if (!more())
        formatError();
    char c = control[i];
    d.character = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    d.end = i + 1;
    return d;
}

// The clauses of a conditional: where each starts, and where the whole ends.
struct Conditional {
    std::vector<size_t> clauses; // start of each clause
    std::optional<size_t> defaultClause;
    size_t end = 0;              // after the closing ~]
};

class FormatRun {
public:
    FormatRun(NativeStream& out, const std::string& control, const Value* args)
        : m_out(out)
        , m_control(control)
        , m_args(args)
    {
        while (args[m_count] != kEnd)
            ++m_count;
    }

    void run()
    {
        size_t i = 0;
        while (i < m_control.size()) {
            if (m_control[i] != '~') {
                size_t stop = std::min(m_control.find('~', i), m_control.size());
                m_out.writeBlock(m_control.data() + i, stop - i);
                i = stop;
                continue;
            }
            Directive d = parseDirective(m_control, i);
            i = perform(d);
        }
        if (m_conditionalEnd)
            formatError();
    }

private:
    Value next()
    {
        if (m_position >= m_count)
            formatError();
        return m_args[m_position++];
    }

    // Parameter k (0-based) of d, resolved; nothing when absent.
    std::optional<int32_t> parameter(const Directive& d, int k)
    {
        if (k >= d.parameterCount)
            return std::nullopt;
        const ParameterSpec& p = d.parameters[k];
        switch (p.kind) {
        case ParameterSpec::Number:
            return p.number;
        case ParameterSpec::NextArgument:
            return toInt32(next());
        case ParameterSpec::ArgumentsLeft:
            return static_cast<int32_t>(m_count - m_position);
        default:
            return std::nullopt;
        }
    }

    // Resolves all parameters in order, as they are written, before the directive runs.
    void resolveParameters(const Directive& d)
    {
        for (int k = 0; k < kMaxParameters; ++k)
            m_parameters[k] = parameter(d, k);
    }

    int32_t count(int32_t fallback) const { return m_parameters[0].value_or(fallback); }

    void repeat(char c, int32_t n)
    {
        for (int32_t k = 0; k < n; ++k)
            m_out.writeByte(static_cast<uint8_t>(c));
    }

    // Writes text padded to mincol (parameter 1) with the pad character (parameter 4).
    void writePadded(const Directive& d, const std::string& text)
    {
        int64_t width = m_parameters[0].value_or(0);
        int64_t pad = width > static_cast<int64_t>(text.size()) ? width - static_cast<int64_t>(text.size()) : 0;
        char padChar = static_cast<char>(m_parameters[3].value_or(' '));
        if (d.at)
            repeat(padChar, static_cast<int32_t>(pad));
        m_out.writeBlock(text.data(), text.size());
        if (!d.at)
            repeat(padChar, static_cast<int32_t>(pad));
    }

    std::string realText(double x)
    {
        // Width only chooses the notation: leading blanks are dropped below, so it is clamped.
        std::optional<int32_t> w = m_parameters[0], d = m_parameters[1];
        auto clampWidth = [](int32_t n) { return n < -64 ? -64 : n > 64 ? 64 : n; };
        auto clampDigits = [](int32_t n) { return n > 1100 ? 1100 : n; };
        std::vector<char> text(1200 + 64);
        if (w && d)
            std::snprintf(text.data(), text.size(), "%*.*f", clampWidth(*w), clampDigits(*d), x);
        else if (w)
            std::snprintf(text.data(), text.size(), "%*g", clampWidth(*w), x);
        else if (d)
            std::snprintf(text.data(), text.size(), "%.*f", clampDigits(*d), x);
        else
            std::snprintf(text.data(), text.size(), "%-27.6g", x);
        std::string s(text.data());
        size_t first = s.find_first_not_of(' ');
        s = first == std::string::npos ? std::string() : s.substr(first);
        s = s.substr(0, s.find(' '));
        for (char& c : s)
            if (c == '.')
                c = gDecimalSeparator;
        return s;
    }

    static std::string hexText(int64_t n)
    {
        char text[32];
        uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
        std::snprintf(text, sizeof text, "%s%llx", n < 0 ? "-" : "", static_cast<unsigned long long>(magnitude));
        return text;
    }

    // Finds the clauses of the conditional whose body starts at start.
    Conditional scanConditional(size_t start)
    {
        Conditional c;
        c.clauses.push_back(start);
        size_t i = start;
        while (i < m_control.size()) {
            if (m_control[i] != '~') {
                ++i;
                continue;
            }
            Directive d = parseDirective(m_control, i);
            i = d.end;
            if (d.character == '[')
                formatError();
            if (d.character == ';') {
                if (d.colon)
                    c.defaultClause = c.clauses.size();
                c.clauses.push_back(i);
            } else if (d.character == ']') {
                c.end = i;
                return c;
            }
        }
        formatError(); // no closing ~]
    }

    // Enters the conditional at start; returns where processing goes on.
    size_t enterConditional(const Directive& d, size_t start)
    {
        if (m_conditionalEnd)
            formatError();
        Conditional c = scanConditional(start);
        size_t k;
        if (d.at) {
            // A true argument stays for the clause to use; nil is consumed and the clause skipped.
            if (isNil(next()))
                return c.end;
            --m_position;
            k = 0;
        } else if (d.colon) {
            k = isNil(next()) ? 0 : 1;
        } else {
            std::optional<int32_t> p = m_parameters[0];
            int64_t n = p ? *p : static_cast<int64_t>(static_cast<uint32_t>(toInt64(next())) & 0xFFFF);
            k = n < 0 ? SIZE_MAX : static_cast<size_t>(n);
        }
        if (k >= c.clauses.size()) {
            if (!c.defaultClause)
                formatError();
            k = *c.defaultClause;
        }
        m_conditionalEnd = c.end;
        return c.clauses[k];
    }

    // Performs d and returns the position after it.
    size_t perform(const Directive& d)
    {
        resolveParameters(d);
        switch (d.character) {
        case '%':
            repeat(kLineEnd, count(1));
            break;
        case '~':
            repeat('~', count(1));
            break;
        case 'a':
            writePadded(d, printedText(next(), PrintStyle::Print));
            break;
        case 'w':
            printValueTo(next(), PrintStyle::Write, m_out);
            break;
        case 'y':
            printValueTo(next(), PrintStyle::Display, m_out);
            break;
        case 'c': {
            uint8_t c = toCharCode(next());
            repeat(static_cast<char>(c), count(1));
            break;
        }
        case 'f':
            writeText(realText(toDouble(next())));
            break;
        case 'x': {
            Value v = next();
            if (!isInteger(v))
                raiseWrongType(v);
            writePadded(d, hexText(toInt64(v)));
            break;
        }
        case 'i': {
            // FIXME: string resources are not available yet; the resource ID is reported.
            Value id = next();
            if (d.colon)
                next();
            raiseWrongType(id);
        }
        case 'p': {
            Value v;
            if (d.colon) {
                if (m_position == 0)
                    formatError();
                v = m_args[m_position - 1];
            } else {
                v = next();
            }
            if (toDouble(v) >= 2)
                m_out.writeByte('s');
            break;
        }
        case 't':
            repeat('\t', count(1));
            break;
        case '.':
            m_out.writeByte(static_cast<uint8_t>(gDecimalSeparator));
            break;
        case '*':
            moveArguments(d);
            break;
        case '[':
            return enterConditional(d, d.end);
        case ';':
            if (!m_conditionalEnd)
                formatError();
            return leaveConditional();
        case ']':
            if (!m_conditionalEnd)
                formatError();
            return leaveConditional();
        default:
            formatError();
        }
        return d.end;
    }

    size_t leaveConditional()
    {
        size_t end = *m_conditionalEnd;
        m_conditionalEnd.reset();
        return end;
    }

    void moveArguments(const Directive& d)
    {
        int64_t target;
        if (d.at)
            target = count(0);
        else if (d.colon)
            target = static_cast<int64_t>(m_position) - count(1);
        else
            target = static_cast<int64_t>(m_position) + count(1);
        if (target < 0 || target > static_cast<int64_t>(m_count))
            formatError();
        m_position = static_cast<size_t>(target);
    }

    void writeText(const std::string& text) { m_out.writeBlock(text.data(), text.size()); }

    NativeStream& m_out;
    const std::string& m_control;
    const Value* m_args;
    size_t m_count = 0;
    size_t m_position = 0;
    std::optional<int32_t> m_parameters[kMaxParameters];
    std::optional<size_t> m_conditionalEnd; // end of the open conditional
};

Value format(Value dest, Value control, Value* rest)
{
    std::string text = stringOf(control);
    if (dest == kTrue) {
        StringOutputStream out;
        formatTo(out, text, rest);
        return makeString(out.text());
    }
    formatTo(toOutputStream(dest), text, rest);
    return kTrue;
}

class FormatModule final : public Module {
public:
    FormatModule() : Module("Format") {}
    void start() override
    {
        Module::start();
        defineFunctionRest2("format", format);
    }
} formatModule;

} // namespace

void formatTo(NativeStream& out, const std::string& control, const Value* args)
{
    FormatRun run(out, control, args);
    run.run();
}

std::string formatToString(const std::string& control, const Value* args)
{
    StringOutputStream out;
    formatTo(out, control, args);
    return out.text();
}
