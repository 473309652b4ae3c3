// Interfac/Pathname.cpp: the Pathname Module. Pathnames, native paths and file-name patterns.
#include "Interfac/Pathname.h"

#include "Kernel/Error.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Stream.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"
#include "Platform/Files/Files.h"

namespace {

// Symbolic directories may refer to one another; a chain deeper than this is a cycle.
constexpr int kMaxDepth = 64;

// Calls visit(component) for each string of a pathname, depth first.
template <typename Visit> void walkPathname(Value p, Visit&& visit, int depth)
{
    if (depth > kMaxDepth)
        raiseWrongType(p);
    if (isString(p)) {
        visit(p);
        return;
    }
    if (isSymbol(p) && p != kNil) {
        if (!isBound(p))
            raiseError(ErrorCode::Unbound, p);
        Value value = symbolValue(p);
        if (isSymbol(value) && value != kNil)
            raiseWrongType(p);
        walkPathname(value, visit, depth + 1);
        return;
    }
    if (p == kNil)
        return;
    if (!isPair(p))
        raiseWrongType(p);
    uint32_t count = listLength(p); // raises for a circular list
    for (uint32_t i = 0; i < count && isPair(p); ++i, p = cdr(p)) {
        Value element = car(p);
        if (!isString(element) && !isSymbol(element) && !isPair(element))
            raiseWrongType(element);
        walkPathname(element, visit, depth + 1);
    }
}

Value toText(Value v)
{
    if (!isString(v))
        raiseWrongType(v);
    return v;
}

std::string textOf(Value v) { return toStdString(toText(v)); }

bool globMatch(std::string_view name, std::string_view pattern)
{
    // Iterative match with one backtrack point for the last "*".
    size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || upperChar(uint8_t(pattern[p])) == upperChar(uint8_t(name[n])))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// ---- Primitives ----

Value pathnameEqualP(Value a, Value b)
{
    return boolValue(equalTextsNoCase(nativePathArgument(a), nativePathArgument(b), false));
}

Value pathnameInclusion(Value a, Value b)
{
    std::string outer = nativePathArgument(a);
    std::string inner = nativePathArgument(b);
    if (inner.size() < outer.size() || !equalTextsNoCase(inner.substr(0, outer.size()), outer, false))
        return kNil;
    bool boundary = inner.size() == outer.size() || inner[outer.size()] == '\\' || (!outer.empty() && outer.back() == '\\');
    return boolValue(boundary);
}

Value pathnameName(Value p)
{
    Value last = kNil;
    walkPathname(p, [&](Value s) { last = s; }, 0);
    return last;
}

Value pathnameDirectory(Value p)
{
    // A pathname ending in a string keeps its symbolic head; otherwise the resolved form is cut.
    if (isPair(p) && isString(car(lastPair(p)))) {
        ListBuilder out;
        for (Value q = p; isPair(q) && isPair(cdr(q)); q = cdr(q))
            out.add(car(q));
        return out.head;
    }
    Value expanded = expandPathname(p);
    ListBuilder out;
    for (Value q = expanded; isPair(q) && isPair(cdr(q)); q = cdr(q))
        out.add(car(q));
    return out.head;
}

// The volume component ("X:") of a pathname, or nil.
Value volumeOf(Value p)
{
    Value first = kNil;
    walkPathname(p, [&](Value s) {
        if (first == kNil)
            first = s;
    }, 0);
    if (first == kNil)
        return kNil;
    std::string text = toStdString(first);
    return text.size() == 2 && text[1] == ':' ? first : kNil;
}

Value pathnameVolume(Value p)
{
    Value volume = volumeOf(p);
    return volume == kNil ? kNil : cons(volume, kNil);
}

Value pathnameVolumeP(Value p)
{
    if (volumeOf(p) == kNil)
        return kNil;
    std::string path = nativePathOf(p);
    return boolValue(path.size() == 2 || path.size() == 3);
}

Value veloraToOs(Value p) { return makeString(nativePathOf(p)); }
Value osToVelora(Value s) { return pathnameOf(textOf(s)); }
Value matchFilenamePrimitive(Value name, Value pattern) { return boolValue(matchFilename(textOf(name), textOf(pattern))); }
Value resourcePathnameP(Value x) { return boolValue(isString(x) || isNumber(x)); }
Value expandPathnamePrimitive(Value p) { return expandPathname(p); }

class PathnameModule final : public Module {
public:
    PathnameModule() : Module("Pathname") {}
    void start() override
    {
        Module::start();
        defineFunction2("pathname=?", pathnameEqualP);
        defineFunction2("pathname-inclusion", pathnameInclusion);
        defineFunction1("pathname-name", pathnameName);
        defineFunction1("pathname-directory", pathnameDirectory);
        defineFunction1("pathname-volume", pathnameVolume);
        defineFunction1("pathname-volume?", pathnameVolumeP);
        defineFunction1("velora->os", veloraToOs);
        defineFunction1("os->velora", osToVelora);
        defineFunction2("match-filename", matchFilenamePrimitive);
        defineFunction1("resource-pathname?", resourcePathnameP);
        defineFunction1("expand-pathname", expandPathnamePrimitive);
    }
} thePathnameModule;

} // namespace

std::string nativePathOf(Value pathname)
{
    std::string path;
    walkPathname(pathname, [&](Value s) {
        uint32_t length = stringLength(s);
        if (!path.empty() || length == 0)
            path.push_back('\\');
        path.append(stringChars(s), length);
        if (path.size() > kMaxNativePath + 1)
            raiseWrongType(pathname);
    }, 0);
    if (path.size() > 1 && path.back() == '\\' && !(path.size() >= 2 && path[path.size() - 2] == ':'))
        path.pop_back();
    if (path.size() > kMaxNativePath)
        raiseWrongType(pathname);
    return path;
}

Value pathnameOf(std::string_view path)
{
    ListBuilder out;
    if (path.size() >= 2 && path[1] == ':' && (path.size() == 2 || path[2] != '\\')) {
        out.add(makeString(path.data(), 2));
        path.remove_prefix(2);
        if (path.empty())
            return out.head;
    } else if (!path.empty() && path[0] == '\\') {
        path.remove_prefix(1);
    }
    if (path.empty())
        return out.head;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        out.add(makeString(path.data() + start, end - start));
        if (end == path.size())
            break;
        start = end + 1;
    }
    return out.head;
}

Value expandPathname(Value pathname)
{
    ListBuilder out;
    walkPathname(pathname, [&](Value s) { out.add(s); }, 0);
    return out.head;
}

std::string nativePathArgument(Value path)
{
    if (isString(path)) {
        if (stringLength(path) > kMaxNativePath)
            raiseWrongType(path);
        return toStdString(path);
    }
    return nativePathOf(path);
}

bool hostPathOf(Value path, std::string& hostPath, int& error)
{
    std::string native = nativePathArgument(path);
    error = 0;
    if (native.empty()) {
        error = static_cast<int>(FileError::NotFound);
        return false;
    }
    FileError e = filesHostPath(native, hostPath);
    if (failed(e)) {
        error = e == FileError::Invalid ? static_cast<int>(FileError::NotFound) : static_cast<int>(e);
        return false;
    }
    return true;
}

std::string hostPathOrRaise(Value path)
{
    std::string host;
    int error = 0;
    if (!hostPathOf(path, host, error))
        raiseFileError(error, path);
    return host;
}

Value pathnameOfHostPath(const std::string& hostPath)
{
    std::string lisp;
    if (!filesLispPath(hostPath, lisp))
        return kNil;
    return pathnameOf(lisp);
}

bool matchFilename(std::string_view name, std::string_view pattern)
{
    size_t start = 0;
    for (;;) {
        size_t end = pattern.find(';', start);
        if (end == std::string_view::npos)
            end = pattern.size();
        std::string_view alternative = pattern.substr(start, end - start);
        if (!alternative.empty()) {
            if (globMatch(name, alternative))
                return true;
            if (alternative.size() >= 2 && alternative.substr(alternative.size() - 2) == ".*" &&
                name.find('.') == std::string_view::npos &&
                globMatch(name, alternative.substr(0, alternative.size() - 2)))
                return true;
        }
        if (end == pattern.size())
            return false;
        start = end + 1;
    }
}
