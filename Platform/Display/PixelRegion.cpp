// Platform/Display/PixelRegion.cpp: pixel regions over pixman_region32.
#include "Platform/Display/PixelRegion.h"

#include <pixman.h>

struct PixelRegion::Data {
    pixman_region32_t region;
};

namespace {

pixman_region32_t fromRect(PaintRect r)
{
    pixman_region32_t region;
    if (r.isEmpty())
        pixman_region32_init(&region);
    else
        pixman_region32_init_rect(&region, r.left, r.top, unsigned(r.width()), unsigned(r.height()));
    return region;
}

} // namespace

PixelRegion::PixelRegion()
    : m_data(std::make_unique<Data>())
{
    pixman_region32_init(&m_data->region);
}

PixelRegion::PixelRegion(PaintRect r)
    : m_data(std::make_unique<Data>())
{
    m_data->region = fromRect(r);
}

PixelRegion::PixelRegion(const PixelRegion& o)
    : m_data(std::make_unique<Data>())
{
    pixman_region32_init(&m_data->region);
    pixman_region32_copy(&m_data->region, &o.m_data->region);
}

PixelRegion& PixelRegion::operator=(const PixelRegion& o)
{
    if (this != &o)
        pixman_region32_copy(&m_data->region, &o.m_data->region);
    return *this;
}

PixelRegion::~PixelRegion() { pixman_region32_fini(&m_data->region); }

bool PixelRegion::isEmpty() const { return !pixman_region32_not_empty(&m_data->region); }

PaintRect PixelRegion::bounds() const
{
    if (isEmpty())
        return {};
    const pixman_box32_t* b = pixman_region32_extents(&m_data->region);
    return { b->x1, b->y1, b->x2, b->y2 };
}

bool PixelRegion::contains(PaintPoint p) const
{
    return pixman_region32_contains_point(&m_data->region, p.x, p.y, nullptr);
}

std::vector<PaintRect> PixelRegion::rects() const
{
    int count = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&m_data->region, &count);
    std::vector<PaintRect> out;
    out.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        out.push_back({ boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2 });
    return out;
}

void PixelRegion::clear() { pixman_region32_clear(&m_data->region); }

void PixelRegion::unite(const PixelRegion& o)
{
    pixman_region32_union(&m_data->region, &m_data->region, &o.m_data->region);
}

void PixelRegion::unite(PaintRect r)
{
    if (!r.isEmpty())
        pixman_region32_union_rect(&m_data->region, &m_data->region, r.left, r.top, unsigned(r.width()),
            unsigned(r.height()));
}

void PixelRegion::intersect(const PixelRegion& o)
{
    pixman_region32_intersect(&m_data->region, &m_data->region, &o.m_data->region);
}

void PixelRegion::intersect(PaintRect r)
{
    pixman_region32_t other = fromRect(r);
    pixman_region32_intersect(&m_data->region, &m_data->region, &other);
    pixman_region32_fini(&other);
}

void PixelRegion::subtract(const PixelRegion& o)
{
    pixman_region32_subtract(&m_data->region, &m_data->region, &o.m_data->region);
}

void PixelRegion::subtract(PaintRect r)
{
    pixman_region32_t other = fromRect(r);
    pixman_region32_subtract(&m_data->region, &m_data->region, &other);
    pixman_region32_fini(&other);
}

void PixelRegion::offset(int dx, int dy) { pixman_region32_translate(&m_data->region, dx, dy); }

bool operator==(const PixelRegion& a, const PixelRegion& b)
{
    return pixman_region32_equal(&a.m_data->region, &b.m_data->region);
}
