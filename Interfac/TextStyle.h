// Interfac/TextStyle.h: the native part of Text-Style instances: character and paragraph
// attributes, each counted only while its flag is set, and a basis style from which unset
// attributes are inherited. A basis chain never forms a cycle: setting a basis that would close
// one is refused.
#pragma once

#include "Interfac/Color.h"
#include "Kernel/KernelObject.h"

#include <array>
#include <cstdint>
#include <string>

// The three flag bytes: character attributes, paragraph attributes and the third byte.
namespace TextStyleFlag {
enum : uint32_t {
    Basis = 0x01,
    Font = 0x02,
    Size = 0x04,
    Style = 0x08, // the style bits and the mask of the bits this style decides
    ForceLineAscent = 0x10,
    ForceLineDescent = 0x20,
    Color = 0x40,
    BackgroundColor = 0x80,
    LineHeight = 0x100,
    AlineaMargin = 0x200,
    LeftMargin = 0x400,
    RightMargin = 0x800,
    TopMargin = 0x1000,
    BottomMargin = 0x2000,
    Justification = 0x4000,
    Interline = 0x8000,
    Tabulation = 0x10000,
    DefaultTab = 0x20000,
    Properties = 0x40000,
};
}

struct TabStop {
    uint16_t position = 0;
    uint8_t kind = 0;

    bool isEmpty() const { return position == 0 && kind == 0; }
};

constexpr size_t kMaxFaceName = 32;
constexpr size_t kMaxTabStops = 20;

class TextStyleObject final : public KernelObject {
public:
    bool isKernelObject() const override { return true; }
    bool isTextStyle() const override { return true; }
    void markValues() override;

    bool has(uint32_t flag) const { return (m_flags & flag) != 0; }
    void set(uint32_t flag) { m_flags |= flag; }
    void clear(uint32_t flag) { m_flags &= ~flag; }
    // The basis style's native part, or nullptr without a basis; error 69 when the basis instance
    // lost its native part.
    TextStyleObject* basisStyle() const;
    // The first style of the chain from this one on whose attribute is set, or nullptr.
    const TextStyleObject* findWith(uint32_t flag) const;
    // The style bits and mask accumulated from the end of the chain towards this style. Answers
    // false when no style of the chain sets its style.
    bool effectiveStyle(uint16_t& bits, uint16_t& mask) const;

    uint32_t m_flags = 0;
    Value m_basis = kNil;            // a Text-Style instance
    std::string m_face;              // at most kMaxFaceName characters
    uint8_t m_family = 0;
    uint16_t m_size = 12;
    uint16_t m_style = 0;
    uint16_t m_styleMask = 0xFFFF;
    uint16_t m_forceLineAscent = 0;
    uint16_t m_forceLineDescent = 0;
    RGBColor m_color {};
    RGBColor m_backgroundColor { 65535, 65535, 65535 };
    Value m_properties = kNil;
    uint16_t m_lineHeight = 0;
    uint16_t m_alineaMargin = 0;
    uint16_t m_leftMargin = 0;
    uint16_t m_rightMargin = 0;
    uint16_t m_topMargin = 0;
    uint16_t m_bottomMargin = 0;
    int16_t m_justification = 0;
    uint16_t m_interline = 100;
    std::array<TabStop, kMaxTabStops> m_tabs {};
    uint16_t m_defaultTab = 24;
};

// The native part of a Text-Style instance: error 69 with the object when it has none, the
// wrong-type error when the value is no object or its native part is no text style.
TextStyleObject& textStyleOf(Value object);
// A style designator that names one style: an instance, or a symbol that the application's
// symbolic-font turns into one (anything else it answers is the wrong-type error with the answer).
// Returns the instance.
Value resolveStyleDesignator(Value designator);

// The character part of a port's text state that a style changes.
struct PortTextState {
    RGBColor color {};          // the foreground colour
    uint16_t style = 0;         // bit 0 bold, 1 italic, 2 underline, 7 strike-out
    uint16_t size = 12;
    uint8_t family = 0;
    std::string face;           // empty: the system font

    bool operator==(const PortTextState&) const = default;
};
// Applies a style designator (an instance, a symbol through symbolic-font, or a list of
// designators applied in order; nil changes nothing) to the state: with inheritance, the colour, face and size found
// replace the state's, and the effective style bits replace the bits of the effective mask.
void applyStyleDesignator(Value designator, PortTextState& state);
