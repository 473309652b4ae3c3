// Platform/Paint/Geometry.h: integer points and rects in device pixels, shared by the painter.
#pragma once

// x grows to the right, y downwards.
struct Point {
    int x = 0;
    int y = 0;

    bool operator==(const Point&) const = default;
};

// A rect covers the pixels left <= x < right and top <= y < bottom: its right and bottom edges lie
// outside it. A rect whose right <= left or bottom <= top holds no pixel (an inverted rect is empty).
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool operator==(const Rect&) const = default;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }

    void offsetBy(int dx, int dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }

    // The pixels both rects hold; an empty Rect() when they share none.
    Rect intersection(const Rect& o) const
    {
        Rect r { left > o.left ? left : o.left, top > o.top ? top : o.top,
                 right < o.right ? right : o.right, bottom < o.bottom ? bottom : o.bottom };
        return r.isEmpty() ? Rect() : r;
    }
};
