// Interfac/Geometry.h: points, rects and regions as Lisp sees them, for every Module that takes or
// returns them.
//
// A point is a pair (y . x) of small integers; a rect a list (left top right bottom) of small
// integers, read as 16-bit values; a region a pointer of kind "region" whose word 1 is the index of
// its native Region in the region table. Every reader checks the shape and raises the wrong-type
// error with the argument as culprit instead of reading other data as cells.
#pragma once

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Value.h"
#include "Platform/Paint/Region.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A new point; each coordinate is kept as the low 24 bits of its value.
Value makePoint(int64_t x, int64_t y);
// The coordinates of a pair of small integers.
Point toPoint(Value point);
// The distance from p to the straight line through a and b, rounded, as a magnitude that saturates
// at 32768 instead of wrapping at 16 bits; 0 when a and b coincide.
int32_t lineDistance(Point a, Point b, Point p);
// Whether p lies within tolerance of the segment a-b (in its bounding box grown by the tolerance,
// and at most that far from the line).
bool pointInEdge(Point p, Point a, Point b, int32_t tolerance);

// A new rect (left top right bottom); each coordinate is kept as the low 24 bits of its value.
Value makeRect(int64_t left, int64_t top, int64_t right, int64_t bottom);
inline Value makeRect(const Rect& r) { return makeRect(r.left, r.top, r.right, r.bottom); }
// The first four elements of a list of small integers, each as a signed 16-bit value.
Rect toRect(Value rect);
// An integer argument taken as its low 16 bits, signed.
int16_t toInt16(Value v);
// Part of a rect chosen by a selector (:left, :top, :right, :bottom, :position, :size, :width,
// :height, :center, :center-x, :center-y); any other selector gives a fresh copy of the rect.
Value selectFromRect(const Rect& r, Value selector);

// Calls f with each element of a proper list; a dotted or circular list is the wrong-type error
// with the list as culprit (a proper list cannot hold more pairs than the cell area has cells).
template <typename F> void forEachElement(Value list, F f)
{
    uint32_t count = 0;
    for (Value tail = list; tail != kNil; tail = cdr(tail)) {
        if (!isPair(tail) || ++count > gAreas.cellCount)
            raiseWrongType(list);
        f(car(tail));
    }
}
// The points of a polygon (a list of points).
std::vector<Point> toPolygon(Value polygon);

// A new region pointer owning the region.
Value makeRegion(Region&& region);
// The region behind a region pointer; the wrong-type error for any other value, a null pointer and
// a region disposed of by disposergn.
Region& toRegion(Value region);
bool isRegionPointer(Value v);
size_t liveRegionCount(); // regions not yet disposed of (for tests and diagnostics)
