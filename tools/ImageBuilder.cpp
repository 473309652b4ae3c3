// tools/ImageBuilder.cpp: velora-image, the image builder. It compiles Lisp source units into
// compiled units (the reader's text with symbols and small integers as byte tokens into one
// shared SYMB table), assembles them with the image's resources into a resource file, and
// appends that to a copy of velora.
//
//   velora-image --output OUT [--base EXE] [--resource-file-only] DESCRIPTION
//   velora-image --output OUT [--base EXE] [--resource-file-only] UNIT.lsp...
//
// A description is a Lisp-readable file of clauses, file names relative to its folder:
//   (units "a.lsp" "b.lsp")                      the source units, in load order
//   (resource "PICT" 128 "logo" 0 "logo.pict")   type, ID, name, attributes, file taken as given
//   (strings 128 "Messages" ("one" "two"))       a STR# string list
//   (title "Demo")                               the frame title in the default PREF 256
// PREF 256 and SIZE -1 come from resource clauses when given, else from the defaults below.
#include "Interfac/Resource.h"
#include "Interfac/ResourceFormat.h"
#include "Kernel/Error.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Printer.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"
#include "Platform/Host.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string gLastReport;

struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string readWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw BuildError("cannot read " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The shared symbol table: the eight fixed entries, then the SYMB names in order of first use.
class SymbolTableBuilder {
public:
    SymbolTableBuilder()
    {
        const char* fixed[8] = { "define", "quote", "set!", "t", "nil", "defslot", "when", "let" };
        for (int i = 0; i < 8; ++i)
            m_entries[fixed[i]] = i;
    }
    // The table entry of a symbol name.
    uint32_t entry(const std::string& name)
    {
        auto it = m_entries.find(name);
        if (it != m_entries.end())
            return it->second;
        uint32_t index = static_cast<uint32_t>(m_names.size()) + 8;
        if (index > 0xFFFF)
            throw BuildError("more than 65527 symbols");
        m_names.push_back(name);
        m_entries[name] = index;
        return index;
    }
    std::string resourceData() const
    {
        std::string data;
        data += static_cast<char>(m_names.size() >> 8);
        data += static_cast<char>(m_names.size());
        for (const std::string& name : m_names) {
            data += name;
            data += '\0';
        }
        return data;
    }

private:
    std::map<std::string, uint32_t> m_entries;
    std::vector<std::string> m_names;
};

void appendSymbolToken(std::string& out, uint32_t entry)
{
    if (entry < 8) {
        out += static_cast<char>(entry);
    } else if (entry - 8 < 16 * 256) {
        out += static_cast<char>(0x10 + ((entry - 8) >> 8));
        out += static_cast<char>((entry - 8) & 0xFF);
    } else {
        out += '\x08';
        out += static_cast<char>(entry >> 8);
        out += static_cast<char>(entry & 0xFF);
    }
}

// Writes a datum in compiled-unit form. Textual atoms are separated by a blank; tokens need none.
class UnitWriter {
public:
    UnitWriter(SymbolTableBuilder& symbols, std::string& out) : m_symbols(symbols), m_out(out) {}

    void datum(Value v)
    {
        if (v == kNil) {
            text("()");
        } else if (isSymbol(v)) {
            appendSymbolToken(m_out, m_symbols.entry(std::string(symbolNameView(v))));
            m_textual = false;
        } else if (tagOf(v) == Tag::Variable && isSymbol(cdr(v))) {
            uint32_t entry = m_symbols.entry(std::string(symbolNameView(cdr(v))));
            m_out += '\x0E';
            m_out += static_cast<char>(entry >> 8);
            m_out += static_cast<char>(entry & 0xFF);
            m_textual = false;
        } else if (isImmediateInteger(v) && integerValue(v) >= -32768 && integerValue(v) <= 32767) {
            int32_t n = integerValue(v);
            if (n >= -128 && n <= 127) {
                m_out += '\x0F';
                m_out += static_cast<char>(n & 0xFF);
            } else {
                m_out += '\x0C';
                m_out += static_cast<char>((n >> 8) & 0xFF);
                m_out += static_cast<char>(n & 0xFF);
            }
            m_textual = false;
        } else if (isPair(v)) {
            m_out += '(';
            m_textual = false;
            for (; isPair(v); v = cdr(v))
                datum(car(v));
            if (v != kNil) {
                text(".");
                datum(v);
            }
            m_out += ')';
            m_textual = false;
        } else {
            text(printedText(v, PrintStyle::Write));
        }
    }

private:
    void text(const std::string& t)
    {
        if (m_textual)
            m_out += ' ';
        m_out += t;
        m_textual = true;
    }

    SymbolTableBuilder& m_symbols;
    std::string& m_out;
    bool m_textual = false;
};

std::string lineAndColumn(const std::string& text, int64_t offset)
{
    int line = 1, column = 1;
    for (int64_t i = 0; i < offset && i < static_cast<int64_t>(text.size()); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return std::to_string(line) + ":" + std::to_string(column);
}

std::string compileUnit(const fs::path& path, SymbolTableBuilder& symbols)
{
    std::string source = readWholeFile(path);
    StringInputStream in(source);
    std::string out;
    UnitWriter writer(symbols, out);
    for (;;) {
        int64_t start = in.position();
        bool failedRead = false;
        try {
            CatchFrame toplevel(Sym::toplevel);
            if (readerAtEnd(in))
                break;
            start = in.position();
            LispStackMark mark;
            Value datum = kNil;
            int token = readToken(in, datum);
            if (token == ReaderToken::Close || token == ReaderToken::CloseBrace)
                throw BuildError(path.string() + ":" + lineAndColumn(source, in.position() - 1)
                                 + ": a closing parenthesis with no open list");
            if (token == ReaderToken::Dot)
                throw BuildError(path.string() + ":" + lineAndColumn(source, in.position() - 1) + ": a stray dot");
            if (token == ReaderToken::Datum) {
                pushLisp(datum);
                writer.datum(datum);
            }
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
            failedRead = true;
        }
        if (failedRead) {
            int64_t at = in.position();
            std::string where = at >= static_cast<int64_t>(source.size()) ? lineAndColumn(source, start) : lineAndColumn(source, at);
            std::string why = at >= static_cast<int64_t>(source.size()) ? "the form starting here does not end"
                                                                         : "does not read";
            throw BuildError(path.string() + ":" + where + ": " + why + " (" + gLastReport + ")");
        }
    }
    return out;
}

std::string defaultPreferences(const std::string& title)
{
    std::string pref(92, '\0');
    auto put32 = [&](int at, uint32_t v) { writeBE32(reinterpret_cast<uint8_t*>(pref.data()) + at, v); };
    auto put16 = [&](int at, uint16_t v) { writeBE16(reinterpret_cast<uint8_t*>(pref.data()) + at, v); };
    ParameterBlock defaults;
    put32(0, static_cast<uint32_t>(defaults.symbolCount));
    put32(4, static_cast<uint32_t>(defaults.lispStackWords));
    put32(8, static_cast<uint32_t>(defaults.prologStackWords));
    put32(12, static_cast<uint32_t>(defaults.cellCount));
    put32(16, static_cast<uint32_t>(defaults.blockBytes));
    put32(20, static_cast<uint32_t>(defaults.heapReserve));
    put32(24, static_cast<uint32_t>(defaults.cStackBytes));
    put32(28, static_cast<uint32_t>(defaults.cellsPer800));
    put32(32, static_cast<uint32_t>(defaults.heapPercent));
    put16(38, 305);
    put32(40, 0x03020000);
    put16(44, 400);
    put16(46, 375);
    pref[49] = 0x22;
    pref.replace(51, std::min<size_t>(title.size(), 40), title.substr(0, 40));
    return pref;
}

std::string defaultSize()
{
    std::string size(10, '\0');
    ParameterBlock defaults;
    writeBE32(reinterpret_cast<uint8_t*>(size.data()) + 2, static_cast<uint32_t>(defaults.memoryBudget));
    writeBE32(reinterpret_cast<uint8_t*>(size.data()) + 6, 7680000);
    return size;
}

struct Description {
    std::vector<fs::path> units;
    std::vector<ResourceEntry> resources;
    std::string title = "Velora";
};

std::string stringOf(Value v, const char* what)
{
    if (!isString(v))
        throw BuildError(std::string("the description expects a string for ") + what);
    return std::string(stringChars(v), stringLength(v));
}

int32_t integerOf(Value v, const char* what)
{
    if (!isImmediateInteger(v))
        throw BuildError(std::string("the description expects an integer for ") + what);
    return integerValue(v);
}

Value nth(Value list, int n)
{
    for (; n > 0 && isPair(list); --n)
        list = cdr(list);
    return isPair(list) ? car(list) : kNil;
}

Description readDescription(const fs::path& path)
{
    std::string text = readWholeFile(path);
    fs::path folder = path.parent_path();
    Description d;
    StringInputStream in(text);
    for (;;) {
        Value clause = kNil;
        bool ended = false, failedRead = false;
        try {
            CatchFrame toplevel(Sym::toplevel);
            if (readerAtEnd(in))
                ended = true;
            else
                clause = readValue(in);
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
            failedRead = true;
        }
        if (failedRead)
            throw BuildError(path.string() + ":" + lineAndColumn(text, in.position()) + ": does not read (" + gLastReport + ")");
        if (ended)
            break;
        if (!isPair(clause) || !isSymbol(car(clause)))
            throw BuildError(path.string() + ": a clause is not a list starting with a name");
        std::string head(symbolNameView(car(clause)));
        if (head == "units") {
            for (Value l = cdr(clause); isPair(l); l = cdr(l))
                d.units.push_back(folder / stringOf(car(l), "a unit file"));
        } else if (head == "resource") {
            ResourceEntry e;
            e.type = resTypeFromText(stringOf(nth(clause, 1), "a resource type"));
            e.id = static_cast<int16_t>(integerOf(nth(clause, 2), "a resource ID"));
            e.name = nth(clause, 3) == kNil ? std::string() : stringOf(nth(clause, 3), "a resource name");
            e.attributes = static_cast<uint8_t>(integerOf(nth(clause, 4), "resource attributes"));
            e.data = readWholeFile(folder / stringOf(nth(clause, 5), "a resource file"));
            d.resources.push_back(std::move(e));
        } else if (head == "strings") {
            ResourceEntry e { resTypeFromText("STR#"), static_cast<int16_t>(integerOf(nth(clause, 1), "a string list ID")),
                              nth(clause, 2) == kNil ? std::string() : stringOf(nth(clause, 2), "a string list name"), 0, {} };
            std::string data(2, '\0');
            uint32_t count = 0;
            for (Value l = nth(clause, 3); isPair(l); l = cdr(l), ++count) {
                std::string s = stringOf(car(l), "a string of a string list");
                if (s.size() > 255)
                    throw BuildError("a string of a string list is longer than 255 characters");
                data += static_cast<char>(s.size());
                data += s;
            }
            writeBE16(reinterpret_cast<uint8_t*>(data.data()), static_cast<uint16_t>(count));
            e.data = data;
            d.resources.push_back(std::move(e));
        } else if (head == "title") {
            d.title = stringOf(nth(clause, 1), "the title");
        } else {
            throw BuildError(path.string() + ": unknown clause " + head);
        }
    }
    return d;
}

bool readFromString(void* context, uint64_t offset, void* buffer, size_t count)
{
    const std::string& bytes = *static_cast<const std::string*>(context);
    if (offset > bytes.size() || count > bytes.size() - offset)
        return false;
    std::memcpy(buffer, bytes.data() + offset, count);
    return true;
}

int build(const std::vector<std::string>& args)
{
    std::string output, base;
    bool resourceOnly = false;
    std::vector<std::string> inputs;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--output" && i + 1 < args.size())
            output = args[++i];
        else if (args[i] == "--base" && i + 1 < args.size())
            base = args[++i];
        else if (args[i] == "--resource-file-only")
            resourceOnly = true;
        else
            inputs.push_back(args[i]);
    }
    if (output.empty() || inputs.empty()) {
        std::fputs("usage: velora-image --output OUT [--base EXE] [--resource-file-only] DESCRIPTION | UNIT.lsp...\n", stderr);
        return 2;
    }
    Description d;
    if (inputs.size() == 1 && fs::path(inputs[0]).extension() != ".lsp" && fs::path(inputs[0]).extension() != ".lisp")
        d = readDescription(inputs[0]);
    else
        for (const std::string& unit : inputs)
            d.units.push_back(unit);

    SymbolTableBuilder symbols;
    std::vector<ResourceEntry> entries;
    for (size_t i = 0; i < d.units.size(); ++i)
        entries.push_back({ resTypeFromText("Load"), static_cast<int16_t>(i), d.units[i].filename().string(), 0,
                            compileUnit(d.units[i], symbols) });
    entries.insert(entries.begin(), ResourceEntry { resTypeFromText("SYMB"), 0, std::string(), 0, symbols.resourceData() });
    auto given = [&](const char* type, int16_t id) {
        for (const ResourceEntry& e : d.resources)
            if (e.type == resTypeFromText(type) && e.id == id)
                return true;
        return false;
    };
    if (!given("PREF", 256))
        entries.push_back({ resTypeFromText("PREF"), 256, std::string(), 0, defaultPreferences(d.title) });
    if (!given("SIZE", -1))
        entries.push_back({ resTypeFromText("SIZE"), -1, std::string(), 0, defaultSize() });
    entries.insert(entries.end(), d.resources.begin(), d.resources.end());
    std::string resourceFile, why;
    if (!buildResourceFile(entries, resourceFile, why))
        throw BuildError(why);

    std::string image;
    if (!resourceOnly) {
        if (base.empty())
            base = (fs::path(hostExecutablePath()).parent_path() / "velora").string();
        std::string executable = readWholeFile(base);
        // A base that already carries an image is cut where its ELF headers end.
        uint64_t end = executableOverlayStart(reinterpret_cast<const uint8_t*>(executable.data()), executable.size(),
                                              executable.size(), readFromString, &executable);
        if (end == 0)
            throw BuildError(base + " is not an executable the runtime can find its image in");
        image = executable.substr(0, end);
    }
    image += resourceFile;
    fs::path temporary = output + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(image.data(), static_cast<std::streamsize>(image.size()));
        if (!out.flush())
            throw BuildError("cannot write " + temporary.string());
    }
    if (!resourceOnly)
        fs::permissions(temporary, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                                       | fs::perms::others_read | fs::perms::others_exec);
    fs::rename(temporary, output);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    TopFrame top;
    setErrorMessageSink([](const std::string& text) {
        gLastReport = text;
        return 1;
    });
    int status = 0;
    startMemory();
    startModules();
    try {
        status = build({ argv + 1, argv + argc });
    } catch (const BuildError& e) {
        std::fprintf(stderr, "velora-image: %s\n", e.what());
        status = 1;
    } catch (const fs::filesystem_error& e) {
        std::fprintf(stderr, "velora-image: %s\n", e.what());
        status = 1;
    }
    stopModules();
    stopMemory();
    return status;
}
