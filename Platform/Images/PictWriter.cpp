// Platform/Images/PictWriter.cpp: surfaces written as version 2 pictures.
#include "Platform/Images/Images.h"

namespace {

class Writer {
public:
    void u8(uint8_t v) { m_out.push_back(v); }
    void u16(uint16_t v)
    {
        u8(uint8_t(v >> 8));
        u8(uint8_t(v));
    }
    void u32(uint32_t v)
    {
        u16(uint16_t(v >> 16));
        u16(uint16_t(v));
    }
    // top, left, bottom, right
    void rect(int width, int height)
    {
        u16(0);
        u16(0);
        u16(uint16_t(height));
        u16(uint16_t(width));
    }
    void bytes(const std::vector<uint8_t>& b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
    void alignEven()
    {
        if (m_out.size() & 1)
            u8(0);
    }
    std::vector<uint8_t>& out() { return m_out; }

private:
    std::vector<uint8_t> m_out;
};

constexpr uint32_t kFixed72 = 72u << 16;

void pixMapHeader(Writer& w, int packType, int pixelType, int pixelSize, int cmpCount, int cmpSize)
{
    w.u16(0); // version
    w.u16(uint16_t(packType));
    w.u32(0); // packSize
    w.u32(kFixed72);
    w.u32(kFixed72);
    w.u16(uint16_t(pixelType));
    w.u16(uint16_t(pixelSize));
    w.u16(uint16_t(cmpCount));
    w.u16(uint16_t(cmpSize));
    w.u32(0); // planeBytes
    w.u32(0); // colour table handle
    w.u32(0); // reserved
}

// One row: raw below 8 row bytes, else its packed length and PackBits data.
void row(Writer& w, const std::vector<uint8_t>& bytes, int rowBytes, int itemSize)
{
    if (rowBytes < 8) {
        w.bytes(bytes);
        return;
    }
    std::vector<uint8_t> packed;
    packBits(bytes, itemSize, packed);
    if (rowBytes > 250)
        w.u16(uint16_t(packed.size()));
    else
        w.u8(uint8_t(packed.size()));
    w.bytes(packed);
}

} // namespace

std::vector<uint8_t> writePicture(const Surface& s)
{
    const int width = s.width(), height = s.height();
    const bool indexed = s.depth() == 8;
    const int rowBytes = indexed ? (width + 1) & ~1 : width * 2;
    if (width <= 0 || height <= 0 || height > 32767 || rowBytes > 0x3FFE)
        return {};
    Writer w;
    w.u16(0); // size word, set below
    w.rect(width, height);
    w.u16(0x0011);
    w.u16(0x02FF);
    w.u16(0x0C00);
    if (indexed) {
        w.u16(0xFFFE);
        w.u16(0);
        w.u32(kFixed72);
        w.u32(kFixed72);
        w.rect(width, height);
        w.u32(0);
    } else {
        w.u16(0xFFFF);
        w.u16(0xFFFF);
        w.u32(0);                    // left
        w.u32(0);                    // top
        w.u32(uint32_t(width) << 16); // right
        w.u32(uint32_t(height) << 16); // bottom
        w.u32(0);
    }
    w.u16(0x001E);
    w.u16(0x0001);
    w.u16(10);
    w.rect(width, height);

    std::vector<uint8_t> line(size_t(rowBytes), 0);
    if (indexed) {
        w.u16(0x0098);
        w.u16(uint16_t(rowBytes | 0x8000));
        w.rect(width, height);
        pixMapHeader(w, 0, 0, 8, 1, 8);
        const Palette& palette = s.palette();
        w.u32(0);
        w.u16(0);
        w.u16(uint16_t(palette.size() - 1));
        for (int i = 0; i < palette.size(); ++i) {
            w.u16(uint16_t(i));
            w.u16(uint16_t(palette[i].red * 257));
            w.u16(uint16_t(palette[i].green * 257));
            w.u16(uint16_t(palette[i].blue * 257));
        }
        w.rect(width, height);
        w.rect(width, height);
        w.u16(0); // mode
        for (int y = 0; y < height; ++y) {
            std::copy(s.row(y), s.row(y) + width, line.begin());
            row(w, line, rowBytes, 1);
        }
    } else {
        w.u16(0x009A);
        w.u32(0x000000FF);
        w.u16(uint16_t(rowBytes | 0x8000));
        w.rect(width, height);
        pixMapHeader(w, 3, 16, 16, 3, 5);
        w.rect(width, height);
        w.rect(width, height);
        w.u16(0); // mode
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                Rgb c = s.colorAt(x, y);
                uint16_t v = uint16_t((c.red >> 3) << 10 | (c.green >> 3) << 5 | c.blue >> 3);
                line[size_t(2 * x)] = uint8_t(v >> 8);
                line[size_t(2 * x + 1)] = uint8_t(v);
            }
            row(w, line, rowBytes, 2);
        }
    }
    w.alignEven();
    w.u16(0x00FF);
    std::vector<uint8_t>& out = w.out();
    out[0] = uint8_t(out.size() >> 8);
    out[1] = uint8_t(out.size());
    return std::move(out);
}
