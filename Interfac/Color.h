// Interfac/Color.h: colour values, platform colours and the 8-bit palette.
//
// On the Lisp side a colour is a list (red green blue) of integers 0..65535, or a symbol that the
// application's symbolic-color turns into such a list. A platform colour keeps the high byte of
// each component; on an 8-bit screen it is quantised to an entry of the built-in palette.
#pragma once

#include "Kernel/Value.h"

#include <array>
#include <cstdint>

struct RGBColor {
    uint16_t red = 0;
    uint16_t green = 0;
    uint16_t blue = 0;

    bool operator==(const RGBColor&) const = default;
};

struct ColorBytes {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;

    bool operator==(const ColorBytes&) const = default;
};

struct PlatformColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    int paletteIndex = -1; // the palette entry standing for the colour; -1 without a palette

    bool operator==(const PlatformColor&) const = default;
};

// A colour value: the low 16 bits of the first three elements of a list of integers, or the list
// that symbolic-color returns for a symbol. Anything else is the wrong-type error with the value
// as culprit (for a symbol, with what symbolic-color returned).
RGBColor toColor(Value colour);
Value makeColorValue(const RGBColor& c);
// An 8-bit-per-channel colour as a colour value, each byte repeated (byte × 257).
Value colorValueFromBytes(uint8_t red, uint8_t green, uint8_t blue);

// The high byte of each component, quantised when the palette exists.
PlatformColor toPlatformColor(const RGBColor& c);
// The quantisation rule of 8-bit screens: round to multiples of 17, then, except for greys and the
// pure red, green and blue ramps, to multiples of 51; colours the palette lacks are replaced by
// their stand-ins; the result is the nearest palette entry (an exact hit).
PlatformColor quantize(uint8_t red, uint8_t green, uint8_t blue);
const std::array<ColorBytes, 256>& builtInPalette();

// The screen's bits per pixel, 8 or 32: VELORA_SCREEN_DEPTH=8 selects an 8-bit screen, otherwise
// it is 32 unless the display sets it. The palette exists exactly while the depth is 8.
int screenDepth();
void setScreenDepth(int bitsPerPixel);
const std::array<ColorBytes, 256>* palette(); // nullptr without a palette

enum class SystemColor { Face, ButtonText, Highlight, Shadow, GrayText };
ColorBytes systemColor(SystemColor which);

// The colour chooser asks the user for a colour, starting from initial; it answers false when the
// user cancels. Until a chooser is installed (by the dialogs), every request is cancelled.
using ColorChooser = bool (*)(ColorBytes initial, ColorBytes& chosen);
void setColorChooser(ColorChooser chooser);
