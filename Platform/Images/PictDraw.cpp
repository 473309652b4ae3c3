// Platform/Images/PictDraw.cpp: the drawing table, which plays a picture into a device context,
// and the drawing of decoded images.
#include "Platform/Images/Images.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::array<uint8_t, 8> kBlackPattern { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };
constexpr std::array<uint8_t, 8> kWhitePattern {};

Rgb toRgb(uint16_t r, uint16_t g, uint16_t b) { return { uint8_t(r >> 8), uint8_t(g >> 8), uint8_t(b >> 8) }; }

// The caller's drawing state, put back when the guard ends.
class ContextState {
public:
    explicit ContextState(DeviceContext& dc)
        : m_dc(dc), m_hadClip(dc.hasClip()), m_clip(dc.clipRegion()), m_rop(dc.rop2()), m_pen(dc.pen()),
          m_brush(dc.brush()), m_text(dc.textColor()), m_background(dc.backgroundColor()),
          m_position(dc.currentPosition())
    {
    }
    ~ContextState() { restore(); }
    void restore()
    {
        if (m_hadClip)
            m_dc.setClip(m_clip);
        else
            m_dc.removeClip();
        m_dc.setRop2(m_rop);
        m_dc.setPen(m_pen);
        m_dc.setBrush(m_brush);
        m_dc.setTextColor(m_text);
        m_dc.setBackgroundColor(m_background);
        m_dc.moveTo(m_position);
    }
    const Region& clip() const { return m_clip; }
    bool hadClip() const { return m_hadClip; }

private:
    DeviceContext& m_dc;
    bool m_hadClip;
    Region m_clip;
    Rop2 m_rop;
    Pen m_pen;
    Brush m_brush;
    PaintColor m_text, m_background;
    Point m_position;
};

// Black pixels take the drawing colour: for 8 bits the first black entry's pixels become the entry
// nearest to the colour (smallest sum of component differences).
void colourise(Surface& s, Rgb colour)
{
    if (s.depth() == 8) {
        const auto& table = s.palette().entries();
        auto black = std::find(table.begin(), table.end(), kBlack);
        if (black == table.end())
            return;
        int from = int(black - table.begin()), to = 0, best = 1 << 30;
        for (int i = 0; i < int(table.size()); ++i) {
            int d = std::abs(table[size_t(i)].red - colour.red) + std::abs(table[size_t(i)].green - colour.green)
                + std::abs(table[size_t(i)].blue - colour.blue);
            if (d < best) {
                best = d;
                to = i;
            }
        }
        for (int y = 0; y < s.height(); ++y)
            for (uint8_t* p = s.row(y); p < s.row(y) + s.width(); ++p)
                if (*p == from)
                    *p = uint8_t(to);
        return;
    }
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if ((s.pixel(x, y) & 0xFFFFFF) == 0)
                s.setPixel(x, y, (s.pixel(x, y) & 0xFF000000u) | uint32_t(colour.red) << 16
                        | uint32_t(colour.green) << 8 | colour.blue);
}

class DrawOperations final : public PictOperations {
public:
    DrawOperations(DeviceContext& dc, int callerOverride, Rgb colour)
        : m_dc(dc), m_callerOverride(callerOverride), m_colour(colour)
    {
        acceptsAnyResolution = true;
    }

    void begin() override
    {
        m_saved = std::make_unique<ContextState>(m_dc);
        m_fore = kBlack;
        m_back = kWhite;
        m_penPattern = kBlackPattern;
        m_brushPattern = kBlackPattern;
        m_penWidth = 1;
        m_penVisible = true;
        m_dc.setRop2(Rop2::CopyPen);
        m_dc.setTextColor(m_fore);
        m_dc.setBackgroundColor(m_back);
        updatePen();
    }
    void end(size_t) override { m_saved.reset(); }

    void clip(Rect clipRect, Rect destRect) override
    {
        if (m_clipSet && clipRect == m_lastClip)
            return;
        m_clipSet = true;
        m_lastClip = clipRect;
        Region clip = m_saved->hadClip() ? m_saved->clip().copy() : Region(m_dc.surface().bounds());
        clip.intersect(m_dc.toDevice(clipRect));
        clip.intersect(m_dc.toDevice(destRect));
        m_dc.setClip(clip);
    }
    void penSize(int h, int v) override
    {
        m_penVisible = h > 0 && v > 0;
        m_penWidth = std::clamp(std::max(h, v), 1, 1024);
        updatePen();
    }
    void penMode(int mode) override
    {
        m_dc.setRop2(mode == 9 ? Rop2::MaskPen : mode == 10 ? Rop2::XorPen : Rop2::CopyPen);
    }
    void penPattern(const std::array<uint8_t, 8>& p) override
    {
        m_penPattern = p;
        m_brushPattern = p;
        updatePen();
    }
    void fillPattern(const std::array<uint8_t, 8>& p) override { m_brushPattern = p; }
    void foreColor(uint16_t r, uint16_t g, uint16_t b) override
    {
        m_fore = toRgb(r, g, b);
        m_dc.setTextColor(m_fore);
        updatePen();
    }
    void backColor(uint16_t r, uint16_t g, uint16_t b) override
    {
        m_back = toRgb(r, g, b);
        m_dc.setBackgroundColor(m_back);
        updatePen();
    }

    void moveTo(Point p) override { m_dc.moveTo(p); }
    void lineTo(Point p) override { m_dc.lineTo(p); }

    void rect(Verb verb, Rect r) override
    {
        switch (verb) {
        case Frame: outline([&] { m_dc.rectangle(r); }); break;
        case Paint: case Fill: m_dc.fillRect(r, brushOf(m_penPattern)); break;
        case Erase: erase([&](const Brush& b) { m_dc.fillRect(r, b); }); break;
        case Invert: m_dc.invertRect(r); break;
        }
    }
    void roundRect(Verb verb, Rect r, int ow, int oh) override
    {
        switch (verb) {
        case Frame: outline([&] { m_dc.roundRect(r, ow, oh); }); break;
        case Paint: filled(brushOf(m_penPattern), [&] { m_dc.roundRect(r, ow, oh); }); break;
        case Erase: erase([&](const Brush& b) { filled(b, [&] { m_dc.roundRect(r, ow, oh); }); }); break;
        default: break;
        }
    }
    void oval(Verb verb, Rect r) override
    {
        switch (verb) {
        case Frame: outline([&] { m_dc.ellipse(r); }); break;
        case Paint: m_dc.fillEllipse(r, brushOf(m_brushPattern)); break;
        case Erase: erase([&](const Brush& b) { m_dc.fillEllipse(r, b); }); break;
        case Invert: inverted([&] { m_dc.fillEllipse(r, Brush::solid(kBlack)); }); break;
        case Fill: m_dc.fillEllipse(r, brushOf(m_penPattern)); break;
        }
    }
    void arc(Verb verb, Rect r, int startAngle, int arcAngle) override
    {
        if (arcAngle == 0)
            return;
        // Classic angles run clockwise from 12 o'clock; the painter sweeps counter-clockwise.
        int from = arcAngle > 0 ? startAngle + arcAngle : startAngle;
        int to = arcAngle > 0 ? startAngle : startAngle + arcAngle;
        if (std::abs(arcAngle) >= 360)
            to = from;
        Point start = radial(r, from), finish = radial(r, to);
        ArcDirection direction = m_dc.arcDirection();
        m_dc.setArcDirection(ArcDirection::CounterClockwise);
        switch (verb) {
        case Frame: outline([&] { m_dc.arc(r, start, finish); }); break;
        case Paint: case Fill: filled(brushOf(m_penPattern), [&] { m_dc.pie(r, start, finish); }); break;
        case Erase: erase([&](const Brush& b) { filled(b, [&] { m_dc.pie(r, start, finish); }); }); break;
        case Invert: inverted([&] { filled(Brush::solid(kBlack), [&] { m_dc.pie(r, start, finish); }); }); break;
        }
        m_dc.setArcDirection(direction);
    }
    void polygon(Verb verb, const std::vector<Point>& points) override
    {
        if (points.empty())
            return;
        if (verb == Frame) {
            if (m_penVisible)
                m_dc.polyline(points);
        } else if (verb == Paint) {
            m_dc.fillPolygon(points, brushOf(m_penPattern));
        }
    }

    bool wantsPixels() const override { return true; }
    void bits(PictBitmap& bm) override
    {
        if (!bm.pixels)
            return;
        int mode = bm.mode;
        if (m_callerOverride != -1)
            mode = m_callerOverride;
        else if (overrideMode != -1)
            mode = (overrideMode & ~0x40) | (bm.mode & 0x40);
        Surface& pixels = *bm.pixels;
        if (pixels.depth() >= 8 && m_colour != kBlack)
            colourise(pixels, m_colour);
        Rect source = offsetRect(bm.sourceRect, -bm.bounds.left, -bm.bounds.top).intersection(pixels.bounds());
        if (source.isEmpty())
            return;
        Rop2 rop = m_dc.rop2();
        m_dc.setRop2(Rop2::CopyPen);
        drawSurface(m_dc, pixels, source, bm.mappedDest, mode);
        m_dc.setRop2(rop);
    }

private:
    // 1 bits of a classic pattern are the foreground; the painter's pattern brush takes its text
    // colour for 0 bits.
    Brush brushOf(const std::array<uint8_t, 8>& p) const
    {
        if (p == kBlackPattern)
            return Brush::solid(m_fore);
        if (p == kWhitePattern)
            return Brush::solid(m_back);
        std::array<uint8_t, 8> rows;
        for (size_t i = 0; i < 8; ++i)
            rows[i] = uint8_t(~p[i]);
        return Brush::monoPattern(rows);
    }
    void updatePen()
    {
        Pen pen;
        if (!m_penVisible) {
            pen.style = PenStyle::Null;
        } else if (m_penPattern == kBlackPattern) {
            pen = { PenStyle::InsideFrame, m_penWidth, m_fore };
        } else if (m_penPattern == kWhitePattern) {
            pen = { PenStyle::InsideFrame, m_penWidth, m_back };
        } else {
            pen = { PenStyle::Dot, m_penWidth, m_fore == kWhite ? kBlack : m_fore };
        }
        m_dc.setPen(pen);
    }
    template <typename F> void outline(F draw)
    {
        if (!m_penVisible)
            return;
        Brush brush = m_dc.brush();
        m_dc.setBrush(Brush::null());
        draw();
        m_dc.setBrush(brush);
    }
    template <typename F> void filled(const Brush& b, F draw)
    {
        Pen pen = m_dc.pen();
        Brush brush = m_dc.brush();
        Pen none;
        none.style = PenStyle::Null;
        m_dc.setPen(none);
        m_dc.setBrush(b);
        draw();
        m_dc.setBrush(brush);
        m_dc.setPen(pen);
    }
    template <typename F> void erase(F draw)
    {
        Rop2 rop = m_dc.rop2();
        m_dc.setRop2(Rop2::CopyPen);
        draw(Brush::solid(m_back));
        m_dc.setRop2(rop);
    }
    template <typename F> void inverted(F draw)
    {
        Rop2 rop = m_dc.rop2();
        m_dc.setRop2(Rop2::Not);
        draw();
        m_dc.setRop2(rop);
    }
    static Point radial(Rect r, int degrees)
    {
        double a = degrees * 3.14159265358979323846 / 180.0;
        double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
        double radius = std::max(r.width(), r.height()) + 16.0;
        return { int(std::lround(cx + radius * std::sin(a))), int(std::lround(cy - radius * std::cos(a))) };
    }
    DeviceContext& m_dc;
    int m_callerOverride;
    Rgb m_colour;
    std::unique_ptr<ContextState> m_saved;
    Rgb m_fore = kBlack, m_back = kWhite;
    std::array<uint8_t, 8> m_penPattern = kBlackPattern, m_brushPattern = kBlackPattern;
    int m_penWidth = 1;
    bool m_penVisible = true;
    bool m_clipSet = false;
    Rect m_lastClip;
};

} // namespace

void drawSurface(DeviceContext& dc, const Surface& source, Rect sourceRect, Rect dest, int mode)
{
    if (dest.isEmpty() || sourceRect.isEmpty())
        return;
    // The source surface is only read; the context wants a mutable one.
    DeviceContext from(const_cast<Surface&>(source));
    switch (mode & 0x3F) {
    case 36:
        dc.transparentBlt(dest, from, sourceRect, dc.backgroundColor().rgb);
        break;
    case 3:
        dc.stretchBlt(dest, &from, sourceRect, Rop3::NotSrcErase);
        break;
    default:
        dc.stretchBlt(dest, &from, sourceRect, Rop3::SrcCopy);
        break;
    }
}

int drawPicture(DeviceContext& dc, Bytes data, Rect dest, int overrideMode, Rgb colour)
{
    ContextState saved(dc);
    DrawOperations ops(dc, overrideMode, colour);
    return playPicture(data, dest, ops);
}

bool drawImage(DeviceContext& dc, Bytes data, Rect dest, int overrideMode, Rgb colour)
{
    DecodedImage decoded;
    switch (recognizeImage(data)) {
    case ImageFormat::Pict:
        return drawPicture(dc, data, dest, overrideMode, colour) == 0;
    case ImageFormat::Png:
        decoded = decodePng(data);
        break;
    case ImageFormat::Jpeg:
        decoded = decodeJpeg(data);
        break;
    case ImageFormat::PackedBitmap:
        decoded = decodePackedBitmap(data);
        break;
    case ImageFormat::Unknown:
        return false;
    }
    if (!decoded.surface)
        return false;
    if (decoded.surface->depth() >= 8 && colour != kBlack)
        colourise(*decoded.surface, colour);
    ContextState saved(dc);
    dc.setRop2(Rop2::CopyPen);
    drawSurface(dc, *decoded.surface, decoded.surface->bounds(), dest,
        overrideMode != -1 && (overrideMode & 0x3F) == 36 ? 36 : 0);
    return true;
}

DecodedImage renderImage(Bytes data, int pictDepth)
{
    switch (recognizeImage(data)) {
    case ImageFormat::Png:
        return decodePng(data);
    case ImageFormat::Jpeg:
        return decodeJpeg(data);
    case ImageFormat::PackedBitmap:
        return decodePackedBitmap(data);
    case ImageFormat::Pict: {
        DecodedImage result;
        Rect frame = pictFrame(data);
        if (int64_t(frame.width()) * frame.height() > kMaxImagePixels) {
            result.error = "picture too large";
            return result;
        }
        result.surface = Surface::make(frame.width(), frame.height(), pictDepth);
        if (!result.surface) {
            result.error = "out of memory";
            return result;
        }
        result.surface->fill(kWhite);
        DeviceContext dc(*result.surface);
        drawPicture(dc, data, result.surface->bounds(), -1, kBlack);
        return result;
    }
    case ImageFormat::Unknown:
        break;
    }
    DecodedImage result;
    result.error = "unknown image format";
    return result;
}

Rect scaledImageRect(Rect imageRect, Point at, int numerator, int denominator)
{
    if (int16_t(denominator) == 0)
        return {};
    int64_t n = int16_t(numerator), d = int16_t(denominator);
    int64_t right = int64_t(imageRect.width()) * n / d, bottom = int64_t(imageRect.height()) * n / d;
    auto clamp = [](int64_t v) { return int(std::clamp<int64_t>(v, -(int64_t(1) << 30), int64_t(1) << 30)); };
    return { at.x, at.y, clamp(at.x + right), clamp(at.y + bottom) };
}

std::vector<uint8_t> captureRect(const Surface& surface, Rect rect, bool rotate)
{
    Rect r = rect.intersection(surface.bounds());
    if (r.isEmpty() || (rotate && surface.depth() <= 8))
        return {};
    const int width = rotate ? r.height() : r.width(), height = rotate ? r.width() : r.height();
    auto copy = Surface::make(width, height, surface.depth(), RowOrder::TopDown,
        surface.isIndexed() ? &surface.palette() : nullptr);
    if (!copy)
        return {};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Counter-clockwise: the source's right column becomes the top row.
            Point from = rotate ? Point { r.right - 1 - y, r.top + x } : Point { r.left + x, r.top + y };
            copy->setPixel(x, y, surface.pixel(from.x, from.y));
        }
    return encodePackedBitmap(*copy, surface.depth());
}
