// Interfac/Point.cpp: the Point Module. Points are pairs (y . x) of small integers.
#include "Interfac/Geometry.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

Value makePoint(int64_t x, int64_t y)
{
    return cons(makeImmediate(int32_t(y)), makeImmediate(int32_t(x)));
}

Point toPoint(Value point)
{
    if (!isPair(point) || !isImmediateInteger(car(point)) || !isImmediateInteger(cdr(point)))
        raiseWrongType(point);
    return { integerValue(cdr(point)), integerValue(car(point)) };
}

int16_t toInt16(Value v) { return int16_t(toInt64(v)); }

namespace {

Value toPair(Value point)
{
    if (!isPair(point))
        raiseWrongType(point);
    return point;
}

// Rounding is floor(v + 0.5) throughout.
int64_t roundHalfUp(double v) { return int64_t(std::floor(v + 0.5)); }

Value makePointPrimitive(Value x, Value y) { return makePoint(toInt64(x), toInt64(y)); }

Value copyPoint(Value point)
{
    Point p = toPoint(point);
    return makePoint(p.x, p.y);
}

Value pointX(Value point) { return cdr(toPair(point)); }
Value pointY(Value point) { return car(toPair(point)); }

Value setPointX(Value point, Value x)
{
    setCdr(toPair(point), x);
    return x;
}

Value setPointY(Value point, Value y)
{
    setCar(toPair(point), y);
    return y;
}

Value addPoint(Value a, Value b)
{
    Point p = toPoint(a), q = toPoint(b);
    return makePoint(int64_t(p.x) + q.x, int64_t(p.y) + q.y);
}

Value subtractPoint(Value a, Value b)
{
    Point p = toPoint(a), q = toPoint(b);
    return makePoint(int64_t(p.x) - q.x, int64_t(p.y) - q.y);
}

Value productPoint(Value point, Value n)
{
    Point p = toPoint(point);
    int64_t factor = toInt32(n);
    return makePoint(p.x * factor, p.y * factor);
}

Value dividePoint(Value point, Value n)
{
    Point p = toPoint(point);
    int64_t divisor = toInt32(n);
    if (divisor == 0)
        raiseError(NumberError::DivisionByZero, kNil);
    return makePoint(p.x / divisor, p.y / divisor);
}

Value offsetPoint(Value point, Value dx, Value dy)
{
    Point p = toPoint(point);
    return makePoint(int64_t(p.x) + toInt16(dx), int64_t(p.y) + toInt16(dy));
}

// (distance-point x y p2 round) when the first argument is a small integer, else
// (distance-point p1 p2 round).
Value distancePoint(Value a, Value b, Value c, Value d)
{
    Point p, q;
    Value round;
    if (isImmediateInteger(a)) {
        p = { toInt16(a), toInt16(b) };
        q = toPoint(c);
        round = d;
    } else {
        p = toPoint(a);
        q = toPoint(b);
        round = c;
    }
    double dx = double(q.x) - p.x, dy = double(q.y) - p.y;
    double distance = std::sqrt(dx * dx + dy * dy);
    return isFlagSet(round) ? makeInteger(roundHalfUp(distance)) : makeReal(distance);
}

} // namespace

// The distance from p to the line through a and b, rounded and saturated to 0..32768 (a signed
// 16-bit value's magnitude) instead of wrapping. When a and b coincide there is no line: 0.
int32_t lineDistance(Point a, Point b, Point p)
{
    const double x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
    const double numerator = (y1 - y2) * p.x + (x2 - x1) * p.y + (x1 * y2 - y1 * x2);
    const double d = numerator / std::sqrt((y1 - y2) * (y1 - y2) + (x2 - x1) * (x2 - x1));
    if (std::isnan(d))
        return 0;
    const double rounded = std::floor(d + 0.5);
    return int32_t(std::abs(std::clamp(rounded, -32768.0, 32767.0)));
}

bool pointInEdge(Point p, Point a, Point b, int32_t tolerance)
{
    const int64_t t = tolerance;
    if (p.x <= std::min(a.x, b.x) - t - 1 || p.x >= std::max(a.x, b.x) + t + 1)
        return false;
    if (p.y <= std::min(a.y, b.y) - t - 1 || p.y >= std::max(a.y, b.y) + t + 1)
        return false;
    return lineDistance(a, b, p) <= t;
}

namespace {

// (distance-line-point a b x y), or (distance-line-point a b p) when the fourth argument is nil.
Value distanceLinePoint(Value a, Value b, Value x, Value y)
{
    Point p = y == kNil ? toPoint(x) : Point { toInt16(x), toInt16(y) };
    return makeImmediate(lineDistance(toPoint(a), toPoint(b), p));
}

Value inEdgeP(Value p, Value a, Value b, Value tolerance)
{
    return boolValue(pointInEdge(toPoint(p), toPoint(a), toPoint(b), toInt16(tolerance)));
}

class PointModule final : public Module {
public:
    PointModule() : Module("Point") {}
    void start() override
    {
        Module::start();
        defineFunction2("make-point", makePointPrimitive);
        defineFunction1("copy-point", copyPoint);
        defineFunction1("point-x", pointX);
        defineFunction1("point-y", pointY);
        defineFunction2("set-point-x!", setPointX);
        defineFunction2("set-point-y!", setPointY);
        defineFunction2("add-point", addPoint);
        defineFunction2("subtract-point", subtractPoint);
        defineFunction2("product-point", productPoint);
        defineFunction2("divide-point", dividePoint);
        defineFunction3("offset-point", offsetPoint);
        defineFunction4("distance-point", distancePoint);
        defineFunction4("distance-line-point", distanceLinePoint);
        defineFunction4("in-edge?", inEdgeP);
    }
} thePointModule;

} // namespace
