// Interfac/Font.cpp: the Font Module: the Text-Style class. Fonts, measuring and drawing text need
// a port and arrive with the windows.
#include "Interfac/TextStyle.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Object.h"
#include "Kernel/Persist.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

Value gTextStyleClass = kNil;
Value sSymbolicFont, sParent;

Value makeTextStyleObject(Value) { return adoptKernelObject(new (std::nothrow) TextStyleObject); }

} // namespace

void TextStyleObject::markValues()
{
    KernelObject::markValues();
    mark(m_basis);
    mark(m_properties);
}

TextStyleObject* TextStyleObject::basisStyle() const
{
    return has(TextStyleFlag::Basis) && isObject(m_basis) ? &textStyleOf(m_basis) : nullptr;
}

const TextStyleObject* TextStyleObject::findWith(uint32_t flag) const
{
    for (const TextStyleObject* s = this; s; s = s->basisStyle())
        if (s->has(flag))
            return s;
    return nullptr;
}

bool TextStyleObject::effectiveStyle(uint16_t& bits, uint16_t& mask) const
{
    std::vector<const TextStyleObject*> chain;
    for (const TextStyleObject* s = this; s; s = s->basisStyle())
        chain.push_back(s);
    bool found = false;
    bits = mask = 0;
    for (size_t i = chain.size(); i-- > 0;) {
        const TextStyleObject& s = *chain[i];
        if (!s.has(TextStyleFlag::Style))
            continue;
        found = true;
        bits = uint16_t((bits & ~s.m_styleMask) | (s.m_style & s.m_styleMask));
        mask = uint16_t(mask | s.m_styleMask);
    }
    return found;
}

TextStyleObject& textStyleOf(Value object)
{
    if (!isObject(object))
        raiseWrongType(object);
    KernelObject& k = kernelObjectOf(object);
    if (!k.isTextStyle())
        raiseWrongType(object);
    return static_cast<TextStyleObject&>(k);
}

Value resolveStyleDesignator(Value designator)
{
    if (isObject(designator)) {
        textStyleOf(designator);
        return designator;
    }
    if (!isSymbol(designator) || designator == kNil)
        raiseWrongType(designator);
    Value answer = funcall(symbolValue(sSymbolicFont), designator);
    if (!isInstance(answer))
        raiseWrongType(answer);
    KernelObject& k = kernelObjectOf(answer);
    if (!k.isTextStyle())
        raiseWrongType(answer);
    return answer;
}

void applyStyleDesignator(Value designator, PortTextState& state)
{
    if (designator == kNil)
        return;
    if (isPair(designator)) {
        uint32_t count = 0;
        for (Value tail = designator; tail != kNil; tail = cdr(tail)) {
            if (!isPair(tail) || ++count > gAreas.cellCount)
                raiseWrongType(designator);
            applyStyleDesignator(car(tail), state);
        }
        return;
    }
    const TextStyleObject& s = textStyleOf(resolveStyleDesignator(designator));
    if (const TextStyleObject* c = s.findWith(TextStyleFlag::Color))
        state.color = c->m_color;
    if (const TextStyleObject* f = s.findWith(TextStyleFlag::Font)) {
        state.face = f->m_face;
        state.family = f->m_family;
    }
    if (const TextStyleObject* z = s.findWith(TextStyleFlag::Size))
        state.size = z->m_size;
    uint16_t bits, mask;
    if (s.effectiveStyle(bits, mask))
        state.style = uint16_t((state.style & ~mask) | bits);
}

namespace {

Value currentObject()
{
    if (!isObject(gSelf))
        raiseWrongType(gSelf);
    return gSelf;
}

TextStyleObject& self() { return textStyleOf(currentObject()); }

// The style that answers a getter: the receiver itself, or with inheritance the first of its
// chain that sets the attribute. nullptr when none does.
const TextStyleObject* answering(Value inherited, uint32_t flag)
{
    const TextStyleObject& s = self();
    return isFlagSet(inherited) ? s.findWith(flag) : (s.has(flag) ? &s : nullptr);
}

// A symbol given to the font or style setter stands for its value seen from the style's parent.
Value valueFromParent(Value symbol)
{
    Value parent = isBound(sParent) ? symbolValue(sParent) : kNil;
    if (!isObject(parent))
        return symbolValue(symbol);
    ObjectContextFrame context(parent);
    return symbolValue(symbol);
}

template <uint32_t Flag, auto Member> Value getUnsigned(Value inherited)
{
    const TextStyleObject* s = answering(inherited, Flag);
    return s ? makeImmediate(uint16_t(s->*Member)) : kNil;
}

template <uint32_t Flag, auto Member> Value setUnsigned(Value value)
{
    TextStyleObject& s = self();
    if (value == kNil) {
        s.clear(Flag);
        return kNoValue;
    }
    s.*Member = uint16_t(toInt64(value));
    s.set(Flag);
    return kNoValue;
}

Value getJustification(Value inherited)
{
    const TextStyleObject* s = answering(inherited, TextStyleFlag::Justification);
    return s ? makeImmediate(s->m_justification) : kNil;
}

Value setJustification(Value value)
{
    TextStyleObject& s = self();
    if (value == kNil) {
        s.clear(TextStyleFlag::Justification);
        return kNoValue;
    }
    s.m_justification = int16_t(toInt64(value));
    s.set(TextStyleFlag::Justification);
    return kNoValue;
}

Value getBasis()
{
    const TextStyleObject& s = self();
    return s.has(TextStyleFlag::Basis) ? s.m_basis : kNil;
}

// A basis that has the receiver in its own chain would close a cycle: refused with the basis as
// culprit.
Value setBasis(Value designator)
{
    if (designator == kNil) {
        TextStyleObject& s = self();
        s.clear(TextStyleFlag::Basis);
        s.m_basis = kNil;
        return kNoValue;
    }
    // Resolved first: symbolic-font runs Lisp code.
    Value basis = resolveStyleDesignator(designator);
    TextStyleObject& s = self();
    for (const TextStyleObject* b = &textStyleOf(basis); b; b = b->basisStyle())
        if (b == &s)
            raiseWrongType(basis);
    s.m_basis = basis;
    s.set(TextStyleFlag::Basis);
    return kNoValue;
}

Value getFont(Value inherited)
{
    const TextStyleObject* s = answering(inherited, TextStyleFlag::Font);
    return s ? makeString(s->m_face) : kNil;
}

Value setFont(Value name)
{
    TextStyleObject& s = self();
    if (name == kNil) {
        s.clear(TextStyleFlag::Font);
        return kNoValue;
    }
    Value face = isSymbol(name) ? valueFromParent(name) : name;
    if (!isString(face))
        raiseWrongType(face);
    s.m_face.assign(stringChars(face), std::min<size_t>(stringLength(face), kMaxFaceName));
    s.set(TextStyleFlag::Font);
    return kNoValue;
}

Value getStyle(Value inherited)
{
    const TextStyleObject& s = self();
    if (isFlagSet(inherited)) {
        uint16_t bits, mask;
        return s.effectiveStyle(bits, mask) ? makeImmediate(bits) : kNil;
    }
    return s.has(TextStyleFlag::Style) ? makeImmediate(s.m_style) : kNil;
}

Value setStyle(Value value)
{
    TextStyleObject& s = self();
    if (value == kNil) {
        s.clear(TextStyleFlag::Style);
        return kNoValue;
    }
    Value bits = isSymbol(value) ? valueFromParent(value) : value;
    if (!isInteger(bits))
        raiseWrongType(bits);
    s.m_style = uint16_t(toInt64(bits));
    s.set(TextStyleFlag::Style);
    return kNoValue;
}

Value getStyleMask(Value inherited)
{
    const TextStyleObject& s = self();
    if (isFlagSet(inherited)) {
        uint16_t bits, mask;
        return s.effectiveStyle(bits, mask) ? makeImmediate(mask) : kNil;
    }
    return s.has(TextStyleFlag::Style) ? makeImmediate(s.m_styleMask) : kNil;
}

// nil leaves the mask as it is.
Value setStyleMask(Value value)
{
    TextStyleObject& s = self();
    if (value == kNil)
        return kNoValue;
    s.m_styleMask = uint16_t(toInt64(value));
    s.set(TextStyleFlag::Style);
    return kNoValue;
}

template <uint32_t Flag, RGBColor TextStyleObject::*Member> Value getColor(Value inherited)
{
    const TextStyleObject* s = answering(inherited, Flag);
    return s ? makeColorValue(s->*Member) : kNil;
}

template <uint32_t Flag, RGBColor TextStyleObject::*Member> Value setColor(Value colour)
{
    if (colour == kNil) {
        self().clear(Flag);
        return kNoValue;
    }
    RGBColor c = toColor(colour); // symbolic-color runs Lisp code: the receiver is looked up after it
    TextStyleObject& s = self();
    s.*Member = c;
    s.set(Flag);
    return kNoValue;
}

Value getProperties(Value inherited)
{
    const TextStyleObject* s = answering(inherited, TextStyleFlag::Properties);
    return s ? s->m_properties : kNil;
}

Value setProperties(Value value)
{
    TextStyleObject& s = self();
    s.m_properties = value;
    if (value == kNil)
        s.clear(TextStyleFlag::Properties);
    else
        s.set(TextStyleFlag::Properties);
    return kNoValue;
}

Value getTabulation(Value inherited)
{
    const TextStyleObject* s = answering(inherited, TextStyleFlag::Tabulation);
    if (!s)
        return kNil;
    size_t n = 0;
    while (n < kMaxTabStops && !s->m_tabs[n].isEmpty())
        ++n;
    // Copied first: making the list may collect, which may run no Lisp but keeps s valid anyway.
    std::array<TabStop, kMaxTabStops> tabs = s->m_tabs;
    Value list = kNil;
    for (size_t i = n; i-- > 0;) {
        Value stop = cons(makeImmediate(tabs[i].position), makeImmediate(tabs[i].kind));
        list = cons(stop, list);
    }
    return list;
}

// Keeps the first twenty stops of a list of pairs (position . kind) and clears the rest.
Value setTabulation(Value stops)
{
    TextStyleObject& s = self();
    if (stops == kNil) {
        s.clear(TextStyleFlag::Tabulation);
        return kNoValue;
    }
    std::array<TabStop, kMaxTabStops> tabs {};
    size_t n = 0;
    uint32_t count = 0;
    for (Value tail = stops; tail != kNil; tail = cdr(tail)) {
        if (!isPair(tail) || ++count > gAreas.cellCount)
            raiseWrongType(stops);
        Value stop = car(tail);
        if (!isPair(stop) || !isImmediateInteger(car(stop)) || !isImmediateInteger(cdr(stop)))
            raiseWrongType(stop);
        if (n < kMaxTabStops)
            tabs[n++] = { uint16_t(integerValue(car(stop))), uint8_t(integerValue(cdr(stop))) };
    }
    s.m_tabs = tabs;
    s.set(TextStyleFlag::Tabulation);
    return kNoValue;
}

class FontModule final : public Module {
public:
    FontModule() : Module("Font") {}
    void start() override
    {
        Module::start();
        sSymbolicFont = intern("symbolic-font");
        sParent = intern("parent");
        gTextStyleClass = registerNativeClass("Text-Style", makeTextStyleObject, gObjKernelClass);

        auto method = [](const char* name, auto fn, uint32_t arity) {
            defineMethod(gTextStyleClass, name, AnyFn(fn), arity);
        };
        using S = TextStyleObject;
        method("get-text-style-basis", getBasis, 0);
        method("set-text-style-basis", setBasis, 1);
        method("get-text-style-font", getFont, 1);
        method("set-text-style-font", setFont, 1);
        method("get-text-style-size", getUnsigned<TextStyleFlag::Size, &S::m_size>, 1);
        method("set-text-style-size", setUnsigned<TextStyleFlag::Size, &S::m_size>, 1);
        method("get-text-style-style", getStyle, 1);
        method("set-text-style-style", setStyle, 1);
        method("get-text-style-style-mask", getStyleMask, 1);
        method("set-text-style-style-mask", setStyleMask, 1);
        method("get-text-style-force-line-ascent",
               getUnsigned<TextStyleFlag::ForceLineAscent, &S::m_forceLineAscent>, 1);
        method("set-text-style-force-line-ascent",
               setUnsigned<TextStyleFlag::ForceLineAscent, &S::m_forceLineAscent>, 1);
        method("get-text-style-force-line-descent",
               getUnsigned<TextStyleFlag::ForceLineDescent, &S::m_forceLineDescent>, 1);
        method("set-text-style-force-line-descent",
               setUnsigned<TextStyleFlag::ForceLineDescent, &S::m_forceLineDescent>, 1);
        method("get-text-style-color", getColor<TextStyleFlag::Color, &S::m_color>, 1);
        method("set-text-style-color", setColor<TextStyleFlag::Color, &S::m_color>, 1);
        method("get-text-style-background-color",
               getColor<TextStyleFlag::BackgroundColor, &S::m_backgroundColor>, 1);
        method("set-text-style-background-color",
               setColor<TextStyleFlag::BackgroundColor, &S::m_backgroundColor>, 1);
        method("get-text-style-properties", getProperties, 1);
        method("set-text-style-properties", setProperties, 1);
        method("get-text-style-line-height", getUnsigned<TextStyleFlag::LineHeight, &S::m_lineHeight>, 1);
        method("set-text-style-line-height", setUnsigned<TextStyleFlag::LineHeight, &S::m_lineHeight>, 1);
        method("get-text-style-alinea-margin", getUnsigned<TextStyleFlag::AlineaMargin, &S::m_alineaMargin>, 1);
        method("set-text-style-alinea-margin", setUnsigned<TextStyleFlag::AlineaMargin, &S::m_alineaMargin>, 1);
        method("get-text-style-left-margin", getUnsigned<TextStyleFlag::LeftMargin, &S::m_leftMargin>, 1);
        method("set-text-style-left-margin", setUnsigned<TextStyleFlag::LeftMargin, &S::m_leftMargin>, 1);
        method("get-text-style-right-margin", getUnsigned<TextStyleFlag::RightMargin, &S::m_rightMargin>, 1);
        method("set-text-style-right-margin", setUnsigned<TextStyleFlag::RightMargin, &S::m_rightMargin>, 1);
        method("get-text-style-top-margin", getUnsigned<TextStyleFlag::TopMargin, &S::m_topMargin>, 1);
        method("set-text-style-top-margin", setUnsigned<TextStyleFlag::TopMargin, &S::m_topMargin>, 1);
        method("get-text-style-bottom-margin", getUnsigned<TextStyleFlag::BottomMargin, &S::m_bottomMargin>, 1);
        method("set-text-style-bottom-margin", setUnsigned<TextStyleFlag::BottomMargin, &S::m_bottomMargin>, 1);
        method("get-text-style-justification", getJustification, 1);
        method("set-text-style-justification", setJustification, 1);
        method("get-text-style-interline", getUnsigned<TextStyleFlag::Interline, &S::m_interline>, 1);
        method("set-text-style-interline", setUnsigned<TextStyleFlag::Interline, &S::m_interline>, 1);
        method("get-text-style-tabulation", getTabulation, 1);
        method("set-text-style-tabulation", setTabulation, 1);
        method("get-text-style-default-tab", getUnsigned<TextStyleFlag::DefaultTab, &S::m_defaultTab>, 1);
        method("set-text-style-default-tab", setUnsigned<TextStyleFlag::DefaultTab, &S::m_defaultTab>, 1);
    }
    void stop() override
    {
        gTextStyleClass = kNil;
        Module::stop();
    }
    void markRoots() override { mark(gTextStyleClass); }
} theFontModule;

} // namespace
