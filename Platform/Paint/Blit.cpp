// Platform/Paint/Blit.cpp: copies between surfaces with ternary raster operations, stretching,
// the transparent copy and the byte-wise blending copies.
//
// A blit works row by row on unpacked pixel values of the destination's format: the source row
// is converted once per row (one converter chosen per call), the brush gives the pattern values,
// and one row function chosen per call from the operation's truth table combines them. Plain
// copies between 32-bit surfaces of the same layout go to pixman.
#include "Platform/Paint/Paint.h"

#include <pixman.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace {

using RowOperation = void (*)(uint32_t* d, const uint32_t* s, const uint32_t* p, int n);

// Bit i of the operation's code is the result for pattern bit (i >> 2), source bit (i >> 1 & 1)
// and destination bit (i & 1).
template <unsigned Code> void rowOperation(uint32_t* d, const uint32_t* s, const uint32_t* p, int n)
{
    for (int i = 0; i < n; ++i) {
        uint32_t P = p[i], S = s[i], D = d[i];
        uint32_t r = 0;
        if constexpr (Code == 0xCC)
            r = S;
        else if constexpr (Code == 0xEE)
            r = S | D;
        else if constexpr (Code == 0x88)
            r = S & D;
        else if constexpr (Code == 0x66)
            r = S ^ D;
        else if constexpr (Code == 0x11)
            r = ~(S | D);
        else if constexpr (Code == 0xF0)
            r = P;
        else {
            if constexpr (Code & 0x80) r |= P & S & D;
            if constexpr (Code & 0x40) r |= P & S & ~D;
            if constexpr (Code & 0x20) r |= P & ~S & D;
            if constexpr (Code & 0x10) r |= P & ~S & ~D;
            if constexpr (Code & 0x08) r |= ~P & S & D;
            if constexpr (Code & 0x04) r |= ~P & S & ~D;
            if constexpr (Code & 0x02) r |= ~P & ~S & D;
            if constexpr (Code & 0x01) r |= ~P & ~S & ~D;
        }
        d[i] = r;
    }
}

template <size_t... Codes> constexpr std::array<RowOperation, 256> rowOperations(std::index_sequence<Codes...>)
{
    return { &rowOperation<unsigned(Codes)>... };
}

RowOperation rowOperationFor(unsigned code)
{
    static constexpr auto table = rowOperations(std::make_index_sequence<256>());
    return table[code & 0xFF];
}

bool readsSource(unsigned code) { return ((code >> 2) ^ code) & 0x33; }
bool readsPattern(unsigned code) { return ((code >> 4) ^ code) & 0x0F; }

uint32_t depthMask(int depth) { return depth == 32 ? 0xFFFFFFFF : depth == 24 ? 0xFFFFFF : (1u << depth) - 1; }

void readRow(const Surface& s, int y, int x0, int n, uint32_t* out)
{
    const uint8_t* row = s.row(y);
    switch (s.depth()) {
    case 32: std::memcpy(out, row + size_t(x0) * 4, size_t(n) * 4); break;
    case 8:
        for (int i = 0; i < n; ++i)
            out[i] = row[x0 + i];
        break;
    default:
        for (int i = 0; i < n; ++i)
            out[i] = s.pixel(x0 + i, y);
    }
}

void writeRow(Surface& s, int y, int x0, int n, const uint32_t* in)
{
    uint8_t* row = s.row(y);
    uint32_t mask = depthMask(s.depth());
    switch (s.depth()) {
    case 32: std::memcpy(row + size_t(x0) * 4, in, size_t(n) * 4); break;
    case 8:
        for (int i = 0; i < n; ++i)
            row[x0 + i] = uint8_t(in[i]);
        break;
    default:
        for (int i = 0; i < n; ++i)
            s.setPixel(x0 + i, y, in[i] & mask);
    }
}

// Turns source pixel values into destination pixel values.
class Converter {
public:
    Converter(const DeviceContext& dest, const DeviceContext& source)
    {
        const Surface& d = dest.surface();
        const Surface& s = source.surface();
        m_source = &s;
        m_dest = &d;
        if (s.isMonochrome() && !d.isMonochrome()) {
            m_kind = Kind::Table;
            m_table = { dest.deviceValue(dest.textColor()), dest.deviceValue(dest.backgroundColor()) };
        } else if (d.isMonochrome() && !s.isMonochrome()) {
            m_kind = Kind::ToMonochrome;
            m_background = source.backgroundColor().rgb;
            if (source.backgroundColor().paletteIndex >= 0 && source.backgroundColor().paletteIndex < source.palette().size())
                m_background = source.palette()[source.backgroundColor().paletteIndex];
        } else if (s.depth() == d.depth() && (!s.isIndexed() || s.palette() == d.palette())) {
            m_kind = Kind::Same;
        } else if (s.isIndexed()) {
            m_kind = Kind::Table;
            for (int i = 0; i < s.palette().size(); ++i)
                m_table.push_back(d.valueOf(s.palette()[i]));
            m_table.resize(size_t(1) << s.depth(), m_table.empty() ? 0 : m_table[0]);
        } else if (!d.isIndexed()) {
            m_kind = Kind::Direct;
        } else {
            m_kind = Kind::Nearest;
        }
    }

    // Reads source pixels xs[0..n) of row y into out.
    void row(int y, const int* xs, int n, uint32_t* out) const
    {
        const Surface& s = *m_source;
        for (int i = 0; i < n; ++i) {
            uint32_t v = s.pixel(xs[i], y);
            switch (m_kind) {
            case Kind::Same: out[i] = v; break;
            case Kind::Direct: out[i] = v & 0xFFFFFF; break;
            case Kind::Table: out[i] = m_table[v]; break;
            case Kind::Nearest: out[i] = m_dest->valueOf(s.colorOf(v)); break;
            case Kind::ToMonochrome: out[i] = s.colorOf(v) == m_background ? 1 : 0; break;
            }
        }
    }
    bool isSame() const { return m_kind == Kind::Same; }

private:
    enum class Kind { Same, Direct, Table, Nearest, ToMonochrome } m_kind;
    const Surface* m_source;
    const Surface* m_dest;
    std::vector<uint32_t> m_table;
    Rgb m_background;
};

// Dest coordinate i (0-based within the normalised dest extent) -> source index (0-based within
// the normalised source extent), sampling the centre of each destination pixel.
int mapIndex(int i, int destSize, int sourceSize, bool mirrored)
{
    int j = int((int64_t(2 * i + 1) * sourceSize) / (int64_t(2) * destSize));
    return mirrored ? sourceSize - 1 - j : j;
}

// The source pixels [first, second) that destination pixel i covers.
std::pair<int, int> sourceBox(int i, int destSize, int sourceSize, bool mirrored)
{
    int a = int(int64_t(i) * sourceSize / destSize);
    int b = std::max(a + 1, int(int64_t(i + 1) * sourceSize / destSize));
    return mirrored ? std::pair { sourceSize - b, sourceSize - a } : std::pair { a, b };
}

// Destination values of pixels x0.. of one row: the mean colour of each one's source box.
void averageRow(const Surface& source, const Surface& dest, std::pair<int, int> rows, int sx, int dx, int dw, int sw,
    bool mirrorX, int x0, int count, uint32_t* out)
{
    for (int i = 0; i < count; ++i) {
        auto [c0, c1] = sourceBox(x0 + i - dx, dw, sw, mirrorX);
        unsigned red = 0, green = 0, blue = 0, n = 0;
        for (int y = rows.first; y < rows.second; ++y)
            for (int x = sx + c0; x < sx + c1; ++x) {
                if (x < 0 || x >= source.width() || y < 0 || y >= source.height())
                    continue;
                Rgb c = source.colorAt(x, y);
                red += c.red;
                green += c.green;
                blue += c.blue;
                ++n;
            }
        if (n == 0)
            n = 1;
        out[i] = dest.valueOf({ uint8_t((red + n / 2) / n), uint8_t((green + n / 2) / n), uint8_t((blue + n / 2) / n) });
    }
}

void normalizeExtent(int& start, int& size, bool& mirrored)
{
    if (size < 0) {
        start += size;
        size = -size;
        mirrored = !mirrored;
    }
}

} // namespace

void DeviceContext::bitBlt(Rect dest, const DeviceContext* source, Point sourceAt, uint32_t rop3)
{
    auto end = [](int start, int64_t size) { return clampCoordinate(start + size); };
    int64_t width = int64_t(dest.right) - dest.left, height = int64_t(dest.bottom) - dest.top;
    stretchBlt(dest, source, { sourceAt.x, sourceAt.y, end(sourceAt.x, width), end(sourceAt.y, height) }, rop3);
}

void DeviceContext::stretchBlt(Rect dest, const DeviceContext* source, Rect sourceRect, uint32_t rop3)
{
    unsigned code = (rop3 >> 16) & 0xFF;
    bool useSource = readsSource(code);
    if ((useSource && !source) || m_clip.empty())
        return;
    // Normalised extents in device coordinates; mirroring when exactly one side is negative.
    Rect deviceDest = toDevice(dest);
    int dx = deviceDest.left, dy = deviceDest.top, dw = deviceDest.width(), dh = deviceDest.height();
    bool mirrorX = false, mirrorY = false;
    normalizeExtent(dx, dw, mirrorX);
    normalizeExtent(dy, dh, mirrorY);
    int sx = 0, sy = 0, sw = dw, sh = dh;
    if (useSource) {
        Rect r = source->toDevice(sourceRect);
        sx = r.left;
        sy = r.top;
        sw = r.width();
        sh = r.height();
        normalizeExtent(sx, sw, mirrorX);
        normalizeExtent(sy, sh, mirrorY);
    }
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0)
        return;
    Rect target = Rect { dx, dy, dx + dw, dy + dh }.intersection(m_clipBox);
    if (target.isEmpty())
        return;

    // Columns and rows whose source pixel lies outside the source surface are left alone.
    std::vector<int> columns(size_t(target.width()));
    int firstColumn = target.right, lastColumn = target.left;
    const Surface* src = useSource ? &source->surface() : nullptr;
    for (int x = target.left; x < target.right; ++x) {
        int j = sx + mapIndex(x - dx, dw, sw, mirrorX);
        columns[size_t(x - target.left)] = j;
        if (!src || (j >= 0 && j < src->width())) {
            firstColumn = std::min(firstColumn, x);
            lastColumn = std::max(lastColumn, x + 1);
        }
    }
    if (firstColumn >= lastColumn)
        return;
    int columnOffset = firstColumn - target.left;
    target.left = firstColumn;
    target.right = lastColumn;

    Surface& dst = *m_surface;
    bool plain = code == 0xCC && dw == sw && dh == sh && !mirrorX && !mirrorY;
    // Halftone averages the source pixels under each destination pixel when shrinking or growing
    // (monochrome surfaces keep their own conversion rules, so they are not averaged).
    bool halftone = useSource && m_stretchMode == StretchMode::Halftone && (dw != sw || dh != sh)
        && !src->isMonochrome() && !dst.isMonochrome();
    std::optional<Converter> converter;
    if (useSource)
        converter.emplace(*this, *source);
    // Rows go bottom to top when copying down within one surface, so nothing is read after it
    // was overwritten.
    bool upward = src == &dst && sy < dy;
    int n = target.width();
    std::vector<uint32_t> d(static_cast<size_t>(n)), s(static_cast<size_t>(n)), p(static_cast<size_t>(n));
    RowOperation operation = rowOperationFor(code);

    uint32_t pattern[8][8] {};
    bool usePattern = readsPattern(code) && m_brush.kind != Brush::Kind::Null;
    if (usePattern) {
        // Resolve the brush once into an 8x8 table of destination values.
        uint32_t fore = deviceValue(m_textColor), back = deviceValue(m_backgroundColor);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                uint32_t v = 0;
                switch (m_brush.kind) {
                case Brush::Kind::Solid: v = deviceValue(m_brush.color); break;
                case Brush::Kind::MonoPattern: v = (m_brush.bits[size_t(y)] & (0x80 >> x)) ? back : fore; break;
                default: v = dst.valueOf(m_brush.colors[size_t(y * 8 + x)]); break;
                }
                pattern[y][x] = v;
            }
    }

    if (plain && converter->isSame() && dst.depth() == 32 && src != &dst && dst.rowOrder() == RowOrder::TopDown
        && src->rowOrder() == RowOrder::TopDown) {
        // Whole clip boxes at a time; every box lies within the source (rows and columns checked).
        Rect readable = offsetRect(src->bounds(), dx - sx, dy - sy);
        Rect area = target.intersection(readable);
        for (const Rect& box : m_clip) {
            Rect r = box.intersection(area);
            if (r.isEmpty())
                continue;
            pixman_blt(reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(src->pixels())),
                reinterpret_cast<uint32_t*>(dst.pixels()), src->stride() / 4, dst.stride() / 4, 32, 32,
                r.left - dx + sx, r.top - dy + sy, r.left, r.top, r.width(), r.height());
        }
        return;
    }
    for (int k = 0; k < target.height(); ++k) {
        int y = upward ? target.bottom - 1 - k : target.top + k;
        int sourceRow = sy + mapIndex(y - dy, dh, sh, mirrorY);
        if (src && (sourceRow < 0 || sourceRow >= src->height()))
            continue;
        clipSpan(y, target.left, target.right, [&](int x0, int x1) {
            int count = x1 - x0;
            const int* xs = columns.data() + columnOffset + (x0 - target.left);
            if (plain && converter->isSame() && dst.depth() >= 8) {
                int bytes = dst.depth() / 8;
                std::memmove(dst.row(y) + size_t(x0) * bytes, src->row(sourceRow) + size_t(xs[0]) * bytes,
                    size_t(count) * bytes);
                return;
            }
            readRow(dst, y, x0, count, d.data());
            if (halftone)
            {
                auto rows = sourceBox(y - dy, dh, sh, mirrorY);
                averageRow(*src, dst, { sy + rows.first, sy + rows.second }, sx, dx, dw, sw, mirrorX, x0, count, s.data());
            }
            else if (converter)
                converter->row(sourceRow, xs, count, s.data());
            if (usePattern) {
                const uint32_t* prow = pattern[(y - m_brushOrigin.y) & 7];
                for (int i = 0; i < count; ++i)
                    p[size_t(i)] = prow[(x0 + i - m_brushOrigin.x) & 7];
            }
            operation(d.data(), s.data(), p.data(), count);
            writeRow(dst, y, x0, count, d.data());
        });
    }
}

std::unique_ptr<Surface> makeMask(const Surface& source, Rect rect, Rgb transparent)
{
    rect = rect.intersection(source.bounds());
    auto mask = std::make_unique<Surface>(std::max(rect.width(), 0), std::max(rect.height(), 0), 1,
        RowOrder::TopDown, &Palette::monochrome());
    for (int y = 0; y < rect.height(); ++y)
        for (int x = 0; x < rect.width(); ++x)
            mask->setPixel(x, y, source.colorAt(rect.left + x, rect.top + y) == transparent ? 0 : 1);
    return mask;
}

void DeviceContext::transparentBlt(Rect dest, const DeviceContext& source, Rect sourceRect, Rgb transparent)
{
    Rect deviceSource = source.toDevice(sourceRect);
    if (deviceSource.isEmpty() || !(deviceSource.intersection(source.surface().bounds()) == deviceSource))
        return;
    std::unique_ptr<Surface> mask = makeMask(source.surface(), deviceSource, transparent);
    DeviceContext maskContext(*mask);
    Rect whole = mask->bounds();
    stretchBlt(dest, &maskContext, whole, Rop3::SrcPaint);
    if (transparent == kWhite) {
        stretchBlt(dest, &source, sourceRect, Rop3::SrcAnd);
        return;
    }
    // The AND pass needs the transparent pixels white: a 32-bit copy with them replaced.
    Surface copy(whole.width(), whole.height(), 32);
    for (int y = 0; y < whole.height(); ++y)
        for (int x = 0; x < whole.width(); ++x) {
            Rgb c = mask->pixel(x, y) ? source.surface().colorAt(deviceSource.left + x, deviceSource.top + y) : kWhite;
            copy.setPixel(x, y, copy.valueOf(c));
        }
    DeviceContext copyContext(copy);
    stretchBlt(dest, &copyContext, whole, Rop3::SrcAnd);
}

namespace {

template <typename Combine> void blendRows(Surface& dest, Point at, const Surface& source, Rect r, Combine combine)
{
    int sb = source.depth() / 8, db = dest.depth() / 8;
    for (int y = 0; y < r.height(); ++y) {
        const uint8_t* s = source.row(r.top + y) + size_t(r.left) * sb;
        uint8_t* d = dest.row(at.y + y) + size_t(at.x) * db;
        for (int x = 0; x < r.width(); ++x, s += sb, d += db) {
            uint8_t alpha = sb == 4 ? s[3] : 255;
            combine(d, s, alpha);
        }
    }
}

} // namespace

bool blendCopy(Surface& dest, Point destAt, const Surface& source, Rect sourceRect, BlendMode mode)
{
    if (dest.depth() < 24 || source.depth() < 24)
        return false;
    // Clip to both surfaces.
    Rect r = sourceRect.intersection(source.bounds());
    if (r.isEmpty())
        return true;
    // Where the source rect's first pixel lands, in 64 bits: the caller's numbers may be extreme.
    int64_t x = int64_t(destAt.x) + r.left - sourceRect.left, y = int64_t(destAt.y) + r.top - sourceRect.top;
    if (x >= dest.width() || y >= dest.height() || x + r.width() <= 0 || y + r.height() <= 0)
        return true;
    destAt = { int(x), int(y) };
    Rect placed = offsetRect(r, destAt.x - r.left, destAt.y - r.top).intersection(dest.bounds());
    if (placed.isEmpty())
        return true;
    r = offsetRect(placed, r.left - destAt.x, r.top - destAt.y);
    destAt = { placed.left, placed.top };
    switch (mode) {
    case BlendMode::Max:
        blendRows(dest, destAt, source, r, [](uint8_t* d, const uint8_t* s, uint8_t) {
            for (int c = 0; c < 3; ++c)
                d[c] = std::max(d[c], s[c]);
        });
        break;
    case BlendMode::Screen:
        blendRows(dest, destAt, source, r, [](uint8_t* d, const uint8_t* s, uint8_t) {
            for (int c = 0; c < 3; ++c)
                d[c] = uint8_t(d[c] + s[c] * (255 - d[c]) / 256);
        });
        break;
    case BlendMode::Alpha:
        blendRows(dest, destAt, source, r, [](uint8_t* d, const uint8_t* s, uint8_t a) {
            if (a == 0)
                return;
            for (int c = 0; c < 3; ++c)
                d[c] = a == 255 ? s[c] : uint8_t((d[c] * (255 - a) + s[c] * a) / 255);
        });
        break;
    case BlendMode::AlphaPremultiplied:
        blendRows(dest, destAt, source, r, [](uint8_t* d, const uint8_t* s, uint8_t a) {
            if (a == 0)
                return;
            for (int c = 0; c < 3; ++c)
                d[c] = a == 255 ? s[c] : uint8_t(std::min((d[c] * (255 - a) + s[c] * 255) / 255, 255));
        });
        break;
    }
    return true;
}
