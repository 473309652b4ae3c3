// tests/interfac/ColorTest.cpp: colour values, platform colours and the 8-bit palette's rule.
#include "../kernel/Support.h"

#include "Interfac/Color.h"
#include "Interfac/FileGUI.h"

#include <gtest/gtest.h>

namespace {

// Runs the body with the screen at the depth, then puts the depth back.
struct DepthScope {
    explicit DepthScope(int depth) : m_saved(screenDepth()) { setScreenDepth(depth); }
    ~DepthScope() { setScreenDepth(m_saved); }
    int m_saved;
};

} // namespace

TEST(Color, BuiltInPalette)
{
    const auto& p = builtInPalette();
    const struct {
        int index;
        ColorBytes entry;
    } cases[] = {
        { 0, { 0, 0, 0 } },          { 7, { 0xC0, 0xC0, 0xC0 } },  { 9, { 0xA6, 0xCA, 0xF0 } },
        { 10, { 0, 0, 0x33 } },      { 105, { 0x11, 0x11, 0x11 } }, { 112, { 0x88, 0x88, 0x88 } },
        { 143, { 0x99, 0x99, 0xFF } }, { 246, { 0xFF, 0xFB, 0xF0 } }, { 247, { 0xA0, 0xA0, 0xA4 } },
        { 248, { 0x80, 0x80, 0x80 } }, { 249, { 0xFF, 0, 0 } },       { 255, { 0xFF, 0xFF, 0xFF } },
    };
    for (auto& c : cases)
        EXPECT_EQ(p[c.index], c.entry) << c.index;
    // No colour is listed twice.
    for (int i = 0; i < 256; ++i)
        for (int j = i + 1; j < 256; ++j)
            EXPECT_FALSE(p[i] == p[j]) << i << " " << j;
}

TEST(Color, QuantisationRule)
{
    const struct {
        ColorBytes given;
        PlatformColor expected;
    } cases[] = {
        // 0x75 rounds to the grey 0x77, which the palette lacks: its stand-in is 0x808080.
        { { 0x75, 0x75, 0x75 }, { 0x80, 0x80, 0x80, 248 } },
        { { 0xFF, 0, 0 }, { 0xFF, 0, 0, 249 } },
        // Greys and the pure ramps keep steps of 17.
        { { 0x10, 0x10, 0x10 }, { 0x11, 0x11, 0x11, 105 } },
        { { 0x21, 0, 0 }, { 0x22, 0, 0, 121 } },
        { { 0, 0xE9, 0 }, { 0, 0xEE, 0, 123 } },
        { { 0, 0, 0x0C }, { 0, 0, 0x11, 142 } },
        // Other colours go on to steps of 51.
        { { 0x10, 0x20, 0x30 }, { 0, 0x33, 0x33, 14 } },
        { { 0xFE, 0x01, 0x80 }, { 0xFF, 0, 0x99, 219 } },
        // The stand-ins for cube colours the palette lacks.
        { { 0, 0x66, 0 }, { 0, 0x80, 0, 2 } },
        { { 0x66, 0x66, 0 }, { 0x80, 0x80, 0, 3 } },
        { { 0x99, 0xCC, 0xFF }, { 0xA6, 0xCA, 0xF0, 9 } },
        { { 0xAA, 0xAA, 0xAA }, { 0xA0, 0xA0, 0xA4, 247 } },
        { { 0xBB, 0xBB, 0xBB }, { 0xC0, 0xC0, 0xC0, 7 } },
        { { 0xCC, 0xFF, 0xCC }, { 0xC0, 0xDC, 0xC0, 8 } },
        { { 0xFF, 0xFF, 0xCC }, { 0xFF, 0xFB, 0xF0, 246 } },
        { { 0x65, 0x01, 0x67 }, { 0x80, 0, 0x80, 5 } },
    };
    for (auto& c : cases)
        EXPECT_EQ(quantize(c.given.red, c.given.green, c.given.blue), c.expected)
            << int(c.given.red) << "," << int(c.given.green) << "," << int(c.given.blue);
}

TEST(Color, EveryColourQuantisesToAnExactEntry)
{
    const auto& p = builtInPalette();
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 7) {
                PlatformColor q = quantize(uint8_t(r), uint8_t(g), uint8_t(b));
                ASSERT_GE(q.paletteIndex, 0);
                ASSERT_EQ((ColorBytes { q.red, q.green, q.blue }), p[q.paletteIndex]);
            }
}

TEST(Color, PlatformColoursFollowTheScreenDepth)
{
    {
        DepthScope depth(32);
        EXPECT_EQ(palette(), nullptr);
        EXPECT_EQ(toPlatformColor({ 65535, 0, 0 }), (PlatformColor { 0xFF, 0, 0, -1 }));
        EXPECT_EQ(toPlatformColor({ 30000, 30000, 30000 }), (PlatformColor { 0x75, 0x75, 0x75, -1 }));
        EXPECT_EQ(evalText("(get-depth)"), "32");
    }
    {
        DepthScope depth(8);
        EXPECT_NE(palette(), nullptr);
        EXPECT_EQ(toPlatformColor({ 65535, 0, 0 }), (PlatformColor { 0xFF, 0, 0, 249 }));
        EXPECT_EQ(toPlatformColor({ 30000, 30000, 30000 }), (PlatformColor { 0x80, 0x80, 0x80, 248 }));
        EXPECT_EQ(evalText("(get-depth)"), "8");
    }
}

TEST(Color, ColourValues)
{
    evalText("(define (symbolic-color _name)"
             "  (cond ((eq? _name 'red) '(65535 0 0)) ((eq? _name 'odd) 'blue) (t '(1 2))))");
    const struct {
        const char* text;
        RGBColor expected;
    } cases[] = {
        { "(65535 0 0)", { 65535, 0, 0 } },
        { "(65536 -1 131071 9)", { 0, 65535, 65535 } }, // low 16 bits; extra elements ignored
        { "red", { 65535, 0, 0 } },
    };
    for (auto& c : cases)
        EXPECT_EQ(toColor(readText(c.text)), c.expected) << c.text;
    const struct {
        const char* form;
        const char* report;
    } errors[] = {
        { "(velora-choose-color nil nil '(1 2))", "Error: 1010-2, (1 2), " },
        { "(velora-choose-color nil nil '(1 2 a))", "Error: 1010-2, (1 2 a), " },
        { "(velora-choose-color nil nil 7)", "Error: 1010-2, 7, " },
        { "(velora-choose-color nil nil \"abc\")", "Error: 1010-2, abc, " },
        { "(velora-choose-color nil nil '(1 2 3.5))", "Error: 1010-2, (1 2 3.5), " },
        // symbolic-color answering something that is no colour: the answer is the culprit.
        { "(velora-choose-color nil nil 'odd)", "Error: 1010-2, blue, " },
        { "(velora-choose-color nil nil 'other)", "Error: 1010-2, (1 2), " },
    };
    for (auto& e : errors) {
        std::string report = reportOf([&] { evalText(e.form); });
        EXPECT_EQ(report.substr(0, std::string(e.report).size()), e.report) << e.form << ": " << report;
    }
    EXPECT_EQ(printedText(makeColorValue({ 1, 2, 65535 }), PrintStyle::Print), "(1 2 65535)");
    EXPECT_EQ(printedText(colorValueFromBytes(0xFF, 0x80, 0), PrintStyle::Print), "(65535 32896 0)");
}

// Without dialogs, the colour chooser takes the replay's next answer; anything else cancels.
TEST(Color, ChooserTakesTheReplayAnswer)
{
    clearReplayAnswers();
    const struct {
        const char* answer; // nullptr: none queued
        const char* result;
    } cases[] = {
        { "#FF8000", "(65280 32768 0)" },
        { "#ff8001", "(65280 32768 256)" },
        { "0 128 255", "(0 32768 65280)" },
        { "cancel", "(4608 0 0)" },      // the initial colour
        { "256 0 0", "(4608 0 0)" },
        { "#FF80", "(4608 0 0)" },
        { "#FF8000 extra", "(4608 0 0)" },
        { nullptr, "(4608 0 0)" },
    };
    for (auto& c : cases) {
        if (c.answer)
            queueReplayAnswer(c.answer);
        EXPECT_EQ(evalText("(velora-choose-color nil nil '(4660 0 0))"), c.result) << (c.answer ? c.answer : "none");
    }
    std::string left;
    EXPECT_FALSE(takeReplayAnswer(left)) << "each choice takes one answer";
}
