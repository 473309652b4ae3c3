// Interfac/Rect.cpp: the Rect Module. Rects are lists (left top right bottom) of small integers,
// read as 16-bit values; the right and bottom edges lie outside the rect.
#include "Interfac/Geometry.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <algorithm>

Value makeRect(int64_t left, int64_t top, int64_t right, int64_t bottom)
{
    Value list = cons(makeImmediate(int32_t(bottom)), kNil);
    list = cons(makeImmediate(int32_t(right)), list);
    list = cons(makeImmediate(int32_t(top)), list);
    return cons(makeImmediate(int32_t(left)), list);
}

Rect toRect(Value rect)
{
    int16_t c[4];
    Value tail = rect;
    for (int16_t& coordinate : c) {
        if (!isPair(tail) || !isImmediateInteger(car(tail)))
            raiseWrongType(rect);
        coordinate = int16_t(integerValue(car(tail)));
        tail = cdr(tail);
    }
    return { c[0], c[1], c[2], c[3] };
}

namespace {

Value kwLeft, kwTop, kwRight, kwBottom, kwPosition, kwSize, kwWidth, kwHeight, kwCenter, kwCenterX,
    kwCenterY;

// Halving truncates towards zero, as C++ division does.
Point centre(const Rect& r) { return { (r.left + r.right) / 2, (r.top + r.bottom) / 2 }; }

} // namespace

Value selectFromRect(const Rect& r, Value selector)
{
    if (selector == kwLeft)
        return makeImmediate(r.left);
    if (selector == kwTop)
        return makeImmediate(r.top);
    if (selector == kwRight)
        return makeImmediate(r.right);
    if (selector == kwBottom)
        return makeImmediate(r.bottom);
    if (selector == kwPosition)
        return makePoint(r.left, r.top);
    if (selector == kwSize)
        return makePoint(r.width(), r.height());
    if (selector == kwWidth)
        return makeImmediate(r.width());
    if (selector == kwHeight)
        return makeImmediate(r.height());
    if (selector == kwCenter)
        return makePoint(centre(r).x, centre(r).y);
    if (selector == kwCenterX)
        return makeImmediate(centre(r).x);
    if (selector == kwCenterY)
        return makeImmediate(centre(r).y);
    return makeRect(r);
}

namespace {

Value rectPosition(Value rect)
{
    Rect r = toRect(rect);
    return makePoint(r.left, r.top);
}

Value rectSize(Value rect)
{
    Rect r = toRect(rect);
    return makePoint(int16_t(r.width()), int16_t(r.height()));
}

Value rectWidth(Value rect) { return makeImmediate(toRect(rect).width()); }
Value rectHeight(Value rect) { return makeImmediate(toRect(rect).height()); }

Value rectCenter(Value rect)
{
    Point c = centre(toRect(rect));
    return makePoint(c.x, c.y);
}

Value inflateRect(Value rect, Value dx, Value dy)
{
    Rect r = toRect(rect);
    int h = toInt16(dx), v = toInt16(dy);
    return makeRect(r.left - h, r.top - v, r.right + h, r.bottom + v);
}

// (offset-rect r dx dy), or (offset-rect r point) when the third argument is nil.
Value offsetRect(Value rect, Value dx, Value dy)
{
    Rect r = toRect(rect);
    if (dy == kNil) {
        Point p = toPoint(dx);
        return makeRect(int64_t(r.left) + p.x, int64_t(r.top) + p.y, int64_t(r.right) + p.x,
                        int64_t(r.bottom) + p.y);
    }
    r.offsetBy(toInt16(dx), toInt16(dy));
    return makeRect(r);
}

// (point-in-rect? x y r) when the first argument is a small integer, else (point-in-rect? p r).
// An inverted rect holds no pixel.
Value pointInRectP(Value a, Value b, Value c)
{
    if (isImmediateInteger(a))
        return boolValue(toRect(c).contains({ toInt16(a), toInt16(b) }));
    Point p = toPoint(a);
    return boolValue(toRect(b).contains(p));
}

Value pointToRect(Value point)
{
    Point p = toPoint(point);
    return makeRect(0, 0, p.x, p.y);
}

Value pointsToRect(Value a, Value b)
{
    Point p = toPoint(a), q = toPoint(b);
    return makeRect(std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y));
}

// A negative size extends the rect to the left or upwards from the point.
Value pointAndSizeToRect(Value point, Value size)
{
    Point p = toPoint(point), s = toPoint(size);
    int64_t left = p.x, right = int64_t(p.x) + s.x, top = p.y, bottom = int64_t(p.y) + s.y;
    if (s.x <= 0)
        std::swap(left, right);
    if (s.y <= 0)
        std::swap(top, bottom);
    return makeRect(left, top, right, bottom);
}

// The union ignores an empty operand; the union of two empty rects is (0 0 0 0).
Rect unite(const Rect& a, const Rect& b)
{
    if (a.isEmpty())
        return b.isEmpty() ? Rect() : b;
    if (b.isEmpty())
        return a;
    return { std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
             std::max(a.bottom, b.bottom) };
}

Value enclosingRect(Value rects)
{
    bool first = true;
    Rect result;
    forEachElement(rects, [&](Value rect) {
        result = first ? toRect(rect) : unite(result, toRect(rect));
        first = false;
    });
    return makeRect(result);
}

// Rects that only touch do not overlap, and an empty or inverted rect overlaps nothing.
Value rectOverlapsP(Value a, Value b)
{
    Rect r = toRect(a), s = toRect(b);
    return boolValue(!r.isEmpty() && !s.isEmpty() && r.left < s.right && s.left < r.right && r.top < s.bottom
                     && s.top < r.bottom);
}

Value emptyRectP(Value rect) { return boolValue(toRect(rect).isEmpty()); }

Value rectIntersection(Value a, Value b) { return makeRect(toRect(a).intersection(toRect(b))); }

// The clamp includes the right and bottom edges.
Value stickInRect(Value point, Value rect)
{
    Point p = toPoint(point);
    Rect r = toRect(rect);
    int x = p.x < r.left ? r.left : p.x > r.right ? r.right : p.x;
    int y = p.y < r.top ? r.top : p.y > r.bottom ? r.bottom : p.y;
    return makePoint(x, y);
}

Value rectInRectP(Value a, Value b)
{
    Rect r = toRect(a), s = toRect(b);
    return boolValue(r.left >= s.left && r.top >= s.top && r.right <= s.right && r.bottom <= s.bottom);
}

class RectModule final : public Module {
public:
    RectModule() : Module("Rect") {}
    void start() override
    {
        Module::start();
        kwLeft = makeKeyword("left");
        kwTop = makeKeyword("top");
        kwRight = makeKeyword("right");
        kwBottom = makeKeyword("bottom");
        kwPosition = makeKeyword("position");
        kwSize = makeKeyword("size");
        kwWidth = makeKeyword("width");
        kwHeight = makeKeyword("height");
        kwCenter = makeKeyword("center");
        kwCenterX = makeKeyword("center-x");
        kwCenterY = makeKeyword("center-y");

        defineFunction1("rect-position", rectPosition);
        defineFunction1("rect-size", rectSize);
        defineFunction1("rect-width", rectWidth);
        defineFunction1("rect-height", rectHeight);
        defineFunction1("rect-center", rectCenter);
        defineFunction3("inflate-rect", inflateRect);
        defineFunction3("offset-rect", offsetRect);
        defineFunction3("point-in-rect?", pointInRectP);
        defineFunction1("point->rect", pointToRect);
        defineFunction2("points->rect", pointsToRect);
        defineFunction2("point-and-size->rect", pointAndSizeToRect);
        defineFunction1("enclosing-rect", enclosingRect);
        defineFunction2("rect-overlaps?", rectOverlapsP);
        defineFunction1("empty-rect?", emptyRectP);
        defineFunction2("rect-intersection", rectIntersection);
        defineFunction2("stick-in-rect", stickInRect);
        defineFunction2("rect-in-rect?", rectInRectP);
    }
} theRectModule;

} // namespace
