// Interfac/Color.cpp: the Color Module: colour values, their platform colours, the 8-bit palette
// with its quantisation rule, the screen depth and the system colours. with-fore-color needs a
// port and arrives with the windows.
#include "Interfac/Color.h"

#include "Interfac/FileGUI.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Platform/Paint/Surface.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <cstring>

namespace {

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

// The standard palette of 8-bit screens is the painter's: drawing and the colour values agree.
const std::array<ColorBytes, 256>& builtInPalette()
{
    static const std::array<ColorBytes, 256> entries = [] {
        std::array<ColorBytes, 256> copy;
        for (int i = 0; i < 256; ++i) {
            Rgb c = Palette::standard().entries()[size_t(i)];
            copy[size_t(i)] = { c.red, c.green, c.blue };
        }
        return copy;
    }();
    return entries;
}

PlatformColor quantize(uint8_t red, uint8_t green, uint8_t blue)
{
    int index = quantizeToStandardPalette({ red, green, blue });
    const ColorBytes& e = builtInPalette()[size_t(index)];
    return { e.red, e.green, e.blue, index };
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

// The chooser of a run without dialogs: the next answer queued by the replay, written "#RRGGBB"
// or as three numbers 0-255; no answer, or any other answer, cancels.
bool replayColorAnswer(ColorBytes, ColorBytes& chosen)
{
    std::string answer;
    if (!takeReplayAnswer(answer))
        return false;
    unsigned r = 0, g = 0, b = 0;
    char end = 0;
    if (answer.size() == 7 && std::sscanf(answer.c_str(), "#%2x%2x%2x%c", &r, &g, &b, &end) == 3) {
        chosen = { uint8_t(r), uint8_t(g), uint8_t(b) };
        return true;
    }
    if (std::sscanf(answer.c_str(), "%u %u %u %c", &r, &g, &b, &end) == 3 && r < 256 && g < 256 && b < 256) {
        chosen = { uint8_t(r), uint8_t(g), uint8_t(b) };
        return true;
    }
    return false;
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
    ColorChooser chooser = gColorChooser ? gColorChooser : replayColorAnswer;
    if (!chooser(initial, chosen))
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
