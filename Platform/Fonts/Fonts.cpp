// Platform/Fonts/Fonts.cpp: FreeType fonts found through a face table and fontconfig.
//
// Output must not depend on the host's configuration: the application's faces are pinned to
// font files by name, the FreeType properties that environment variables could change are set
// explicitly, and glyphs are hinted by the auto-hinter in light mode with integer advances,
// which the measuring and the drawing both use.
#include "Platform/Fonts/Fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <set>

struct GlyphImage {
    unsigned index = 0;
    int advance = 0;
    int left = 0, top = 0;   // bitmap origin relative to the pen on the baseline (top is up)
    int width = 0, rows = 0;
    std::vector<uint8_t> coverage; // rows x width, 0..255
};

struct Font::Face {
    FT_Face face = nullptr;
    bool emboldened = false;
    bool slanted = false;
    ~Face()
    {
        if (face)
            FT_Done_Face(face);
    }
};

namespace {

FT_Library library()
{
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0)
            return FT_Library(nullptr);
        // FREETYPE_PROPERTIES may have changed these; put back the values the output relies on.
        FT_Bool darkening = 1;
        FT_Property_Set(l, "autofitter", "no-stem-darkening", &darkening);
        FT_Property_Set(l, "cff", "no-stem-darkening", &darkening);
        FT_UInt interpreter = TT_INTERPRETER_VERSION_40;
        FT_Property_Set(l, "truetype", "interpreter-version", &interpreter);
        return l;
    }();
    return lib;
}

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The application's face names and the files standing in for them: regular, bold, italic,
// bold italic.
struct FaceFiles {
    const char* face;
    const char* files[4];
};

#define DEJAVU_SANS { "DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf", "DejaVuSans-BoldOblique.ttf" }
#define DEJAVU_BOLD { "DejaVuSans-Bold.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-BoldOblique.ttf", "DejaVuSans-BoldOblique.ttf" }
#define DEJAVU_SERIF { "DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf", "DejaVuSerif-BoldItalic.ttf" }
#define DEJAVU_MONO { "DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf", "DejaVuSansMono-Oblique.ttf", "DejaVuSansMono-BoldOblique.ttf" }
#define LIBERATION_SANS { "LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf", "LiberationSans-Italic.ttf", "LiberationSans-BoldItalic.ttf" }
#define LIBERATION_SERIF { "LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf", "LiberationSerif-Italic.ttf", "LiberationSerif-BoldItalic.ttf" }
#define LIBERATION_MONO { "LiberationMono-Regular.ttf", "LiberationMono-Bold.ttf", "LiberationMono-Italic.ttf", "LiberationMono-BoldItalic.ttf" }

const FaceFiles kFaceTable[] = {
    { "", DEJAVU_SANS },
    { "geneva", DEJAVU_SANS },
    { "chicago", DEJAVU_BOLD },
    { "system", DEJAVU_BOLD },
    { "charcoal", DEJAVU_BOLD },
    { "verdana", DEJAVU_SANS },
    { "tahoma", DEJAVU_SANS },
    { "new york", DEJAVU_SERIF },
    { "georgia", DEJAVU_SERIF },
    { "monaco", DEJAVU_MONO },
    { "arial", LIBERATION_SANS },
    { "helvetica", LIBERATION_SANS },
    { "ms sans serif", LIBERATION_SANS },
    { "ms shell dlg", LIBERATION_SANS },
    { "times", LIBERATION_SERIF },
    { "times new roman", LIBERATION_SERIF },
    { "ms serif", LIBERATION_SERIF },
    { "courier", LIBERATION_MONO },
    { "courier new", LIBERATION_MONO },
    { "fixedsys", LIBERATION_MONO },
};

// Font files by their base name, from fontconfig's list (built once).
const std::map<std::string, std::string>& filesByName()
{
    static const std::map<std::string, std::string> files = [] {
        std::map<std::string, std::string> m;
        if (!FcInit())
            return m;
        FcPattern* pattern = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr);
        if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
            for (int i = 0; i < set->nfont; ++i) {
                FcChar8* file = nullptr;
                if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch) {
                    std::string path(reinterpret_cast<const char*>(file));
                    std::string name = path.substr(path.find_last_of('/') + 1);
                    m.emplace(name, path); // the first of equal names wins
                }
            }
            FcFontSetDestroy(set);
        }
        FcObjectSetDestroy(objects);
        FcPatternDestroy(pattern);
        return m;
    }();
    return files;
}

std::string pinnedFile(const char* name)
{
    auto& files = filesByName();
    if (auto it = files.find(name); it != files.end())
        return it->second;
    // Where Debian puts them, should fontconfig not list them.
    for (const char* folder : { "/usr/share/fonts/truetype/dejavu/", "/usr/share/fonts/truetype/liberation/",
             "/usr/share/fonts/truetype/liberation2/" }) {
        std::string path = std::string(folder) + name;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
            return path;
        }
    }
    return {};
}

std::string matchByFontconfig(std::string_view face, bool bold, bool italic, bool& exactStyle)
{
    exactStyle = false;
    if (!FcInit())
        return {};
    std::string family(face);
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    std::string path;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* file = nullptr;
        int weight = 0, slant = 0;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
            path = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        exactStyle = (weight >= FC_WEIGHT_DEMIBOLD) == bold && (slant != FC_SLANT_ROMAN) == italic;
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

int scaled(long fontUnits, int size, int unitsPerEm)
{
    return unitsPerEm ? int(std::lround(double(fontUnits) * size / unitsPerEm)) : 0;
}

} // namespace

char32_t unicodeOf(uint8_t c)
{
    static const char16_t high[32] = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6,
        0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };
    return c >= 0x80 && c < 0xA0 ? char32_t(high[c - 0x80]) : char32_t(c);
}

std::string fontFileFor(std::string_view face, bool bold, bool italic, bool* synthesizedBold, bool* synthesizedItalic)
{
    if (synthesizedBold)
        *synthesizedBold = false;
    if (synthesizedItalic)
        *synthesizedItalic = false;
    std::string key = lower(face);
    for (const FaceFiles& entry : kFaceTable) {
        if (key != entry.face)
            continue;
        std::string path = pinnedFile(entry.files[(bold ? 1 : 0) + (italic ? 2 : 0)]);
        if (path.empty()) {
            path = pinnedFile(entry.files[0]);
            if (synthesizedBold)
                *synthesizedBold = bold;
            if (synthesizedItalic)
                *synthesizedItalic = italic;
        }
        if (!path.empty())
            return path;
        break;
    }
    bool exact = false;
    std::string path = matchByFontconfig(face.empty() ? std::string_view("sans-serif") : face, bold, italic, exact);
    if (!exact && !path.empty()) {
        // The closest face lacks the style: ask for the plain one and make the style ourselves.
        bool plainExact = false;
        std::string plain = matchByFontconfig(face.empty() ? std::string_view("sans-serif") : face, false, false, plainExact);
        if (!plain.empty())
            path = plain;
        if (synthesizedBold)
            *synthesizedBold = bold;
        if (synthesizedItalic)
            *synthesizedItalic = italic;
    }
    return path;
}

std::vector<std::string> installedFaceNames()
{
    std::set<std::string> names;
    if (FcInit()) {
        FcPattern* pattern = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
        if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
            for (int i = 0; i < set->nfont; ++i) {
                FcChar8* family = nullptr;
                if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch)
                    names.insert(reinterpret_cast<const char*>(family));
            }
            FcFontSetDestroy(set);
        }
        FcObjectSetDestroy(objects);
        FcPatternDestroy(pattern);
    }
    return { names.begin(), names.end() };
}

namespace {

// Fonts are immutable once made (their glyph images fill in on first use), so requests share
// them: the most recently used fonts stay open, since ports recreate theirs at every change of
// text state.
struct FontCache {
    static constexpr size_t kCapacity = 32;
    std::vector<std::pair<std::string, std::shared_ptr<const Font>>> entries; // most recent last

    static std::string keyOf(const FontRequest& r)
    {
        return lower(r.face) + '\0' + std::to_string(r.size) + char('0' + r.bold) + char('0' + r.italic)
            + char('0' + r.underline) + char('0' + r.strikeOut);
    }
    std::shared_ptr<const Font> find(const std::string& key)
    {
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].first == key) {
                std::rotate(entries.begin() + ptrdiff_t(i), entries.begin() + ptrdiff_t(i) + 1, entries.end());
                return entries.back().second;
            }
        return nullptr;
    }
    void add(const std::string& key, std::shared_ptr<const Font> font)
    {
        if (entries.size() == kCapacity)
            entries.erase(entries.begin());
        entries.emplace_back(key, std::move(font));
    }
};

FontCache& fontCache()
{
    static FontCache cache;
    return cache;
}

} // namespace

std::shared_ptr<const Font> Font::open(const FontRequest& request)
{
    FontRequest clamped = request;
    clamped.size = std::clamp(request.size, 1, 1000);
    std::string key = FontCache::keyOf(clamped);
    if (auto font = fontCache().find(key))
        return font;
    auto font = load(clamped);
    if (font)
        fontCache().add(key, font);
    return font;
}

std::shared_ptr<const Font> Font::load(const FontRequest& request)
{
    FT_Library lib = library();
    if (!lib)
        return nullptr;
    bool synthBold = false, synthItalic = false;
    std::string file = fontFileFor(request.face, request.bold, request.italic, &synthBold, &synthItalic);
    if (file.empty())
        file = fontFileFor("", request.bold, request.italic, &synthBold, &synthItalic);
    if (file.empty())
        return nullptr;
    std::shared_ptr<Font> font(new Font());
    font->m_request = request;
    font->m_file = file;
    font->m_face = std::make_unique<Face>();
    if (FT_New_Face(lib, file.c_str(), 0, &font->m_face->face) != 0)
        return nullptr;
    FT_Face face = font->m_face->face;
    int size = font->m_request.size;
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(size)) != 0)
        return nullptr;
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    font->m_face->emboldened = synthBold;
    font->m_face->slanted = synthItalic;
    int em = face->units_per_EM;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && em) {
        font->m_ascent = scaled(os2->usWinAscent, size, em);
        font->m_descent = scaled(os2->usWinDescent, size, em);
        font->m_strikePosition = scaled(os2->yStrikeoutPosition, size, em);
        font->m_strikeThickness = std::max(1, scaled(os2->yStrikeoutSize, size, em));
    } else {
        font->m_ascent = int((face->size->metrics.ascender + 63) >> 6);
        font->m_descent = int((-face->size->metrics.descender + 63) >> 6);
        font->m_strikePosition = font->m_ascent / 3;
    }
    font->m_underlinePosition = std::max(1, -scaled(face->underline_position, size, em));
    font->m_underlineThickness = std::max(1, scaled(face->underline_thickness, size, em));
    font->m_glyphs.resize(256);
    return font;
}

std::shared_ptr<const Font> Font::system()
{
    static std::shared_ptr<const Font> font = open({ "System", 12 });
    return font;
}

Font::~Font() = default;

unsigned Font::glyphIndex(uint8_t c) const { return FT_Get_Char_Index(m_face->face, FT_ULong(unicodeOf(c))); }

const GlyphImage& Font::glyph(uint8_t c) const
{
    std::unique_ptr<GlyphImage>& slot = m_glyphs[c];
    if (slot)
        return *slot;
    slot = std::make_unique<GlyphImage>();
    GlyphImage& g = *slot;
    FT_Face face = m_face->face;
    g.index = glyphIndex(c);
    if (FT_Load_Glyph(face, g.index, FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP) != 0)
        return g;
    FT_GlyphSlot slotted = face->glyph;
    if (m_face->slanted)
        FT_GlyphSlot_Oblique(slotted);
    if (m_face->emboldened)
        FT_GlyphSlot_Embolden(slotted);
    g.advance = int((slotted->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slotted, FT_RENDER_MODE_NORMAL) != 0)
        return g;
    const FT_Bitmap& bitmap = slotted->bitmap;
    g.left = slotted->bitmap_left;
    g.top = slotted->bitmap_top;
    g.width = int(bitmap.width);
    g.rows = int(bitmap.rows);
    g.coverage.resize(size_t(g.width) * size_t(g.rows));
    for (int y = 0; y < g.rows; ++y)
        std::copy_n(bitmap.buffer + ptrdiff_t(y) * bitmap.pitch, g.width, g.coverage.begin() + ptrdiff_t(y) * g.width);
    return g;
}

int Font::charWidth(uint8_t c) const { return glyph(c).advance; }

int Font::textWidth(std::string_view text) const
{
    int width = 0;
    for (char c : text)
        width += glyph(uint8_t(c)).advance;
    return width;
}

namespace {

// Puts coverage-weighted colour into one row of pixels, chosen once per call by depth.
using CoverRow = void (*)(Surface&, int y, int x0, const uint8_t* coverage, int n, Rgb color, uint32_t value);

void coverDirect(Surface& s, int y, int x0, const uint8_t* coverage, int n, Rgb color, uint32_t value)
{
    for (int i = 0; i < n; ++i) {
        unsigned a = coverage[i];
        if (a == 0)
            continue;
        if (a == 255) {
            s.setPixel(x0 + i, y, value | (s.depth() == 32 ? s.pixel(x0 + i, y) & 0xFF000000 : 0));
            continue;
        }
        uint32_t d = s.pixel(x0 + i, y);
        auto mix = [a](unsigned dc, unsigned sc) { return (dc * (255 - a) + sc * a + 127) / 255; };
        uint32_t r = mix((d >> 16) & 0xFF, color.red), g = mix((d >> 8) & 0xFF, color.green), b = mix(d & 0xFF, color.blue);
        s.setPixel(x0 + i, y, (d & 0xFF000000) | r << 16 | g << 8 | b);
    }
}

void coverIndexed(Surface& s, int y, int x0, const uint8_t* coverage, int n, Rgb color, uint32_t value)
{
    for (int i = 0; i < n; ++i) {
        unsigned a = coverage[i];
        if (a == 0)
            continue;
        if (a == 255) {
            s.setPixel(x0 + i, y, value);
            continue;
        }
        Rgb d = s.colorAt(x0 + i, y);
        auto mix = [a](unsigned dc, unsigned sc) { return uint8_t((dc * (255 - a) + sc * a + 127) / 255); };
        s.setPixel(x0 + i, y, s.valueOf({ mix(d.red, color.red), mix(d.green, color.green), mix(d.blue, color.blue) }));
    }
}

// One bit cannot blend: half coverage or more sets the pixel.
void coverMonochrome(Surface& s, int y, int x0, const uint8_t* coverage, int n, Rgb, uint32_t value)
{
    for (int i = 0; i < n; ++i)
        if (coverage[i] >= 128)
            s.setPixel(x0 + i, y, value);
}

} // namespace

int Font::draw(DeviceContext& dc, Point baseline, std::string_view text) const
{
    int width = textWidth(text);
    Point origin = dc.toDevice(baseline);
    Surface& surface = dc.surface();
    if (dc.backgroundMode() == BackgroundMode::Opaque && width > 0) {
        std::vector<Span> cell;
        for (int y = origin.y - m_ascent; y < origin.y + m_descent; ++y)
            cell.push_back({ y, origin.x, origin.x + width });
        dc.paintSpans(cell, dc.backgroundColor(), Rop2::CopyPen);
    }
    uint32_t value = dc.deviceValue(dc.textColor());
    Rgb color = surface.colorOf(value);
    CoverRow cover = surface.depth() == 1 ? coverMonochrome : surface.isIndexed() ? coverIndexed : coverDirect;
    Rect clip = dc.clipBox();
    int x = origin.x;
    for (char c : text) {
        const GlyphImage& g = glyph(uint8_t(c));
        int left = x + g.left, top = origin.y - g.top;
        if (left < clip.right && left + g.width > clip.left)
            for (int row = std::max(0, clip.top - top); row < g.rows && top + row < clip.bottom; ++row) {
                const uint8_t* coverage = g.coverage.data() + ptrdiff_t(row) * g.width;
                dc.clipSpan(top + row, left, left + g.width, [&](int a, int b) {
                    cover(surface, top + row, a, coverage + (a - left), b - a, color, value);
                });
            }
        x += g.advance;
    }
    std::vector<Span> lines;
    if (m_request.underline)
        for (int i = 0; i < m_underlineThickness; ++i)
            lines.push_back({ origin.y + m_underlinePosition + i, origin.x, origin.x + width });
    if (m_request.strikeOut)
        for (int i = 0; i < m_strikeThickness; ++i)
            lines.push_back({ origin.y - m_strikePosition + i, origin.x, origin.x + width });
    dc.paintSpans(lines, dc.textColor(), Rop2::CopyPen);
    return width;
}

int textOut(DeviceContext& dc, std::string_view text)
{
    std::shared_ptr<const Font> font = dc.font() ? dc.font() : Font::system();
    if (!font)
        return 0;
    int advance = font->draw(dc, dc.currentPosition(), text);
    Point p = dc.currentPosition();
    dc.moveTo({ p.x + advance, p.y });
    return advance;
}
