// Platform/Fonts/Fonts.h: fonts chosen by face name, size and style; measuring; anti-aliased
// drawing at the baseline into any surface. Text is code page 1252, one byte a character.
#pragma once

#include "Platform/Paint/Paint.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct FontRequest {
    std::string face;    // the application's face name; empty: the default face
    int size = 12;       // character height in pixels (the em square)
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

struct GlyphImage; // a rendered character, internal to the font

class Font {
public:
    // A font for the request, or null when no font file can be opened at all. Sizes are clamped
    // to 1..1000. Equal requests share one font while it is among the recently used.
    static std::shared_ptr<const Font> open(const FontRequest& request);
    // The font of contexts with none selected.
    static std::shared_ptr<const Font> system();
    ~Font();

    const FontRequest& request() const { return m_request; }
    const std::string& file() const { return m_file; } // the font file the face resolved to

    int height() const { return m_ascent + m_descent; }
    int ascent() const { return m_ascent; }
    int descent() const { return m_descent; }
    int charWidth(uint8_t c) const;                // advance width in pixels
    int textWidth(std::string_view text) const;   // sum of the advances
    Point textExtent(std::string_view text) const { return { textWidth(text), height() }; }
    // The glyph of the font that draws the byte (for tests and diagnostics; 0 is the missing glyph).
    unsigned glyphIndex(uint8_t c) const;

    // Draws the text with its baseline starting at the logical point, in the context's text
    // colour, through its clip; an opaque background mode first fills the text's cell with the
    // background colour. Returns the advance.
    int draw(DeviceContext& dc, Point baseline, std::string_view text) const;

private:
    Font() = default;
    static std::shared_ptr<const Font> load(const FontRequest& request);
    const GlyphImage& glyph(uint8_t c) const;

    FontRequest m_request;
    std::string m_file;
    struct Face;
    std::unique_ptr<Face> m_face;
    int m_ascent = 0, m_descent = 0;
    int m_underlinePosition = 0, m_underlineThickness = 1; // below the baseline
    int m_strikePosition = 0, m_strikeThickness = 1;       // above the baseline
    mutable std::vector<std::unique_ptr<GlyphImage>> m_glyphs; // by byte, made on first use
};

// Draws at the context's current position with its font (or the system font) and moves the
// position to the end of the text. Returns the advance.
int textOut(DeviceContext& dc, std::string_view text);

// The Unicode character of a code page 1252 byte (bytes the code page leaves undefined stay as
// they are, as C1 controls).
char32_t unicodeOf(uint8_t c);

// The installed font file a face name resolves to: the application's face names through a fixed
// table of the fonts the build installs, other names through fontconfig's matching. Empty when
// nothing can be found. synthesized tells that the style asked for has no file of its own.
std::string fontFileFor(std::string_view face, bool bold, bool italic, bool* synthesizedBold = nullptr,
    bool* synthesizedItalic = nullptr);

// Every installed face (family) name, each once, in no particular order.
std::vector<std::string> installedFaceNames();
