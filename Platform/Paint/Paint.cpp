// Platform/Paint/Paint.cpp: device context state, span painting and the shapes.
//
// Every shape becomes a list of spans in device coordinates, limited to the rows of the clip
// box; the spans are unioned so that each pixel is drawn once (XOR stays exact), then painted
// through the clip by one span function chosen per call for the depth, the raster operation and
// the kind of brush.
#include "Platform/Paint/Paint.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// ---- pixel access by depth ----

template <int D> struct Px;
template <> struct Px<1> {
    static constexpr uint32_t kMask = 1;
    static uint32_t get(const uint8_t* r, int x) { return (r[x >> 3] >> (7 - (x & 7))) & 1; }
    static void set(uint8_t* r, int x, uint32_t v)
    {
        uint8_t bit = uint8_t(0x80 >> (x & 7));
        r[x >> 3] = (v & 1) ? uint8_t(r[x >> 3] | bit) : uint8_t(r[x >> 3] & ~bit);
    }
};
template <> struct Px<4> {
    static constexpr uint32_t kMask = 15;
    static uint32_t get(const uint8_t* r, int x) { return (r[x >> 1] >> ((x & 1) ? 0 : 4)) & 15; }
    static void set(uint8_t* r, int x, uint32_t v)
    {
        int shift = (x & 1) ? 0 : 4;
        r[x >> 1] = uint8_t((r[x >> 1] & ~(15 << shift)) | (v & 15) << shift);
    }
};
template <> struct Px<8> {
    static constexpr uint32_t kMask = 0xFF;
    static uint32_t get(const uint8_t* r, int x) { return r[x]; }
    static void set(uint8_t* r, int x, uint32_t v) { r[x] = uint8_t(v); }
};
template <> struct Px<24> {
    static constexpr uint32_t kMask = 0xFFFFFF;
    static uint32_t get(const uint8_t* r, int x)
    {
        const uint8_t* p = r + x * 3;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }
    static void set(uint8_t* r, int x, uint32_t v)
    {
        uint8_t* p = r + x * 3;
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
    }
};
template <> struct Px<32> {
    static constexpr uint32_t kMask = 0xFFFFFFFF;
    static uint32_t get(const uint8_t* r, int x) { return reinterpret_cast<const uint32_t*>(r)[x]; }
    static void set(uint8_t* r, int x, uint32_t v) { reinterpret_cast<uint32_t*>(r)[x] = v; }
};

// ---- binary raster operations ----

template <unsigned Code> inline uint32_t rop2(uint32_t p, uint32_t d)
{
    constexpr unsigned t = Code - 1;
    if constexpr (t == 0x0)
        return 0;
    else if constexpr (t == 0xF)
        return ~0u;
    else if constexpr (t == 0xC)
        return p;
    else if constexpr (t == 0xA)
        return d;
    else if constexpr (t == 0x6)
        return p ^ d;
    else if constexpr (t == 0x5)
        return ~d;
    else if constexpr (t == 0x3)
        return ~p;
    else if constexpr (t == 0x8)
        return p & d;
    else if constexpr (t == 0xE)
        return p | d;
    else {
        uint32_t r = 0;
        if constexpr (t & 8)
            r |= p & d;
        if constexpr (t & 4)
            r |= p & ~d;
        if constexpr (t & 2)
            r |= ~p & d;
        if constexpr (t & 1)
            r |= ~p & ~d;
        return r;
    }
}

// What a span function paints: a solid pixel value or an 8x8 table of values.
struct Fill {
    uint32_t solid = 0;
    uint32_t pattern[8][8] {};
    int originX = 0, originY = 0;
};

using SpanFunction = void (*)(Surface&, const Fill&, int y, int x0, int x1);

template <int D, unsigned Code, bool Patterned> void fillSpan(Surface& s, const Fill& f, int y, int x0, int x1)
{
    uint8_t* row = s.row(y);
    if constexpr (!Patterned) {
        uint32_t p = f.solid;
        if constexpr (D == 32 && Code == 13) {
            std::fill(reinterpret_cast<uint32_t*>(row) + x0, reinterpret_cast<uint32_t*>(row) + x1, p);
        } else if constexpr (D == 8 && Code == 13) {
            std::memset(row + x0, int(p), size_t(x1 - x0));
        } else {
            for (int x = x0; x < x1; ++x)
                Px<D>::set(row, x, rop2<Code>(p, Px<D>::get(row, x)) & Px<D>::kMask);
        }
    } else {
        const uint32_t* prow = f.pattern[(y - f.originY) & 7];
        for (int x = x0; x < x1; ++x)
            Px<D>::set(row, x, rop2<Code>(prow[(x - f.originX) & 7], Px<D>::get(row, x)) & Px<D>::kMask);
    }
}

template <int D, bool Patterned, size_t... Codes>
constexpr std::array<SpanFunction, 16> spanRow(std::index_sequence<Codes...>)
{
    return { &fillSpan<D, unsigned(Codes + 1), Patterned>... };
}

template <int D> SpanFunction spanFunctionFor(Rop2 rop, bool patterned)
{
    static constexpr auto solid = spanRow<D, false>(std::make_index_sequence<16>());
    static constexpr auto pattern = spanRow<D, true>(std::make_index_sequence<16>());
    return (patterned ? pattern : solid)[size_t(rop) - 1];
}

SpanFunction spanFunction(int depth, Rop2 rop, bool patterned)
{
    switch (depth) {
    case 1: return spanFunctionFor<1>(rop, patterned);
    case 4: return spanFunctionFor<4>(rop, patterned);
    case 8: return spanFunctionFor<8>(rop, patterned);
    case 24: return spanFunctionFor<24>(rop, patterned);
    default: return spanFunctionFor<32>(rop, patterned);
    }
}

// ---- span sets ----

// Sorts and merges so that every pixel appears once.
void normalize(std::vector<Span>& spans)
{
    std::erase_if(spans, [](const Span& s) { return s.x0 >= s.x1; });
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.y != b.y ? a.y < b.y : a.x0 < b.x0;
    });
    size_t out = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        if (out && spans[out - 1].y == spans[i].y && spans[i].x0 <= spans[out - 1].x1)
            spans[out - 1].x1 = std::max(spans[out - 1].x1, spans[i].x1);
        else
            spans[out++] = spans[i];
    }
    spans.resize(out);
}

// a minus b; both normalised.
std::vector<Span> subtract(const std::vector<Span>& a, const std::vector<Span>& b)
{
    std::vector<Span> result;
    size_t j = 0;
    for (const Span& s : a) {
        while (j < b.size() && (b[j].y < s.y || (b[j].y == s.y && b[j].x1 <= s.x0)))
            ++j;
        int x = s.x0;
        for (size_t k = j; k < b.size() && b[k].y == s.y && b[k].x0 < s.x1; ++k) {
            if (b[k].x0 > x)
                result.push_back({ s.y, x, b[k].x0 });
            x = std::max(x, b[k].x1);
        }
        if (x < s.x1)
            result.push_back({ s.y, x, s.x1 });
    }
    return result;
}

// ---- shapes as rows ----

// The ellipse inscribed in the rect, sampled at pixel centres: row y's run, if any.
bool ellipseRow(const Rect& r, int y, int& x0, int& x1)
{
    if (r.isEmpty() || y < r.top || y >= r.bottom)
        return false;
    double a = r.width() / 2.0, b = r.height() / 2.0;
    double cx = r.left + a, cy = r.top + b;
    double dy = (y + 0.5 - cy) / b;
    double t = 1 - dy * dy;
    if (t < 0)
        return false;
    double dx = a * std::sqrt(t);
    x0 = int(std::ceil(cx - dx - 0.5 - 1e-9));
    x1 = int(std::floor(cx + dx - 0.5 + 1e-9)) + 1;
    return x0 < x1;
}

// A rect with corners cut by quarters of an ellipse of the given size.
bool roundRectRow(const Rect& r, int ovalWidth, int ovalHeight, int y, int& x0, int& x1)
{
    if (r.isEmpty() || y < r.top || y >= r.bottom)
        return false;
    int ew = std::clamp(ovalWidth, 0, r.width()), eh = std::clamp(ovalHeight, 0, r.height());
    x0 = r.left;
    x1 = r.right;
    if (ew < 2 || eh < 2)
        return true;
    int half = eh / 2;
    int cornerRow = -1;
    if (y < r.top + half)
        cornerRow = y - r.top;
    else if (y >= r.bottom - half)
        cornerRow = y - (r.bottom - eh);
    if (cornerRow < 0)
        return true;
    int c0, c1;
    if (!ellipseRow({ 0, 0, ew, eh }, cornerRow, c0, c1))
        return false;
    x0 = r.left + c0;
    x1 = r.right - c0;
    return x0 < x1;
}

Rect shrink(Rect r, int by) { return { r.left + by, r.top + by, r.right - by, r.bottom - by }; }

template <typename RowFunction> void addRows(std::vector<Span>& out, int top, int bottom, RowFunction row)
{
    for (int y = top; y < bottom; ++y) {
        int x0, x1;
        if (row(y, x0, x1))
            out.push_back({ y, x0, x1 });
    }
}

const double kPi = 3.14159265358979323846;

// The pen's dash pattern in pixels, on and off alternately; empty for a continuous pen.
std::vector<int> dashPattern(PenStyle style)
{
    switch (style) {
    case PenStyle::Dash: return { 18, 6 };
    case PenStyle::Dot: return { 3, 3 };
    case PenStyle::DashDot: return { 9, 6, 3, 6 };
    case PenStyle::DashDotDot: return { 9, 3, 3, 3, 3, 3 };
    default: return {};
    }
}

bool isDashed(const Pen& pen) { return pen.width <= 1 && !dashPattern(pen.style).empty(); }

} // namespace

// ---- state ----

DeviceContext::DeviceContext(Surface& surface)
    : m_surface(&surface)
    , m_palette(&Palette::standard())
{
    removeClip();
}

void DeviceContext::removeClip()
{
    m_clip = { m_surface->bounds() };
    m_clipBox = m_surface->bounds();
    m_hasClip = false;
    if (m_clipBox.isEmpty())
        m_clip.clear();
}

void DeviceContext::setClipRects(std::vector<Rect> rects)
{
    // Through a region: whatever the rects, the clip becomes y-x banded without overlaps.
    Region region = Region::fromRects(rects);
    region.intersect(m_surface->bounds());
    auto banded = region.rects();
    m_clip.assign(banded.begin(), banded.end());
    m_clipBox = m_clip.empty() ? Rect {} : region.bounds();
    m_hasClip = true;
}

void DeviceContext::setClipRect(Rect deviceRect) { setClipRects({ deviceRect }); }

void DeviceContext::setClip(const Region& deviceRegion)
{
    auto rects = deviceRegion.rects();
    setClipRects(std::vector<Rect>(rects.begin(), rects.end()));
}

Region DeviceContext::clipRegion() const { return Region::fromRects(m_clip); }

void DeviceContext::intersectClipRect(Rect logicalRect)
{
    Rect r = toDevice(logicalRect);
    std::vector<Rect> narrowed;
    for (const Rect& box : m_clip)
        if (Rect i = box.intersection(r); !i.isEmpty())
            narrowed.push_back(i);
    setClipRects(std::move(narrowed));
}

size_t DeviceContext::firstClipBox(int y) const
{
    auto it = std::partition_point(m_clip.begin(), m_clip.end(), [y](const Rect& b) { return b.bottom <= y; });
    return size_t(it - m_clip.begin());
}

bool DeviceContext::setRop2(int code)
{
    if (code < 1 || code > 16)
        return false;
    m_rop2 = Rop2(code);
    return true;
}

uint32_t DeviceContext::deviceValue(PaintColor c) const
{
    const Surface& s = *m_surface;
    if (c.paletteIndex >= 0) {
        if (s.depth() == 8 && s.palette() == *m_palette && c.paletteIndex < s.palette().size())
            return uint32_t(c.paletteIndex);
        if (c.paletteIndex < m_palette->size())
            c.rgb = (*m_palette)[c.paletteIndex];
    }
    return s.valueOf(c.rgb);
}

// ---- painting spans ----

void DeviceContext::paintSpans(const std::vector<Span>& spans, const Brush& brush, Rop2 rop)
{
    if (spans.empty() || brush.kind == Brush::Kind::Null || m_clip.empty())
        return;
    Fill fill;
    bool patterned = brush.kind != Brush::Kind::Solid;
    if (brush.kind == Brush::Kind::Solid) {
        fill.solid = deviceValue(brush.color);
    } else {
        uint32_t fore = deviceValue(m_textColor), back = deviceValue(m_backgroundColor);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                fill.pattern[y][x] = brush.kind == Brush::Kind::MonoPattern
                    ? ((brush.bits[size_t(y)] & (0x80 >> x)) ? back : fore)
                    : m_surface->valueOf(brush.colors[size_t(y * 8 + x)]);
        fill.originX = m_brushOrigin.x;
        fill.originY = m_brushOrigin.y;
    }
    SpanFunction paint = spanFunction(m_surface->depth(), rop, patterned);
    Surface& surface = *m_surface;
    for (const Span& s : spans)
        clipSpan(s.y, s.x0, s.x1, [&](int a, int b) { paint(surface, fill, s.y, a, b); });
}

void DeviceContext::paintSpans(const std::vector<Span>& spans, PaintColor c, Rop2 rop)
{
    paintSpans(spans, Brush::solid(c), rop);
}

void DeviceContext::fillDeviceRects(const std::vector<Rect>& rects, const Brush& brush)
{
    std::vector<Span> spans;
    for (Rect r : rects) {
        r = r.intersection(m_clipBox);
        for (int y = r.top; y < r.bottom; ++y)
            spans.push_back({ y, r.left, r.right });
    }
    normalize(spans);
    paintSpans(spans, brush, m_rop2);
}

void DeviceContext::drawClosed(const std::vector<Span>& fill, const std::vector<Span>& outline)
{
    paintSpans(subtract(fill, outline), m_brush, m_rop2);
    paintSpans(outline, m_pen.color, m_rop2);
}

uint32_t DeviceContext::getPixelValue(Point p) const
{
    Point d = toDevice(p);
    if (d.x < 0 || d.y < 0 || d.x >= m_surface->width() || d.y >= m_surface->height())
        return 0;
    return m_surface->pixel(d.x, d.y);
}

Rgb DeviceContext::getPixel(Point p) const { return m_surface->colorOf(getPixelValue(p)); }

void DeviceContext::setPixel(Point p, PaintColor c)
{
    Point d = toDevice(p);
    uint32_t v = deviceValue(c);
    clipSpan(d.y, d.x, d.x + 1, [&](int, int) { m_surface->setPixel(d.x, d.y, v); });
}

// ---- lines ----

// The pixels of segment a..b (device coordinates, b excluded for thin pens) as spans: thin pens
// dash along the path, wide pens sweep a square centred on it (one run per row: the sweep of a
// square along a segment is convex).
void DeviceContext::strokeSegment(Point a, Point b, std::vector<Span>& out, int& dashPhase) const
{
    int width = std::clamp(m_pen.width, 1, 1 << 20);
    int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
    int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    int err = dx + dy;
    if (width == 1) {
        std::vector<int> dashes = dashPattern(m_pen.style);
        int period = 0;
        for (int d : dashes)
            period += d;
        int x = a.x, y = a.y;
        while (x != b.x || y != b.y) {
            bool on = true;
            if (period) {
                int phase = dashPhase++ % period, i = 0;
                while (phase >= dashes[size_t(i)])
                    phase -= dashes[size_t(i++)];
                on = (i % 2) == 0;
            }
            // Pixels outside the clip box are not kept; neighbours on a row join one span.
            if (on && y >= m_clipBox.top && y < m_clipBox.bottom && x >= m_clipBox.left && x < m_clipBox.right) {
                if (!out.empty() && out.back().y == y && out.back().x1 == x)
                    ++out.back().x1;
                else if (!out.empty() && out.back().y == y && out.back().x0 == x + 1)
                    --out.back().x0;
                else
                    out.push_back({ y, x, x + 1 });
            }
            int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
        return;
    }
    int before = width / 2;
    // Only rows inside the clip box are kept, so a huge pen costs no more than the clip's height.
    int top = std::max(std::min(a.y, b.y) - before, m_clipBox.top);
    int bottom = std::min(std::max(a.y, b.y) - before + width, m_clipBox.bottom);
    if (top >= bottom)
        return;
    std::vector<std::pair<int, int>> rows(size_t(bottom - top), { INT32_MAX, INT32_MIN });
    int x = a.x, y = a.y;
    for (;;) {
        int first = std::max(y - before, top), last = std::min(y - before + width, bottom);
        for (int r = first; r < last; ++r) {
            auto& extent = rows[size_t(r - top)];
            extent.first = std::min(extent.first, x - before);
            extent.second = std::max(extent.second, x - before + width);
        }
        if (x == b.x && y == b.y)
            break;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    for (int r = top; r < bottom; ++r)
        if (rows[size_t(r - top)].first < rows[size_t(r - top)].second)
            out.push_back({ r, rows[size_t(r - top)].first, rows[size_t(r - top)].second });
}

void DeviceContext::drawStroke(const std::vector<Point>& points, bool closed)
{
    if (m_pen.style == PenStyle::Null || points.size() < 2 || m_clip.empty())
        return;
    std::vector<Span> spans;
    int phase = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i)
        strokeSegment(points[i], points[i + 1], spans, phase);
    if (closed)
        strokeSegment(points.back(), points.front(), spans, phase);
    normalize(spans);
    paintSpans(spans, m_pen.color, m_rop2);
}

void DeviceContext::lineTo(Point p)
{
    drawStroke({ toDevice(m_position), toDevice(p) }, false);
    m_position = p;
}

void DeviceContext::polyline(const std::vector<Point>& points)
{
    std::vector<Point> device;
    for (Point p : points)
        device.push_back(toDevice(p));
    drawStroke(device, false);
}

// ---- closed shapes ----

namespace {

int penWidth(const Pen& pen) { return pen.style == PenStyle::Null ? 0 : std::clamp(pen.width, 1, 1 << 20); }

} // namespace

void DeviceContext::rectangle(Rect r)
{
    r = toDevice(r);
    if (r.isEmpty() || r.intersection(m_clipBox).isEmpty())
        return;
    int top = std::max(r.top, m_clipBox.top), bottom = std::min(r.bottom, m_clipBox.bottom);
    auto rowsOf = [&](Rect box) {
        std::vector<Span> spans;
        addRows(spans, std::max(top, box.top), std::min(bottom, box.bottom), [&](int, int& x0, int& x1) {
            x0 = box.left;
            x1 = box.right;
            return x0 < x1;
        });
        return spans;
    };
    std::vector<Span> outer = rowsOf(r);
    if (!isDashed(m_pen)) {
        std::vector<Span> inner = rowsOf(shrink(r, penWidth(m_pen)));
        drawClosed(inner, subtract(outer, inner));
        return;
    }
    std::vector<Span> outline;
    int phase = 0;
    std::vector<Point> corners { { r.left, r.top }, { r.right - 1, r.top }, { r.right - 1, r.bottom - 1 },
        { r.left, r.bottom - 1 } };
    for (size_t i = 0; i < 4; ++i)
        strokeSegment(corners[i], corners[(i + 1) % 4], outline, phase);
    normalize(outline);
    std::vector<Span> inside = rowsOf(shrink(r, 1));
    paintSpans(subtract(inside, outline), m_brush, m_rop2);
    // The gaps of the dashes: in the background colour when the background is opaque.
    if (m_backgroundMode == BackgroundMode::Opaque)
        paintSpans(subtract(subtract(outer, inside), outline), m_backgroundColor, m_rop2);
    paintSpans(outline, m_pen.color, m_rop2);
}

void DeviceContext::ellipse(Rect r)
{
    r = toDevice(r);
    if (r.isEmpty() || r.intersection(m_clipBox).isEmpty())
        return;
    int w = penWidth(m_pen);
    int top = std::max(r.top, m_clipBox.top), bottom = std::min(r.bottom, m_clipBox.bottom);
    std::vector<Span> outer, inner;
    addRows(outer, top, bottom, [&](int y, int& x0, int& x1) { return ellipseRow(r, y, x0, x1); });
    Rect in = shrink(r, w);
    addRows(inner, top, bottom, [&](int y, int& x0, int& x1) { return ellipseRow(in, y, x0, x1); });
    drawClosed(inner, subtract(outer, inner));
}

void DeviceContext::roundRect(Rect r, int ovalWidth, int ovalHeight)
{
    ovalWidth = std::clamp(ovalWidth, 0, 1 << 22);
    ovalHeight = std::clamp(ovalHeight, 0, 1 << 22);
    r = toDevice(r);
    if (r.isEmpty() || r.intersection(m_clipBox).isEmpty())
        return;
    int w = penWidth(m_pen);
    int top = std::max(r.top, m_clipBox.top), bottom = std::min(r.bottom, m_clipBox.bottom);
    std::vector<Span> outer, inner;
    addRows(outer, top, bottom, [&](int y, int& x0, int& x1) { return roundRectRow(r, ovalWidth, ovalHeight, y, x0, x1); });
    Rect in = shrink(r, w);
    addRows(inner, top, bottom,
        [&](int y, int& x0, int& x1) { return roundRectRow(in, ovalWidth - 2 * w, ovalHeight - 2 * w, y, x0, x1); });
    drawClosed(inner, subtract(outer, inner));
}

void DeviceContext::arc(Rect r, Point start, Point end) { arcOrPie(r, start, end, false); }
void DeviceContext::pie(Rect r, Point start, Point end) { arcOrPie(r, start, end, true); }

void DeviceContext::arcOrPie(Rect r, Point start, Point end, bool pie)
{
    r = toDevice(r);
    start = toDevice(start);
    end = toDevice(end);
    if (r.isEmpty() || r.intersection(m_clipBox).isEmpty())
        return;
    if (m_arcDirection == ArcDirection::Clockwise)
        std::swap(start, end);
    // Angles are measured from the centre of the rect, to pixel centres.
    double cx = r.left + r.width() / 2.0, cy = r.top + r.height() / 2.0;
    auto angleOf = [&](double x, double y) { return std::atan2(cy - y, x - cx); };
    double from = angleOf(start.x + 0.5, start.y + 0.5), to = angleOf(end.x + 0.5, end.y + 0.5);
    double sweep = std::fmod(to - from + 4 * kPi, 2 * kPi);
    if (sweep < 1e-12)
        sweep = 2 * kPi;
    auto inSweep = [&](int x, int y) {
        if (x + 0.5 == cx && y + 0.5 == cy)
            return pie;
        double a = std::fmod(angleOf(x + 0.5, y + 0.5) - from + 4 * kPi, 2 * kPi);
        return a <= sweep + 1e-9 || a >= 2 * kPi - 1e-9;
    };
    // Keeps the pixels of spans inside the sweep.
    auto restrict = [&](const std::vector<Span>& spans) {
        std::vector<Span> kept;
        for (const Span& s : spans)
            for (int x = std::max(s.x0, m_clipBox.left); x < std::min(s.x1, m_clipBox.right); ++x)
                if (inSweep(x, s.y)) {
                    if (!kept.empty() && kept.back().y == s.y && kept.back().x1 == x)
                        ++kept.back().x1;
                    else
                        kept.push_back({ s.y, x, x + 1 });
                }
        return kept;
    };
    int w = penWidth(m_pen);
    int top = std::max(r.top, m_clipBox.top), bottom = std::min(r.bottom, m_clipBox.bottom);
    std::vector<Span> outer, inner;
    addRows(outer, top, bottom, [&](int y, int& x0, int& x1) { return ellipseRow(r, y, x0, x1); });
    Rect in = shrink(r, std::max(w, 1));
    addRows(inner, top, bottom, [&](int y, int& x0, int& x1) { return ellipseRow(in, y, x0, x1); });
    std::vector<Span> outline = restrict(subtract(outer, inner));
    if (!pie) {
        if (w)
            paintSpans(outline, m_pen.color, m_rop2);
        return;
    }
    if (w) {
        // The two radii, from the centre to where the outline meets them.
        Point centre { int(std::floor(cx)), int(std::floor(cy)) };
        auto boundary = [&](Point toward) {
            // The pixel centres of the outline are half a pixel inside the rect.
            double a = r.width() / 2.0 - 0.5, b = r.height() / 2.0 - 0.5;
            double ux = toward.x + 0.5 - cx, uy = toward.y + 0.5 - cy;
            double len = std::sqrt((ux * ux) / (a * a > 0 ? a * a : 1) + (uy * uy) / (b * b > 0 ? b * b : 1));
            if (len == 0)
                return centre;
            return Point { int(std::floor(cx + ux / len)), int(std::floor(cy + uy / len)) };
        };
        int phase = 0;
        for (Point p : { boundary(start), boundary(end) }) {
            std::vector<Span> radius;
            strokeSegment(centre, p, radius, phase);
            // Keep the radius inside the inscribed rect, as the rest of the outline is.
            for (Span s : radius) {
                s.x0 = std::max(s.x0, r.left);
                s.x1 = std::min(s.x1, r.right);
                if (s.y >= r.top && s.y < r.bottom)
                    outline.push_back(s);
            }
        }
        normalize(outline);
    }
    drawClosed(restrict(w ? inner : outer), outline);
}

void DeviceContext::polygon(const std::vector<Point>& points)
{
    if (points.size() < 2 || m_clip.empty())
        return;
    std::vector<Point> device;
    for (Point p : points)
        device.push_back(toDevice(p));
    std::vector<Span> outline;
    if (m_pen.style != PenStyle::Null) {
        int phase = 0;
        for (size_t i = 0; i < device.size(); ++i)
            strokeSegment(device[i], device[(i + 1) % device.size()], outline, phase);
        normalize(outline);
    }
    drawClosed(polygonSpans(device), outline);
}

void DeviceContext::fillPolygon(const std::vector<Point>& points, const Brush& brush)
{
    if (points.size() < 3 || m_clip.empty() || brush.kind == Brush::Kind::Null)
        return;
    std::vector<Point> device;
    for (Point p : points)
        device.push_back(toDevice(p));
    paintSpans(polygonSpans(device), brush, m_rop2);
}

std::vector<Span> DeviceContext::polygonSpans(const std::vector<Point>& device) const
{
    std::vector<Span> spans;
    if (device.size() < 3)
        return spans;
    int top = INT32_MAX, bottom = INT32_MIN;
    for (Point p : device) {
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    top = std::max(top, m_clipBox.top);
    bottom = std::min(bottom, m_clipBox.bottom);
    std::vector<std::pair<double, int>> crossings;
    for (int y = top; y < bottom; ++y) {
        // Pixel centres are sampled: the row's line is y + 0.5.
        double yc = y + 0.5;
        crossings.clear();
        for (size_t i = 0; i < device.size(); ++i) {
            Point a = device[i], b = device[(i + 1) % device.size()];
            if (a.y == b.y)
                continue;
            int direction = a.y < b.y ? 1 : -1;
            if (direction < 0)
                std::swap(a, b);
            if (yc < a.y || yc >= b.y)
                continue;
            double x = a.x + (yc - a.y) * double(b.x - a.x) / double(b.y - a.y);
            crossings.push_back({ x, direction });
        }
        std::sort(crossings.begin(), crossings.end());
        int winding = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i) {
            winding += m_fillMode == FillMode::EvenOdd ? 1 : crossings[i].second;
            bool inside = m_fillMode == FillMode::EvenOdd ? (winding & 1) : winding != 0;
            if (!inside)
                continue;
            int x0 = int(std::ceil(crossings[i].first - 0.5)), x1 = int(std::ceil(crossings[i + 1].first - 0.5));
            if (x0 < x1)
                spans.push_back({ y, x0, x1 });
        }
    }
    normalize(spans);
    return spans;
}

void DeviceContext::fillRect(Rect r, const Brush& brush)
{
    fillDeviceRects({ toDevice(r) }, brush);
}

void DeviceContext::fillEllipse(Rect r, const Brush& brush)
{
    r = toDevice(r);
    std::vector<Span> spans;
    addRows(spans, std::max(r.top, m_clipBox.top), std::min(r.bottom, m_clipBox.bottom),
        [&](int y, int& x0, int& x1) { return ellipseRow(r, y, x0, x1); });
    paintSpans(spans, brush, m_rop2);
}

void DeviceContext::invertRect(Rect r)
{
    Rop2 saved = m_rop2;
    m_rop2 = Rop2::Not;
    fillRect(r, Brush::solid(kBlack));
    m_rop2 = saved;
}

void DeviceContext::fillRegion(const Region& region, const Brush& brush)
{
    std::vector<Rect> rects;
    for (const Rect& r : region.rects())
        rects.push_back(toDevice(r));
    fillDeviceRects(rects, brush);
}

void DeviceContext::invertRegion(const Region& region)
{
    Rop2 saved = m_rop2;
    m_rop2 = Rop2::Not;
    fillRegion(region, Brush::solid(kBlack));
    m_rop2 = saved;
}
