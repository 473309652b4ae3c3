// Interfac/Poly.cpp: the Poly Module: polygons (lists of points, always closed) and the hit tests
// of polygons and ovals. frame-poly and paint-poly draw, and arrive with the drawing primitives.
#include "Interfac/Geometry.h"

#include "Kernel/Error.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <cmath>

std::vector<Point> toPolygon(Value polygon)
{
    std::vector<Point> points;
    forEachElement(polygon, [&](Value point) { points.push_back(toPoint(point)); });
    return points;
}

namespace {

// Even-odd crossing test with a ray towards increasing x, on 16-bit coordinates. A point at the
// height of a vertex counts for the edge that starts there, unless that vertex is a vertical
// extremum; a point exactly on an edge counts as lying to its left, so that edge is crossed.
bool pointInPolygon(Point point, const std::vector<Point>& polygon)
{
    if (polygon.empty())
        return false;
    auto at = [&](size_t i) { return Point { int16_t(polygon[i].x), int16_t(polygon[i].y) }; };
    const int64_t px = int16_t(point.x), py = int16_t(point.y);
    const size_t n = polygon.size();
    Point prev = at(n - 1);
    int64_t pprevY = at(n >= 2 ? n - 2 : n - 1).y;
    bool inside = false;
    for (size_t i = 0; i < n; ++i) {
        const Point cur = at(i);
        const int64_t prevX = prev.x, prevY = prev.y, curX = cur.x, curY = cur.y;
        const bool extremum = (pprevY <= prevY && prevY >= curY) || (pprevY >= prevY && prevY <= curY);
        const bool below = py > curY || py > prevY || (py == prevY && !extremum);
        const bool above = py < curY || py < prevY || (py == prevY && !extremum);
        if (below && above && !(px > prevX && px >= curX)) {
            if ((px < prevX && px <= curX) || prevY == curY
                || (prevY < curY && (px - prevX) * (curY - prevY) <= (py - prevY) * (curX - prevX))
                || (curY < prevY && (px - curX) * (prevY - curY) <= (py - curY) * (prevX - curX)))
                inside = !inside;
        }
        if (prevY != curY)
            pprevY = prevY;
        prev = cur;
    }
    return inside;
}

Value polyToRgn(Value polygon) { return makeRegion(Region::polygon(toPolygon(polygon), FillMode::EvenOdd)); }

Value pointInPolyP(Value point, Value polygon)
{
    Point p = toPoint(point);
    return boolValue(pointInPolygon(p, toPolygon(polygon)));
}

// (2·(px - cx) / W)² + (2·(py - cy) / H)² <= 1. An inverted rect holds nothing; a zero width or
// height with the point on the centre line gives no number and counts as inside.
Value pointInOvalP(Value point, Value rect)
{
    Point p = toPoint(point);
    Rect r = toRect(rect);
    if (r.right < r.left || r.bottom < r.top)
        return kNil;
    const double cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    const double u = 2 * (p.x - cx) / r.width(), v = 2 * (p.y - cy) / r.height();
    const double sum = u * u + v * v;
    return boolValue(std::isnan(sum) || sum <= 1);
}

Value pointOnPolyP(Value point, Value polygon, Value closed, Value tolerance)
{
    Point p = toPoint(point);
    std::vector<Point> points = toPolygon(polygon);
    int32_t t = toInt16(tolerance);
    const size_t edges = points.size() < 2 ? 0 : isFlagSet(closed) ? points.size() : points.size() - 1;
    for (size_t i = 0; i < edges; ++i)
        if (pointInEdge(p, points[i], points[(i + 1) % points.size()], t))
            return kTrue;
    return kNil;
}

// The distance to the outline of the ellipse inscribed in the rect, measured along the ray from
// the centre through the point; for a flat ellipse (zero width or height), the distance to the
// segment it collapses to.
Value pointOnOvalP(Value point, Value rect, Value tolerance)
{
    Point p = toPoint(point);
    Rect r = toRect(rect);
    double t = toInt16(tolerance);
    if (r.right < r.left || r.bottom < r.top)
        return kNil;
    const double a = r.width() / 2.0, b = r.height() / 2.0;
    const double cx = r.left + a, cy = r.top + b;
    const double dx = p.x - cx, dy = p.y - cy;
    double distance;
    if (a == 0 || b == 0) {
        double ex = std::max(std::abs(dx) - a, 0.0), ey = std::max(std::abs(dy) - b, 0.0);
        distance = std::hypot(ex, ey);
    } else if (dx == 0 && dy == 0) {
        distance = std::min(a, b);
    } else {
        const double length = std::hypot(dx, dy);
        const double scale = 1 / std::sqrt((dx / a) * (dx / a) + (dy / b) * (dy / b));
        distance = std::abs(length - length * scale);
    }
    return boolValue(distance <= t);
}

class PolyModule final : public Module {
public:
    PolyModule() : Module("Poly") {}
    void start() override
    {
        Module::start();
        defineFunction1("poly->rgn", polyToRgn);
        defineFunction2("point-in-poly?", pointInPolyP);
        defineFunction2("point-in-oval?", pointInOvalP);
        defineFunction4("point-on-poly?", pointOnPolyP);
        defineFunction3("point-on-oval?", pointOnOvalP);
    }
} thePolyModule;

} // namespace
