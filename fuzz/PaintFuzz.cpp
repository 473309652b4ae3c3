// fuzz/PaintFuzz.cpp: drives the painter with arbitrary operations and coordinates. Bytes pick
// the surfaces (depth, size, row order), the state (origin, clip, pen, brush, raster operation)
// and a sequence of shapes and blits with 16-bit coordinates; any crash or sanitizer report is a
// fault. The painter has no Lisp in it, so the runtime is not started.
#include "Platform/Paint/Paint.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace {

struct Bytes {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t byte() { return at < size ? data[at++] : 0; }
    int16_t coordinate() { return int16_t(byte() | byte() << 8); }
    int32_t word() { return int32_t(uint32_t(byte()) | uint32_t(byte()) << 8 | uint32_t(byte()) << 16 | uint32_t(byte()) << 24); }
    Rect hugeRect() { return { word(), word(), word(), word() }; }
    Point hugePoint() { return { word(), word() }; }
    int small() { return int(byte() % 40) - 8; }
    Rect rect() { return { coordinate(), coordinate(), coordinate(), coordinate() }; }
    Rect smallRect() { return { small(), small(), small(), small() }; }
    Point point() { return { coordinate(), coordinate() }; }
    Point smallPoint() { return { small(), small() }; }
    bool more() const { return at < size; }
};

std::unique_ptr<Surface> surfaceFrom(Bytes& in)
{
    static const int depths[] = { 1, 4, 8, 24, 32 };
    int depth = depths[in.byte() % 5];
    int width = in.byte() % 33, height = in.byte() % 33;
    RowOrder order = (in.byte() & 1) ? RowOrder::BottomUp : RowOrder::TopDown;
    return std::make_unique<Surface>(width, height, depth, order);
}

int paintInput(const uint8_t* data, size_t size)
{
    Bytes in { data, size };
    auto a = surfaceFrom(in), b = surfaceFrom(in);
    DeviceContext dc(*a), other(*b);
    while (in.more()) {
        // Coordinates near the surface, 16-bit ones, or any 32-bit ones.
        int range = in.byte() % 3;
        auto rect = [&] { return range == 0 ? in.smallRect() : range == 1 ? in.rect() : in.hugeRect(); };
        auto point = [&] { return range == 0 ? in.smallPoint() : range == 1 ? in.point() : in.hugePoint(); };
        switch (in.byte() % 22) {
        case 0: dc.setWindowOrigin(point()); break;
        case 1: dc.setClipRects({ in.smallRect(), in.smallRect() }); break;
        case 2: dc.intersectClipRect(rect()); break;
        case 3: dc.removeClip(); break;
        case 4: dc.setPen({ PenStyle(in.byte() % 7), range == 2 ? in.word() : int(in.byte() % 12), Rgb { in.byte(), in.byte(), in.byte() } }); break;
        case 5: dc.setBrush(Brush::monoPattern({ in.byte(), in.byte(), in.byte(), in.byte(), in.byte(), in.byte(), in.byte(), in.byte() })); break;
        case 6: dc.setRop2(int(in.byte() % 18)); break;
        case 7: dc.lineTo(point()); break;
        case 8: dc.rectangle(rect()); break;
        case 9: dc.ellipse(rect()); break;
        case 10: dc.roundRect(rect(), range == 2 ? in.word() : in.small(), range == 2 ? in.word() : in.small()); break;
        case 11: dc.arc(rect(), point(), point()); break;
        case 12: dc.pie(rect(), point(), point()); break;
        case 13: {
            std::vector<Point> points(in.byte() % 7);
            for (auto& p : points)
                p = point();
            dc.setFillMode((in.byte() & 1) ? FillMode::Winding : FillMode::EvenOdd);
            dc.polygon(points);
            break;
        }
        case 14: dc.bitBlt(rect(), &other, point(), uint32_t(in.byte()) << 16); break;
        case 15: dc.stretchBlt(rect(), &other, rect(), uint32_t(in.byte()) << 16); break;
        case 16: dc.stretchBlt(rect(), &dc, rect(), Rop3::SrcCopy); break;
        case 17: dc.transparentBlt(rect(), other, rect(), kWhite); break;
        case 18: blendCopy(*a, point(), *b, rect(), BlendMode(in.byte() % 4)); break;
        case 19: dc.invertRect(rect()); break;
        case 20: dc.setPixel(point(), Rgb { in.byte(), 0, 0 }); break;
        case 21: other.setBrush(Brush::solid(PaintColor::fromPalette(in.byte(), kBlack))); other.fillRect(rect(), other.brush()); break;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) { return LLVMFuzzerRunDriver(&argc, &argv, paintInput); }
