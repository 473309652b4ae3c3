// Platform/Paint/Region.h: sets of pixels built from rects, ellipses, round rects and polygons and
// combined by set operations (pixman regions underneath).
//
// A region is kept as y-x banded rects: the rects of one band share top and bottom, bands are sorted
// from top to bottom and the rects of a band from left to right, and no two rects overlap. Shapes are
// rasterised by pixel centres: a pixel (x, y) belongs to a shape when its centre (x + 0.5, y + 0.5)
// lies inside the shape's outline (on the outline for an ellipse). The painter fills an ellipse,
// round rect or polygon by filling the rects of the matching region, so drawing and hit testing agree.
// Coordinates are clamped to -2^20..2^20, far beyond any surface, so that no arithmetic overflows
// and a shape's rasterisation stays bounded.
#pragma once

#include "Platform/Paint/Geometry.h"

#include <cstddef>
#include <span>
#include <vector>

enum class FillMode {
    EvenOdd,   // alternate: inside where an odd number of edges lies to the left
    Winding,   // inside where the edges' winding number is not zero
};

class Region {
public:
    Region();                          // empty
    explicit Region(const Rect& r);    // the rect (empty when inverted)
    ~Region();
    Region(Region&& other) noexcept;   // other is left empty
    Region& operator=(Region&& other) noexcept;
    // Copying a region is always explicit: use copy().
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;

    Region copy() const;

    static Region fromRects(std::span<const Rect> rects); // union of the rects; empty ones ignored
    static Region ellipse(const Rect& bounds);            // the ellipse inscribed in bounds
    // A rect whose corners are quarters of an ellipse cornerWidth x cornerHeight (clamped to the
    // rect's size); a plain rect when either is <= 0.
    static Region roundRect(const Rect& bounds, int cornerWidth, int cornerHeight);
    // The polygon is closed: the edge from the last point back to the first belongs to it.
    static Region polygon(std::span<const Point> points, FillMode mode);

    void setEmpty();
    void setRect(const Rect& r);

    void unite(const Region& other);
    void intersect(const Region& other);
    void intersect(const Rect& r);
    void subtract(const Region& other);
    void exclusiveOr(const Region& other);
    void offset(int dx, int dy);
    // Shrinks the region by dx pixels on the left and right of every part and by dy at the top and
    // bottom (an erosion by a box); negative amounts grow it the same way.
    void inset(int dx, int dy);

    Region unionWith(const Region& other) const;
    Region intersection(const Region& other) const;
    Region difference(const Region& other) const;
    Region exclusiveOrWith(const Region& other) const;

    bool isEmpty() const;
    Rect bounds() const;               // the bounding box; Rect() when empty
    bool contains(Point p) const;
    bool contains(int x, int y) const { return contains(Point { x, y }); }
    bool intersects(const Rect& r) const;    // some pixel of r lies in the region
    bool containsRect(const Rect& r) const;  // every pixel of r (a non-empty r) lies in it
    bool operator==(const Region& other) const; // the same pixels

    // The banded rects, valid until the region next changes.
    std::span<const Rect> rects() const;
    std::size_t rectCount() const { return rects().size(); }

private:
    void* native();
    const void* native() const;

    alignas(8) unsigned char m_storage[32]; // a pixman_region32_t, kept in place without a header
};
