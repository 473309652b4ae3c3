// tests/paint/FontTest.cpp: the face table, measuring, and text drawn into every depth against
// golden pictures.
#include "PaintSupport.h"

#include "Platform/Fonts/Fonts.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef VELORA_PAINT_TEST_DATA
#define VELORA_PAINT_TEST_DATA "tests/paint"
#endif

namespace {

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// Grey levels as characters, darkest last.
std::string greys(const Surface& s)
{
    static const char levels[] = " .:-=+*%#";
    std::string out;
    for (int y = 0; y < s.height(); ++y) {
        std::string line;
        for (int x = 0; x < s.width(); ++x) {
            Rgb c = s.colorAt(x, y);
            int darkness = 255 - (c.red + c.green + c.blue) / 3;
            line += levels[(darkness * 8 + 127) / 255];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + '\n';
    }
    return out;
}

std::string golden(const std::string& name)
{
    std::ifstream in(std::string(VELORA_PAINT_TEST_DATA) + "/golden/" + name + ".txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Draws text on white at baseline (2, ascent + 1) and returns the surface.
std::unique_ptr<Surface> rendered(const FontRequest& request, const std::string& text, int depth = 32)
{
    auto font = Font::open(request);
    EXPECT_TRUE(font);
    auto s = std::make_unique<Surface>(font->textWidth(text) + 4, font->height() + 2, depth);
    s->fill(kWhite);
    DeviceContext dc(*s);
    dc.setBackgroundMode(BackgroundMode::Transparent);
    font->draw(dc, { 2, font->ascent() + 1 }, text);
    return s;
}

TEST(Fonts, FaceTable)
{
    const struct { const char* face; bool bold, italic; const char* file; } cases[] = {
        { "Geneva", false, false, "DejaVuSans.ttf" },
        { "geneva", true, false, "DejaVuSans-Bold.ttf" },
        { "Chicago", false, false, "DejaVuSans-Bold.ttf" },
        { "System", false, false, "DejaVuSans-Bold.ttf" },
        { "Arial", false, false, "LiberationSans-Regular.ttf" },
        { "HELVETICA", false, true, "LiberationSans-Italic.ttf" },
        { "Times", true, true, "LiberationSerif-BoldItalic.ttf" },
        { "Courier", false, false, "LiberationMono-Regular.ttf" },
        { "Monaco", false, false, "DejaVuSansMono.ttf" },
        { "New York", false, false, "DejaVuSerif.ttf" },
        { "", false, false, "DejaVuSans.ttf" },
        // Other names go through fontconfig.
        { "DejaVu Serif", false, false, "DejaVuSerif.ttf" },
        { "Liberation Mono", true, false, "LiberationMono-Bold.ttf" },
    };
    for (auto& c : cases)
        EXPECT_EQ(baseName(fontFileFor(c.face, c.bold, c.italic)), c.file) << c.face;
    // An unknown face still gives a font.
    EXPECT_FALSE(fontFileFor("No Such Face Anywhere", false, false).empty());
    auto font = Font::open({ "No Such Face Anywhere", 12 });
    ASSERT_TRUE(font);
    EXPECT_GT(font->textWidth("abc"), 0);
    auto names = installedFaceNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "DejaVu Sans"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Liberation Serif"), names.end());
}

TEST(Fonts, Metrics)
{
    // Ascent and descent are the font's Windows metrics scaled to the character height.
    const struct { const char* face; int size, ascent, descent; } cases[] = {
        { "Arial", 12, 11, 3 },
        { "Arial", 24, 22, 5 },
        { "Times", 12, 11, 3 },
        { "Geneva", 12, 11, 3 },
        { "Courier", 20, 17, 6 },
    };
    for (auto& c : cases) {
        auto font = Font::open({ c.face, c.size });
        ASSERT_TRUE(font);
        EXPECT_EQ(font->ascent(), c.ascent) << c.face << " " << c.size;
        EXPECT_EQ(font->descent(), c.descent) << c.face << " " << c.size;
        EXPECT_EQ(font->height(), c.ascent + c.descent);
    }
    auto mono = Font::open({ "Courier", 20 });
    EXPECT_EQ(mono->charWidth('i'), mono->charWidth('W'));
    EXPECT_EQ(mono->textWidth("iW"), 2 * mono->charWidth('W'));
    auto bold = Font::open({ "Arial", 20, true });
    auto plain = Font::open({ "Arial", 20 });
    EXPECT_GT(bold->textWidth("Hello"), plain->textWidth("Hello"));
    EXPECT_EQ(plain->textWidth(""), 0);
    EXPECT_EQ(Font::open({ "Arial", 20 }), plain); // shared
    EXPECT_NE(Font::open({ "Arial", 20, false, false, true }), plain);
    EXPECT_EQ(Font::open({ "Arial", 0 })->request().size, 1);
    EXPECT_EQ(Font::open({ "Arial", 100000 })->request().size, 1000);
}

TEST(Fonts, MeasuringAgreesWithDrawing)
{
    for (const char* face : { "Geneva", "Times", "Courier" }) {
        auto font = Font::open({ face, 16 });
        const std::string text = "Wavy jig, fox!";
        Surface s(font->textWidth(text) + 40, font->height() + 10, 32);
        s.fill(kWhite);
        DeviceContext dc(s);
        dc.selectFont(font);
        dc.setBackgroundMode(BackgroundMode::Transparent);
        dc.moveTo({ 20, font->ascent() + 5 });
        int advance = textOut(dc, text);
        EXPECT_EQ(advance, font->textWidth(text));
        EXPECT_EQ(dc.currentPosition(), (Point { 20 + advance, font->ascent() + 5 }));
        // The ink stays within the measured cell (a pixel of slack for overhangs).
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x)
                if (s.colorAt(x, y) != kWhite) {
                    EXPECT_GE(x, 19) << face;
                    EXPECT_LE(x, 20 + advance) << face;
                    EXPECT_GE(y, 5) << face;
                    EXPECT_LE(y, 5 + font->height()) << face;
                }
        // Drawing piece by piece at the measured advances gives the same picture.
        Surface pieces(s.width(), s.height(), 32);
        pieces.fill(kWhite);
        DeviceContext pc(pieces);
        pc.selectFont(font);
        pc.setBackgroundMode(BackgroundMode::Transparent);
        pc.moveTo({ 20, font->ascent() + 5 });
        for (char c : text)
            textOut(pc, std::string(1, c));
        EXPECT_EQ(greys(pieces), greys(s)) << face;
    }
}

TEST(Fonts, GoldenWords)
{
    for (const char* face : { "Geneva", "Times" })
        for (int size : { 9, 12, 18 }) {
            std::string name = std::string(face) + "-" + std::to_string(size);
            auto s = rendered({ face, size }, "Quick");
            dumpSurface(*s, name);
            std::string expected = golden(name);
            if (expected.empty() && std::getenv("VELORA_WRITE_GOLDEN")) {
                std::ofstream(std::string(VELORA_PAINT_TEST_DATA) + "/golden/" + name + ".txt") << greys(*s);
                continue;
            }
            EXPECT_EQ(greys(*s), expected) << name;
        }
}

// Builds the Russian KOI8-R locale into a folder of the test's own, where byte 0xE9 is a Cyrillic
// letter; empty when the host cannot (no localedef or no locale sources).
std::string russianLocaleFolder()
{
    std::string folder = testing::TempDir() + "velora-locales";
    std::string command = "mkdir -p '" + folder + "' && localedef -i ru_RU -f KOI8-R '" + folder
        + "/ru_RU.KOI8-R' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? folder : std::string();
}

TEST(Fonts, CodePage1252UnderAnotherLocale)
{
    EXPECT_EQ(unicodeOf(0xE9), U'\u00E9');
    EXPECT_EQ(unicodeOf(0x80), U'\u20AC');
    EXPECT_EQ(unicodeOf(0x92), U'\u2019');
    EXPECT_EQ(unicodeOf(0x9F), U'\u0178');
    EXPECT_EQ(unicodeOf(0x81), U'\u0081');
    EXPECT_EQ(unicodeOf('A'), U'A');
    std::string folder = russianLocaleFolder();
    if (folder.empty())
        GTEST_SKIP() << "localedef cannot build ru_RU.KOI8-R here (install the locales package)";
    std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* lang = std::getenv("LANG");
    std::string previousLang = lang ? lang : "";
    setenv("LOCPATH", folder.c_str(), 1);
    setenv("LANG", "ru_RU.KOI8-R", 1);
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    // The host reads the byte as a Cyrillic letter; the runtime still draws e acute.
    wchar_t host = 0;
    EXPECT_EQ(std::mbtowc(&host, "\xE9", 1), 1);
    EXPECT_EQ(host, L'\u0418');
    auto font = Font::open({ "Geneva", 18 });
    EXPECT_NE(font->glyphIndex(0xE9), 0u);
    EXPECT_NE(font->glyphIndex(0xE9), font->glyphIndex('e'));
    EXPECT_NE(font->glyphIndex(0x80), 0u); // the euro sign
    auto s = rendered({ "Geneva", 18 }, "\xE9t\xE9");
    dumpSurface(*s, "eacute");
    std::string expected = golden("eacute");
    if (expected.empty() && std::getenv("VELORA_WRITE_GOLDEN"))
        std::ofstream(std::string(VELORA_PAINT_TEST_DATA) + "/golden/eacute.txt") << greys(*s);
    else
        EXPECT_EQ(greys(*s), expected);
    std::setlocale(LC_ALL, previous.c_str());
    unsetenv("LOCPATH");
    if (lang)
        setenv("LANG", previousLang.c_str(), 1);
    else
        unsetenv("LANG");
}

TEST(Fonts, EveryDepth)
{
    // Pixels at least half covered are dark at every depth; the 1-bit surface keeps exactly those,
    // palettes may round pixels near half coverage either way (the 16-colour one has few greys).
    auto reference = rendered({ "Arial", 16 }, "Ag&");
    auto dark = [](Rgb c) { return (c.red + c.green + c.blue) / 3 < 128; };
    for (int depth : { 1, 4, 8, 24 }) {
        auto s = rendered({ "Arial", 16 }, "Ag&", depth);
        int differences = 0, ink = 0, band = depth == 4 ? 80 : 32;
        for (int y = 0; y < s->height(); ++y)
            for (int x = 0; x < s->width(); ++x) {
                Rgb want = reference->colorAt(x, y);
                ink += dark(want);
                if (depth == 24)
                    EXPECT_EQ(s->colorAt(x, y), want);
                else if (dark(s->colorAt(x, y)) != dark(want)) {
                    int level = (want.red + want.green + want.blue) / 3;
                    // Only pixels near half coverage may fall either way on a palette.
                    EXPECT_TRUE(depth != 1 && std::abs(level - 128) < band) << depth << " at " << x << "," << y;
                    ++differences;
                }
            }
        EXPECT_GT(ink, 20);
        if (depth == 8) {
            EXPECT_LT(differences * 4, ink);
        }
    }
}

TEST(Fonts, ColourBackgroundUnderlineStrikeOutAndClip)
{
    auto font = Font::open({ "Arial", 20, false, false, true, true });
    Surface s(font->textWidth("ii") + 2, font->height() + 2, 32);
    s.fill(kWhite);
    DeviceContext dc(s);
    dc.setTextColor(Rgb { 255, 0, 0 });
    dc.setBackgroundColor(Rgb { 0, 0, 255 });
    dc.setBackgroundMode(BackgroundMode::Opaque);
    int baseline = font->ascent() + 1;
    int width = font->draw(dc, { 1, baseline }, "ii");
    // The cell is blue where there is no ink, white outside it.
    EXPECT_EQ(s.colorAt(1, 1), (Rgb { 0, 0, 255 }));
    EXPECT_EQ(s.colorAt(0, 0), kWhite);
    EXPECT_EQ(s.colorAt(width + 1, baseline), kWhite);
    // Somewhere below the baseline a full red row (underline), somewhere above one (strike-out).
    auto fullRed = [&](int y) {
        for (int x = 1; x < 1 + width; ++x)
            if (s.colorAt(x, y) != Rgb { 255, 0, 0 })
                return false;
        return true;
    };
    bool under = false, strike = false;
    for (int y = baseline + 1; y < baseline + font->descent() + 1; ++y)
        under |= fullRed(y);
    for (int y = baseline - font->ascent() / 2; y < baseline - 1; ++y)
        strike |= fullRed(y);
    EXPECT_TRUE(under);
    EXPECT_TRUE(strike);
    // Clipped to the left half, the right half stays white.
    Surface clipped(40, 30, 32);
    clipped.fill(kWhite);
    DeviceContext cc(clipped);
    cc.setBackgroundMode(BackgroundMode::Transparent);
    cc.setClipRect({ 0, 0, 10, 30 });
    Font::open({ "Arial", 20 })->draw(cc, { 0, 20 }, "WWWW");
    for (int y = 0; y < 30; ++y)
        for (int x = 10; x < 40; ++x)
            ASSERT_EQ(clipped.colorAt(x, y), kWhite);
    EXPECT_NE(greys(clipped).find('#'), std::string::npos);
}

} // namespace
