// Interfac/Color.cpp: the Color Module: colour values, their platform colours, the 8-bit palette
// with its quantisation rule, the screen depth and the system colours. with-fore-color needs a
// port and arrives with the windows.
#include "Interfac/Color.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <cstdlib>
#include <cstring>

namespace {

// Red, green and blue of each entry.
constexpr uint32_t kPaletteColors[256] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0xC0DCC0, 0xA6CAF0, 0x000033, 0x000099, 0x0000CC, 0x003300, 0x003333, 0x003366,
    0x003399, 0x0033CC, 0x0033FF, 0x006633, 0x006699, 0x0066CC, 0x0066FF, 0x009900,
    0x009933, 0x009966, 0x009999, 0x0099CC, 0x0099FF, 0x00CC00, 0x00CC33, 0x00CC66,
    0x00CC99, 0x00CCCC, 0x00CCFF, 0x00FF33, 0x00FF66, 0x00FF99, 0x00FFCC, 0x330000,
    0x330066, 0x330099, 0x3300CC, 0x3300FF, 0x333300, 0x333366, 0x333399, 0x3333CC,
    0x3333FF, 0x336600, 0x336633, 0x336666, 0x336699, 0x3366CC, 0x3366FF, 0x339900,
    0x339933, 0x339966, 0x339999, 0x3399CC, 0x3399FF, 0x33CC00, 0x33CC33, 0x33CC66,
    0x33CC99, 0x33CCCC, 0x33CCFF, 0x33FF00, 0x33FF33, 0x33FF66, 0x33FF99, 0x33FFCC,
    0x33FFFF, 0x660033, 0x660099, 0x6600CC, 0x6600FF, 0x663333, 0x663366, 0x663399,
    0x6633CC, 0x6633FF, 0x666633, 0x666666, 0x666699, 0x6666CC, 0x6666FF, 0x669900,
    0x669933, 0x669966, 0x669999, 0x6699CC, 0x6699FF, 0x66CC00, 0x66CC33, 0x66CC66,
    0x66CC99, 0x66CCCC, 0x66CCFF, 0x66FF00, 0x66FF33, 0x66FF66, 0x66FF99, 0x66FFCC,
    0x66FFFF, 0x111111, 0x222222, 0x333333, 0x330033, 0x444444, 0x555555, 0x663300,
    0x888888, 0xEE0000, 0xDD0000, 0xBB0000, 0xAA0000, 0x880000, 0x770000, 0x550000,
    0x440000, 0x220000, 0x110000, 0x00EE00, 0x00DD00, 0x00BB00, 0x00AA00, 0x008800,
    0x007700, 0x005500, 0x004400, 0x002200, 0x001100, 0x0000EE, 0x0000DD, 0x0000BB,
    0x0000AA, 0x000088, 0x000077, 0x000055, 0x000044, 0x000022, 0x000011, 0x9999FF,
    0x99FF99, 0x99FFFF, 0xFF6699, 0xFF66FF, 0xCCCCCC, 0xDDDDDD, 0xEEEEEE, 0x990000,
    0x990033, 0x990066, 0x990099, 0x9900CC, 0x9900FF, 0x993300, 0x993333, 0x993366,
    0x993399, 0x9933CC, 0x9933FF, 0x996600, 0x996633, 0x996666, 0x996699, 0x9966CC,
    0x9966FF, 0x999900, 0x999933, 0x999966, 0x999999, 0x9999CC, 0x99CC00, 0x99CC33,
    0x99CC66, 0x99CC99, 0x99CCCC, 0x99FF00, 0x99FF33, 0x99FF66, 0x99FFCC, 0xCC0000,
    0xCC0033, 0xCC0066, 0xCC0099, 0xCC00CC, 0xCC00FF, 0xCC3300, 0xCC3333, 0xCC3366,
    0xCC3399, 0xCC33CC, 0xCC33FF, 0xCC6600, 0xCC6633, 0xCC6666, 0xCC6699, 0xCC66CC,
    0xCC66FF, 0xCC9900, 0xCC9933, 0xCC9966, 0xCC9999, 0xCC99CC, 0xCC99FF, 0xCCCC00,
    0xCCCC33, 0xCCCC66, 0xCCCC99, 0xCCCCFF, 0xCCFF00, 0xCCFF33, 0xCCFF66, 0xCCFF99,
    0xCCFFFF, 0xFF0033, 0xFF0066, 0xFF0099, 0xFF00CC, 0xFF3300, 0xFF3333, 0xFF3366,
    0xFF3399, 0xFF33CC, 0xFF33FF, 0xFF6600, 0xFF6633, 0xFF6666, 0xFF66CC, 0xFF9900,
    0xFF9933, 0xFF9966, 0xFF9999, 0xFF99CC, 0xFF99FF, 0xFFCC00, 0xFFCC33, 0xFFCC66,
    0xFFCC99, 0xFFCCCC, 0xFFCCFF, 0xFFFF33, 0xFFFF66, 0xFFFF99, 0xFFFBF0, 0xA0A0A4,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

std::array<ColorBytes, 256> makeBuiltInPalette()
{
    std::array<ColorBytes, 256> entries;
    for (int i = 0; i < 256; ++i)
        entries[i] = { uint8_t(kPaletteColors[i] >> 16), uint8_t(kPaletteColors[i] >> 8), uint8_t(kPaletteColors[i]) };
    return entries;
}

// Cube colours the palette lacks and the entries that stand for them.
constexpr struct {
    ColorBytes missing, standIn;
} kStandIns[] = {
    { { 0, 0x66, 0 }, { 0, 0x80, 0 } },
    { { 0, 0, 0x66 }, { 0, 0, 0x80 } },
    { { 0, 0x66, 0x66 }, { 0, 0x80, 0x80 } },
    { { 0x66, 0, 0 }, { 0x80, 0, 0 } },
    { { 0x66, 0x66, 0 }, { 0x80, 0x80, 0 } },
    { { 0x66, 0, 0x66 }, { 0x80, 0, 0x80 } },
    { { 0x77, 0x77, 0x77 }, { 0x80, 0x80, 0x80 } },
    { { 0x99, 0xCC, 0xFF }, { 0xA6, 0xCA, 0xF0 } },
    { { 0xAA, 0xAA, 0xAA }, { 0xA0, 0xA0, 0xA4 } },
    { { 0xBB, 0xBB, 0xBB }, { 0xC0, 0xC0, 0xC0 } },
    { { 0xCC, 0xFF, 0xCC }, { 0xC0, 0xDC, 0xC0 } },
    { { 0xFF, 0xFF, 0xCC }, { 0xFF, 0xFB, 0xF0 } },
};

int gScreenDepth = 0; // 0 until set or read from the environment
ColorChooser gColorChooser = nullptr;
Value sSymbolicColor;
Value kwBackground, kwButton, kwButtonText, kwButtonHilight, kwButtonShadow, kwButtonGrayText;

// The low 16 bits of the first three elements, which must be small integers.
bool readColorList(Value list, RGBColor& c)
{
    uint16_t* components[] = { &c.red, &c.green, &c.blue };
    Value tail = list;
    for (uint16_t* component : components) {
        if (!isPair(tail) || !isImmediateInteger(car(tail)))
            return false;
        *component = uint16_t(integerValue(car(tail)));
        tail = cdr(tail);
    }
    return true;
}

} // namespace

RGBColor toColor(Value colour)
{
    RGBColor c;
    if (isSymbol(colour) && colour != kNil) {
        Value resolved = funcall(symbolValue(sSymbolicColor), colour);
        if (!readColorList(resolved, c))
            raiseWrongType(resolved);
        return c;
    }
    if (!readColorList(colour, c))
        raiseWrongType(colour);
    return c;
}

Value makeColorValue(const RGBColor& c)
{
    Value list = cons(makeImmediate(c.blue), kNil);
    list = cons(makeImmediate(c.green), list);
    return cons(makeImmediate(c.red), list);
}

Value colorValueFromBytes(uint8_t red, uint8_t green, uint8_t blue)
{
    return makeColorValue({ uint16_t(red * 257), uint16_t(green * 257), uint16_t(blue * 257) });
}

const std::array<ColorBytes, 256>& builtInPalette()
{
    static const std::array<ColorBytes, 256> entries = makeBuiltInPalette();
    return entries;
}

PlatformColor quantize(uint8_t red, uint8_t green, uint8_t blue)
{
    auto to17 = [](int c) { return (c + 8) / 17 * 17; };
    auto to51 = [](int c) { return (c + 25) / 51 * 51; };
    int r = to17(red), g = to17(green), b = to17(blue);
    const bool grey = r == g && g == b;
    const bool ramp = (r == 0 && g == 0) || (r == 0 && b == 0) || (g == 0 && b == 0);
    if (!grey && !ramp) {
        r = to51(r);
        g = to51(g);
        b = to51(b);
    }
    ColorBytes wanted { uint8_t(r), uint8_t(g), uint8_t(b) };
    for (auto& s : kStandIns)
        if (s.missing == wanted)
            wanted = s.standIn;
    const auto& entries = builtInPalette();
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        int dr = entries[i].red - wanted.red, dg = entries[i].green - wanted.green, db = entries[i].blue - wanted.blue;
        int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return { entries[best].red, entries[best].green, entries[best].blue, best };
}

PlatformColor toPlatformColor(const RGBColor& c)
{
    const uint8_t r = uint8_t(c.red >> 8), g = uint8_t(c.green >> 8), b = uint8_t(c.blue >> 8);
    return palette() ? quantize(r, g, b) : PlatformColor { r, g, b, -1 };
}

int screenDepth()
{
    if (gScreenDepth == 0) {
        const char* text = std::getenv("VELORA_SCREEN_DEPTH");
        gScreenDepth = text && std::strcmp(text, "8") == 0 ? 8 : 32;
    }
    return gScreenDepth;
}

void setScreenDepth(int bitsPerPixel) { gScreenDepth = bitsPerPixel == 8 ? 8 : 32; }

const std::array<ColorBytes, 256>* palette() { return screenDepth() == 8 ? &builtInPalette() : nullptr; }

// The classic three-dimensional look of the window manager.
ColorBytes systemColor(SystemColor which)
{
    switch (which) {
    case SystemColor::Face: return { 0xC0, 0xC0, 0xC0 };
    case SystemColor::ButtonText: return { 0, 0, 0 };
    case SystemColor::Highlight: return { 0xFF, 0xFF, 0xFF };
    case SystemColor::Shadow: return { 0x80, 0x80, 0x80 };
    case SystemColor::GrayText: return { 0x80, 0x80, 0x80 };
    }
    return {};
}

void setColorChooser(ColorChooser chooser) { gColorChooser = chooser; }

namespace {

Value getDepth() { return makeImmediate(screenDepth()); }
Value hasDepth(Value) { return kNil; }
Value setDepth(Value) { return kNoValue; }

Value getSystemColor(Value which)
{
    SystemColor c;
    if (which == kwBackground || which == kwButton)
        c = SystemColor::Face;
    else if (which == kwButtonText)
        c = SystemColor::ButtonText;
    else if (which == kwButtonHilight)
        c = SystemColor::Highlight;
    else if (which == kwButtonShadow)
        c = SystemColor::Shadow;
    else if (which == kwButtonGrayText)
        c = SystemColor::GrayText;
    else
        raiseWrongType(which);
    ColorBytes e = systemColor(c);
    return colorValueFromBytes(e.red, e.green, e.blue);
}

// (velora-choose-color a b colour): the chooser starts from the high bytes of the colour (black for
// nil); the answer, or the initial colour when the user cancels, comes back as byte × 256.
Value veloraChooseColor(Value, Value, Value colour)
{
    ColorBytes initial;
    if (colour != kNil) {
        RGBColor c = toColor(colour);
        initial = { uint8_t(c.red >> 8), uint8_t(c.green >> 8), uint8_t(c.blue >> 8) };
    }
    ColorBytes chosen = initial;
    if (!gColorChooser || !gColorChooser(initial, chosen))
        chosen = initial;
    return makeColorValue({ uint16_t(chosen.red * 256), uint16_t(chosen.green * 256), uint16_t(chosen.blue * 256) });
}

class ColorModule final : public Module {
public:
    ColorModule() : Module("Color") {}
    void start() override
    {
        Module::start();
        sSymbolicColor = intern("symbolic-color");
        kwBackground = makeKeyword("background");
        kwButton = makeKeyword("button");
        kwButtonText = makeKeyword("button-text");
        kwButtonHilight = makeKeyword("button-hilight");
        kwButtonShadow = makeKeyword("button-shadow");
        kwButtonGrayText = makeKeyword("button-gray-text");

        defineFunction0("get-depth", getDepth);
        defineFunction1("has-depth", hasDepth);
        defineFunction1("set-depth", setDepth);
        defineFunction1("get-system-color", getSystemColor);
        defineFunction3("velora-choose-color", veloraChooseColor);
    }
} theColorModule;

} // namespace
