// Platform/Paint/Surface.h: pixel memory of 1, 4, 8, 24 or 32 bits, its colour table, and the
// standard 256-colour palette of 8-bit screens.
#pragma once

#include "Platform/Paint/Geometry.h"

#include <cstdint>
#include <memory>
#include <vector>

// Rect with its corners moved by (dx, dy).
inline Rect offsetRect(Rect r, int dx, int dy)
{
    r.offsetBy(dx, dy);
    return r;
}

// A platform colour: 8 bits per component.
struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

constexpr Rgb kBlack { 0, 0, 0 };
constexpr Rgb kWhite { 255, 255, 255 };

// A colour as a device context takes it: a colour, or an entry of the context's palette.
struct PaintColor {
    Rgb rgb;
    int paletteIndex = -1; // >= 0: this entry of the selected palette

    PaintColor() = default;
    PaintColor(Rgb c) : rgb(c) { }
    PaintColor(uint8_t r, uint8_t g, uint8_t b) : rgb { r, g, b } { }
    static PaintColor fromPalette(int index, Rgb entry)
    {
        PaintColor c(entry);
        c.paletteIndex = index;
        return c;
    }
};

// A colour table with nearest-colour lookup (squared distance, the first of equal entries wins).
class Palette {
public:
    Palette() = default;
    explicit Palette(std::vector<Rgb> entries) : m_entries(std::move(entries)) { }

    int size() const { return int(m_entries.size()); }
    const Rgb& operator[](int i) const { return m_entries[size_t(i)]; }
    void set(int i, Rgb c) { m_entries[size_t(i)] = c; m_cache.clear(); }
    const std::vector<Rgb>& entries() const { return m_entries; }
    int nearestIndex(Rgb c) const;
    friend bool operator==(const Palette& a, const Palette& b) { return a.m_entries == b.m_entries; }

    static const Palette& standard();   // the 256 colours of 8-bit screens
    static const Palette& monochrome(); // black, white

private:
    std::vector<Rgb> m_entries;
    mutable std::vector<uint64_t> m_cache; // direct-mapped: colour << 8 | index, all ones when empty
};

// The palette index a colour becomes on an 8-bit screen: rounded to the standard palette's grid,
// the cube colours the palette lacks replaced by their stand-ins, then the nearest entry.
int quantizeToStandardPalette(Rgb c);
// The colour of the grid and replacement steps alone (before the nearest-entry lookup).
Rgb quantizeColor(Rgb c);

enum class RowOrder { TopDown, BottomUp };

// Rows are padded to 4 bytes. Pixel layouts: 1 and 4 bits, leftmost pixel in the high bits;
// 8 bits an index; 24 bits blue, green, red; 32 bits a little-endian word 0xAARRGGBB. A 1-bit
// surface made without a palette is monochrome: copies into colour surfaces use the destination
// context's text and background colours for its 0 and 1 bits.
class Surface {
public:
    // Allocates zeroed pixel memory; std::invalid_argument for a depth or size out of range. Indexed depths without a palette get the standard palette
    // (8 bits), its first and last eight entries (4 bits) or black and white (1 bit).
    Surface(int width, int height, int depth, RowOrder order = RowOrder::TopDown,
        const Palette* palette = nullptr);
    // Wraps memory owned by someone else; stride 0 means the padded row size.
    Surface(int width, int height, int depth, uint8_t* pixels, int stride, RowOrder order,
        const Palette* palette = nullptr);
    // As the first constructor, but null for a depth or size out of range (1, 4, 8, 24, 32 bits;
    // 0..32767 pixels) or when the memory cannot be had, instead of throwing.
    static std::unique_ptr<Surface> make(int width, int height, int depth, RowOrder order = RowOrder::TopDown,
        const Palette* palette = nullptr);
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }
    int depth() const { return m_depth; }
    int stride() const { return m_stride; }
    RowOrder rowOrder() const { return m_order; }
    Rect bounds() const { return { 0, 0, m_width, m_height }; }
    bool isIndexed() const { return m_depth <= 8; }
    bool isMonochrome() const { return m_monochrome; }
    const Palette& palette() const { return m_palette; }
    void setPalette(const Palette& p);
    uint8_t* pixels() { return m_pixels; }
    const uint8_t* pixels() const { return m_pixels; }
    uint8_t* row(int y) { return m_pixels + ptrdiff_t(rowIndex(y)) * m_stride; }
    const uint8_t* row(int y) const { return m_pixels + ptrdiff_t(rowIndex(y)) * m_stride; }

    // Raw pixel values: an index for indexed depths, 0xRRGGBB (plus the fourth byte at 32 bits).
    uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, uint32_t value);
    Rgb colorAt(int x, int y) const { return colorOf(pixel(x, y)); }
    Rgb colorOf(uint32_t value) const;
    // The pixel value that shows the colour best (nearest palette entry for indexed depths).
    uint32_t valueOf(Rgb c) const;
    void fill(Rgb c);

    static int strideFor(int width, int depth) { return ((width * depth + 31) / 32) * 4; }

private:
    int rowIndex(int y) const { return m_order == RowOrder::TopDown ? y : m_height - 1 - y; }
    void init(const Palette* palette);

    int m_width, m_height, m_depth, m_stride;
    RowOrder m_order;
    bool m_monochrome = false;
    Palette m_palette;
    std::unique_ptr<uint8_t[]> m_owned;
    uint8_t* m_pixels = nullptr;
};
