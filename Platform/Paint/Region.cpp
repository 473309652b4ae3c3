// Platform/Paint/Region.cpp: regions over pixman's 32-bit regions, and the scanline rasterisers that
// turn ellipses, round rects and polygons into banded rects.
#include "Platform/Paint/Region.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>

static_assert(sizeof(pixman_region32_t) <= 32 && alignof(pixman_region32_t) <= 8);
// rects() hands out pixman's boxes as Rects: the layouts must agree.
static_assert(sizeof(pixman_box32_t) == sizeof(Rect));
static_assert(offsetof(pixman_box32_t, x1) == offsetof(Rect, left));
static_assert(offsetof(pixman_box32_t, y1) == offsetof(Rect, top));
static_assert(offsetof(pixman_box32_t, x2) == offsetof(Rect, right));
static_assert(offsetof(pixman_box32_t, y2) == offsetof(Rect, bottom));

namespace {

constexpr int kLimit = 1 << 20;

int clampCoordinate(int v) { return std::clamp(v, -kLimit, kLimit); }

Rect clamped(const Rect& r)
{
    return { clampCoordinate(r.left), clampCoordinate(r.top), clampCoordinate(r.right),
             clampCoordinate(r.bottom) };
}

pixman_region32_t* asPixman(void* p) { return static_cast<pixman_region32_t*>(p); }
const pixman_region32_t* asPixman(const void* p) { return static_cast<const pixman_region32_t*>(p); }

// pixman reports a failed allocation by returning false and leaving the region broken.
void check(pixman_bool_t ok)
{
    if (!ok)
        throw std::bad_alloc();
}

// Floor and ceiling of a / b for b > 0.
int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); }

// Collects the spans of successive rows and merges rows whose spans are the same into one band, so
// that a shape becomes few rects.
class BandBuilder {
public:
    void beginRow(int y)
    {
        m_row.clear();
        m_y = y;
    }
    void addSpan(int left, int right)
    {
        if (left < right)
            m_row.push_back({ left, right });
    }
    void endRow()
    {
        if (!m_band.empty() && m_bandBottom == m_y && m_band == m_row) {
            m_bandBottom = m_y + 1;
            return;
        }
        flush();
        m_band = m_row;
        m_bandTop = m_y;
        m_bandBottom = m_y + 1;
    }
    Region finish()
    {
        flush();
        return Region::fromRects(m_rects);
    }

private:
    void flush()
    {
        for (auto [left, right] : m_band)
            m_rects.push_back({ left, m_bandTop, right, m_bandBottom });
        m_band.clear();
    }

    std::vector<std::pair<int, int>> m_row, m_band;
    std::vector<Rect> m_rects;
    int m_y = 0, m_bandTop = 0, m_bandBottom = 0;
};

// The horizontal extent of row y of the ellipse inscribed in r, as a half-open span [left, right)
// (left >= right when the row holds no pixel). With W and H the rect's size, DX = 2x + 1 - (l + r) and
// DY = 2y + 1 - (t + b), the pixel belongs to the ellipse when DX²·H² + DY²·W² <= W²·H², the pixel
// centre test in integers. The products need up to 2^108, hence the 128-bit arithmetic.
std::pair<int, int> ellipseRow(const Rect& r, int y)
{
    const __int128 w = r.width(), h = r.height();
    const __int128 dy = 2 * int64_t(y) + 1 - (int64_t(r.top) + r.bottom);
    const __int128 room = w * w * (h * h - dy * dy); // DX² · H² must not exceed this
    if (room < 0)
        return { 0, 0 };
    const __int128 h2 = h * h;
    auto fits = [&](__int128 dx) { return dx * dx * h2 <= room; };
    // The largest |DX| that fits, from a floating estimate corrected exactly.
    int64_t dxMax = int64_t(std::sqrt(double(room) / double(h2)));
    while (dxMax > 0 && !fits(dxMax))
        --dxMax;
    while (fits(dxMax + 1))
        ++dxMax;
    // Back from DX to x: 2x + 1 - (l + r) within -dxMax..dxMax.
    const int64_t sum = int64_t(r.left) + r.right;
    int64_t left = ceilDiv(sum - 1 - dxMax, 2);
    int64_t right = floorDiv(sum - 1 + dxMax, 2) + 1;
    return { int(left), int(right) };
}

struct Edge {
    int64_t x0, y0, x1, y1;
    int direction; // +1 downwards, -1 upwards
};

// The first pixel whose centre lies at or right of the edge's crossing with the centre line of row y:
// ceil(xi - 0.5) with xi = x0 + (y + 0.5 - y0)·(x1 - x0) / (y1 - y0), in exact integers.
int64_t crossing(const Edge& e, int y)
{
    const int64_t dy = e.y1 - e.y0; // > 0: edges are stored top to bottom
    const int64_t numerator = 2 * e.x0 * dy + (2 * int64_t(y) + 1 - 2 * e.y0) * (e.x1 - e.x0) - dy;
    return ceilDiv(numerator, 2 * dy);
}

} // namespace

Region::Region() { pixman_region32_init(asPixman(native())); }

Region::Region(const Rect& r) : Region() { setRect(r); }

Region::~Region() { pixman_region32_fini(asPixman(native())); }

Region::Region(Region&& other) noexcept
{
    std::copy(std::begin(other.m_storage), std::end(other.m_storage), m_storage);
    pixman_region32_init(asPixman(other.native()));
}

Region& Region::operator=(Region&& other) noexcept
{
    if (this != &other) {
        pixman_region32_fini(asPixman(native()));
        std::copy(std::begin(other.m_storage), std::end(other.m_storage), m_storage);
        pixman_region32_init(asPixman(other.native()));
    }
    return *this;
}

void* Region::native() { return m_storage; }
const void* Region::native() const { return m_storage; }

Region Region::copy() const
{
    Region result;
    check(pixman_region32_copy(asPixman(result.native()), asPixman(native())));
    return result;
}

Region Region::fromRects(std::span<const Rect> rects)
{
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(rects.size());
    for (const Rect& given : rects) {
        Rect r = clamped(given);
        if (!r.isEmpty())
            boxes.push_back({ r.left, r.top, r.right, r.bottom });
    }
    Region result;
    pixman_region32_fini(asPixman(result.native()));
    check(pixman_region32_init_rects(asPixman(result.native()), boxes.data(), int(boxes.size())));
    return result;
}

Region Region::ellipse(const Rect& given)
{
    Rect bounds = clamped(given);
    if (bounds.isEmpty())
        return Region();
    BandBuilder builder;
    for (int y = bounds.top; y < bounds.bottom; ++y) {
        builder.beginRow(y);
        auto [left, right] = ellipseRow(bounds, y);
        builder.addSpan(left, right);
        builder.endRow();
    }
    return builder.finish();
}

// Each row of the top corners is the matching row of the corner ellipse, set in the rect's top-left
// corner, with the same amount cut off on the right; the bottom corners likewise, and the rows between
// them are full.
Region Region::roundRect(const Rect& given, int cornerWidth, int cornerHeight)
{
    Rect bounds = clamped(given);
    if (bounds.isEmpty())
        return Region();
    if (cornerWidth <= 0 || cornerHeight <= 0)
        return Region(bounds);
    const int ew = std::min(cornerWidth, bounds.width());
    const int eh = std::min(cornerHeight, bounds.height());
    const Rect top { bounds.left, bounds.top, bounds.left + ew, bounds.top + eh };
    const Rect bottom { bounds.left, bounds.bottom - eh, bounds.left + ew, bounds.bottom };
    BandBuilder builder;
    for (int y = bounds.top; y < bounds.bottom; ++y) {
        builder.beginRow(y);
        const Rect* corner = nullptr;
        if (2 * (y - top.top) + 1 < eh)
            corner = &top;
        else if (2 * (y - bottom.top) + 1 > eh)
            corner = &bottom;
        if (!corner) {
            builder.addSpan(bounds.left, bounds.right);
        } else {
            auto [left, right] = ellipseRow(*corner, y);
            if (left < right) {
                int cut = left - corner->left;
                builder.addSpan(bounds.left + cut, bounds.right - cut);
            }
        }
        builder.endRow();
    }
    return builder.finish();
}

// Scanline fill: for each row, the crossings of the non-horizontal edges with the row's centre line
// are sorted and turned into spans under the fill rule. Vertices lie on integer coordinates and the
// centre line on a half-integer one, so no crossing ever falls on a vertex.
Region Region::polygon(std::span<const Point> points, FillMode mode)
{
    if (points.size() < 3)
        return Region();
    std::vector<Edge> edges;
    int64_t top = INT64_MAX, bottom = INT64_MIN;
    for (std::size_t i = 0; i < points.size(); ++i) {
        Point a = points[i], b = points[(i + 1) % points.size()];
        Edge e { clampCoordinate(a.x), clampCoordinate(a.y), clampCoordinate(b.x), clampCoordinate(b.y), 1 };
        if (e.y0 == e.y1)
            continue;
        if (e.y0 > e.y1) {
            std::swap(e.x0, e.x1);
            std::swap(e.y0, e.y1);
            e.direction = -1;
        }
        top = std::min(top, e.y0);
        bottom = std::max(bottom, e.y1);
        edges.push_back(e);
    }
    if (edges.empty())
        return Region();
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });

    BandBuilder builder;
    std::vector<Edge> active;
    std::vector<std::pair<int64_t, int>> crossings; // (first pixel at or right, direction)
    std::size_t next = 0;
    for (int64_t y = top; y < bottom; ++y) {
        // An edge spans rows y0 .. y1 - 1: the centre line y + 0.5 lies between its ends.
        std::erase_if(active, [y](const Edge& e) { return e.y1 <= y; });
        while (next < edges.size() && edges[next].y0 <= y)
            active.push_back(edges[next++]);
        crossings.clear();
        for (const Edge& e : active)
            crossings.push_back({ crossing(e, int(y)), e.direction });
        std::sort(crossings.begin(), crossings.end());

        builder.beginRow(int(y));
        int winding = 0;
        int64_t spanStart = 0;
        for (std::size_t i = 0; i < crossings.size(); ++i) {
            const bool wasInside = mode == FillMode::EvenOdd ? (i % 2) == 1 : winding != 0;
            winding += crossings[i].second;
            const bool isInside = mode == FillMode::EvenOdd ? (i % 2) == 0 : winding != 0;
            if (!wasInside && isInside)
                spanStart = crossings[i].first;
            else if (wasInside && !isInside)
                builder.addSpan(int(spanStart), int(crossings[i].first));
        }
        builder.endRow();
    }
    return builder.finish();
}

void Region::setEmpty()
{
    pixman_region32_clear(asPixman(native()));
}

void Region::setRect(const Rect& given)
{
    Rect r = clamped(given);
    if (r.isEmpty()) {
        setEmpty();
        return;
    }
    pixman_box32_t box { r.left, r.top, r.right, r.bottom };
    pixman_region32_fini(asPixman(native()));
    pixman_region32_init_with_extents(asPixman(native()), &box);
}

void Region::unite(const Region& other)
{
    check(pixman_region32_union(asPixman(native()), asPixman(native()), asPixman(other.native())));
}

void Region::intersect(const Region& other)
{
    check(pixman_region32_intersect(asPixman(native()), asPixman(native()), asPixman(other.native())));
}

void Region::intersect(const Rect& r) { intersect(Region(r)); }

void Region::subtract(const Region& other)
{
    check(pixman_region32_subtract(asPixman(native()), asPixman(native()), asPixman(other.native())));
}

void Region::exclusiveOr(const Region& other)
{
    Region outside = other.difference(*this);
    subtract(other);
    unite(outside);
}

void Region::offset(int dx, int dy)
{
    Rect box = bounds();
    if (isEmpty())
        return;
    // Keep the region within the coordinate limit.
    dx = int(std::clamp<int64_t>(dx, -kLimit - int64_t(box.left), kLimit - int64_t(box.right)));
    dy = int(std::clamp<int64_t>(dy, -kLimit - int64_t(box.top), kLimit - int64_t(box.bottom)));
    pixman_region32_translate(asPixman(native()), dx, dy);
}

namespace {

// Erodes (intersect) or dilates (union) the region by the segment -amount..amount along one axis: the
// result combines the region moved by every step of the segment. Combining the moves already done
// with themselves, moved by their own length, doubles the length each round.
void sweep(Region& region, int amount, bool vertical, bool erode)
{
    const int64_t length = 2 * int64_t(amount) + 1;
    int64_t covered = 1;
    while (covered < length) {
        const int step = int(std::min(covered, length - covered));
        Region moved = region.copy();
        moved.offset(vertical ? 0 : step, vertical ? step : 0);
        if (erode)
            region.intersect(moved);
        else
            region.unite(moved);
        covered += step;
    }
    region.offset(vertical ? 0 : -amount, vertical ? -amount : 0);
}

} // namespace

void Region::inset(int dx, int dy)
{
    dx = std::clamp(dx, -kLimit, kLimit);
    dy = std::clamp(dy, -kLimit, kLimit);
    if (dx != 0)
        sweep(*this, std::abs(dx), false, dx > 0);
    if (dy != 0)
        sweep(*this, std::abs(dy), true, dy > 0);
}

Region Region::unionWith(const Region& other) const
{
    Region result = copy();
    result.unite(other);
    return result;
}

Region Region::intersection(const Region& other) const
{
    Region result = copy();
    result.intersect(other);
    return result;
}

Region Region::difference(const Region& other) const
{
    Region result = copy();
    result.subtract(other);
    return result;
}

Region Region::exclusiveOrWith(const Region& other) const
{
    Region result = copy();
    result.exclusiveOr(other);
    return result;
}

bool Region::isEmpty() const
{
    return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(asPixman(native())));
}

Rect Region::bounds() const
{
    if (isEmpty())
        return Rect();
    const pixman_box32_t* e = pixman_region32_extents(const_cast<pixman_region32_t*>(asPixman(native())));
    return { e->x1, e->y1, e->x2, e->y2 };
}

bool Region::contains(Point p) const
{
    return pixman_region32_contains_point(const_cast<pixman_region32_t*>(asPixman(native())), p.x, p.y,
                                          nullptr);
}

bool Region::intersects(const Rect& given) const
{
    Rect r = clamped(given);
    if (r.isEmpty())
        return false;
    pixman_box32_t box { r.left, r.top, r.right, r.bottom };
    return pixman_region32_contains_rectangle(const_cast<pixman_region32_t*>(asPixman(native())), &box)
        != PIXMAN_REGION_OUT;
}

bool Region::containsRect(const Rect& given) const
{
    Rect r = clamped(given);
    if (r.isEmpty())
        return false;
    pixman_box32_t box { r.left, r.top, r.right, r.bottom };
    return pixman_region32_contains_rectangle(const_cast<pixman_region32_t*>(asPixman(native())), &box)
        == PIXMAN_REGION_IN;
}

bool Region::operator==(const Region& other) const
{
    return pixman_region32_equal(const_cast<pixman_region32_t*>(asPixman(native())),
                                 const_cast<pixman_region32_t*>(asPixman(other.native())));
}

std::span<const Rect> Region::rects() const
{
    int count = 0;
    const pixman_box32_t* boxes =
        pixman_region32_rectangles(const_cast<pixman_region32_t*>(asPixman(native())), &count);
    return { reinterpret_cast<const Rect*>(boxes), std::size_t(count) };
}
