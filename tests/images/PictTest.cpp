// tests/images/PictTest.cpp: the picture interpreter and its five tables, PackBits, the writer.
#include "tests/images/ImageSupport.h"

#include <gtest/gtest.h>

namespace {

const Rect kFrame { 0, 0, 8, 8 };

// Draws a picture into a white 8x8 surface (24 bits unless told) and shows it as rows.
std::string drawn(const std::vector<uint8_t>& pict, int depth = 24, int overrideMode = -1, Rgb colour = kBlack,
    int* code = nullptr)
{
    Surface s(8, 8, depth);
    s.fill(kWhite);
    DeviceContext dc(s);
    int result = drawPicture(dc, pict, s.bounds(), overrideMode, colour);
    if (code)
        *code = result;
    return picture(s);
}

// Records what the interpreter reports.
class Recorder final : public PictOperations {
public:
    void error(int code, uint32_t detail) override { errors.push_back({ code, detail }); }
    void begin() override { ++begins; }
    void end(size_t) override { ++ends; }
    void rect(Verb verb, Rect r) override { rects.push_back(r); verbs.push_back(verb); }
    void clip(Rect c, Rect) override { clips.push_back(c); }
    std::vector<PictError> errors;
    std::vector<Rect> rects, clips;
    std::vector<int> verbs;
    int begins = 0, ends = 0;
};

TEST(Pict, Recognition)
{
    std::vector<uint8_t> v1 = PictBuilder(1, kFrame).op(0).end(), v2 = PictBuilder(2, kFrame).end();
    std::vector<uint8_t> png { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    std::vector<uint8_t> jpeg { 0xFF, 0xD8, 0xFF };
    std::vector<uint8_t> bmp = packedBitmap(1, 1, 8, 1, { kBlack }, { { 0 } });
    std::vector<uint8_t> flat = v2;
    flat[7] = 0; // bottom 0: no frame
    std::vector<uint8_t> badBits = bmp;
    badBits[14] = 3;
    const struct { std::vector<uint8_t> bytes; ImageFormat format; } cases[] = {
        { v1, ImageFormat::Pict }, { v2, ImageFormat::Pict }, { png, ImageFormat::Png },
        { jpeg, ImageFormat::Jpeg }, { { 0xFF, 0xD8 }, ImageFormat::Unknown }, { bmp, ImageFormat::PackedBitmap },
        { badBits, ImageFormat::Unknown }, { flat, ImageFormat::Unknown }, { {}, ImageFormat::Unknown },
        { std::vector<uint8_t>(v2.begin(), v2.begin() + 13), ImageFormat::Unknown },
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(recognizeImage(cases[i].bytes), cases[i].format) << i;
}

TEST(Pict, FrameOfShortData)
{
    std::vector<uint8_t> v2 = PictBuilder(2, { 1, 2, 30, 40 }).end();
    EXPECT_EQ(pictFrame(v2), (Rect { 1, 2, 30, 40 }));
    EXPECT_EQ(pictFrame(Bytes(v2.data(), 9)), Rect());
}

TEST(Pict, UnpackBits)
{
    const struct { std::vector<uint8_t> in; size_t outSize; int item; bool ok; std::vector<uint8_t> out; } cases[] = {
        { { 2, 1, 2, 3 }, 3, 1, true, { 1, 2, 3 } },
        { { 0xFE, 7 }, 3, 1, true, { 7, 7, 7 } },
        { { 0x80, 9 }, 129, 1, true, std::vector<uint8_t>(129, 9) },
        { { 0xFF, 1, 2 }, 4, 2, true, { 1, 2, 1, 2 } },
        { { 4, 1, 2 }, 5, 1, false, {} },        // a literal past the input
        { { 0xF0 }, 4, 1, false, {} },           // a run without its item
        { { 0xF0, 5 }, 3, 1, true, { 5, 5, 5 } }, // the row stops when full
        { { 0x01, 1, 2, 3, 4 }, 4, 2, true, { 1, 2, 3, 4 } },
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::vector<uint8_t> out(cases[i].outSize);
        EXPECT_EQ(unpackBits(cases[i].in, out, cases[i].item), cases[i].ok) << i;
        if (cases[i].ok)
            EXPECT_EQ(out, cases[i].out) << i;
    }
}

TEST(Pict, PackBitsRoundTrip)
{
    std::vector<uint8_t> rows[] = {
        { 1, 1, 1, 1, 2, 3, 4, 4, 5, 5, 5 },
        std::vector<uint8_t>(300, 7),
        { 9 },
        { 1, 2, 1, 2, 1, 2, 3, 4 },
    };
    for (int item : { 1, 2 })
        for (auto& row : rows) {
            std::vector<uint8_t> r = row;
            r.resize(r.size() / size_t(item) * size_t(item));
            std::vector<uint8_t> packed, back(r.size());
            packBits(r, item, packed);
            EXPECT_TRUE(unpackBits(packed, back, item));
            EXPECT_EQ(back, r);
        }
    std::vector<uint8_t> packed;
    packBits(std::vector<uint8_t>(10, 3), 1, packed);
    EXPECT_EQ(packed, (std::vector<uint8_t> { uint8_t(257 - 10), 3 })); // runs for three or more
}

TEST(Pict, ShapesInBothVersions)
{
    for (int version : { 1, 2 }) {
        PictBuilder p(version, kFrame);
        p.op(0x31).rect({ 1, 1, 3, 3 });      // paintRect
        p.op(0x30).rect({ 4, 0, 8, 4 });      // frameRect
        p.op(0x20).point(0, 6).point(4, 6);   // Line
        p.op(0x22).point(0, 7).u8(3).u8(0);   // ShortLine
        p.op(0x33).rect({ 6, 5, 8, 8 });      // invertRect
        p.op(0x3B);                           // invertSameRect: back again
        p.op(0x32).rect({ 5, 1, 7, 3 });      // eraseRect inside the frame
        EXPECT_EQ(drawn(p.end()), rows(
            "....####",
            ".##.#..#",
            ".##.#..#",
            "....####",
            "........",
            "........",
            "####....",
            "###.....")) << version;
    }
}

TEST(Pict, OvalsPolygonsArcsAndRoundRects)
{
    PictBuilder p(2, kFrame);
    p.op(0x51).rect({ 0, 0, 4, 4 });                   // paintOval
    p.op(0x71).u16(10 + 3 * 4).rect({ 4, 4, 8, 8 }).point(4, 4).point(8, 4).point(8, 8); // paintPoly
    p.op(0x0B).point(2, 2).op(0x41).rect({ 0, 4, 4, 8 }); // paintRoundRect
    p.op(0x61).rect({ 4, 0, 8, 4 }).u16(0).u16(90);    // paintArc: the upper right quarter
    EXPECT_EQ(drawn(p.end()), rows(
        ".##...#.",
        "####..##",
        "####....",
        ".##.....",
        "########",
        "####.###",
        "####..##",
        "####...#")) << "circle, pie quarter, round rect with 2x2 corners, triangle";
}

// Every pixel size and packing of the bits opcodes draws the same rows.
TEST(Pict, BitmapsOfEveryLayout)
{
    const std::vector<std::string> colour { "#.r#g..#", ".#.#.#.#" };
    const std::vector<std::string> mono { "#..#...#", ".#.#.#.#" };
    const struct { BitsLayout layout; const char* name; } cases[] = {
        { { 0x90, false, 1, 0, 1, 2 }, "BitsRect bitmap" },
        { { 0x98, false, 1, 0, 1, 2 }, "PackBitsRect bitmap, short rows unpacked" },
        { { 0x98, false, 1, 0, 1, 8 }, "PackBitsRect bitmap, packed" },
        { { 0x98, true, 1, 0, 1, 8 }, "1-bit pixmap packed" },
        { { 0x98, true, 2, 0, 1, 2 }, "2-bit pixmap unpacked" },
        { { 0x98, true, 2, 0, 1, 8 }, "2-bit pixmap packed" },
        { { 0x98, true, 4, 0, 1, 4 }, "4-bit pixmap unpacked" },
        { { 0x98, true, 4, 0, 1, 8 }, "4-bit pixmap packed" },
        { { 0x90, true, 8, 1, 1, 8 }, "8-bit BitsRect pixmap unpacked" },
        { { 0x98, true, 8, 0, 1, 8 }, "8-bit pixmap packed" },
        { { 0x98, true, 8, 0, 1, 260 }, "8-bit pixmap, two-byte counts" },
        { { 0x99, true, 8, 0, 1, 8 }, "PackBitsRgn" },
        { { 0x9A, true, 16, 1, 3, 16 }, "16-bit unpacked" },
        { { 0x9A, true, 16, 3, 3, 16 }, "16-bit word PackBits" },
        { { 0x9A, true, 16, 0, 3, 16 }, "16-bit packType 0" },
        { { 0x9A, true, 16, 3, 3, 4 }, "16-bit short rows" },
        { { 0x9A, true, 32, 1, 3, 32 }, "32-bit unpacked" },
        { { 0x9A, true, 32, 4, 3, 32 }, "32-bit three planes" },
        { { 0x9A, true, 32, 4, 4, 32 }, "32-bit four planes" },
    };
    for (auto& c : cases) {
        const BitsLayout& l = c.layout;
        bool isMono = l.pixelSize == 1;
        std::vector<std::string> source = isMono ? mono : colour;
        // Short 16-bit rows hold two pixels.
        if (l.pixelSize == 16 && l.rowBytes < 8)
            source = { "r#", ".g" };
        for (auto& row : source)
            row.resize(size_t(std::min<int>(int(row.size()), l.rowBytes * 8 / l.pixelSize)));
        PictBuilder p(2, kFrame);
        addBits(p, l, source, 0, { 0, 2 });
        std::string expected = "........\n........\n";
        for (auto& row : source)
            expected += row + std::string(8 - row.size(), '.') + "\n";
        for (int y = 4; y < 8; ++y)
            expected += "........\n";
        int code = -1;
        EXPECT_EQ(drawn(p.end(), 24, -1, kBlack, &code), expected) << c.name;
        EXPECT_EQ(code, 0) << c.name;
    }
}

TEST(Pict, SixteenBitComponents)
{
    // One pixel of each 5-bit value c in red: drawn as c * 8 + c / 4.
    PictBuilder p(2, { 0, 0, 32, 1 });
    p.op(0x9A).u32(0xFF).u16(0x8000 | 64).rect({ 0, 0, 32, 1 });
    p.u16(0).u16(1).u32(0).u32(72 << 16).u32(72 << 16).u16(16).u16(16).u16(3).u16(5).u32(0).u32(0).u32(0);
    p.rect({ 0, 0, 32, 1 }).rect({ 0, 0, 32, 1 }).u16(0);
    for (int c = 0; c < 32; ++c)
        p.u16(uint16_t(c << 10));
    std::vector<uint8_t> pict = p.end();
    Surface s(32, 1, 24);
    DeviceContext dc(s);
    ASSERT_EQ(drawPicture(dc, pict, s.bounds(), -1, kBlack), 0);
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(s.colorAt(c, 0), (Rgb { uint8_t(c * 8 + c / 4), 0, 0 })) << c;
}

TEST(Pict, SourceRectIsHonoured)
{
    PictBuilder p(2, kFrame);
    p.op(0x98).u16(0x8000 | 8).rect({ 0, 0, 8, 2 });
    p.u16(0).u16(0).u32(0).u32(72 << 16).u32(72 << 16).u16(0).u16(8).u16(1).u16(8).u32(0).u32(0).u32(0);
    p.u32(0).u16(0).u16(1).u16(0).u16(0xFFFF).u16(0xFFFF).u16(0xFFFF).u16(1).u16(0).u16(0).u16(0);
    p.rect({ 2, 0, 4, 2 }).rect({ 0, 0, 2, 2 }).u16(0);  // columns 2..3 only, to the top-left
    for (int y = 0; y < 2; ++y)
        p.u8(9).u8(7).u8(0).u8(0).u8(1).u8(0).u8(0).u8(0).u8(0).u8(0);
    EXPECT_EQ(drawn(p.end()), rows("#.......", "#.......", "........", "........", "........", "........",
                                   "........", "........"));
}

TEST(Pict, TransferModes)
{
    const std::vector<std::string> source { "#.#.", "#.#." };
    for (int mode : { 0, 36, 100, 3 }) {
        PictBuilder p(2, kFrame);
        p.op(0x31).rect({ 0, 0, 8, 1 });
        p.op(0x31).rect({ 0, 1, 1, 2 });
        addBits(p, { 0x98, true, 8, 0, 1, 8 }, source, mode, { 0, 0 });
        std::string out = drawn(p.end());
        std::string top = out.substr(0, 9), second = out.substr(9, 9);
        if (mode == 36 || mode == 100) { // white pixels let the destination show
            EXPECT_EQ(top, "########\n") << mode;
            EXPECT_EQ(second, "#.#.....\n") << mode;
        } else if (mode == 3) {          // NOT (source OR destination)
            EXPECT_EQ(top, ".#.#####\n") << mode;
            EXPECT_EQ(second, ".###....\n") << mode;
        } else {
            EXPECT_EQ(top, "#.#.####\n") << mode;
        }
    }
    // The caller's override wins over the picture's mode.
    PictBuilder p(2, kFrame);
    p.op(0x31).rect({ 0, 0, 8, 1 });
    addBits(p, { 0x98, true, 8, 0, 1, 8 }, { "#.#." }, 0);
    EXPECT_EQ(drawn(p.end(), 24, 36).substr(0, 9), "########\n");
}

TEST(Pict, ColourReplacesBlack)
{
    for (int pixelSize : { 8, 16, 32 }) {
        PictBuilder p(2, kFrame);
        BitsLayout l = pixelSize == 8 ? BitsLayout { 0x98, true, 8, 0, 1, 8 }
                                      : BitsLayout { 0x9A, true, pixelSize, 1, 3, pixelSize == 16 ? 16 : 32 };
        addBits(p, l, { "#.r." }, 0);
        EXPECT_EQ(drawn(p.end(), 24, -1, { 0, 255, 0 }).substr(0, 9), "g.r.....\n") << pixelSize;
    }
}

TEST(Pict, ScaledDrawing)
{
    PictBuilder p(2, { 0, 0, 16, 16 });
    p.op(0x31).rect({ 0, 0, 8, 8 });
    p.op(0x31).rect({ 8, 8, 16, 16 });
    Surface s(8, 8, 24);
    s.fill(kWhite);
    DeviceContext dc(s);
    std::vector<uint8_t> pict = p.end();
    EXPECT_EQ(drawPicture(dc, pict, { 0, 0, 8, 8 }, -1, kBlack), 0);
    EXPECT_EQ(picture(s), rows("####....", "####....", "####....", "####....", "....####", "....####",
                               "....####", "....####"));
    // A destination of no size divides by nothing.
    Surface t(8, 8, 24);
    t.fill(kWhite);
    DeviceContext none(t);
    EXPECT_EQ(drawPicture(none, pict, { 3, 3, 3, 3 }, -1, kBlack), 0);
    EXPECT_EQ(drawPicture(none, pict, { 3, 3, 2, 1 }, -1, kBlack), 0);
}

TEST(Pict, ExtendedHeaderSourceRect)
{
    // Version -2 with a 144 dpi source rect twice the frame: coordinates of the source rect map
    // onto the destination.
    auto make = [](Rect source) {
        PictBuilder p(2, kFrame, false);
        p.op(0x0C00).u16(0xFFFE).u16(0).u32(144 << 16).u32(144 << 16).rect(source).u32(0);
        p.op(0x31).rect({ 0, 0, 8, 8 });
        return p.end();
    };
    EXPECT_EQ(drawn(make({ 0, 0, 16, 16 })), rows("####....", "####....", "####....", "####....", "........",
                                                 "........", "........", "........"));
    Recorder r;
    r.acceptsAnyResolution = true;
    std::vector<uint8_t> empty = make({ 4, 4, 4, 20 });
    EXPECT_EQ(playPicture(empty, kFrame, r), 1);
    EXPECT_EQ(r.ends, 1);
    // A table that does not accept other resolutions hears (2, 0).
    Recorder strict;
    std::vector<uint8_t> hires = make({ 0, 0, 16, 16 });
    EXPECT_EQ(playPicture(hires, kFrame, strict), 2);
    ASSERT_EQ(strict.errors.size(), 1u);
    EXPECT_EQ(strict.errors[0].code, 2);
}

TEST(Pict, ErrorsStopPlayback)
{
    // A text opcode stops drawing; what came before stays drawn.
    PictBuilder text(2, kFrame);
    text.op(0x31).rect({ 0, 0, 2, 2 }).op(0x28).point(4, 4).u8(1).u8('A').op(0x31).rect({ 4, 4, 8, 8 });
    int code = 0;
    EXPECT_EQ(drawn(text.end(), 24, -1, kBlack, &code), rows("##......", "##......", "........", "........",
                                                           "........", "........", "........", "........"));
    EXPECT_EQ(code, 4);

    Recorder r;
    std::vector<uint8_t> pict = text.end();
    playPicture(pict, kFrame, r);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, 4);
    EXPECT_EQ(r.errors[0].detail, 0x28u);
    EXPECT_EQ(r.begins, 1);
    EXPECT_EQ(r.ends, 1);

    auto codeOf = [](const std::vector<uint8_t>& bytes) {
        Recorder rec;
        return playPicture(bytes, kFrame, rec);
    };
    PictBuilder unfinished(2, kFrame);
    unfinished.op(0x31).rect({ 0, 0, 2, 2 });
    EXPECT_EQ(codeOf(unfinished.unfinished()), 1) << "no end opcode";
    std::vector<uint8_t> cut = PictBuilder(2, kFrame).op(0x31).rect({ 0, 0, 2, 2 }).end();
    cut.resize(cut.size() - 5);
    EXPECT_EQ(codeOf(cut), 1) << "data ends inside an opcode";
    EXPECT_EQ(codeOf({ 0, 0, 0, 0, 0, 0, 0, 8, 0, 8, 0x11, 0x01 }), 1) << "12 bytes";

    PictBuilder packType2(2, kFrame);
    addBits(packType2, { 0x9A, true, 32, 2, 3, 32 }, { "#." }, 0);
    EXPECT_EQ(codeOf(packType2.end()), 5);
    PictBuilder oddRowBytes(2, kFrame);
    addBits(oddRowBytes, { 0x98, true, 8, 0, 1, 9 }, { "#." }, 0);
    EXPECT_EQ(codeOf(oddRowBytes.end()), 5);
    PictBuilder wideBitsRect(2, kFrame);
    addBits(wideBitsRect, { 0x90, false, 1, 0, 1, 8 }, { "#." }, 0);
    EXPECT_EQ(codeOf(wideBitsRect.end()), 5);

    // A polygon or region whose size word runs past the data.
    EXPECT_EQ(codeOf(PictBuilder(2, kFrame).op(0x71).u16(2000).rect(kFrame).end()), 1);
    EXPECT_EQ(codeOf(PictBuilder(2, kFrame).op(0x81).u16(2000).rect(kFrame).end()), 1);
    EXPECT_EQ(codeOf(PictBuilder(2, kFrame).op(0xA1).u16(1).u16(5000).end()), 1);
    EXPECT_EQ(codeOf(PictBuilder(2, kFrame).op(0x01).u16(4).end()), 1) << "region smaller than its rect";
}

TEST(Pict, PackBitsRgnWarns)
{
    PictBuilder p(2, kFrame);
    addBits(p, { 0x99, true, 8, 0, 1, 8 }, { "#." }, 0);
    Recorder r;
    std::vector<uint8_t> pict = p.end();
    EXPECT_EQ(playPicture(pict, kFrame, r), 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, 4);
    EXPECT_EQ(r.errors[0].detail, 0x99u);
}

TEST(Pict, ClipRegionAndRectsMapped)
{
    PictBuilder p(2, { 10, 10, 18, 18 });
    p.op(0x01).u16(10).rect({ 12, 12, 16, 16 });
    p.op(0x31).rect({ 10, 10, 18, 18 });
    p.op(0x0C).u16(uint16_t(-2)).u16(uint16_t(-2)); // origin moves: later coordinates shift by +2
    p.op(0x31).rect({ 10, 10, 11, 11 });
    std::vector<uint8_t> pict = p.end();
    Recorder r;
    playPicture(pict, kFrame, r);
    ASSERT_EQ(r.clips.size(), 1u);
    EXPECT_EQ(r.clips[0], (Rect { 2, 2, 6, 6 }));
    ASSERT_EQ(r.rects.size(), 2u);
    EXPECT_EQ(r.rects[1], (Rect { 2, 2, 3, 3 }));
    EXPECT_EQ(drawn(pict), rows("........", "........", "..####..", "..####..", "..####..", "..####..",
                                "........", "........"));
}

TEST(Pict, CallersClipAndRasterOperationRestored)
{
    Surface s(8, 8, 24);
    s.fill(kWhite);
    DeviceContext dc(s);
    Rect parts[] = { { 0, 0, 3, 8 }, { 5, 0, 8, 8 } };
    Region clip = Region::fromRects(parts);
    dc.setClip(clip);
    dc.setRop2(Rop2::XorPen);
    Pen pen { PenStyle::Dash, 3, { 255, 0, 0 } };
    dc.setPen(pen);
    PictBuilder p(2, kFrame);
    p.op(0x01).u16(10).rect({ 0, 0, 8, 4 }).op(0x08).u16(9).op(0x31).rect(kFrame);
    std::vector<uint8_t> pict = p.end();
    drawPicture(dc, pict, s.bounds(), -1, kBlack);
    EXPECT_TRUE(dc.clipRegion() == clip);
    EXPECT_TRUE(dc.hasClip());
    EXPECT_EQ(dc.rop2(), Rop2::XorPen);
    EXPECT_EQ(dc.pen().style, PenStyle::Dash);
    EXPECT_EQ(picture(s).substr(0, 9 * 4), rows("###..###", "###..###", "###..###", "###..###"));
}

TEST(Pict, MeasuringTables)
{
    PictBuilder p(2, kFrame);
    addBits(p, { 0x98, true, 4, 0, 1, 4 }, { "#." }, 100, { 1, 1 });
    addBits(p, { 0x9A, true, 32, 4, 3, 32 }, { "#." }, 100, { 2, 3 });
    addBits(p, { 0x98, false, 1, 0, 1, 2 }, { "#." }, 100, { 4, 5 });
    std::vector<uint8_t> pict = p.end();
    PictFacts facts = measurePicture(pict);
    EXPECT_TRUE(facts.hasBitmap);
    EXPECT_EQ(facts.lastBitmapDest, (Rect { 4, 5, 6, 6 }));
    EXPECT_EQ(facts.lastMode & ~0x40, 36);
    EXPECT_EQ(facts.depth, 24) << "32 bits with three components count as 24";

    EXPECT_EQ(rewritePictureModes(pict, 0), 0);
    // Pixel maps get the new mode with their dither bit; the one-bit bitmap keeps its mode.
    PictFacts after = measurePicture(pict);
    EXPECT_EQ(after.lastMode, 100);
    struct ModeReader final : PictOperations {
        void bits(PictBitmap& bm) override { modes.push_back(bm.mode); }
        std::vector<int> modes;
    } reader;
    playPicture(pict, kFrame, reader);
    EXPECT_EQ(reader.modes, (std::vector<int> { 0x40, 0x40, 100 }));

    PictFacts none = measurePicture(PictBuilder(1, kFrame).op(0x31).rect(kFrame).end());
    EXPECT_FALSE(none.hasBitmap);
    EXPECT_EQ(none.depth, 0);
    PictBuilder four(2, kFrame);
    addBits(four, { 0x9A, true, 32, 4, 4, 32 }, { "#." }, 0);
    EXPECT_EQ(measurePicture(four.end()).depth, 32);
}

TEST(Pict, WriterRoundTrip)
{
    // 8 bits with a palette, exactly.
    Surface indexed(40, 7, 8);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 40; ++x)
            indexed.setPixel(x, y, uint32_t((x / 3 + y * 11) % 256));
    std::vector<uint8_t> pict = writePicture(indexed);
    ASSERT_EQ(recognizeImage(pict), ImageFormat::Pict);
    EXPECT_EQ(pict[0] << 8 | pict[1], int(pict.size() & 0xFFFF));
    EXPECT_EQ(pictFrame(pict), (Rect { 0, 0, 40, 7 }));
    EXPECT_EQ(measurePicture(pict).depth, 8);
    Surface back(40, 7, 24);
    DeviceContext dc(back);
    ASSERT_EQ(drawPicture(dc, pict, back.bounds(), -1, kBlack), 0);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(back.colorAt(x, y), indexed.colorAt(x, y)) << x << "," << y;

    // Deeper surfaces as 5-5-5: colours that 5 bits hold come back exactly, long runs included.
    Surface direct(300, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 300; ++x) {
            auto five = [](int c) { return uint8_t(c * 8 + c / 4); };
            direct.setPixel(x, y, x < 150 ? uint32_t(five((x + y) % 32)) << 16 | uint32_t(five(x % 7)) << 8 | five(3) : 0xFFFFFF);
        }
    pict = writePicture(direct);
    EXPECT_EQ(measurePicture(pict).depth, 16);
    Surface again(300, 3, 24);
    DeviceContext dc2(again);
    ASSERT_EQ(drawPicture(dc2, pict, again.bounds(), -1, kBlack), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(again.colorAt(x, y), direct.colorAt(x, y)) << x << "," << y;
}

} // namespace

namespace {

// Opcodes that draw nothing are skipped by their lengths in both versions: the picture draws as if
// they were not there.
TEST(PictOpcodes, SkippedOpcodes)
{
    for (int version : { 1, 2 }) {
        PictBuilder p(version, kFrame);
        p.op(0x00).op(0x02).u32(0x12345678).u32(0x9ABCDEF0);
        p.op(0x03).u16(3).op(0x04).u8(1);
        if (version == 2)
            p.u8(0);
        p.op(0x05).u16(8).op(0x06).u32(7).op(0x0D).u16(12).op(0x0E).u32(33).op(0x0F).u32(30);
        p.op(0x10).point(1, 1).point(1, 1).op(0x1E).op(0x1F).u16(1).u16(2).u16(3);
        const int skippedByLength[] = { 0x2C, 0x2D, 0x2E, 0x2F };
        for (int op : skippedByLength) {
            p.op(op).u16(3).u8('a').u8('b').u8('c');
            if (version == 2)
                p.u8(0); // rounded up to even
        }
        for (int op = 0x80; op <= 0x84; ++op)
            p.op(op).u16(10).rect({ 0, 0, 8, 8 });
        p.op(0xA0).u16(100).op(0xA1).u16(100).u16(3).u8(1).u8(2).u8(3);
        if (version == 2)
            p.u8(0);
        p.op(0x31).rect({ 2, 2, 4, 4 });
        std::vector<uint8_t> pict = p.end();
        int code = -1;
        EXPECT_EQ(drawn(pict, 24, -1, kBlack, &code), rows("........", "........", "..##....", "..##....",
                                                         "........", "........", "........", "........")) << version;
        EXPECT_EQ(code, 0) << version;
    }
}

// Each "same" opcode (0x38-0x3C, 0x48-0x4A, 0x58-0x5C, 0x68-0x6C) draws what its explicit form
// draws with the last rect.
TEST(PictOpcodes, SameShapeOpcodes)
{
    std::vector<int> explicitForms;
    for (int op = 0x30; op <= 0x34; ++op)
        explicitForms.push_back(op);
    for (int op = 0x40; op <= 0x42; ++op)
        explicitForms.push_back(op);
    for (int op = 0x50; op <= 0x54; ++op)
        explicitForms.push_back(op);
    for (int op = 0x60; op <= 0x64; ++op)
        explicitForms.push_back(op);
    const Rect shape { 1, 1, 7, 6 };
    for (int op : explicitForms) {
        auto start = [&] {
            auto p = std::make_unique<PictBuilder>(2, kFrame);
            p->op(0x31).rect({ 0, 0, 4, 8 }); // half black, so erase and invert show
            p->op(0x0B).point(3, 3);
            return p;
        };
        auto args = [&](PictBuilder& p) {
            if (op >= 0x60)
                p.u16(45).u16(200);
        };
        auto a = start();
        a->op(op).rect(shape);
        args(*a);
        auto b = start();
        b->op(0x07).point(0, 0).op(0x30).rect(shape).op(0x07).point(1, 1); // sets the last rect, draws nothing
        b->op(op + 8);
        args(*b);
        std::string explicitDrawing = drawn(a->end()), same = drawn(b->end());
        EXPECT_EQ(same, explicitDrawing) << std::hex << op;
        EXPECT_NE(explicitDrawing, drawn(start()->end())) << std::hex << op << " drew nothing";
    }
}

TEST(PictOpcodes, UnsupportedOpcodes)
{
    const int unsupported[] = { 0x1C, 0x1D, 0x28, 0x29, 0x2A, 0x2B, 0x43, 0x44, 0x4B, 0x4C, 0x72, 0x73, 0x74,
                                0x91, 0x9B, 0x8000 };
    for (int op : unsupported) {
        PictBuilder p(2, kFrame);
        p.op(op).rect(kFrame).rect(kFrame);
        std::vector<uint8_t> pict = p.end();
        Recorder r;
        EXPECT_EQ(playPicture(pict, kFrame, r), 4) << std::hex << op;
        ASSERT_EQ(r.errors.size(), 1u);
        EXPECT_EQ(r.errors[0].detail, uint32_t(op)) << std::hex << op;
    }
}

TEST(PictOpcodes, ColoursPatternsAndLines)
{
    PictBuilder p(2, kFrame);
    p.op(0x1A).u16(0xFFFF).u16(0).u16(0);          // red foreground
    p.op(0x1B).u16(0).u16(0xFFFF).u16(0);          // green background
    p.op(0x31).rect({ 0, 0, 2, 2 });               // paint: red
    p.op(0x32).rect({ 2, 0, 4, 2 });               // erase: green
    p.op(0x09).u32(0xAA55AA55).u32(0xAA55AA55);    // pen pattern: checker
    p.op(0x31).rect({ 4, 0, 8, 2 });
    p.op(0x1A).u16(0).u16(0).u16(0);               // black again
    p.op(0x09).u32(0xFFFFFFFF).u32(0xFFFFFFFF);
    p.op(0x0A).u32(0).u32(0);                      // fill pattern white: paintOval uses it
    p.op(0x1B).u16(0xFFFF).u16(0xFFFF).u16(0xFFFF);
    p.op(0x31).rect({ 0, 2, 8, 4 });
    p.op(0x51).rect({ 0, 2, 8, 4 });               // white oval inside the black band
    p.op(0x20).point(0, 5).point(3, 5);            // Line
    p.op(0x21).point(3, 7);                        // LineFrom
    p.op(0x23).u8(3).u8(0);                        // ShortLineFrom
    p.op(0x70).u16(10 + 3 * 4).rect(kFrame).point(7, 4).point(7, 7).point(5, 7); // framePoly
    std::string out = drawn(p.end());
    EXPECT_EQ(out.substr(0, 18), rows("rrggrgrg", "rrgggrgr")) << "0 bits of a pattern are the background";
    EXPECT_EQ(out.substr(18, 18), rows("#......#", "#......#")) << "the oval is white inside the band";
    // Each line leaves out its end point, which the next one starts from.
    EXPECT_EQ(out.substr(36), rows(".......#", "####...#", "...#...#", "...#####"));
}

} // namespace
