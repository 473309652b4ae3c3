// Platform/Display/PixelRegion.h: a set of pixels as y-x banded rectangles (pixman's regions),
// for update regions and the dirty area of a present.
#pragma once

#include "Platform/Paint/Surface.h"

#include <memory>
#include <vector>

class PixelRegion {
public:
    PixelRegion();
    explicit PixelRegion(PaintRect r);
    PixelRegion(const PixelRegion& o);
    PixelRegion& operator=(const PixelRegion& o);
    ~PixelRegion();

    bool isEmpty() const;
    PaintRect bounds() const; // empty rect when the region is empty
    bool contains(PaintPoint p) const;
    // The rects, y-x banded, as DeviceContext::setClipRects takes them.
    std::vector<PaintRect> rects() const;

    void clear();
    void unite(const PixelRegion& o);
    void unite(PaintRect r);
    void intersect(const PixelRegion& o);
    void intersect(PaintRect r);
    void subtract(const PixelRegion& o);
    void subtract(PaintRect r);
    void offset(int dx, int dy);
    friend bool operator==(const PixelRegion& a, const PixelRegion& b);

private:
    struct Data;
    std::unique_ptr<Data> m_data;
};
