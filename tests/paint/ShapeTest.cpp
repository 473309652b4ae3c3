// tests/paint/ShapeTest.cpp: the shapes of the painter against pictures, and every shape under
// every binary raster operation.
#include "PaintSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>

namespace {

struct Canvas {
    Surface surface;
    DeviceContext dc;
    Canvas(int w, int h, int depth = 32)
        : surface(w, h, depth)
        , dc(surface)
    {
        surface.fill(kWhite);
        dc.setPen({ PenStyle::InsideFrame, 1, kBlack });
        dc.setBrush(Brush::null());
    }
};

Pen pen(int width, Rgb color = kBlack, PenStyle style = PenStyle::InsideFrame) { return { style, width, color }; }

TEST(Paint, Rectangles)
{
    const struct { const char* name; int penWidth; Brush brush; Rect rect; std::string expected; } cases[] = {
        { "frame pen 1", 1, Brush::null(), { 1, 1, 7, 6 },
            rows("........", ".######.", ".#....#.", ".#....#.", ".#....#.", ".######.", "........") },
        { "frame pen 3 stays inside", 3, Brush::null(), { 0, 0, 8, 7 },
            rows("########", "########", "########", "###..###", "########", "########", "########") },
        { "filled red with black pen", 1, Brush::solid(Rgb { 255, 0, 0 }), { 0, 0, 5, 4 },
            rows("#####...", "#rrr#...", "#rrr#...", "#####...", "........", "........", "........") },
        { "empty rect draws nothing", 1, Brush::solid(kBlack), { 5, 5, 5, 10 },
            rows("........", "........", "........", "........", "........", "........", "........") },
        { "pen wider than the rect fills it", 5, Brush::null(), { 2, 2, 5, 4 },
            rows("........", "........", "..###...", "..###...", "........", "........", "........") },
    };
    for (auto& c : cases) {
        Canvas canvas(8, 7);
        canvas.dc.setPen(pen(c.penWidth));
        canvas.dc.setBrush(c.brush);
        canvas.dc.rectangle(c.rect);
        EXPECT_EQ(picture(canvas.surface), c.expected) << c.name;
    }
}

std::string draw(int w, int h, const std::function<void(DeviceContext&)>& body, int depth = 32)
{
    Canvas canvas(w, h, depth);
    body(canvas.dc);
    return picture(canvas.surface);
}

TEST(Paint, Ellipses)
{
    EXPECT_EQ(draw(8, 8, [](DeviceContext& dc) { dc.ellipse({ 0, 0, 8, 8 }); }),
        rows("..####..", ".#....#.", "#......#", "#......#", "#......#", "#......#", ".#....#.", "..####.."));
    EXPECT_EQ(draw(10, 7, [](DeviceContext& dc) {
        dc.setPen(pen(3));
        dc.ellipse({ 0, 0, 10, 7 });
    }), rows("..######..", ".########.", "##########", "###....###", "##########", ".########.", "..######.."));
    EXPECT_EQ(draw(9, 9, [](DeviceContext& dc) {
        dc.setBrush(Brush::solid(Rgb { 255, 0, 0 }));
        dc.ellipse({ 0, 0, 9, 9 });
    }), rows("..#####..", ".##rrr##.", "##rrrrr##", "#rrrrrrr#", "#rrrrrrr#", "#rrrrrrr#", "##rrrrr##", ".##rrr##.",
            "..#####.."));
    // A null pen leaves the whole ellipse to the brush.
    EXPECT_EQ(draw(6, 4, [](DeviceContext& dc) {
        dc.setPen({ PenStyle::Null, 1, kBlack });
        dc.setBrush(Brush::solid(Rgb { 0, 0, 255 }));
        dc.ellipse({ 0, 0, 6, 4 });
    }), rows(".bbbb.", "bbbbbb", "bbbbbb", ".bbbb."));
}

TEST(Paint, RoundRects)
{
    EXPECT_EQ(draw(12, 8, [](DeviceContext& dc) { dc.roundRect({ 0, 0, 12, 8 }, 6, 6); }),
        rows(".##########.", "##........##", "#..........#", "#..........#", "#..........#", "#..........#",
            "##........##", ".##########."));
    EXPECT_EQ(draw(12, 8, [](DeviceContext& dc) {
        dc.setPen(pen(3));
        dc.roundRect({ 0, 0, 12, 8 }, 6, 6);
    }), rows(".##########.", "############", "############", "###......###", "###......###", "############",
            "############", ".##########."));
    // Corners larger than the rect are cut to it: a round rect as wide as its oval is an ellipse.
    EXPECT_EQ(draw(8, 8, [](DeviceContext& dc) { dc.roundRect({ 0, 0, 8, 8 }, 40, 40); }),
        draw(8, 8, [](DeviceContext& dc) { dc.ellipse({ 0, 0, 8, 8 }); }));
}

TEST(Paint, ArcsInBothDirections)
{
    const std::string quarter
        = rows(".....###...", "........#..", ".........#.", "..........#", "..........#", "..........#", "...........",
            "...........", "...........", "...........", "...........");
    const std::string threeQuarters
        = rows("...###.....", "..#........", ".#.........", "#..........", "#..........", "#.........#", "#.........#",
            "#.........#", ".#.......#.", "..#.....#..", "...#####...");
    EXPECT_EQ(draw(11, 11, [](DeviceContext& dc) { dc.arc({ 0, 0, 11, 11 }, { 10, 5 }, { 5, 0 }); }), quarter);
    EXPECT_EQ(draw(11, 11, [](DeviceContext& dc) {
        dc.setArcDirection(ArcDirection::Clockwise);
        dc.arc({ 0, 0, 11, 11 }, { 10, 5 }, { 5, 0 });
    }), threeQuarters);
    // Clockwise from top to right is the counter-clockwise arc from right to top.
    EXPECT_EQ(draw(11, 11, [](DeviceContext& dc) {
        dc.setArcDirection(ArcDirection::Clockwise);
        dc.arc({ 0, 0, 11, 11 }, { 5, 0 }, { 10, 5 });
    }), quarter);
    // Start and end on one radial: the whole ellipse.
    EXPECT_EQ(draw(11, 11, [](DeviceContext& dc) { dc.arc({ 0, 0, 11, 11 }, { 10, 5 }, { 20, 5 }); }),
        draw(11, 11, [](DeviceContext& dc) { dc.ellipse({ 0, 0, 11, 11 }); }));
    EXPECT_EQ(draw(11, 11, [](DeviceContext& dc) {
        dc.setBrush(Brush::solid(Rgb { 255, 0, 0 }));
        dc.pie({ 0, 0, 11, 11 }, { 10, 5 }, { 5, 0 });
    }), rows(".....###...", ".....#rr#..", ".....#rrr#.", ".....#rrrr#", ".....#rrrr#", ".....######", "...........",
            "...........", "...........", "...........", "..........."));
}

TEST(Paint, Lines)
{
    // The end point is not drawn by a thin pen.
    EXPECT_EQ(draw(10, 6, [](DeviceContext& dc) {
        dc.moveTo({ 0, 0 });
        dc.lineTo({ 9, 4 });
    }), rows("##........", "..##......", "....##....", "......##..", "........#.", ".........."));
    // A pen of 3 is a 3x3 square centred on the path, end included.
    EXPECT_EQ(draw(10, 6, [](DeviceContext& dc) {
        dc.setPen(pen(3));
        dc.moveTo({ 1, 1 });
        dc.lineTo({ 8, 3 });
    }), rows("####......", "########..", "##########", "..########", "......####", ".........."));
    EXPECT_EQ(draw(16, 1, [](DeviceContext& dc) {
        dc.setPen(pen(1, kBlack, PenStyle::Dot));
        dc.moveTo({ 0, 0 });
        dc.lineTo({ 16, 0 });
    }), rows("###...###...###."));
    // A polyline under XOR draws its shared corners once.
    EXPECT_EQ(draw(5, 5, [](DeviceContext& dc) {
        dc.setRop2(Rop2::XorPen);
        dc.setPen(pen(1, kWhite));
        dc.polyline({ { 0, 0 }, { 4, 0 }, { 4, 4 } });
    }), rows("#####", "....#", "....#", "....#", "....."));
    // The current position follows lineTo.
    Canvas canvas(4, 4);
    canvas.dc.moveTo({ 0, 3 });
    canvas.dc.lineTo({ 3, 3 });
    EXPECT_EQ(canvas.dc.currentPosition(), (Point { 3, 3 }));
}

TEST(Paint, PolygonFillModes)
{
    // A pentagram: the alternate rule leaves the centre pentagon empty, the winding rule fills it.
    std::vector<Point> star { { 8, 0 }, { 13, 15 }, { 0, 5 }, { 16, 5 }, { 3, 15 } };
    auto fill = [&](FillMode mode) {
        return draw(16, 16, [&](DeviceContext& dc) {
            dc.setFillMode(mode);
            dc.setPen({ PenStyle::Null, 1, kBlack });
            dc.setBrush(Brush::solid(kBlack));
            dc.polygon(star);
        });
    };
    std::string alternate = fill(FillMode::EvenOdd), winding = fill(FillMode::Winding);
    EXPECT_EQ(alternate[9 * 17 + 8], '.');
    EXPECT_EQ(winding[9 * 17 + 8], '#');
    EXPECT_EQ(alternate[2 * 17 + 8], '#'); // a point of the star
    // Outside the centre the two agree.
    for (size_t i = 0; i < alternate.size(); ++i) {
        if (alternate[i] != winding[i]) {
            EXPECT_EQ(alternate[i], '.') << i;
        }
    }
    // Pixel centres decide: a 4x3 rectangle as a polygon covers exactly 4x3 pixels.
    EXPECT_EQ(draw(6, 5, [](DeviceContext& dc) {
        dc.setPen({ PenStyle::Null, 1, kBlack });
        dc.setBrush(Brush::solid(kBlack));
        dc.polygon({ { 1, 1 }, { 5, 1 }, { 5, 4 }, { 1, 4 } });
    }), rows("......", ".####.", ".####.", ".####.", "......"));
    // The outline closes back to the first point.
    EXPECT_EQ(draw(5, 4, [](DeviceContext& dc) { dc.polygon({ { 0, 0 }, { 4, 0 }, { 4, 3 }, { 0, 3 } }); }),
        rows("#####", "#...#", "#...#", "#####"));
}

TEST(Paint, Patterns)
{
    const std::array<uint8_t, 8> grey { 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55 };
    const std::array<uint8_t, 8> stripes { 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0 };
    // 0 bits take the text colour, 1 bits the background colour; the pattern is anchored to the
    // device, not to the shape.
    EXPECT_EQ(draw(6, 3, [&](DeviceContext& dc) { dc.fillRect({ 1, 0, 6, 3 }, Brush::monoPattern(grey)); }),
        rows(".#.#.#", "..#.#.", ".#.#.#"));
    EXPECT_EQ(draw(10, 2, [&](DeviceContext& dc) {
        dc.setTextColor(Rgb { 255, 0, 0 });
        dc.setBackgroundColor(Rgb { 0, 0, 255 });
        dc.fillRect({ 0, 0, 10, 2 }, Brush::monoPattern(stripes));
    }), rows("bbbbrrrrbb", "bbbbrrrrbb"));
    EXPECT_EQ(draw(10, 1, [&](DeviceContext& dc) {
        dc.setBrushOrigin({ 2, 0 });
        dc.fillRect({ 0, 0, 10, 1 }, Brush::monoPattern(stripes));
    }), rows("##....####"));
    // A pattern through XOR inverts the pattern's white pixels only.
    EXPECT_EQ(draw(4, 2, [&](DeviceContext& dc) {
        dc.setRop2(Rop2::XorPen);
        dc.setBackgroundColor(kWhite);
        dc.fillRect({ 0, 0, 4, 2 }, Brush::monoPattern(grey));
    }), rows("#.#.", ".#.#"));
    std::array<Rgb, 64> colors;
    for (int i = 0; i < 64; ++i)
        colors[size_t(i)] = (i % 8) < 4 ? Rgb { 255, 255, 0 } : Rgb { 0, 255, 0 };
    EXPECT_EQ(draw(9, 1, [&](DeviceContext& dc) { dc.fillRect({ 0, 0, 9, 1 }, Brush::colorPattern(colors)); }),
        rows("yyyyggggy"));
}

TEST(Paint, ClipRegions)
{
    // An L-shaped clip of two bands.
    std::vector<Rect> lShape { { 0, 0, 2, 2 }, { 0, 2, 5, 4 } };
    auto filled = [&](const std::function<void(DeviceContext&)>& clip) {
        return draw(5, 4, [&](DeviceContext& dc) {
            clip(dc);
            dc.fillRect({ 0, 0, 5, 4 }, Brush::solid(kBlack));
        });
    };
    EXPECT_EQ(filled([&](DeviceContext& dc) { dc.setClipRects(lShape); }), rows("##...", "##...", "#####", "#####"));
    // A nested narrowing and the saved region put back give exactly the L again.
    EXPECT_EQ(filled([&](DeviceContext& dc) {
        dc.setClipRects(lShape);
        std::vector<Rect> saved = dc.clipRects();
        dc.intersectClipRect({ 1, 1, 4, 3 });
        EXPECT_EQ(dc.clipRects(), (std::vector<Rect> { { 1, 1, 2, 2 }, { 1, 2, 4, 3 } }));
        dc.setClipRects(saved);
    }), rows("##...", "##...", "#####", "#####"));
    // The clip is in device coordinates; drawing is in logical ones.
    EXPECT_EQ(draw(5, 4, [&](DeviceContext& dc) {
        dc.setWindowOrigin({ 10, 10 });
        dc.intersectClipRect({ 11, 11, 13, 12 });
        EXPECT_EQ(dc.clipRects(), (std::vector<Rect> { { 1, 1, 3, 2 } }));
        dc.fillRect({ 10, 10, 15, 14 }, Brush::solid(kBlack));
    }), rows(".....", ".##..", ".....", "....."));
    // Shapes clip too, and a clip that excludes everything draws nothing.
    EXPECT_EQ(draw(5, 4, [&](DeviceContext& dc) {
        dc.setClipRects(lShape);
        dc.ellipse({ 0, 0, 5, 4 });
    }), rows(".#...", "#....", "#...#", ".###."));
    EXPECT_EQ(filled([&](DeviceContext& dc) { dc.setClipRects({}); }), rows(".....", ".....", ".....", "....."));
    // Overlapping rects clip to their union, each pixel once (XOR shows a double visit).
    EXPECT_EQ(draw(5, 4, [&](DeviceContext& dc) {
        dc.setClipRects({ { 0, 0, 3, 3 }, { 1, 1, 4, 4 } });
        dc.setRop2(Rop2::XorPen);
        dc.fillRect({ 0, 0, 5, 4 }, Brush::solid(kWhite));
    }), rows("###..", "####.", "####.", ".###."));
    // Shapes far outside the surface return at once (no hang at extreme coordinates).
    EXPECT_EQ(draw(5, 4, [&](DeviceContext& dc) {
        dc.ellipse({ -32768, -32768, 32767, 32767 });
        dc.setPen(pen(9));
        dc.moveTo({ -32768, -32768 });
        dc.lineTo({ 32767, -32000 });
        dc.arc({ -32768, -32768, 32767, 32767 }, { 0, 0 }, { 1, 1 });
    }), rows(".....", ".....", ".....", "....."));
    // Coordinates beyond 16 bits (other callers than the Lisp primitives) do not overflow.
    EXPECT_EQ(draw(5, 4, [&](DeviceContext& dc) {
        dc.setWindowOrigin({ INT32_MIN, INT32_MAX });
        dc.rectangle({ INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX });
        dc.moveTo({ INT32_MAX, INT32_MIN });
        dc.lineTo({ INT32_MIN, INT32_MAX });
        dc.bitBlt({ INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX }, &dc, { INT32_MAX, 0 }, Rop3::SrcCopy);
        dc.setPen(pen(INT32_MAX));
        dc.roundRect({ INT32_MIN, INT32_MIN, -10, -10 }, INT32_MIN, INT32_MAX);
        dc.ellipse({ INT32_MIN, INT32_MIN, -10, -10 });
    }), rows(".....", ".....", ".....", "....."));
    // A huge pen costs no more than the clip's rows.
    EXPECT_EQ(draw(5, 4, [&](DeviceContext& dc) {
        dc.setPen(pen(32767));
        dc.moveTo({ -32768, 2 });
        dc.lineTo({ 32767, 2 });
    }), rows("#####", "#####", "#####", "#####"));
}

TEST(Paint, DashedRectangle)
{
    // The dots run on around the corners; with an opaque background the gaps take its colour.
    EXPECT_EQ(draw(8, 4, [](DeviceContext& dc) {
        dc.setPen({ PenStyle::Dot, 1, kBlack });
        dc.setBackgroundMode(BackgroundMode::Opaque);
        dc.setBackgroundColor(Rgb { 255, 0, 0 });
        dc.rectangle({ 0, 0, 8, 4 });
    }), rows("###rrr##", "#......#", "#......r", "rrr###rr"));
    EXPECT_EQ(draw(8, 4, [](DeviceContext& dc) {
        dc.setPen({ PenStyle::Dot, 1, kBlack });
        dc.setBackgroundMode(BackgroundMode::Transparent);
        dc.rectangle({ 0, 0, 8, 4 });
    }), rows("###...##", "#......#", "#.......", "...###.."));
}

TEST(Paint, WindowOrigin)
{
    EXPECT_EQ(draw(5, 3, [](DeviceContext& dc) {
        dc.setWindowOrigin({ -1, -1 });
        dc.rectangle({ 0, 0, 3, 2 });
    }), rows(".....", ".###.", ".###."));
}

// Under every binary raster operation each shape changes exactly the pixels it covers under copy,
// each to op(pen or brush, destination). Checked on every depth, pen sizes 1 and 3.
TEST(Paint, EveryShapeInEveryRasterOperation)
{
    struct Shape { const char* name; std::function<void(DeviceContext&)> draw; };
    const Shape shapes[] = {
        { "rectangle", [](DeviceContext& dc) { dc.rectangle({ 1, 1, 11, 9 }); } },
        { "ellipse", [](DeviceContext& dc) { dc.ellipse({ 1, 1, 11, 9 }); } },
        { "round rect", [](DeviceContext& dc) { dc.roundRect({ 1, 1, 11, 9 }, 5, 4); } },
        { "arc", [](DeviceContext& dc) { dc.arc({ 1, 1, 11, 9 }, { 11, 5 }, { 1, 9 }); } },
        { "pie", [](DeviceContext& dc) { dc.pie({ 1, 1, 11, 9 }, { 11, 5 }, { 1, 9 }); } },
        { "polygon", [](DeviceContext& dc) { dc.polygon({ { 2, 1 }, { 11, 4 }, { 1, 9 } }); } },
        { "line", [](DeviceContext& dc) { dc.moveTo({ 1, 2 }); dc.lineTo({ 10, 8 }); } },
    };
    const int depths[] = { 1, 4, 8, 24, 32 };
    for (int depth : depths)
        for (int width : { 1, 3 })
            for (auto& shape : shapes) {
                // The pen and brush as pixel values of this depth.
                Surface probe(1, 1, depth);
                uint32_t penValue = probe.valueOf(kBlack), brushValue = probe.valueOf(Rgb { 255, 0, 0 });
                if (depth == 1)
                    brushValue = probe.valueOf(kWhite);
                // Which pixels the shape takes, and from which: pen 1, brush 2.
                Surface coverage(12, 10, 32);
                DeviceContext cover(coverage);
                cover.setPen({ PenStyle::InsideFrame, width, Rgb { 0, 0, 1 } });
                cover.setBrush(Brush::solid(Rgb { 0, 0, 2 }));
                shape.draw(cover);
                for (int code = 1; code <= 16; ++code) {
                    Surface target(12, 10, depth);
                    uint32_t mask = depth == 32 ? 0xFFFFFFFF : depth == 24 ? 0xFFFFFF : (1u << depth) - 1;
                    auto background = [&](int x, int y) { return uint32_t(x * 7 + y * 13) * 0x01030507u & mask; };
                    for (int y = 0; y < 10; ++y)
                        for (int x = 0; x < 12; ++x)
                            target.setPixel(x, y, background(x, y));
                    DeviceContext dc(target);
                    dc.setPen({ PenStyle::InsideFrame, width, target.colorOf(penValue) });
                    dc.setBrush(Brush::solid(target.colorOf(brushValue)));
                    dc.setRop2(code);
                    shape.draw(dc);
                    int truth = code - 1;
                    for (int y = 0; y < 10; ++y)
                        for (int x = 0; x < 12; ++x) {
                            uint32_t d = background(x, y), taken = coverage.pixel(x, y);
                            uint32_t expected = d;
                            if (taken == 1 || taken == 2) {
                                uint32_t p = taken == 1 ? penValue : brushValue;
                                expected = (((truth & 8) ? (p & d) : 0) | ((truth & 4) ? (p & ~d) : 0)
                                               | ((truth & 2) ? (~p & d) : 0) | ((truth & 1) ? (~p & ~d) : 0))
                                    & mask;
                            }
                            ASSERT_EQ(target.pixel(x, y), expected) << shape.name << " depth " << depth << " pen " << width
                                                                     << " rop " << code << " at " << x << "," << y;
                        }
                }
            }
}

TEST(Paint, InvertRect)
{
    EXPECT_EQ(draw(4, 2, [](DeviceContext& dc) {
        dc.fillRect({ 0, 0, 2, 2 }, Brush::solid(kBlack));
        dc.invertRect({ 1, 0, 3, 2 });
    }), rows("#.#.", "#.#."));
    EXPECT_FALSE(Canvas(1, 1).dc.setRop2(0));
    EXPECT_FALSE(Canvas(1, 1).dc.setRop2(17));
}

TEST(Paint, SurfaceRowOrderAndDepths)
{
    for (RowOrder order : { RowOrder::TopDown, RowOrder::BottomUp })
        for (int depth : { 1, 4, 8, 24, 32 }) {
            Surface s(9, 3, depth, order);
            s.fill(kWhite);
            DeviceContext dc(s);
            dc.setPen({ PenStyle::Null, 1, kBlack });
            dc.setBrush(Brush::solid(kBlack));
            dc.rectangle({ 1, 0, 8, 1 });
            EXPECT_EQ(picture(s), rows(".#######.", ".........", ".........")) << depth;
            // Memory: a bottom-up surface keeps its top row last.
            const uint8_t* top = s.pixels() + (order == RowOrder::TopDown ? 0 : 2 * s.stride());
            EXPECT_NE(std::memcmp(top, s.pixels() + s.stride(), size_t(s.stride())), 0) << depth;
            EXPECT_EQ(s.stride() % 4, 0);
        }
    // Pixel memory owned elsewhere (an offscreen's, inside the Lisp address space), with a wider
    // stride than needed: rows land where the stride says, and the padding stays untouched.
    std::vector<uint8_t> memory(3 * 16, 0xEE);
    Surface wrapped(3, 3, 8, memory.data(), 16, RowOrder::BottomUp);
    DeviceContext wc(wrapped);
    wc.fillRect({ 0, 0, 3, 1 }, Brush::solid(PaintColor::fromPalette(5, Palette::standard()[5])));
    EXPECT_EQ(memory[32], 5);
    EXPECT_EQ(memory[34], 5);
    EXPECT_EQ(memory[35], 0xEE);
    EXPECT_EQ(memory[0], 0xEE);
    EXPECT_THROW(Surface(3, 3, 32, memory.data(), 8, RowOrder::TopDown), std::invalid_argument);
    EXPECT_THROW(Surface(4, 4, 16), std::invalid_argument);
    EXPECT_THROW(Surface(-1, 4, 8), std::invalid_argument);
    EXPECT_EQ(Surface::make(4, 4, 2), nullptr);
    EXPECT_EQ(Surface::make(40000, 4, 8), nullptr);
    ASSERT_NE(Surface::make(0, 0, 32), nullptr); // empty, but a surface: drawing into it does nothing
    auto empty = Surface::make(0, 0, 32);
    DeviceContext dc(*empty);
    dc.rectangle({ -5, -5, 5, 5 });
    dc.bitBlt({ 0, 0, 5, 5 }, &dc, { 0, 0 }, Rop3::SrcCopy);
}

TEST(Paint, StandardPaletteQuantization)
{
    const struct { Rgb in; Rgb quantized; int index; } cases[] = {
        { { 0xFF, 0, 0 }, { 0xFF, 0, 0 }, 249 },
        { { 0x75, 0x75, 0x75 }, { 0x80, 0x80, 0x80 }, 248 },         // grey 0x77 stands in for 0x80
        { { 0x40, 0x70, 0xA0 }, { 0x33, 0x66, 0x99 }, 52 },          // two roundings
        { { 0, 0x60, 0 }, { 0, 0x80, 0 }, 2 },                      // the missing cube green
        { { 0x98, 0xCB, 0xFE }, { 0xA6, 0xCA, 0xF0 }, 9 },
        { { 0xAA, 0xAA, 0xAA }, { 0xA0, 0xA0, 0xA4 }, 247 },
        { { 0x11, 0x11, 0x11 }, { 0x11, 0x11, 0x11 }, 105 },         // greys keep the 17 grid
        { { 0, 0, 0xEE }, { 0, 0, 0xEE }, 133 },                      // and so do pure ramps
        { { 0xFF, 0xFF, 0xCC }, { 0xFF, 0xFB, 0xF0 }, 246 },
    };
    for (auto& c : cases) {
        EXPECT_EQ(quantizeColor(c.in), c.quantized) << int(c.in.red) << "," << int(c.in.green) << "," << int(c.in.blue);
        EXPECT_EQ(quantizeToStandardPalette(c.in), c.index);
        // Drawn at depth 8 as a palette-relative colour, the pixel holds that index.
        Surface s(2, 1, 8);
        DeviceContext dc(s);
        int index = quantizeToStandardPalette(c.in);
        dc.setPixel({ 1, 0 }, PaintColor::fromPalette(index, Palette::standard()[index]));
        EXPECT_EQ(s.pixel(1, 0), uint32_t(c.index));
    }
    // A plain colour at depth 8 takes the nearest entry; the first of equal entries wins.
    Palette p({ { 0, 0, 0 }, { 10, 10, 10 }, { 10, 10, 10 }, { 200, 0, 0 } });
    EXPECT_EQ(p.nearestIndex({ 9, 9, 9 }), 1);
    EXPECT_EQ(p.nearestIndex({ 150, 20, 0 }), 3);
    EXPECT_EQ(p.nearestIndex({ 9, 9, 9 }), 1); // again, from the cache
    EXPECT_EQ(Palette::standard().size(), 256);
    EXPECT_EQ(Palette::standard()[246], (Rgb { 0xFF, 0xFB, 0xF0 }));
}

} // namespace

namespace {

// An elliptical clip region: a filled rect through it is the ellipse; saved and put back after a
// narrower clip, the region comes back exactly.
TEST(Paint, ClipToRegion)
{
    Region oval = Region::ellipse({ 0, 0, 9, 7 });
    Surface s(9, 7, 32);
    s.fill(kWhite);
    DeviceContext dc(s);
    dc.setClip(oval);
    Region saved = dc.clipRegion();
    dc.intersectClipRect({ 0, 0, 4, 4 });
    EXPECT_FALSE(dc.clipRegion() == saved);
    dc.setClip(saved);
    EXPECT_TRUE(dc.clipRegion() == oval);
    dc.fillRect({ 0, 0, 9, 7 }, Brush::solid(kBlack));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(s.colorAt(x, y) == kBlack, oval.contains(x, y)) << x << "," << y;
}

TEST(Paint, FillAndInvertRegions)
{
    Region two = Region::fromRects(std::vector<Rect> { { 10, 10, 12, 11 }, { 13, 11, 15, 12 } });
    EXPECT_EQ(draw(5, 2, [&](DeviceContext& dc) {
        dc.setWindowOrigin({ 10, 10 });
        dc.fillRegion(two, Brush::solid(Rgb { 255, 0, 0 }));
        dc.invertRegion(Region(Rect { 11, 10, 14, 12 }));
    }), rows("r?##.", ".##?r")); // inverted red is cyan, shown as '?'

}

// The pixels a drawing changed, as a region.
Region drawnRegion(int w, int h, const std::function<void(DeviceContext&)>& body)
{
    Surface s(w, h, 8);
    DeviceContext dc(s);
    dc.setPen({ PenStyle::Null, 1, kBlack });
    dc.setBrush(Brush::solid(kWhite));
    body(dc);
    std::vector<Rect> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (s.pixel(x, y))
                pixels.push_back({ x, y, x + 1, y + 1 });
    return Region::fromRects(pixels);
}

// Shapes drawn and the regions of the same shapes hold the same pixels, so hit tests agree with
// what is on the screen.
TEST(Paint, ShapesAgreeWithRegions)
{
    for (int w = 1; w <= 24; ++w)
        for (int h = 1; h <= 24; h += 3) {
            Rect r { 1, 2, 1 + w, 2 + h };
            EXPECT_TRUE(drawnRegion(30, 30, [&](DeviceContext& dc) { dc.ellipse(r); }) == Region::ellipse(r)) << w << "x" << h;
            EXPECT_TRUE(drawnRegion(30, 30, [&](DeviceContext& dc) { dc.roundRect(r, 7, 5); }) == Region::roundRect(r, 7, 5))
                << w << "x" << h;
        }
    const std::vector<std::vector<Point>> polygons {
        { { 8, 0 }, { 13, 15 }, { 0, 5 }, { 16, 5 }, { 3, 15 } },
        { { 0, 0 }, { 20, 3 }, { 7, 19 } },
        { { 2, 2 }, { 25, 2 }, { 25, 20 }, { 14, 9 }, { 2, 20 } },
        { { 5, 1 }, { 28, 27 }, { 1, 26 }, { 27, 3 } },
    };
    for (FillMode mode : { FillMode::EvenOdd, FillMode::Winding })
        for (auto& points : polygons)
            EXPECT_TRUE(drawnRegion(30, 30, [&](DeviceContext& dc) {
                dc.setFillMode(mode);
                dc.polygon(points);
            }) == Region::polygon(points, mode)) << points.size();
}

} // namespace

#include "Interfac/Color.h"

namespace {

// The ports' colour conversion and the painter's palette are the same table and the same rule.
TEST(Paint, PaletteAgreesWithColorModule)
{
    for (int i = 0; i < 256; ++i) {
        ColorBytes e = builtInPalette()[size_t(i)];
        EXPECT_EQ(Palette::standard()[i], (Rgb { e.red, e.green, e.blue })) << i;
    }
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 7)
            for (int b = 0; b < 256; b += 11) {
                PlatformColor q = quantize(uint8_t(r), uint8_t(g), uint8_t(b));
                ASSERT_EQ(q.paletteIndex, quantizeToStandardPalette({ uint8_t(r), uint8_t(g), uint8_t(b) }))
                    << r << "," << g << "," << b;
            }
}

} // namespace
