// Platform/Paint/Paint.h: the painter. Device contexts over surfaces with pens, brushes, raster
// operations and a clip; shapes, blits and the byte-wise blending copies.
#pragma once

#include "Platform/Paint/Region.h"
#include "Platform/Paint/Surface.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class Font;

// One scanline run [x0, x1) on row y (device coordinates).
struct Span {
    int y, x0, x1;
};

// The sixteen binary raster operations, numbered as the application numbers them: the value
// minus one is a truth table over (pen, destination) bits, bit 3 for (1,1) down to bit 0 for (0,0).
enum class Rop2 : uint8_t {
    Black = 1, NotMergePen, MaskNotPen, NotCopyPen, MaskPenNot, Not, XorPen, NotMaskPen,
    MaskPen, NotXorPen, Nop, MergeNotPen, CopyPen, MergePenNot, MergePen, White
};

// Ternary raster operations for blits: bits 16-23 are a truth table over pattern (0xF0),
// source (0xCC) and destination (0xAA).
namespace Rop3 {
constexpr uint32_t SrcCopy = 0x00CC0020;
constexpr uint32_t SrcPaint = 0x00EE0086;   // source OR destination
constexpr uint32_t SrcAnd = 0x008800C6;     // source AND destination
constexpr uint32_t SrcInvert = 0x00660046;  // source XOR destination
constexpr uint32_t SrcErase = 0x00440328;   // source AND NOT destination
constexpr uint32_t NotSrcCopy = 0x00330008;
constexpr uint32_t NotSrcErase = 0x001100A6; // NOT (source OR destination)
constexpr uint32_t MergeCopy = 0x00C000CA;  // source AND pattern
constexpr uint32_t MergePaint = 0x00BB0226; // NOT source OR destination
constexpr uint32_t PatCopy = 0x00F00021;
constexpr uint32_t PatPaint = 0x00FB0A09;
constexpr uint32_t PatInvert = 0x005A0049;
constexpr uint32_t DstInvert = 0x00550009;
constexpr uint32_t Blackness = 0x00000042;
constexpr uint32_t Whiteness = 0x00FF0062;
} // namespace Rop3

enum class PenStyle : uint8_t { Solid, Dash, Dot, DashDot, DashDotDot, Null, InsideFrame };

struct Pen {
    PenStyle style = PenStyle::Solid;
    int width = 1; // 0 counts as 1
    PaintColor color;
};

// A brush fills shapes: a solid colour, an 8x8 one-bit pattern (bit 7 of each row byte is the
// leftmost pixel; 0 bits take the context's text colour, 1 bits its background colour, as a
// monochrome pattern bitmap does), an 8x8 colour pattern, or nothing.
struct Brush {
    enum class Kind : uint8_t { Null, Solid, MonoPattern, ColorPattern } kind = Kind::Solid;
    PaintColor color;
    std::array<uint8_t, 8> bits {};
    std::array<Rgb, 64> colors {}; // colour pattern, row by row

    static Brush null() { Brush b; b.kind = Kind::Null; return b; }
    static Brush solid(PaintColor c) { Brush b; b.color = c; return b; }
    static Brush monoPattern(const std::array<uint8_t, 8>& rows)
    {
        Brush b;
        b.kind = Kind::MonoPattern;
        b.bits = rows;
        return b;
    }
    static Brush colorPattern(const std::array<Rgb, 64>& pixels)
    {
        Brush b;
        b.kind = Kind::ColorPattern;
        b.colors = pixels;
        return b;
    }
};

enum class BackgroundMode : uint8_t { Transparent = 1, Opaque = 2 };
enum class ArcDirection : uint8_t { CounterClockwise = 1, Clockwise = 2 };
// How stretched blits sample: the nearest source pixel, or the mean of the pixels covered.
enum class StretchMode : uint8_t { ColorOnColor = 3, Halftone = 4 };

// Device coordinates are clamped to -2^20..2^20, as regions' are, far beyond any surface, so
// that no arithmetic on them overflows.
inline int clampCoordinate(int64_t v) { return int(std::clamp<int64_t>(v, -(1 << 20), 1 << 20)); }

// Drawing state over one surface. Coordinates given to drawing calls are logical: the device
// point is the logical point minus the window origin. The clip is kept in device coordinates as
// y-x banded rectangles (the form pixman regions give) and is always within the surface.
class DeviceContext {
public:
    explicit DeviceContext(Surface& surface);

    Surface& surface() { return *m_surface; }
    const Surface& surface() const { return *m_surface; }

    void setWindowOrigin(Point p) { m_origin = p; }
    Point windowOrigin() const { return m_origin; }
    Point toDevice(Point p) const
    {
        return { clampCoordinate(int64_t(p.x) - m_origin.x), clampCoordinate(int64_t(p.y) - m_origin.y) };
    }
    Rect toDevice(Rect r) const
    {
        Point a = toDevice(Point { r.left, r.top }), b = toDevice(Point { r.right, r.bottom });
        return { a.x, a.y, b.x, b.y };
    }

    // Clip, in device coordinates: the union of the rects, kept within the surface.
    void setClipRects(std::vector<Rect> rects);
    void setClipRect(Rect deviceRect);
    void setClip(const Region& deviceRegion);
    Region clipRegion() const; // a copy, in device coordinates
    void removeClip();
    // Narrows the clip to a logical rect.
    void intersectClipRect(Rect logicalRect);
    const std::vector<Rect>& clipRects() const { return m_clip; }
    Rect clipBox() const { return m_clipBox; } // device coordinates; empty when nothing draws
    bool hasClip() const { return m_hasClip; }

    void setPen(const Pen& pen) { m_pen = pen; }
    const Pen& pen() const { return m_pen; }
    void setBrush(const Brush& brush) { m_brush = brush; }
    const Brush& brush() const { return m_brush; }
    void setBrushOrigin(Point p) { m_brushOrigin = p; }
    void setRop2(Rop2 rop) { m_rop2 = rop; }
    // Codes outside 1..16 are ignored, and false is returned.
    bool setRop2(int code);
    Rop2 rop2() const { return m_rop2; }
    void setTextColor(PaintColor c) { m_textColor = c; }
    PaintColor textColor() const { return m_textColor; }
    void setBackgroundColor(PaintColor c) { m_backgroundColor = c; }
    PaintColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundMode(BackgroundMode m) { m_backgroundMode = m; }
    BackgroundMode backgroundMode() const { return m_backgroundMode; }
    void setFillMode(FillMode m) { m_fillMode = m; }
    FillMode fillMode() const { return m_fillMode; }
    void setStretchMode(StretchMode m) { m_stretchMode = m; }
    StretchMode stretchMode() const { return m_stretchMode; }
    void setArcDirection(ArcDirection d) { m_arcDirection = d; }
    ArcDirection arcDirection() const { return m_arcDirection; }
    // The palette that PaintColor::paletteIndex refers to (the standard palette by default).
    void selectPalette(const Palette* p) { m_palette = p ? p : &Palette::standard(); }
    const Palette& palette() const { return *m_palette; }
    void selectFont(std::shared_ptr<const Font> font) { m_font = std::move(font); }
    const std::shared_ptr<const Font>& font() const { return m_font; }

    void moveTo(Point p) { m_position = p; }
    Point currentPosition() const { return m_position; }

    // Lines with the pen and the binary raster operation; the end point is not drawn. A pen
    // wider than 1 is a square of that size centred on the path.
    void lineTo(Point p);
    void polyline(const std::vector<Point>& points);
    void setPixel(Point p, PaintColor c);
    uint32_t getPixelValue(Point p) const; // raw value; 0 outside the surface
    Rgb getPixel(Point p) const;

    // Closed shapes: the interior with the brush, the outline with the pen, both under the binary
    // raster operation; each pixel is drawn once. The outline lies inside the rect (right and
    // bottom excluded) whatever the pen style.
    void rectangle(Rect r);
    void ellipse(Rect r);
    void roundRect(Rect r, int ovalWidth, int ovalHeight);
    // Arcs of the ellipse inscribed in r, from the radial through start to the radial through end
    // in the arc direction; start on end's radial gives the whole ellipse.
    void arc(Rect r, Point start, Point end);
    void pie(Rect r, Point start, Point end);
    void polygon(const std::vector<Point>& points);

    // Fills with a brush under the binary raster operation, no outline.
    void fillRect(Rect r, const Brush& brush);
    void fillEllipse(Rect r, const Brush& brush);
    void fillPolygon(const std::vector<Point>& points, const Brush& brush);
    // Fills the clip's rects intersected with these (device coordinates) using the brush.
    void fillDeviceRects(const std::vector<Rect>& deviceRects, const Brush& brush);
    void invertRect(Rect r);
    // A region in logical coordinates, filled with a brush or inverted.
    void fillRegion(const Region& region, const Brush& brush);
    void invertRegion(const Region& region);

    // Blits: the destination rect in this context's logical coordinates, the source rect in the
    // source context's. Sizes that differ stretch by dropping or repeating rows and columns;
    // negative widths or heights mirror. Colours convert between depths; a monochrome source
    // takes this context's text colour for 0 and background colour for 1, and a monochrome
    // destination takes 1 where the source pixel is the source context's background colour.
    // The source may be null for operations that do not read it.
    void bitBlt(Rect dest, const DeviceContext* source, Point sourceAt, uint32_t rop3);
    void stretchBlt(Rect dest, const DeviceContext* source, Rect sourceRect, uint32_t rop3);
    // The two-pass transparent copy: a mask of the source pixels that differ from the
    // transparent colour is ORed in as white, then the source is ANDed with its transparent
    // pixels read as white, so that they leave the destination as it was.
    void transparentBlt(Rect dest, const DeviceContext& source, Rect sourceRect, Rgb transparent);

    // For the text painter and other span producers: the pixel value of a colour on this
    // surface, spans painted under an operation (clipped here), and the clip applied to one run.
    uint32_t deviceValue(PaintColor c) const;
    void paintSpans(const std::vector<Span>& spans, const Brush& brush, Rop2 rop);
    void paintSpans(const std::vector<Span>& spans, PaintColor c, Rop2 rop);
    template <typename Emit> void clipSpan(int y, int x0, int x1, Emit emit) const
    {
        if (y < m_clipBox.top || y >= m_clipBox.bottom)
            return;
        if (m_clip.size() == 1) {
            int a = std::max(x0, m_clipBox.left), b = std::min(x1, m_clipBox.right);
            if (a < b)
                emit(a, b);
            return;
        }
        for (size_t i = firstClipBox(y); i < m_clip.size() && m_clip[i].top <= y; ++i) {
            int a = std::max(x0, m_clip[i].left), b = std::min(x1, m_clip[i].right);
            if (a < b)
                emit(a, b);
        }
    }

private:
    size_t firstClipBox(int y) const;
    void drawClosed(const std::vector<Span>& fill, const std::vector<Span>& outline);
    void strokeSegment(Point a, Point b, std::vector<Span>& out, int& dashPhase) const;
    void drawStroke(const std::vector<Point>& devicePoints, bool closed);
    void arcOrPie(Rect r, Point start, Point end, bool pie);
    std::vector<Span> polygonSpans(const std::vector<Point>& devicePoints) const;

    Surface* m_surface;
    Point m_origin;
    std::vector<Rect> m_clip;
    Rect m_clipBox;
    bool m_hasClip = false;
    Pen m_pen;
    Brush m_brush;
    Point m_brushOrigin;
    Rop2 m_rop2 = Rop2::CopyPen;
    PaintColor m_textColor { kBlack };
    PaintColor m_backgroundColor { kWhite };
    BackgroundMode m_backgroundMode = BackgroundMode::Opaque;
    FillMode m_fillMode = FillMode::EvenOdd;
    ArcDirection m_arcDirection = ArcDirection::CounterClockwise;
    StretchMode m_stretchMode = StretchMode::ColorOnColor;
    const Palette* m_palette;
    std::shared_ptr<const Font> m_font;
    Point m_position;
};

// A one-bit mask (palette black, white) of a source rect: 1 where the pixel differs from the
// transparent colour.
std::unique_ptr<Surface> makeMask(const Surface& source, Rect rect, Rgb transparent);

// Blending copies between two surfaces of 24 or 32 bits, byte by byte; rows are clipped to both
// surfaces. Max: d = max(d, s). Screen: d = d + s (255 - d) / 256. Alpha: by the source's fourth
// byte a, d = (d (255 - a) + s a) / 255 (a = 255 copies, 0 keeps d). AlphaPremultiplied: as Alpha
// with d = (d (255 - a) + s 255) / 255. Returns false, touching nothing, for other depths.
enum class BlendMode : uint8_t { Max, Screen, Alpha, AlphaPremultiplied };
bool blendCopy(Surface& dest, Point destAt, const Surface& source, Rect sourceRect, BlendMode mode);

