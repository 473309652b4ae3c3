// tests/paint/RegionTest.cpp: regions built from shapes and combined, compared as rows of . and #.
#include "Platform/Paint/Region.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::string>;

// The pixels of the region within (0, 0, width, height), one string per row.
Rows picture(const Region& region, int width, int height)
{
    Rows rows(height, std::string(width, '.'));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (region.contains(x, y))
                rows[y][x] = '#';
    return rows;
}

// The region's rects must be y-x banded, disjoint and agree with contains().
void expectBanded(const Region& region)
{
    auto rects = region.rects();
    for (size_t i = 0; i < rects.size(); ++i) {
        EXPECT_FALSE(rects[i].isEmpty());
        if (i > 0) {
            const Rect& a = rects[i - 1];
            const Rect& b = rects[i];
            bool sameBand = a.top == b.top && a.bottom == b.bottom;
            EXPECT_TRUE(sameBand ? a.right < b.left : a.bottom <= b.top) << "rect " << i;
        }
    }
}

Rows rowsOf(std::initializer_list<const char*> lines) { return Rows(lines.begin(), lines.end()); }

} // namespace

TEST(Region, Ellipses)
{
    const struct {
        Rect bounds;
        int width, height;
        Rows expected;
    } cases[] = {
        { { 0, 0, 1, 1 }, 2, 2, rowsOf({ "#.", ".." }) },
        { { 0, 0, 2, 2 }, 3, 3, rowsOf({ "##.", "##.", "..." }) },
        { { 0, 0, 4, 4 }, 4, 4, rowsOf({ ".##.", "####", "####", ".##." }) },
        { { 1, 1, 8, 6 }, 9, 7,
          rowsOf({ ".........", "..#####..", ".#######.", ".#######.", ".#######.", "..#####..", "........." }) },
        { { 0, 0, 8, 8 }, 8, 8,
          rowsOf({ "..####..", ".######.", "########", "########", "########", "########", ".######.",
                   "..####.." }) },
        { { 0, 0, 2, 8 }, 2, 8, rowsOf({ "..", "##", "##", "##", "##", "##", "##", ".." }) },
        { { 4, 4, 0, 0 }, 4, 4, rowsOf({ "....", "....", "....", "...." }) }, // inverted: empty
    };
    for (auto& c : cases) {
        Region region = Region::ellipse(c.bounds);
        EXPECT_EQ(picture(region, c.width, c.height), c.expected)
            << c.bounds.left << "," << c.bounds.top << "," << c.bounds.right << "," << c.bounds.bottom;
        expectBanded(region);
    }
}

TEST(Region, RoundRects)
{
    const struct {
        Rect bounds;
        int cornerWidth, cornerHeight;
        Rows expected;
    } cases[] = {
        { { 0, 0, 8, 6 }, 4, 4, rowsOf({ ".######.", "########", "########", "########", "########", ".######." }) },
        { { 0, 0, 8, 6 }, 0, 4, rowsOf({ "########", "########", "########", "########", "########", "########" }) },
        { { 0, 0, 8, 8 }, 8, 8,
          rowsOf({ "..####..", ".######.", "########", "########", "########", "########", ".######.",
                   "..####.." }) },  // corners as large as the rect: the inscribed ellipse
        { { 0, 0, 8, 8 }, 40, 40,
          rowsOf({ "..####..", ".######.", "########", "########", "########", "########", ".######.",
                   "..####.." }) },  // larger corners are clamped to the rect
        { { 0, 0, 10, 5 }, 8, 4, rowsOf({ ".########.", "##########", "##########", "##########", ".########." }) },
    };
    for (auto& c : cases) {
        Region region = Region::roundRect(c.bounds, c.cornerWidth, c.cornerHeight);
        EXPECT_EQ(picture(region, c.bounds.right, c.bounds.bottom), c.expected) << c.cornerWidth;
        expectBanded(region);
    }
}

TEST(Region, PolygonsUnderBothFillModes)
{
    // A pentagram: its centre is inside under the winding rule and outside under even-odd.
    const std::vector<Point> star { { 5, 0 }, { 8, 10 }, { 0, 3 }, { 10, 3 }, { 2, 10 } };
    // A square wound twice through the same corners with a second, inner square in reverse.
    const std::vector<Point> square { { 0, 0 }, { 6, 0 }, { 6, 6 }, { 0, 6 } };
    const std::vector<Point> triangle { { 0, 0 }, { 8, 0 }, { 0, 8 } };
    const std::vector<Point> frame { { 0, 0 }, { 6, 0 }, { 6, 6 }, { 0, 6 }, { 0, 0 },
                                     { 2, 2 }, { 2, 4 }, { 4, 4 }, { 4, 2 }, { 2, 2 } };
    const std::vector<Point> overlap { { 0, 0 }, { 6, 0 }, { 6, 6 }, { 0, 6 }, { 0, 0 },
                                       { 2, 2 }, { 4, 2 }, { 4, 4 }, { 2, 4 }, { 2, 2 } };
    const struct {
        const std::vector<Point>& points;
        FillMode mode;
        int width, height;
        Rows expected;
    } cases[] = {
        { square, FillMode::EvenOdd, 7, 7, rowsOf({ "######.", "######.", "######.", "######.", "######.", "######.", "......." }) },
        { triangle, FillMode::EvenOdd, 8, 8,
          rowsOf({ "#######.", "######..", "#####...", "####....", "###.....", "##......", "#.......", "........" }) },
        { star, FillMode::EvenOdd, 10, 10,
          rowsOf({ "..........", "..........", "....##....", ".###..###.", "..##..##..", "..........",
                   "...#..#...", "...####...", "..##..##..", "..#....#.." }) },
        { star, FillMode::Winding, 10, 10,
          rowsOf({ "..........", "..........", "....##....", ".########.", "..######..", "...####...",
                   "...####...", "...####...", "..##..##..", "..#....#.." }) },
        // The inner square runs the other way round: a hole under both rules.
        { frame, FillMode::EvenOdd, 6, 6, rowsOf({ "######", "######", "##..##", "##..##", "######", "######" }) },
        { frame, FillMode::Winding, 6, 6, rowsOf({ "######", "######", "##..##", "##..##", "######", "######" }) },
        // The inner square runs the same way: a hole only under even-odd.
        { overlap, FillMode::EvenOdd, 6, 6, rowsOf({ "######", "######", "##..##", "##..##", "######", "######" }) },
        { overlap, FillMode::Winding, 6, 6, rowsOf({ "######", "######", "######", "######", "######", "######" }) },
    };
    for (auto& c : cases) {
        Region region = Region::polygon(c.points, c.mode);
        EXPECT_EQ(picture(region, c.width, c.height), c.expected)
            << (c.mode == FillMode::Winding ? "winding" : "even-odd") << " " << c.points.size();
        expectBanded(region);
    }
    const std::vector<Point> line { { 0, 0 }, { 5, 5 } };
    EXPECT_TRUE(Region::polygon(line, FillMode::Winding).isEmpty());
    const std::vector<Point> flat { { 0, 2 }, { 5, 2 }, { 9, 2 } };
    EXPECT_TRUE(Region::polygon(flat, FillMode::EvenOdd).isEmpty());
}

TEST(Region, SetOperations)
{
    const Region a(Rect { 0, 0, 4, 4 });
    const Region b(Rect { 2, 2, 6, 6 });
    const struct {
        const char* name;
        Region result;
        Rows expected;
    } cases[] = {
        { "union", a.unionWith(b), rowsOf({ "####..", "####..", "######", "######", "..####", "..####" }) },
        { "intersection", a.intersection(b), rowsOf({ "......", "......", "..##..", "..##..", "......", "......" }) },
        { "difference", a.difference(b), rowsOf({ "####..", "####..", "##....", "##....", "......", "......" }) },
        { "xor", a.exclusiveOrWith(b), rowsOf({ "####..", "####..", "##..##", "##..##", "..####", "..####" }) },
    };
    for (auto& c : cases) {
        EXPECT_EQ(picture(c.result, 6, 6), c.expected) << c.name;
        expectBanded(c.result);
    }
    // The operands are untouched.
    EXPECT_EQ(a.bounds(), (Rect { 0, 0, 4, 4 }));
    EXPECT_EQ(b.bounds(), (Rect { 2, 2, 6, 6 }));

    Region c = a.copy();
    c.exclusiveOr(a);
    EXPECT_TRUE(c.isEmpty());
    Region d = a.copy();
    d.intersect(Rect { 3, 3, 10, 10 });
    EXPECT_EQ(d, Region(Rect { 3, 3, 4, 4 }));
}

TEST(Region, OffsetAndInset)
{
    Region ring = Region(Rect { 1, 1, 7, 7 }).difference(Region(Rect { 3, 3, 5, 5 }));
    Region moved = ring.copy();
    moved.offset(1, -1);
    EXPECT_EQ(picture(moved, 8, 8), rowsOf({ "..######", "..######", "..##..##", "..##..##", "..######",
                                             "..######", "........", "........" }));
    Region thin = ring.copy();
    thin.inset(1, 0);
    EXPECT_EQ(picture(thin, 8, 8), rowsOf({ "........", "..####..", "..####..", "........", "........",
                                            "..####..", "..####..", "........" }));
    Region grown = Region(Rect { 3, 3, 4, 4 });
    grown.inset(-2, -1);
    EXPECT_EQ(grown, Region(Rect { 1, 2, 6, 5 }));
    // Eroding by more than a part's half width removes it; growing back does not restore it.
    Region gone = ring.copy();
    gone.inset(2, 2);
    EXPECT_TRUE(gone.isEmpty());
    // An erosion checks every pixel along the way, not only the two ends.
    Region gap = Region::fromRects(std::vector<Rect> { { 0, 0, 3, 1 }, { 4, 0, 7, 1 } });
    gap.inset(2, 0);
    EXPECT_TRUE(gap.isEmpty());
    Region wide = Region(Rect { 0, 0, 20, 3 });
    wide.inset(7, 1);
    EXPECT_EQ(wide, Region(Rect { 7, 1, 13, 2 }));
}

TEST(Region, HitTestsAndBounds)
{
    Region ellipse = Region::ellipse({ 0, 0, 8, 8 });
    const struct {
        Point p;
        bool inside;
    } points[] = { { { 4, 4 }, true }, { { 0, 0 }, false }, { { 2, 0 }, true }, { { 1, 0 }, false },
                   { { 7, 4 }, true }, { { 8, 4 }, false }, { { -1, 4 }, false } };
    for (auto& c : points)
        EXPECT_EQ(ellipse.contains(c.p), c.inside) << c.p.x << "," << c.p.y;
    const struct {
        Rect r;
        bool intersects, contained;
    } rects[] = {
        { { 0, 0, 2, 1 }, false, false },  // the empty corner
        { { 0, 0, 3, 1 }, true, false },
        { { 2, 2, 6, 6 }, true, true },
        { { 8, 0, 9, 8 }, false, false },  // touching the right edge only
        { { 6, 6, 2, 2 }, false, false },  // inverted: empty
        { { 3, 3, 3, 9 }, false, false },  // zero width
    };
    for (auto& c : rects) {
        EXPECT_EQ(ellipse.intersects(c.r), c.intersects) << c.r.left << "," << c.r.top;
        EXPECT_EQ(ellipse.containsRect(c.r), c.contained) << c.r.left << "," << c.r.top;
    }
    EXPECT_EQ(ellipse.bounds(), (Rect { 0, 0, 8, 8 }));
    EXPECT_EQ(Region().bounds(), Rect());
    EXPECT_TRUE(Region().isEmpty());
    EXPECT_TRUE(Region(Rect { 5, 5, 1, 1 }).isEmpty());
    EXPECT_FALSE(ellipse.isEmpty());
}

TEST(Region, EqualityIgnoresHowTheRegionWasBuilt)
{
    Region pieces = Region::fromRects(std::vector<Rect> { { 0, 0, 2, 4 }, { 2, 0, 4, 2 }, { 2, 2, 4, 4 } });
    EXPECT_EQ(pieces, Region(Rect { 0, 0, 4, 4 }));
    EXPECT_EQ(pieces.rectCount(), 1u);
    EXPECT_FALSE(pieces == Region(Rect { 0, 0, 4, 5 }));
    EXPECT_EQ(Region(), Region(Rect { 3, 3, 3, 3 }));
    // Overlapping and unordered rects make their union.
    Region overlapping = Region::fromRects(std::vector<Rect> { { 2, 2, 6, 6 }, { 0, 0, 4, 4 }, { 9, 9, 1, 1 } });
    EXPECT_EQ(overlapping, Region(Rect { 0, 0, 4, 4 }).unionWith(Region(Rect { 2, 2, 6, 6 })));
    expectBanded(overlapping);
}

TEST(Region, RectsAreBandedAndCoverTheRegion)
{
    Region shape = Region::ellipse({ 0, 0, 12, 9 }).unionWith(Region(Rect { 10, 3, 16, 5 }));
    expectBanded(shape);
    Region rebuilt = Region::fromRects(shape.rects());
    EXPECT_EQ(rebuilt, shape);
    long pixels = 0;
    for (const Rect& r : shape.rects())
        pixels += long(r.width()) * r.height();
    long counted = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x)
            counted += shape.contains(x, y);
    EXPECT_EQ(pixels, counted);
}

TEST(Region, MovesLeaveTheSourceEmpty)
{
    Region a(Rect { 0, 0, 3, 3 });
    Region b(std::move(a));
    EXPECT_TRUE(a.isEmpty());
    EXPECT_EQ(b.bounds(), (Rect { 0, 0, 3, 3 }));
    Region c = Region::ellipse({ 0, 0, 5, 5 });
    c = std::move(b);
    EXPECT_EQ(c.bounds(), (Rect { 0, 0, 3, 3 }));
}

TEST(Region, HugeCoordinatesAreClampedNotOverflowed)
{
    Region huge = Region::ellipse({ -2000000000, -2000000000, 2000000000, 2000000000 });
    EXPECT_TRUE(huge.contains(0, 0));
    EXPECT_EQ(huge.bounds(), (Rect { -(1 << 20), -(1 << 20), 1 << 20, 1 << 20 }));
    Region poly = Region::polygon(std::vector<Point> { { -2000000000, 0 }, { 2000000000, 0 }, { 0, 3 } },
                                  FillMode::EvenOdd);
    EXPECT_TRUE(poly.contains(0, 1));
    Region r(Rect { 0, 0, 10, 10 });
    r.offset(2000000000, 0);
    EXPECT_FALSE(r.isEmpty());
    r.inset(-2000000000, 0);
    EXPECT_FALSE(r.isEmpty());
}

namespace {

// Whether the centre of pixel (x, y) lies inside the polygon, by the winding number of its edges
// around the centre, in exact integers (coordinates doubled so that the centre is integral).
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

} // namespace

TEST(Region, PolygonsAgreeWithAPixelCentreReference)
{
    uint32_t seed = 12345;
    auto next = [&](int n) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % uint32_t(n));
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<Point> points(3 + next(6));
        for (Point& p : points)
            p = { next(17) - 2, next(17) - 2 };
        Region evenOdd = Region::polygon(points, FillMode::EvenOdd);
        Region winding = Region::polygon(points, FillMode::Winding);
        for (int y = -3; y < 16; ++y)
            for (int x = -3; x < 16; ++x) {
                int w = windingAt(points, x, y);
                ASSERT_EQ(evenOdd.contains(x, y), (w % 2) != 0) << "round " << round << " at " << x << "," << y;
                ASSERT_EQ(winding.contains(x, y), w != 0) << "round " << round << " at " << x << "," << y;
            }
    }
}

TEST(Region, EllipsesAgreeWithAPixelCentreReference)
{
    for (int w = 1; w <= 14; ++w)
        for (int h = 1; h <= 14; ++h) {
            Rect bounds { -3, 2, -3 + w, 2 + h };
            Region ellipse = Region::ellipse(bounds);
            for (int y = bounds.top - 1; y <= bounds.bottom; ++y)
                for (int x = bounds.left - 1; x <= bounds.right; ++x) {
                    const double u = (x + 0.5 - (bounds.left + w / 2.0)) / (w / 2.0);
                    const double v = (y + 0.5 - (bounds.top + h / 2.0)) / (h / 2.0);
                    // Centres exactly on the outline are rare and the integer test includes them.
                    const bool inside = u * u + v * v <= 1 + 1e-12;
                    ASSERT_EQ(ellipse.contains(x, y), inside) << w << "x" << h << " at " << x << "," << y;
                }
        }
}
