// Platform/Paint/Paint.h: the painter. Device contexts over surfaces with pens, brushes, raster
// operations and a clip; shapes, blits and the byte-wise blending copies.
#pragma once

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
enum class FillMode : uint8_t { Alternate = 1, Winding = 2 };
enum class ArcDirection : uint8_t { CounterClockwise = 1, Clockwise = 2 };

// Drawing state over one surface. Coordinates given to drawing calls are logical: the device
// point is the logical point minus the window origin. The clip is kept in device coordinates as
// y-x banded rectangles (the form pixman regions give) and is always within the surface.
class DeviceContext {
public:
    explicit DeviceContext(Surface& surface);

    Surface& surface() { return *m_surface; }
    const Surface& surface() const { return *m_surface; }

    void setWindowOrigin(PaintPoint p) { m_origin = p; }
    PaintPoint windowOrigin() const { return m_origin; }
    PaintPoint toDevice(PaintPoint p) const { return { p.x - m_origin.x, p.y - m_origin.y }; }

    // Clip. Rects are in device coordinates; they must be y-x banded (sorted by top, then left;
    // within a band equal top and bottom, no overlaps), as pixman's region boxes are.
    void setClipRects(std::vector<PaintRect> bandedRects);
    void setClipRect(PaintRect deviceRect);
    void removeClip();
    // Narrows the clip to a logical rect.
    void intersectClipRect(PaintRect logicalRect);
    const std::vector<PaintRect>& clipRects() const { return m_clip; }
    PaintRect clipBox() const { return m_clipBox; } // device coordinates; empty when nothing draws
    bool hasClip() const { return m_hasClip; }

    void setPen(const Pen& pen) { m_pen = pen; }
    const Pen& pen() const { return m_pen; }
    void setBrush(const Brush& brush) { m_brush = brush; }
    const Brush& brush() const { return m_brush; }
    void setBrushOrigin(PaintPoint p) { m_brushOrigin = p; }
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
    void setArcDirection(ArcDirection d) { m_arcDirection = d; }
    ArcDirection arcDirection() const { return m_arcDirection; }
    // The palette that PaintColor::paletteIndex refers to (the standard palette by default).
    void selectPalette(const Palette* p) { m_palette = p ? p : &Palette::standard(); }
    const Palette& palette() const { return *m_palette; }
    void selectFont(std::shared_ptr<const Font> font) { m_font = std::move(font); }
    const std::shared_ptr<const Font>& font() const { return m_font; }

    void moveTo(PaintPoint p) { m_position = p; }
    PaintPoint currentPosition() const { return m_position; }

    // Lines with the pen and the binary raster operation; the end point is not drawn. A pen
    // wider than 1 is a square of that size centred on the path.
    void lineTo(PaintPoint p);
    void polyline(const std::vector<PaintPoint>& points);
    void setPixel(PaintPoint p, PaintColor c);
    uint32_t getPixelValue(PaintPoint p) const; // raw value; 0 outside the surface
    Rgb getPixel(PaintPoint p) const;

    // Closed shapes: the interior with the brush, the outline with the pen, both under the binary
    // raster operation; each pixel is drawn once. The outline lies inside the rect (right and
    // bottom excluded) whatever the pen style.
    void rectangle(PaintRect r);
    void ellipse(PaintRect r);
    void roundRect(PaintRect r, int ovalWidth, int ovalHeight);
    // Arcs of the ellipse inscribed in r, from the radial through start to the radial through end
    // in the arc direction; start on end's radial gives the whole ellipse.
    void arc(PaintRect r, PaintPoint start, PaintPoint end);
    void pie(PaintRect r, PaintPoint start, PaintPoint end);
    void polygon(const std::vector<PaintPoint>& points);

    // Fills with a brush under the binary raster operation, no outline.
    void fillRect(PaintRect r, const Brush& brush);
    void fillEllipse(PaintRect r, const Brush& brush);
    void fillPolygon(const std::vector<PaintPoint>& points, const Brush& brush);
    // Fills the clip's rects intersected with these (device coordinates) using the brush.
    void fillDeviceRects(const std::vector<PaintRect>& deviceRects, const Brush& brush);
    void invertRect(PaintRect r);

    // Blits: the destination rect in this context's logical coordinates, the source rect in the
    // source context's. Sizes that differ stretch by dropping or repeating rows and columns;
    // negative widths or heights mirror. Colours convert between depths; a monochrome source
    // takes this context's text colour for 0 and background colour for 1, and a monochrome
    // destination takes 1 where the source pixel is the source context's background colour.
    // The source may be null for operations that do not read it.
    void bitBlt(PaintRect dest, const DeviceContext* source, PaintPoint sourceAt, uint32_t rop3);
    void stretchBlt(PaintRect dest, const DeviceContext* source, PaintRect sourceRect, uint32_t rop3);
    // The two-pass transparent copy: a mask of the source pixels that differ from the
    // transparent colour is ORed in as white, then the source is ANDed with its transparent
    // pixels read as white, so that they leave the destination as it was.
    void transparentBlt(PaintRect dest, const DeviceContext& source, PaintRect sourceRect, Rgb transparent);

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
    void strokeSegment(PaintPoint a, PaintPoint b, std::vector<Span>& out, int& dashPhase) const;
    void drawStroke(const std::vector<PaintPoint>& devicePoints, bool closed);
    void arcOrPie(PaintRect r, PaintPoint start, PaintPoint end, bool pie);
    std::vector<Span> polygonSpans(const std::vector<PaintPoint>& devicePoints) const;

    Surface* m_surface;
    PaintPoint m_origin;
    std::vector<PaintRect> m_clip;
    PaintRect m_clipBox;
    bool m_hasClip = false;
    Pen m_pen;
    Brush m_brush;
    PaintPoint m_brushOrigin;
    Rop2 m_rop2 = Rop2::CopyPen;
    PaintColor m_textColor { kBlack };
    PaintColor m_backgroundColor { kWhite };
    BackgroundMode m_backgroundMode = BackgroundMode::Opaque;
    FillMode m_fillMode = FillMode::Alternate;
    ArcDirection m_arcDirection = ArcDirection::CounterClockwise;
    const Palette* m_palette;
    std::shared_ptr<const Font> m_font;
    PaintPoint m_position;
};

// A one-bit mask (palette black, white) of a source rect: 1 where the pixel differs from the
// transparent colour.
std::unique_ptr<Surface> makeMask(const Surface& source, PaintRect rect, Rgb transparent);

// Blending copies between two surfaces of 24 or 32 bits, byte by byte; rows are clipped to both
// surfaces. Max: d = max(d, s). Screen: d = d + s (255 - d) / 256. Alpha: by the source's fourth
// byte a, d = (d (255 - a) + s a) / 255 (a = 255 copies, 0 keeps d). AlphaPremultiplied: as Alpha
// with d = (d (255 - a) + s 255) / 255. Returns false, touching nothing, for other depths.
enum class BlendMode : uint8_t { Max, Screen, Alpha, AlphaPremultiplied };
bool blendCopy(Surface& dest, PaintPoint destAt, const Surface& source, PaintRect sourceRect, BlendMode mode);

