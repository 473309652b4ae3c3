// fuzz/RegionFuzz.cpp: runs arbitrary sequences of region operations and compares every region
// with a bitmap model after each step: shapes are modelled by the pixel-centre rule, set
// operations, offsets and insets pixel by pixel. A mismatch, a malformed band list, a crash or a
// sanitizer report is a fault.
#include "Platform/Paint/Region.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace {

// The model covers -kMargin .. kSpan - kMargin on both axes; shapes are made inside 0..31 and
// moves and growth stop before the model's edge, so no pixel ever leaves it.
constexpr int kSpan = 112;
constexpr int kMargin = 40;
using Bitmap = std::vector<std::bitset<kSpan>>;

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    int next() { return at < size ? data[at++] : 0; }
    bool done() const { return at >= size; }
};

Bitmap blank() { return Bitmap(kSpan); }
bool get(const Bitmap& b, int x, int y)
{
    x += kMargin;
    y += kMargin;
    return x >= 0 && y >= 0 && x < kSpan && y < kSpan && b[y][x];
}
void put(Bitmap& b, int x, int y) { b[y + kMargin][x + kMargin] = true; }

int windingAt(const std::vector<Point>& points, int x, int y)
{
    const long cx = 2L * x + 1, cy = 2L * y + 1;
    int winding = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const Point a = points[i], b = points[(i + 1) % points.size()];
        const long ax = 2L * a.x, ay = 2L * a.y, bx = 2L * b.x, by = 2L * b.y;
        const long side = (bx - ax) * (cy - ay) - (cx - ax) * (by - ay);
        if (ay <= cy && by > cy && side > 0)
            ++winding;
        else if (by <= cy && ay > cy && side < 0)
            --winding;
    }
    return winding;
}

bool inEllipse(const Rect& r, int x, int y)
{
    const long w = r.width(), h = r.height();
    if (w <= 0 || h <= 0)
        return false;
    const long dx = 2L * x + 1 - (r.left + r.right), dy = 2L * y + 1 - (r.top + r.bottom);
    return dx * dx * h * h + dy * dy * w * w <= w * w * h * h;
}

[[noreturn]] void fail(const char* what, int x, int y)
{
    std::fprintf(stderr, "region mismatch: %s at %d,%d\n", what, x, y);
    std::abort();
}

void compare(const Region& region, const Bitmap& model)
{
    Rect box;
    bool any = false;
    for (int y = -kMargin; y < kSpan - kMargin; ++y)
        for (int x = -kMargin; x < kSpan - kMargin; ++x) {
            const bool m = get(model, x, y);
            if (region.contains(x, y) != m)
                fail("contains", x, y);
            if (m) {
                box = any ? Rect { std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                                   std::max(box.bottom, y + 1) }
                          : Rect { x, y, x + 1, y + 1 };
                any = true;
            }
        }
    if (region.isEmpty() == any || !(region.bounds() == box))
        fail("bounds", box.left, box.top);
    auto rects = region.rects();
    long pixels = 0;
    for (size_t i = 0; i < rects.size(); ++i) {
        if (rects[i].isEmpty())
            fail("empty rect", rects[i].left, rects[i].top);
        if (i > 0) {
            const Rect& a = rects[i - 1];
            const Rect& b = rects[i];
            const bool sameBand = a.top == b.top && a.bottom == b.bottom;
            if (sameBand ? a.right >= b.left : a.bottom > b.top)
                fail("bands", b.left, b.top);
        }
        pixels += long(rects[i].width()) * rects[i].height();
    }
    long counted = 0;
    for (auto& row : model)
        counted += long(row.count());
    if (pixels != counted)
        fail("pixel count", int(pixels), int(counted));
}

Rect smallRect(Input& in)
{
    return { in.next() % 36 - 2, in.next() % 36 - 2, in.next() % 36 - 2, in.next() % 36 - 2 };
}

// The model's content stays this far inside the model's edge.
bool roomFor(const Bitmap& b, int amount)
{
    for (int y = -kMargin; y < kSpan - kMargin; ++y)
        for (int x = -kMargin; x < kSpan - kMargin; ++x)
            if (get(b, x, y)
                && (x - amount < -kMargin || y - amount < -kMargin || x + amount >= kSpan - kMargin
                    || y + amount >= kSpan - kMargin))
                return false;
    return true;
}

int runOne(const uint8_t* data, size_t size)
{
    Input in { data, size };
    std::array<Region, 3> regions;
    std::array<Bitmap, 3> models { blank(), blank(), blank() };
    for (int step = 0; step < 24 && !in.done(); ++step) {
        const int op = in.next() % 10;
        const int target = in.next() % 3;
        const int other = in.next() % 3;
        Region& region = regions[target];
        Bitmap& model = models[target];
        switch (op) {
        case 0: {
            Rect r = smallRect(in);
            region = Region(r);
            model = blank();
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    put(model, x, y);
            break;
        }
        case 1: {
            Rect r = smallRect(in);
            region = Region::ellipse(r);
            model = blank();
            for (int y = -2; y < 34; ++y)
                for (int x = -2; x < 34; ++x)
                    if (inEllipse(r, x, y))
                        put(model, x, y);
            break;
        }
        case 2:
        case 3: {
            std::vector<Point> points(size_t(in.next() % 9));
            for (Point& p : points)
                p = { in.next() % 36 - 2, in.next() % 36 - 2 };
            const bool winding = op == 3;
            region = Region::polygon(points, winding ? FillMode::Winding : FillMode::EvenOdd);
            model = blank();
            if (points.size() >= 3)
                for (int y = -2; y < 34; ++y)
                    for (int x = -2; x < 34; ++x) {
                        int w = windingAt(points, x, y);
                        if (winding ? w != 0 : (w % 2) != 0)
                            put(model, x, y);
                    }
            break;
        }
        case 4:
        case 5:
        case 6:
        case 7: {
            Region result = op == 4 ? regions[target].unionWith(regions[other])
                          : op == 5 ? regions[target].intersection(regions[other])
                          : op == 6 ? regions[target].difference(regions[other])
                                    : regions[target].exclusiveOrWith(regions[other]);
            Bitmap m = blank();
            for (int y = 0; y < kSpan; ++y)
                m[y] = op == 4 ? models[target][y] | models[other][y]
                     : op == 5 ? models[target][y] & models[other][y]
                     : op == 6 ? models[target][y] & ~models[other][y]
                               : models[target][y] ^ models[other][y];
            region = std::move(result);
            model = m;
            break;
        }
        case 8: {
            const int dx = in.next() % 9 - 4, dy = in.next() % 9 - 4;
            if (!roomFor(model, 4))
                break;
            region.offset(dx, dy);
            Bitmap m = blank();
            for (int y = -kMargin; y < kSpan - kMargin; ++y)
                for (int x = -kMargin; x < kSpan - kMargin; ++x)
                    if (get(model, x, y))
                        put(m, x + dx, y + dy);
            model = m;
            break;
        }
        case 9: {
            const int dx = in.next() % 9 - 4, dy = in.next() % 9 - 4;
            if (!roomFor(model, 4))
                break;
            region.inset(dx, dy);
            // Erode (positive) or dilate (negative) by the box |dx| x |dy|, axis by axis.
            auto sweep = [&](int amount, bool vertical) {
                if (amount == 0)
                    return;
                const int reach = std::abs(amount);
                Bitmap m = blank();
                for (int y = -kMargin; y < kSpan - kMargin; ++y)
                    for (int x = -kMargin; x < kSpan - kMargin; ++x) {
                        bool all = true, some = false;
                        for (int t = -reach; t <= reach; ++t) {
                            bool v = vertical ? get(model, x, y + t) : get(model, x + t, y);
                            all = all && v;
                            some = some || v;
                        }
                        if (amount > 0 ? all : some)
                            put(m, x, y);
                    }
                model = m;
            };
            sweep(dx, false);
            sweep(dy, true);
            break;
        }
        }
        compare(region, model);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) { return LLVMFuzzerRunDriver(&argc, &argv, runOne); }
