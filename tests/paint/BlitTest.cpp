// tests/paint/BlitTest.cpp: blits with every raster operation, stretching, colour conversion, the
// transparent copy and the blending copies.
#include "PaintSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Fills a surface from rows of symbols (see symbolOf).
void paint(Surface& s, const std::string& picture)
{
    int x = 0, y = 0;
    for (char c : picture) {
        if (c == '\n') {
            ++y;
            x = 0;
            continue;
        }
        Rgb color = c == '#' ? kBlack : c == 'r' ? Rgb { 255, 0, 0 } : c == 'g' ? Rgb { 0, 255, 0 }
            : c == 'b' ? Rgb { 0, 0, 255 } : c == 'y' ? Rgb { 255, 255, 0 } : kWhite;
        s.setPixel(x++, y, s.valueOf(color));
    }
}

TEST(Blit, EveryRasterOperationOnPixelValues)
{
    // 8-bit surfaces sharing the standard palette copy raw indices, so each operation can be
    // checked bit by bit over every combination of pattern, source and destination bits.
    const struct { const char* name; uint32_t rop; std::function<uint32_t(uint32_t, uint32_t, uint32_t)> f; } cases[] = {
        { "source copy", Rop3::SrcCopy, [](uint32_t, uint32_t s, uint32_t) { return s; } },
        { "source paint", Rop3::SrcPaint, [](uint32_t, uint32_t s, uint32_t d) { return s | d; } },
        { "source and", Rop3::SrcAnd, [](uint32_t, uint32_t s, uint32_t d) { return s & d; } },
        { "source invert", Rop3::SrcInvert, [](uint32_t, uint32_t s, uint32_t d) { return s ^ d; } },
        { "source erase", Rop3::SrcErase, [](uint32_t, uint32_t s, uint32_t d) { return s & ~d; } },
        { "not source copy", Rop3::NotSrcCopy, [](uint32_t, uint32_t s, uint32_t) { return ~s; } },
        { "not source erase", Rop3::NotSrcErase, [](uint32_t, uint32_t s, uint32_t d) { return ~(s | d); } },
        { "merge copy", Rop3::MergeCopy, [](uint32_t p, uint32_t s, uint32_t) { return p & s; } },
        { "merge paint", Rop3::MergePaint, [](uint32_t, uint32_t s, uint32_t d) { return ~s | d; } },
        { "pattern copy", Rop3::PatCopy, [](uint32_t p, uint32_t, uint32_t) { return p; } },
        { "pattern paint", Rop3::PatPaint, [](uint32_t p, uint32_t s, uint32_t d) { return p | ~s | d; } },
        { "pattern invert", Rop3::PatInvert, [](uint32_t p, uint32_t, uint32_t d) { return p ^ d; } },
        { "destination invert", Rop3::DstInvert, [](uint32_t, uint32_t, uint32_t d) { return ~d; } },
        { "blackness", Rop3::Blackness, [](uint32_t, uint32_t, uint32_t) { return 0u; } },
        { "whiteness", Rop3::Whiteness, [](uint32_t, uint32_t, uint32_t) { return ~0u; } },
        { "0x00B8074A", 0x00B8074A, [](uint32_t p, uint32_t s, uint32_t d) { return (s & d) | (~s & p); } },
    };
    const uint32_t sources[] = { 0x00, 0xFF, 0x0F, 0x3C, 0xA5 };
    const uint32_t dests[] = { 0x00, 0xFF, 0x55, 0xC3, 0x96 };
    for (auto& c : cases) {
        Surface src(5, 5, 8), dst(5, 5, 8);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x) {
                src.setPixel(x, y, sources[x]);
                dst.setPixel(x, y, dests[y]);
            }
        DeviceContext from(src), to(dst);
        const uint32_t patternIndex = 0x69;
        to.setBrush(Brush::solid(PaintColor::fromPalette(int(patternIndex), Palette::standard()[patternIndex])));
        to.bitBlt({ 0, 0, 5, 5 }, &from, { 0, 0 }, c.rop);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(dst.pixel(x, y), c.f(patternIndex, sources[x], dests[y]) & 0xFF) << c.name << " " << x << "," << y;
    }
}

TEST(Blit, Stretching)
{
    Surface src(2, 2, 32);
    paint(src, rows("#r", "gb"));
    DeviceContext from(src);
    auto blit = [&](int w, int h, Rect dest, Rect source) {
        Surface dst(w, h, 32);
        dst.fill(kWhite);
        DeviceContext to(dst);
        to.stretchBlt(dest, &from, source, Rop3::SrcCopy);
        return picture(dst);
    };
    EXPECT_EQ(blit(4, 4, { 0, 0, 4, 4 }, { 0, 0, 2, 2 }), rows("##rr", "##rr", "ggbb", "ggbb"));
    EXPECT_EQ(blit(3, 2, { 0, 0, 3, 2 }, { 0, 0, 2, 2 }), rows("#rr", "gbb"));
    EXPECT_EQ(blit(1, 1, { 0, 0, 1, 1 }, { 0, 0, 2, 2 }), rows("b"));
    // Negative extents mirror.
    EXPECT_EQ(blit(2, 2, { 2, 0, 0, 2 }, { 0, 0, 2, 2 }), rows("r#", "bg"));
    EXPECT_EQ(blit(2, 2, { 0, 0, 2, 2 }, { 0, 2, 2, 0 }), rows("gb", "#r"));
    // Source pixels outside the source surface leave the destination alone.
    EXPECT_EQ(blit(3, 2, { 0, 0, 3, 2 }, { 1, 0, 4, 2 }), rows("r..", "b.."));
    // Empty extents copy nothing.
    EXPECT_EQ(blit(2, 2, { 0, 0, 0, 2 }, { 0, 0, 2, 2 }), rows("..", ".."));
}

TEST(Blit, HalftoneStretching)
{
    // Shrinking averages the pixels under each destination pixel; growing repeats them, as
    // colour-on-colour does.
    Surface src(4, 2, 32);
    paint(src, rows("#.rr", ".#rg"));
    DeviceContext from(src);
    Surface dst(2, 1, 32);
    DeviceContext to(dst);
    to.setStretchMode(StretchMode::Halftone);
    to.stretchBlt({ 0, 0, 2, 1 }, &from, { 0, 0, 4, 2 }, Rop3::SrcCopy);
    EXPECT_EQ(dst.colorAt(0, 0), (Rgb { 128, 128, 128 })); // two black, two white: (510 + 2) / 4
    EXPECT_EQ(dst.colorAt(1, 0), (Rgb { 191, 64, 0 }));
    // Mirrored: the boxes swap.
    to.stretchBlt({ 2, 0, 0, 1 }, &from, { 0, 0, 4, 2 }, Rop3::SrcCopy);
    EXPECT_EQ(dst.colorAt(0, 0), (Rgb { 191, 64, 0 }));
    Surface big(8, 4, 32);
    DeviceContext bigContext(big);
    bigContext.setStretchMode(StretchMode::Halftone);
    bigContext.stretchBlt({ 0, 0, 8, 4 }, &from, { 0, 0, 4, 2 }, Rop3::SrcCopy);
    EXPECT_EQ(picture(big), rows("##..rrrr", "##..rrrr", "..##rrgg", "..##rrgg"));
}

TEST(Blit, ColourConversions)
{
    // Monochrome to colour: 0 bits take the destination's text colour, 1 bits its background.
    Surface mono(4, 1, 1);
    mono.setPixel(1, 0, 1);
    mono.setPixel(3, 0, 1);
    DeviceContext monoContext(mono);
    Surface colour(4, 1, 24);
    DeviceContext colourContext(colour);
    colourContext.setTextColor(Rgb { 255, 0, 0 });
    colourContext.setBackgroundColor(Rgb { 0, 255, 0 });
    colourContext.bitBlt({ 0, 0, 4, 1 }, &monoContext, { 0, 0 }, Rop3::SrcCopy);
    EXPECT_EQ(picture(colour), rows("rgrg"));
    // Colour to monochrome: 1 where the source pixel is the source's background colour.
    colourContext.setBackgroundColor(Rgb { 255, 0, 0 });
    monoContext.bitBlt({ 0, 0, 4, 1 }, &colourContext, { 0, 0 }, Rop3::SrcCopy);
    EXPECT_EQ(mono.pixel(0, 0), 1u);
    EXPECT_EQ(mono.pixel(1, 0), 0u);
    // Between palettes and direct colour through the colours.
    Surface eight(4, 1, 8), thirtyTwo(4, 1, 32), four(4, 1, 4);
    paint(thirtyTwo, rows("#rgy"));
    DeviceContext eightContext(eight), thirtyTwoContext(thirtyTwo), fourContext(four);
    eightContext.bitBlt({ 0, 0, 4, 1 }, &thirtyTwoContext, { 0, 0 }, Rop3::SrcCopy);
    EXPECT_EQ(picture(eight), rows("#rgy"));
    EXPECT_EQ(eight.pixel(1, 0), 249u);
    fourContext.bitBlt({ 0, 0, 4, 1 }, &eightContext, { 0, 0 }, Rop3::SrcCopy);
    EXPECT_EQ(picture(four), rows("#rgy"));
    thirtyTwo.fill(kWhite);
    thirtyTwoContext.bitBlt({ 0, 0, 4, 1 }, &fourContext, { 0, 0 }, Rop3::SrcCopy);
    EXPECT_EQ(picture(thirtyTwo), rows("#rgy"));
    // A one-bit surface with its own palette converts through it, not through the context colours.
    Surface masked(2, 1, 1, RowOrder::TopDown, &Palette::monochrome());
    masked.setPixel(1, 0, 1);
    DeviceContext maskedContext(masked);
    colourContext.bitBlt({ 0, 0, 2, 1 }, &maskedContext, { 0, 0 }, Rop3::SrcCopy);
    EXPECT_EQ(picture(colour), rows("#.rg"));
}

TEST(Blit, TransparentCopy)
{
    // White source pixels leave the destination; the others replace it.
    for (int depth : { 8, 24, 32 }) {
        Surface src(4, 2, 32), dst(4, 2, depth);
        paint(src, rows(".#b.", "g..#"));
        paint(dst, rows("rrrr", "yyyy"));
        DeviceContext from(src), to(dst);
        to.transparentBlt({ 0, 0, 4, 2 }, from, { 0, 0, 4, 2 }, kWhite);
        EXPECT_EQ(picture(dst), rows("r#br", "gyy#")) << depth;
    }
    // Another transparent colour, stretched to twice the size.
    Surface src(2, 1, 8), dst(4, 2, 32);
    paint(src, rows("gb"));
    paint(dst, rows("rrrr", "...."));
    DeviceContext from(src), to(dst);
    to.transparentBlt({ 0, 0, 4, 2 }, from, { 0, 0, 2, 1 }, { 0, 255, 0 });
    EXPECT_EQ(picture(dst), rows("rrbb", "..bb"));
    // The mask alone.
    Surface image(3, 1, 24);
    paint(image, rows(".r."));
    auto mask = makeMask(image, image.bounds(), kWhite);
    EXPECT_EQ(mask->pixel(0, 0), 0u);
    EXPECT_EQ(mask->pixel(1, 0), 1u);
}

TEST(Blit, ClippedAndOverlappingCopies)
{
    // The 32-bit plain copy through a two-box clip.
    Surface src(4, 3, 32), dst(4, 3, 32);
    paint(src, rows("rrrr", "gggg", "bbbb"));
    dst.fill(kWhite);
    DeviceContext from(src), to(dst);
    to.setClipRects({ { 0, 0, 1, 1 }, { 2, 0, 4, 1 }, { 1, 2, 3, 3 } });
    to.bitBlt({ 0, 0, 4, 3 }, &from, { 0, 0 }, Rop3::SrcCopy);
    EXPECT_EQ(picture(dst), rows("r.rr", "....", ".bb."));
    // Bottom-up rows on either side.
    for (RowOrder a : { RowOrder::TopDown, RowOrder::BottomUp })
        for (RowOrder b : { RowOrder::TopDown, RowOrder::BottomUp }) {
            Surface s(3, 2, 32, a), d(3, 2, 32, b);
            paint(s, rows("r#g", "by."));
            DeviceContext sc(s), dc(d);
            dc.bitBlt({ 0, 0, 3, 2 }, &sc, { 0, 0 }, Rop3::SrcCopy);
            EXPECT_EQ(picture(d), rows("r#g", "by."));
        }
    // Scrolling within one surface, both ways.
    for (int depth : { 8, 32 }) {
        Surface s(3, 4, depth);
        paint(s, rows("rrr", "ggg", "bbb", "###"));
        DeviceContext c(s);
        c.bitBlt({ 0, 1, 3, 4 }, &c, { 0, 0 }, Rop3::SrcCopy);
        EXPECT_EQ(picture(s), rows("rrr", "rrr", "ggg", "bbb"));
        c.bitBlt({ 0, 0, 3, 3 }, &c, { 0, 1 }, Rop3::SrcCopy);
        EXPECT_EQ(picture(s), rows("rrr", "ggg", "bbb", "bbb"));
        c.bitBlt({ 1, 0, 3, 1 }, &c, { 0, 1 }, Rop3::SrcCopy);
        EXPECT_EQ(picture(s), rows("rgg", "ggg", "bbb", "bbb"));
    }
    // With window origins on both contexts.
    Surface small(2, 1, 32), big(4, 1, 32);
    paint(small, rows("rg"));
    big.fill(kWhite);
    DeviceContext sc(small), bc(big);
    sc.setWindowOrigin({ 100, 0 });
    bc.setWindowOrigin({ -1, 0 });
    bc.bitBlt({ 0, 0, 2, 1 }, &sc, { 100, 0 }, Rop3::SrcCopy);
    EXPECT_EQ(picture(big), rows(".rg."));
    // Operations that read no source take none.
    bc.setBrush(Brush::solid(Rgb { 0, 0, 255 }));
    bc.bitBlt({ -1, 0, 0, 1 }, nullptr, { 0, 0 }, Rop3::PatCopy);
    EXPECT_EQ(picture(big), rows("brg."));
    bc.bitBlt({ 0, 0, 1, 1 }, nullptr, { 0, 0 }, Rop3::SrcCopy); // needs a source: nothing happens
    EXPECT_EQ(picture(big), rows("brg."));
}

TEST(Blit, BlendingCopies)
{
    auto one = [](BlendMode mode, Rgb d, uint32_t s) {
        Surface dst(1, 1, 24), src(1, 1, 32);
        dst.setPixel(0, 0, dst.valueOf(d));
        src.setPixel(0, 0, s);
        EXPECT_TRUE(blendCopy(dst, { 0, 0 }, src, src.bounds(), mode));
        return dst.colorAt(0, 0);
    };
    EXPECT_EQ(one(BlendMode::Max, { 10, 200, 30 }, 0x00641E50), (Rgb { 100, 200, 80 }));
    // d + s (255 - d) / 256: 100 + 200 * 155 / 256 = 221.
    EXPECT_EQ(one(BlendMode::Screen, { 100, 0, 255 }, 0x00C8C8C8), (Rgb { 221, 199, 255 }));
    EXPECT_EQ(one(BlendMode::Alpha, { 0, 0, 0 }, 0xFF102030), (Rgb { 0x10, 0x20, 0x30 }));
    EXPECT_EQ(one(BlendMode::Alpha, { 1, 2, 3 }, 0x00FFFFFF), (Rgb { 1, 2, 3 }));
    // (d (255 - a) + s a) / 255 with a = 128: (200 * 127 + 100 * 128) / 255 = 149.
    EXPECT_EQ(one(BlendMode::Alpha, { 200, 0, 0 }, 0x80640000), (Rgb { 149, 0, 0 }));
    // (d (255 - a) + s 255) / 255 with a = 128: (200 * 127 + 100 * 255) / 255 = 199.
    EXPECT_EQ(one(BlendMode::AlphaPremultiplied, { 200, 0, 0 }, 0x80640000), (Rgb { 199, 0, 0 }));
    // Clipped to both surfaces; other depths are refused untouched.
    Surface dst(2, 2, 32), src(3, 3, 32);
    dst.fill(kBlack);
    src.fill(kWhite);
    EXPECT_TRUE(blendCopy(dst, { 1, -1 }, src, { 0, 0, 3, 3 }, BlendMode::Max));
    EXPECT_EQ(picture(dst), rows("#.", "#."));
    // A source rect reaching outside its surface: source (0, 0) still lands at destAt + (1, 1).
    dst.fill(kBlack);
    EXPECT_TRUE(blendCopy(dst, { 0, 0 }, src, { -1, -1, 1, 1 }, BlendMode::Max));
    EXPECT_EQ(picture(dst), rows("##", "#."));
    // Extreme numbers from a caller do not overflow.
    EXPECT_TRUE(blendCopy(dst, { INT32_MAX, INT32_MIN }, src, { INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX }, BlendMode::Max));
    EXPECT_EQ(picture(dst), rows("##", "#."));
    Surface eight(1, 1, 8);
    EXPECT_FALSE(blendCopy(eight, { 0, 0 }, src, src.bounds(), BlendMode::Max));
}

} // namespace
