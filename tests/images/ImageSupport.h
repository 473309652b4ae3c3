// tests/images/ImageSupport.h: byte fixtures for pictures and packed bitmaps, built in the tests.
#pragma once

#include "Platform/Images/Images.h"
#include "tests/paint/PaintSupport.h"

#include <string>
#include <vector>

// A picture written opcode by opcode: version 1 (one-byte opcodes) or 2 (two-byte opcodes at even
// offsets, after a HeaderOp).
class PictBuilder {
public:
    PictBuilder(int version, Rect frame, bool header = true) : m_version(version)
    {
        u16(0);
        rect(frame);
        if (version == 1) {
            u8(0x11);
            u8(0x01);
        } else {
            u16(0x0011);
            u16(0x02FF);
            if (header) {
                op(0x0C00);
                u16(0xFFFF);
                for (int i = 0; i < 22; ++i)
                    u8(0);
            }
        }
    }
    PictBuilder& op(int code)
    {
        if (m_version == 2) {
            if (m_bytes.size() & 1)
                u8(0);
            u16(uint16_t(code));
        } else {
            u8(uint8_t(code));
        }
        return *this;
    }
    PictBuilder& u8(uint8_t v)
    {
        m_bytes.push_back(v);
        return *this;
    }
    PictBuilder& u16(uint16_t v) { return u8(uint8_t(v >> 8)).u8(uint8_t(v)); }
    PictBuilder& u32(uint32_t v) { return u16(uint16_t(v >> 16)).u16(uint16_t(v)); }
    PictBuilder& rect(Rect r) { return u16(uint16_t(r.top)).u16(uint16_t(r.left)).u16(uint16_t(r.bottom)).u16(uint16_t(r.right)); }
    PictBuilder& point(int h, int v) { return u16(uint16_t(v)).u16(uint16_t(h)); }
    PictBuilder& bytes(const std::vector<uint8_t>& b)
    {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    size_t size() const { return m_bytes.size(); }
    std::vector<uint8_t> end()
    {
        op(0xFF);
        std::vector<uint8_t> out = m_bytes;
        out[0] = uint8_t(out.size() >> 8);
        out[1] = uint8_t(out.size());
        return out;
    }
    std::vector<uint8_t> unfinished() const { return m_bytes; }

private:
    int m_version;
    std::vector<uint8_t> m_bytes;
};

// The colours of the fixtures' symbols: '.' white, '#' black, 'r' red, 'g' green.
inline Rgb colourOf(char symbol)
{
    switch (symbol) {
    case '#': return kBlack;
    case 'r': return { 255, 0, 0 };
    case 'g': return { 0, 255, 0 };
    default: return kWhite;
    }
}
// Colour table index of a symbol: 0 white, 1 black, 2 red, 3 green.
inline int indexOf(char symbol)
{
    switch (symbol) {
    case '#': return 1;
    case 'r': return 2;
    case 'g': return 3;
    default: return 0;
    }
}

// Literal-only PackBits: independent of the packer under test.
inline std::vector<uint8_t> literalPackBits(const std::vector<uint8_t>& row, int itemSize)
{
    std::vector<uint8_t> out;
    size_t items = row.size() / size_t(itemSize);
    for (size_t i = 0; i < items; i += 128) {
        size_t n = std::min<size_t>(128, items - i);
        out.push_back(uint8_t(n - 1));
        out.insert(out.end(), row.begin() + long(i * size_t(itemSize)), row.begin() + long((i + n) * size_t(itemSize)));
    }
    return out;
}

struct BitsLayout {
    int opcode;       // 0x90, 0x98, 0x99 or 0x9A
    bool pixMap;
    int pixelSize;
    int packType;
    int cmpCount;
    int rowBytes;
};

// The unpacked bytes of one row of symbols in a layout.
inline std::vector<uint8_t> rowBytesOf(const BitsLayout& l, const std::string& row)
{
    const int width = int(row.size());
    bool planar = l.pixelSize == 32 && l.packType != 1 && l.rowBytes >= 8;
    std::vector<uint8_t> out(planar ? size_t(width * l.cmpCount) : size_t(l.rowBytes), 0);
    for (int x = 0; x < width; ++x) {
        Rgb c = colourOf(row[size_t(x)]);
        switch (l.pixelSize) {
        case 1: case 2: case 4: case 8: {
            int index = l.pixelSize == 1 ? (row[size_t(x)] == '#') : indexOf(row[size_t(x)]);
            int bit = x * l.pixelSize;
            out[size_t(bit / 8)] |= uint8_t(index << (8 - l.pixelSize - bit % 8));
            break;
        }
        case 16: {
            uint16_t v = uint16_t((c.red >> 3) << 10 | (c.green >> 3) << 5 | c.blue >> 3);
            out[size_t(2 * x)] = uint8_t(v >> 8);
            out[size_t(2 * x + 1)] = uint8_t(v);
            break;
        }
        case 32:
            if (planar) {
                int first = l.cmpCount == 4 ? 1 : 0;
                if (l.cmpCount == 4)
                    out[size_t(x)] = 255;
                out[size_t(first * width + x)] = c.red;
                out[size_t((first + 1) * width + x)] = c.green;
                out[size_t((first + 2) * width + x)] = c.blue;
            } else {
                out[size_t(4 * x)] = 255;
                out[size_t(4 * x + 1)] = c.red;
                out[size_t(4 * x + 2)] = c.green;
                out[size_t(4 * x + 3)] = c.blue;
            }
            break;
        }
    }
    return out;
}

// Appends a bits opcode drawing the rows at (left, top) of a version 2 picture.
inline void addBits(PictBuilder& p, const BitsLayout& l, const std::vector<std::string>& rows, int mode,
    Point at = { 0, 0 })
{
    const int width = int(rows[0].size()), height = int(rows.size());
    Rect bounds { 0, 0, width, height };
    Rect dest { at.x, at.y, at.x + width, at.y + height };
    p.op(l.opcode);
    if (l.opcode == 0x9A)
        p.u32(0xFF);
    p.u16(uint16_t(l.rowBytes | (l.pixMap ? 0x8000 : 0)));
    p.rect(bounds);
    if (l.pixMap) {
        p.u16(0).u16(uint16_t(l.packType)).u32(0).u32(72 << 16).u32(72 << 16);
        p.u16(l.pixelSize >= 16 ? 16 : 0).u16(uint16_t(l.pixelSize)).u16(uint16_t(l.cmpCount));
        p.u16(uint16_t(l.pixelSize >= 16 ? 8 : l.pixelSize)).u32(0).u32(0).u32(0);
        if (l.pixelSize <= 8) {
            p.u32(0).u16(0).u16(3);
            const Rgb table[4] = { kWhite, kBlack, { 255, 0, 0 }, { 0, 255, 0 } };
            for (int i = 0; i < 4; ++i)
                p.u16(uint16_t(i)).u16(uint16_t(table[i].red * 257)).u16(uint16_t(table[i].green * 257)).u16(uint16_t(table[i].blue * 257));
        }
    }
    p.rect(bounds);
    p.rect(dest);
    p.u16(uint16_t(mode));
    if (l.opcode == 0x99)
        p.u16(10).rect(bounds);
    const bool unpacked = l.packType == 1 || l.rowBytes < 8 || (!l.pixMap && l.opcode == 0x90);
    for (const std::string& row : rows) {
        std::vector<uint8_t> bytes = rowBytesOf(l, row);
        if (unpacked) {
            p.bytes(bytes);
            continue;
        }
        std::vector<uint8_t> packed = literalPackBits(bytes, l.pixelSize == 16 ? 2 : 1);
        if (l.rowBytes > 250)
            p.u16(uint16_t(packed.size()));
        else
            p.u8(uint8_t(packed.size()));
        p.bytes(packed);
    }
}

// A packed bitmap: header, colour table, then rows bottom-up (or as given when topDown).
inline std::vector<uint8_t> packedBitmap(int width, int height, int bits, uint32_t colorsUsed,
    const std::vector<Rgb>& table, const std::vector<std::vector<uint8_t>>& rowsTopDown, uint32_t compression = 0,
    const std::vector<uint32_t>& masks = {})
{
    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i))); };
    auto put16 = [&](uint16_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); };
    put32(40);
    put32(uint32_t(width));
    put32(uint32_t(height));
    put16(1);
    put16(uint16_t(bits));
    put32(compression);
    put32(0);
    put32(2834);
    put32(2834);
    put32(colorsUsed);
    put32(0);
    for (uint32_t m : masks)
        put32(m);
    for (Rgb c : table)
        out.insert(out.end(), { c.blue, c.green, c.red, 0 });
    size_t stride = size_t(Surface::strideFor(width, bits));
    for (size_t i = 0; i < rowsTopDown.size(); ++i) {
        const auto& row = height > 0 ? rowsTopDown[rowsTopDown.size() - 1 - i] : rowsTopDown[i];
        size_t start = out.size();
        out.insert(out.end(), row.begin(), row.end());
        out.resize(start + stride, 0);
    }
    return out;
}
