// Platform/Images/Pict.cpp: the picture opcode interpreter (versions 1 and 2), PackBits, and the
// measuring, mode-reading, mode-rewriting and depth-reading tables.
#include "Platform/Images/Images.h"

#include <algorithm>
#include <cstring>

namespace {

// A bounded big-endian reader over the picture. Every read checks the bytes that remain and
// raises the malformed-picture error instead of reading past them.
class Reader {
public:
    explicit Reader(Bytes data) : m_data(data) { }

    size_t position() const { return m_position; }
    size_t remaining() const { return m_data.size() - m_position; }
    void need(uint64_t n) const
    {
        if (n > remaining())
            throw PictError { 1, 0 };
    }
    void skip(uint64_t n)
    {
        need(n);
        m_position += size_t(n);
    }
    void alignEven()
    {
        if (m_position & 1)
            skip(1);
    }
    uint8_t u8()
    {
        need(1);
        return m_data[m_position++];
    }
    int8_t s8() { return int8_t(u8()); }
    uint16_t u16()
    {
        need(2);
        uint16_t v = uint16_t(m_data[m_position] << 8 | m_data[m_position + 1]);
        m_position += 2;
        return v;
    }
    int16_t s16() { return int16_t(u16()); }
    uint32_t u32()
    {
        uint32_t high = u16();
        return high << 16 | u16();
    }
    // A rect stored as top, left, bottom, right.
    Rect rect()
    {
        int top = s16(), left = s16(), bottom = s16(), right = s16();
        return { left, top, right, bottom };
    }
    // A point stored as v, h.
    Point point()
    {
        int v = s16(), h = s16();
        return { h, v };
    }
    Bytes bytes(uint64_t n)
    {
        need(n);
        Bytes b = m_data.subspan(m_position, size_t(n));
        m_position += size_t(n);
        return b;
    }

private:
    Bytes m_data;
    size_t m_position = 0;
};

int clampInt(int64_t v)
{
    return int(std::clamp<int64_t>(v, -(int64_t(1) << 30), int64_t(1) << 30));
}

} // namespace

int64_t PictMapping::mapX(int64_t x) const
{
    if (frame.width() == dest.width())
        return x + dest.left - origin.x;
    return (x - origin.x) * dest.width() / frame.width() + dest.left;
}

int64_t PictMapping::mapY(int64_t y) const
{
    if (frame.height() == dest.height())
        return y + dest.top - origin.y;
    return (y - origin.y) * dest.height() / frame.height() + dest.top;
}

Point PictMapping::map(Point p) const { return { clampInt(mapX(p.x)), clampInt(mapY(p.y)) }; }
Rect PictMapping::map(Rect r) const
{
    return { clampInt(mapX(r.left)), clampInt(mapY(r.top)), clampInt(mapX(r.right)), clampInt(mapY(r.bottom)) };
}

Rect pictFrame(Bytes data)
{
    if (data.size() < 10)
        return {};
    auto s16 = [&](size_t at) { return int(int16_t(data[at] << 8 | data[at + 1])); };
    return { s16(4), s16(2), s16(8), s16(6) };
}

// ---- PackBits ----

bool unpackBits(Bytes in, std::span<uint8_t> out, int itemSize)
{
    size_t i = 0, o = 0;
    const size_t item = size_t(itemSize);
    while (o < out.size() && i < in.size()) {
        uint8_t control = in[i++];
        if (control < 0x80) {
            size_t n = (size_t(control) + 1) * item;
            if (n > in.size() - i)
                return false;
            size_t copy = std::min(n, out.size() - o);
            std::memcpy(out.data() + o, in.data() + i, copy);
            i += n;
            o += copy;
        } else {
            size_t count = 257 - size_t(control);
            if (item > in.size() - i)
                return false;
            for (size_t k = 0; k < count && o < out.size(); ++k)
                for (size_t b = 0; b < item && o < out.size(); ++b)
                    out[o++] = in[i + b];
            i += item;
        }
    }
    return true;
}

void packBits(Bytes row, int itemSize, std::vector<uint8_t>& out)
{
    const size_t item = size_t(itemSize);
    const size_t items = row.size() / item;
    auto same = [&](size_t a, size_t b) { return std::memcmp(&row[a * item], &row[b * item], item) == 0; };
    size_t i = 0;
    while (i < items) {
        // A run of three or more equal items becomes a repeat.
        size_t run = 1;
        while (i + run < items && run < 128 && same(i, i + run))
            ++run;
        if (run >= 3) {
            out.push_back(uint8_t(257 - run));
            out.insert(out.end(), &row[i * item], &row[i * item] + item);
            i += run;
            continue;
        }
        // Literals up to the next run of three.
        size_t start = i, n = 0;
        while (i < items && n < 128) {
            if (i + 2 < items && same(i, i + 1) && same(i, i + 2))
                break;
            ++i;
            ++n;
        }
        out.push_back(uint8_t(n - 1));
        out.insert(out.end(), &row[start * item], &row[start * item] + n * item);
    }
}

// ---- The interpreter ----

namespace {

constexpr int kDitherFlag = 0x40;

class Interpreter {
public:
    Interpreter(Bytes data, Rect dest, PictOperations& ops) : m_in(data), m_ops(ops)
    {
        m_map.dest = dest;
    }

    void run();

private:
    void header();
    void opcode(int op);
    void bits(int op);
    void decodeRows(PictBitmap& bm);
    std::array<uint8_t, 8> pattern()
    {
        std::array<uint8_t, 8> p;
        for (auto& b : p)
            b = m_in.u8();
        return p;
    }
    // A region or polygon: its size word counts itself.
    uint16_t sizeWord()
    {
        uint16_t size = m_in.u16();
        if (size < 2)
            throw PictError { 1, 0 };
        m_in.need(size - 2);
        return size;
    }

    Reader m_in;
    PictOperations& m_ops;
    PictMapping m_map;
    int m_version = 1;
    Rect m_lastRect;
    Point m_ovalSize;
    Point m_current;
};

void Interpreter::run()
{
    header();
    m_map.origin = { m_map.frame.left, m_map.frame.top };
    for (;;) {
        if (m_version == 2)
            m_in.alignEven();
        if (m_in.remaining() == 0)
            throw PictError { 1, 0 }; // the end opcode never came
        int op = m_version == 2 ? m_in.u16() : m_in.u8();
        if (op == 0xFF)
            return;
        opcode(op);
    }
}

void Interpreter::header()
{
    m_in.skip(2); // size word: not used
    m_map.frame = m_in.rect();
    if (m_map.frame.width() <= 0 || m_map.frame.height() <= 0)
        throw PictError { 1, 0 };
    uint8_t a = m_in.u8(), b = m_in.u8();
    if (a == 0x11 && b == 0x01) {
        m_version = 1;
        return;
    }
    if (a == 0x00 && b == 0x11 && m_in.remaining() >= 2) {
        if (m_in.u8() == 0x02 && m_in.u8() == 0xFF) {
            m_version = 2;
            return;
        }
    }
    throw PictError { 1, 0 };
}

void Interpreter::opcode(int op)
{
    using Verb = PictOperations::Verb;
    switch (op) {
    case 0x00: case 0x1E:
        return;
    case 0x01: {
        uint16_t size = sizeWord();
        if (size < 10)
            throw PictError { 1, 0 };
        Rect box = m_in.rect();
        m_in.skip(size - 10);
        m_ops.clip(m_map.map(box), m_map.dest);
        return;
    }
    case 0x02: case 0x10:
        m_in.skip(8);
        return;
    case 0x03: case 0x05: case 0x0D:
        m_in.skip(2);
        return;
    case 0x04:
        m_in.skip(m_version == 2 ? 2 : 1);
        return;
    case 0x06: case 0x0E: case 0x0F:
        m_in.skip(4);
        return;
    case 0x07: {
        int v = m_in.s16(), h = m_in.s16();
        m_ops.penSize(h, v);
        return;
    }
    case 0x08:
        m_ops.penMode(m_in.s16());
        return;
    case 0x09:
        m_ops.penPattern(pattern());
        return;
    case 0x0A:
        m_ops.fillPattern(pattern());
        return;
    case 0x0B:
        m_ovalSize = m_in.point();
        return;
    case 0x0C: {
        int dh = m_in.s16(), dv = m_in.s16();
        m_map.origin.x = clampInt(int64_t(m_map.origin.x) + dh);
        m_map.origin.y = clampInt(int64_t(m_map.origin.y) + dv);
        return;
    }
    case 0x1A: case 0x1B: case 0x1F: {
        uint16_t r = m_in.u16(), g = m_in.u16(), b = m_in.u16();
        if (op == 0x1A)
            m_ops.foreColor(r, g, b);
        else if (op == 0x1B)
            m_ops.backColor(r, g, b);
        return;
    }
    case 0x20: {
        Point a = m_in.point(), b = m_in.point();
        m_ops.moveTo(m_map.map(a));
        m_ops.lineTo(m_map.map(b));
        m_current = b;
        return;
    }
    case 0x21: {
        Point b = m_in.point();
        m_ops.moveTo(m_map.map(m_current));
        m_ops.lineTo(m_map.map(b));
        m_current = b;
        return;
    }
    case 0x22: {
        Point a = m_in.point();
        int dh = m_in.s8(), dv = m_in.s8();
        Point b { a.x + dh, a.y + dv };
        m_ops.moveTo(m_map.map(a));
        m_ops.lineTo(m_map.map(b));
        m_current = b;
        return;
    }
    case 0x23: {
        int dh = m_in.s8(), dv = m_in.s8();
        Point b { m_current.x + dh, m_current.y + dv };
        m_ops.moveTo(m_map.map(m_current));
        m_ops.lineTo(m_map.map(b));
        m_current = b;
        return;
    }
    case 0x2C: case 0x2D: case 0x2E: case 0x2F: {
        uint32_t n = m_in.u16();
        if (m_version == 2)
            n = (n + 1) & ~1u;
        m_in.skip(n);
        return;
    }
    case 0xA0:
        m_in.skip(2);
        return;
    case 0xA1: {
        m_in.skip(2); // kind
        uint32_t n = m_in.u16();
        if (m_version == 2)
            n = (n + 1) & ~1u;
        m_in.skip(n);
        return;
    }
    case 0x0C00: {
        Bytes h = m_in.bytes(24);
        int version = int16_t(h[0] << 8 | h[1]);
        if (version != -1 && version != -2)
            throw PictError { 1, 0 };
        if (version == -2) {
            uint32_t hRes = uint32_t(h[4]) << 24 | h[5] << 16 | h[6] << 8 | h[7];
            uint32_t vRes = uint32_t(h[8]) << 24 | h[9] << 16 | h[10] << 8 | h[11];
            if ((hRes != 72u << 16 || vRes != 72u << 16) && !m_ops.acceptsAnyResolution)
                throw PictError { 2, 0 };
            auto s16 = [&](int at) { return int(int16_t(h[at] << 8 | h[at + 1])); };
            Rect source { s16(14), s16(12), s16(18), s16(16) };
            // An empty source rect would leave the mapping nothing to divide by.
            if (source.width() <= 0 || source.height() <= 0)
                throw PictError { 1, 0 };
            m_map.frame = source;
            m_map.origin = { source.left, source.top };
        }
        return;
    }
    case 0x90: case 0x98: case 0x99: case 0x9A:
        bits(op);
        if (m_version == 2)
            m_in.alignEven();
        return;
    default:
        break;
    }
    if (op >= 0x30 && op <= 0x3C && (op & 7) <= 4) {
        if (op < 0x38)
            m_lastRect = m_in.rect();
        m_ops.rect(Verb(op & 7), m_map.map(m_lastRect));
        return;
    }
    if ((op >= 0x40 && op <= 0x42) || (op >= 0x48 && op <= 0x4A)) {
        if (op < 0x48)
            m_lastRect = m_in.rect();
        Rect r = m_map.map(m_lastRect);
        Rect oval = m_map.map(Rect { 0, 0, m_ovalSize.x, m_ovalSize.y });
        m_ops.roundRect(Verb(op & 7), r, clampInt(int64_t(m_map.scaled() ? oval.width() : m_ovalSize.x)),
            clampInt(int64_t(m_map.scaled() ? oval.height() : m_ovalSize.y)));
        return;
    }
    if (op >= 0x50 && op <= 0x5C && (op & 7) <= 4) {
        if (op < 0x58)
            m_lastRect = m_in.rect();
        m_ops.oval(Verb(op & 7), m_map.map(m_lastRect));
        return;
    }
    if (op >= 0x60 && op <= 0x6C && (op & 7) <= 4) {
        if (op < 0x68)
            m_lastRect = m_in.rect();
        int start = m_in.s16(), angle = m_in.s16();
        m_ops.arc(Verb(op & 7), m_map.map(m_lastRect), start, angle);
        return;
    }
    if (op == 0x70 || op == 0x71) {
        uint16_t size = sizeWord();
        if (size < 10)
            throw PictError { 1, 0 };
        m_in.skip(8); // bounding box
        std::vector<Point> points;
        size_t count = (size - 10) / 4;
        points.reserve(count);
        for (size_t i = 0; i < count; ++i)
            points.push_back(m_map.map(m_in.point()));
        m_in.skip((size - 10) % 4);
        m_ops.polygon(Verb(op & 7), points);
        return;
    }
    if (op >= 0x80 && op <= 0x84) {
        uint16_t size = sizeWord();
        m_in.skip(size - 2);
        return;
    }
    throw PictError { 4, uint32_t(op) };
}

void Interpreter::bits(int op)
{
    PictBitmap bm;
    bm.opcode = op;
    if (op == 0x9A)
        m_in.skip(4); // base address
    uint16_t rowBytesWord = m_in.u16();
    bm.isPixMap = rowBytesWord & 0x8000;
    bm.rowBytes = rowBytesWord & 0x3FFF;
    bm.bounds = m_in.rect();
    if (bm.bounds.width() <= 0 || bm.bounds.height() <= 0 || bm.rowBytes == 0)
        throw PictError { 5, uint32_t(op) };
    if (op == 0x9A && !bm.isPixMap)
        throw PictError { 5, uint32_t(op) };
    if (bm.isPixMap) {
        m_in.skip(2); // version
        bm.packType = m_in.u16();
        m_in.skip(4 + 4 + 4); // packSize, hRes, vRes
        m_in.skip(2);         // pixelType
        bm.pixelSize = m_in.u16();
        bm.cmpCount = m_in.u16();
        m_in.skip(2 + 4 + 4 + 4); // cmpSize, planeBytes, table handle, reserved
        if (bm.rowBytes & 1)
            throw PictError { 5, uint32_t(op) };
        switch (bm.pixelSize) {
        case 1: case 2: case 4: case 8: case 16: case 32: break;
        default: throw PictError { 5, uint32_t(op) };
        }
        if (bm.packType == 2)
            throw PictError { 5, uint32_t(op) };
        if (bm.pixelSize == 32 && bm.cmpCount != 3 && bm.cmpCount != 4)
            throw PictError { 5, uint32_t(op) };
        if (bm.pixelSize == 16 && bm.packType != 0 && bm.packType != 1 && bm.packType != 3)
            throw PictError { 5, uint32_t(op) };
        if (bm.pixelSize == 32 && bm.packType != 0 && bm.packType != 1 && bm.packType != 4)
            throw PictError { 5, uint32_t(op) };
        if (bm.pixelSize <= 8 && bm.packType > 1)
            throw PictError { 5, uint32_t(op) };
        if ((op == 0x9A) != (bm.pixelSize >= 16))
            throw PictError { 5, uint32_t(op) };
        if (op != 0x9A && bm.pixelSize <= 8) {
            m_in.skip(4 + 2); // seed, flags
            uint32_t entries = uint32_t(m_in.u16()) + 1;
            if (entries > 256)
                throw PictError { 1, 0 };
            m_in.need(uint64_t(entries) * 8);
            bm.colorTable.assign(size_t(1) << bm.pixelSize, kBlack);
            for (uint32_t i = 0; i < entries; ++i) {
                uint16_t value = m_in.u16();
                uint8_t r = uint8_t(m_in.u16() >> 8), g = uint8_t(m_in.u16() >> 8), b = uint8_t(m_in.u16() >> 8);
                // Entries are placed by their value; a value beyond the depth's range is ignored.
                size_t index = (value < bm.colorTable.size()) ? value : i;
                if (index < bm.colorTable.size())
                    bm.colorTable[index] = { r, g, b };
            }
        }
    } else {
        if (op == 0x90 && bm.rowBytes >= 8)
            throw PictError { 5, uint32_t(op) };
        bm.colorTable = { kWhite, kBlack };
    }
    int64_t width = bm.bounds.width();
    if (int64_t(bm.rowBytes) * 8 < width * bm.pixelSize)
        throw PictError { 5, uint32_t(op) };
    if (width * bm.bounds.height() > kMaxImagePixels)
        throw PictError { 8, uint32_t(op) };
    bm.sourceRect = m_in.rect();
    bm.destRect = m_in.rect();
    bm.modeOffset = m_in.position();
    bm.mode = m_in.u16();
    if (op == 0x99) {
        uint16_t size = sizeWord();
        m_in.skip(size - 2);
        m_ops.error(4, 0x99);
    }
    bm.mappedDest = m_map.map(bm.destRect);
    decodeRows(bm);
    m_ops.bits(bm);
}

// Reads (and, when the table wants them, decodes) the pixel rows.
void Interpreter::decodeRows(PictBitmap& bm)
{
    const int rows = bm.bounds.height();
    const int width = bm.bounds.width();
    const int rowBytes = bm.rowBytes;
    const bool direct = bm.pixelSize >= 16;
    const bool unpacked = bm.packType == 1 || rowBytes < 8 || (!bm.isPixMap && bm.opcode == 0x90);
    const int planes = bm.pixelSize == 32 ? bm.cmpCount : 1;
    // Bytes of one unpacked row as stored.
    const size_t rowSize = bm.pixelSize == 32 && !unpacked ? size_t(width) * size_t(planes) : size_t(rowBytes);
    if (unpacked)
        m_in.need(uint64_t(rowBytes) * uint64_t(rows));
    else
        m_in.need(uint64_t(rows)); // at least a count byte per row

    std::unique_ptr<Surface> surface;
    if (m_ops.wantsPixels()) {
        int depth = direct ? (bm.pixelSize == 32 && bm.cmpCount == 4 ? 32 : 24) : (bm.pixelSize == 2 ? 4 : bm.pixelSize);
        Palette palette(bm.colorTable);
        surface = Surface::make(width, rows, depth, RowOrder::TopDown, direct ? nullptr : &palette);
        if (!surface)
            throw PictError { 8, uint32_t(bm.opcode) };
    }
    std::vector<uint8_t> row(rowSize);
    for (int y = 0; y < rows; ++y) {
        if (unpacked) {
            Bytes stored = m_in.bytes(uint64_t(rowBytes));
            std::fill(row.begin(), row.end(), 0);
            std::memcpy(row.data(), stored.data(), std::min(stored.size(), row.size()));
        } else {
            uint32_t count = rowBytes > 250 ? m_in.u16() : m_in.u8();
            Bytes packed = m_in.bytes(count);
            if (!surface)
                continue;
            std::fill(row.begin(), row.end(), 0);
            if (!unpackBits(packed, row, bm.pixelSize == 16 ? 2 : 1))
                throw PictError { 1, 0 };
        }
        if (!surface)
            continue;
        uint8_t* out = surface->row(y);
        switch (bm.pixelSize) {
        case 1: case 4: case 8:
            std::memcpy(out, row.data(), std::min<size_t>(size_t(Surface::strideFor(width, bm.pixelSize)), row.size()));
            break;
        case 2:
            for (int x = 0; x < width; ++x) {
                int p = row[size_t(x / 4)] >> (6 - 2 * (x % 4)) & 3;
                out[x / 2] |= uint8_t(x % 2 ? p : p << 4);
            }
            break;
        case 16:
            for (int x = 0; x < width; ++x) {
                int v = row[size_t(2 * x)] << 8 | row[size_t(2 * x + 1)];
                auto five = [](int c) { return uint8_t(c * 8 + c / 4); };
                out[3 * x] = five(v & 31);
                out[3 * x + 1] = five(v >> 5 & 31);
                out[3 * x + 2] = five(v >> 10 & 31);
            }
            break;
        case 32: {
            int bpp = surface->depth() / 8;
            for (int x = 0; x < width; ++x) {
                uint8_t a = 255, r, g, b;
                if (unpacked) {
                    a = row[size_t(4 * x)];
                    r = row[size_t(4 * x + 1)];
                    g = row[size_t(4 * x + 2)];
                    b = row[size_t(4 * x + 3)];
                } else {
                    size_t w = size_t(width), first = planes == 4 ? 1 : 0;
                    if (planes == 4)
                        a = row[size_t(x)];
                    r = row[first * w + size_t(x)];
                    g = row[(first + 1) * w + size_t(x)];
                    b = row[(first + 2) * w + size_t(x)];
                }
                out[bpp * x] = b;
                out[bpp * x + 1] = g;
                out[bpp * x + 2] = r;
                if (bpp == 4)
                    out[bpp * x + 3] = a;
            }
            break;
        }
        }
    }
    bm.pixels = std::move(surface);
}

} // namespace

int playPicture(Bytes data, Rect dest, PictOperations& ops)
{
    // Too short to hold a frame and a version, or no frame: refused before begin.
    Rect frame = pictFrame(data);
    if (data.size() <= 12 || frame.width() <= 0 || frame.height() <= 0) {
        ops.error(1, 0);
        return 1;
    }
    Interpreter interpreter(data, dest, ops);
    ops.begin();
    int code = 0;
    try {
        interpreter.run();
    } catch (const PictError& e) {
        ops.error(e.code, e.detail);
        code = e.code;
    } catch (const std::bad_alloc&) {
        ops.error(8, 0);
        code = 8;
    }
    ops.end(data.size());
    return code;
}

// ---- The measuring tables ----

namespace {

class MeasureOperations final : public PictOperations {
public:
    explicit MeasureOperations(PictFacts& facts) : m_facts(facts) { acceptsAnyResolution = true; }
    void error(int code, uint32_t detail) override
    {
        if (!(code == 4 && detail == 0x99))
            m_facts.errorCode = code;
    }
    void bits(PictBitmap& bm) override
    {
        m_facts.hasBitmap = true;
        m_facts.lastBitmapDest = bm.destRect;
        m_facts.lastMode = bm.mode;
        int depth = bm.pixelSize == 32 && bm.cmpCount < 4 ? 24 : bm.pixelSize;
        m_facts.depth = std::max(m_facts.depth, depth);
    }

private:
    PictFacts& m_facts;
};

class RewriteOperations final : public PictOperations {
public:
    RewriteOperations(std::span<uint8_t> data, int mode) : m_data(data) { overrideMode = mode; acceptsAnyResolution = true; }
    void bits(PictBitmap& bm) override
    {
        if (!bm.isPixMap)
            return;
        int word = (overrideMode & ~kDitherFlag) | (bm.mode & kDitherFlag);
        m_data[bm.modeOffset] = uint8_t(word >> 8);
        m_data[bm.modeOffset + 1] = uint8_t(word);
    }

private:
    std::span<uint8_t> m_data;
};

} // namespace

PictFacts measurePicture(Bytes data)
{
    PictFacts facts;
    Rect frame = pictFrame(data);
    MeasureOperations ops(facts);
    playPicture(data, frame, ops);
    return facts;
}

int rewritePictureModes(std::span<uint8_t> data, int mode)
{
    RewriteOperations ops(data, mode);
    return playPicture(data, pictFrame(data), ops);
}

// ---- Recognition ----

ImageFormat recognizeImage(Bytes d)
{
    static const uint8_t pngSignature[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    const size_t n = d.size();
    if (n >= 8 && std::memcmp(d.data(), pngSignature, 8) == 0)
        return ImageFormat::Png;
    if (n > 2 && d[0] == 0xFF && d[1] == 0xD8)
        return ImageFormat::Jpeg;
    if (n >= 40) {
        uint32_t headerSize = d[0] | d[1] << 8 | d[2] << 16 | uint32_t(d[3]) << 24;
        int planes = d[12] | d[13] << 8, bits = d[14] | d[15] << 8;
        if (headerSize == 40 && planes == 1
            && (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32))
            return ImageFormat::PackedBitmap;
    }
    if (n > 13) {
        Rect frame = pictFrame(d);
        if (frame.top < frame.bottom && frame.left < frame.right
            && ((d[10] == 0x11 && d[11] == 0x01) || (d[10] == 0x00 && d[11] == 0x11 && d[12] == 0x02 && d[13] == 0xFF)))
            return ImageFormat::Pict;
    }
    return ImageFormat::Unknown;
}
