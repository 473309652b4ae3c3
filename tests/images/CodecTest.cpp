// tests/images/CodecTest.cpp: PNG, JPEG and packed bitmaps.
#include "tests/images/ImageSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A smooth test card: gradients and a few hard edges.
std::unique_ptr<Surface> card(int width, int height)
{
    auto p = std::make_unique<Surface>(width, height, 24);
    Surface& s = *p;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Rgb c { uint8_t(x * 255 / width), uint8_t(y * 255 / height), uint8_t((x + y) % 64 < 32 ? 40 : 200) };
            s.setPixel(x, y, uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue);
        }
    return p;
}

double psnr(const Surface& a, const Surface& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            Rgb p = a.colorAt(x, y), q = b.colorAt(x, y);
            for (int d : { p.red - q.red, p.green - q.green, p.blue - q.blue })
                sum += double(d) * d;
        }
    double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(Codec, PngRoundTripIsExact)
{
    auto card37 = card(37, 21);
    Surface& s = *card37;
    std::vector<uint8_t> png = encodePng(s);
    ASSERT_EQ(recognizeImage(png), ImageFormat::Png);
    int w = 0, h = 0;
    ASSERT_TRUE(pngSize(png, w, h));
    EXPECT_EQ(w, 37);
    EXPECT_EQ(h, 21);
    DecodedImage d = decodePng(png);
    ASSERT_TRUE(d.surface) << d.error;
    EXPECT_EQ(d.surface->depth(), 24);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(d.surface->colorAt(x, y), s.colorAt(x, y));
}

TEST(Codec, DamagedPngIsRefused)
{
    std::vector<uint8_t> png = encodePng(*card(16, 16));
    std::vector<std::vector<uint8_t>> damaged;
    damaged.push_back(std::vector<uint8_t>(png.begin(), png.begin() + long(png.size() / 2))); // truncated
    std::vector<uint8_t> flipped = png;
    flipped[20] ^= 0xFF; // header CRC no longer matches
    damaged.push_back(flipped);
    std::vector<uint8_t> huge = png;
    huge[16] = 0x7F; // width beyond the limit
    damaged.push_back(huge);
    for (size_t i = 0; i < damaged.size(); ++i) {
        DecodedImage d = decodePng(damaged[i]);
        EXPECT_FALSE(d.surface) << i;
        EXPECT_FALSE(d.error.empty()) << i;
    }
}

TEST(Codec, JpegRoundTripWithinBound)
{
    auto card64 = card(64, 48);
    Surface& s = *card64;
    std::vector<uint8_t> low = encodeJpeg(s, 20), high = encodeJpeg(s, 95);
    ASSERT_EQ(recognizeImage(high), ImageFormat::Jpeg);
    EXPECT_LT(low.size(), high.size());
    DecodedImage d = decodeJpeg(high);
    ASSERT_TRUE(d.surface) << d.error;
    EXPECT_EQ(d.surface->width(), 64);
    EXPECT_EQ(d.surface->height(), 48);
    EXPECT_GT(psnr(s, *d.surface), 28.0); // chroma is subsampled: the hard colour edges cost most
    DecodedImage rough = decodeJpeg(low);
    ASSERT_TRUE(rough.surface);
    EXPECT_GT(psnr(s, *rough.surface), 20.0);
    EXPECT_LT(psnr(s, *rough.surface), psnr(s, *d.surface));
    // Written at 72 dots per inch.
    EXPECT_EQ(d.xPixelsPerMetre, 2834);
}

TEST(Codec, JpegDensityUnitAndGrey)
{
    Surface grey(8, 8, 24);
    grey.fill({ 90, 90, 90 });
    std::vector<uint8_t> jpeg = encodeJpeg(grey, 90);
    // The JFIF segment: units at offset 13, densities at 14 and 16.
    ASSERT_EQ(jpeg[6], 'J');
    const struct { uint8_t unit; int expected; } cases[] = { { 1, 300 * 10000 / 254 }, { 2, 30000 }, { 0, 0 } };
    for (auto& c : cases) {
        jpeg[13] = c.unit;
        jpeg[14] = 1;
        jpeg[15] = 44; // 300
        DecodedImage d = decodeJpeg(jpeg);
        ASSERT_TRUE(d.surface) << d.error;
        EXPECT_EQ(d.xPixelsPerMetre, c.expected) << int(c.unit);
        EXPECT_EQ(d.surface->depth(), 8) << "greyscale files decode to 8 bits";
        EXPECT_EQ(d.surface->colorAt(3, 3), (Rgb { 90, 90, 90 }));
    }
}

TEST(Codec, DamagedJpegIsRefused)
{
    std::vector<uint8_t> jpeg = encodeJpeg(*card(32, 32), 80);
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + 40);
    DecodedImage d = decodeJpeg(cut);
    EXPECT_FALSE(d.surface);
    int w, h;
    EXPECT_FALSE(jpegSize(std::vector<uint8_t> { 0xFF, 0xD8, 0xFF, 0xC0 }, w, h));
    // A truncated scan still decodes (libjpeg fills the rest) or is refused, never more.
    std::vector<uint8_t> half(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2));
    DecodedImage partial = decodeJpeg(half);
    if (partial.surface)
        EXPECT_EQ(partial.surface->width(), 32);
}

TEST(Codec, PackedBitmaps)
{
    const Rgb red { 255, 0, 0 }, green { 0, 255, 0 };
    // 8 bits with a two-entry table: the pixels start right after it.
    std::vector<uint8_t> small = packedBitmap(3, 2, 8, 2, { red, green }, { { 0, 1, 0 }, { 1, 1, 0 } });
    // 4 bits, full table implied by colours-used 0.
    std::vector<Rgb> sixteen(16, kBlack);
    sixteen[1] = red;
    sixteen[2] = green;
    std::vector<uint8_t> four = packedBitmap(3, -2, 4, 0, sixteen, { { 0x12, 0x00 }, { 0x21, 0x10 } });
    // 16 bits 5-5-5 and with bit-field masks 5-6-5.
    std::vector<uint8_t> rgb555 = packedBitmap(2, 1, 16, 0, {}, { { 0x00, 0x7C, 0xE0, 0x03 } });
    std::vector<uint8_t> rgb565 = packedBitmap(2, 1, 16, 0, {}, { { 0x00, 0xF8, 0xE0, 0x07 } }, 3,
        { 0xF800, 0x07E0, 0x001F });
    std::vector<uint8_t> rgb24 = packedBitmap(2, 1, 24, 0, {}, { { 0, 0, 255, 0, 255, 0 } });
    std::vector<uint8_t> mono = packedBitmap(3, 1, 1, 0, { kBlack, kWhite }, { { 0xA0 } });
    const struct { std::vector<uint8_t> bytes; std::string expected; } cases[] = {
        { small, "rgr\nggr\n" }, { four, "rg#\ngrr\n" }, { rgb555, "rg\n" }, { rgb565, "rg\n" },
        { rgb24, "rg\n" }, { mono, ".#.\n" },
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_EQ(recognizeImage(cases[i].bytes), ImageFormat::PackedBitmap) << i;
        DecodedImage d = decodePackedBitmap(cases[i].bytes);
        ASSERT_TRUE(d.surface) << i << " " << d.error;
        EXPECT_EQ(picture(*d.surface), cases[i].expected) << i;
    }
}

TEST(Codec, DamagedPackedBitmapsAreRefused)
{
    std::vector<uint8_t> good = packedBitmap(3, 2, 8, 2, { kBlack, kWhite }, { { 0, 1, 0 }, { 1, 1, 0 } });
    auto with = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 4; ++i)
            b[at + size_t(i)] = uint8_t(v >> (8 * i));
        return b;
    };
    const std::vector<uint8_t> cases[] = {
        std::vector<uint8_t>(good.begin(), good.end() - 1), // the last row is short
        with(32, 300),                                      // more colours than 8 bits hold
        with(32, 0),                                        // 256 colours implied: the table runs past
        with(4, 0x7FFFFFFF),                                // width
        with(8, 0x80000000),                                // height
        with(16, 5),                                        // an unknown compression
        with(16, 2),                                        // 4-bit runs for 8-bit pixels
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        PackedBitmapHeader header;
        std::string error;
        EXPECT_FALSE(readPackedBitmapHeader(cases[i], header, &error)) << i;
        EXPECT_FALSE(decodePackedBitmap(cases[i]).surface) << i;
    }
}

TEST(Codec, PackedBitmapEncodingAtEachDepth)
{
    Surface s(5, 3, 24);
    s.fill(kWhite);
    s.setPixel(1, 1, 0x000000);
    s.setPixel(3, 0, 0xFF0000);
    for (int depth : { 1, 4, 8, 16, 24, 32 }) {
        std::vector<uint8_t> bmp = encodePackedBitmap(s, depth);
        ASSERT_EQ(recognizeImage(bmp), ImageFormat::PackedBitmap) << depth;
        DecodedImage d = decodePackedBitmap(bmp);
        ASSERT_TRUE(d.surface) << depth;
        std::string expected = depth == 1 ? "...#.\n.#...\n.....\n" : "...r.\n.#...\n.....\n";
        EXPECT_EQ(picture(*d.surface), expected) << depth;
    }
}

TEST(Codec, DrawImageOfEachFormat)
{
    Surface s(4, 2, 24);
    s.fill(kWhite);
    s.setPixel(0, 0, 0xFF0000);
    s.setPixel(3, 1, 0x000000);
    std::vector<std::vector<uint8_t>> images = { encodePng(s), encodePackedBitmap(s, 24), writePicture(s) };
    for (size_t i = 0; i < images.size(); ++i) {
        Surface out(8, 4, 24);
        out.fill({ 0, 255, 0 });
        DeviceContext dc(out);
        EXPECT_TRUE(drawImage(dc, images[i], { 0, 0, 8, 4 }, -1, kBlack)) << i;
        EXPECT_EQ(picture(out), rows("rr......", "rr......", "......##", "......##")) << i;
        // Transparent: white lets the green show.
        out.fill({ 0, 255, 0 });
        EXPECT_TRUE(drawImage(dc, images[i], { 0, 0, 4, 2 }, 36, kBlack)) << i;
        EXPECT_EQ(picture(out).substr(0, 18), rows("rggggggg", "ggg#gggg")) << i;
    }
    Surface out(2, 2, 24);
    DeviceContext dc(out);
    std::vector<uint8_t> garbage(50, 7);
    EXPECT_FALSE(drawImage(dc, garbage, { 0, 0, 2, 2 }, -1, kBlack));
}

} // namespace

namespace {

TEST(Codec, ScaledImageRect)
{
    const struct { Rect image; Point at; int numerator, denominator; Rect expected; } cases[] = {
        { { 0, 0, 40, 30 }, { 5, 6 }, 1, 1, { 5, 6, 45, 36 } },
        { { 10, 10, 51, 41 }, { 0, 0 }, 1, 2, { 0, 0, 20, 15 } },      // half size, truncated
        { { 0, 0, 40, 30 }, { 0, 0 }, 3, 0, {} },                       // nothing to divide by
        { { 0, 0, 40, 30 }, { 0, 0 }, 0x10003, 0x10001, { 0, 0, 120, 90 } }, // 16-bit values
        { { 0, 0, 32767, 32767 }, { 0, 0 }, 32767, 1, { 0, 0, 1073676289, 1073676289 } },
    };
    for (auto& c : cases)
        EXPECT_EQ(scaledImageRect(c.image, c.at, c.numerator, c.denominator), c.expected);
}

TEST(Codec, CaptureRect)
{
    Surface s(4, 3, 24);
    s.fill(kWhite);
    s.setPixel(3, 0, 0xFF0000);
    s.setPixel(0, 2, 0x000000);
    DecodedImage whole = decodePackedBitmap(captureRect(s, { -5, -5, 50, 50 }, false));
    ASSERT_TRUE(whole.surface);
    EXPECT_EQ(picture(*whole.surface), rows("...r", "....", "#..."));
    DecodedImage turned = decodePackedBitmap(captureRect(s, s.bounds(), true));
    ASSERT_TRUE(turned.surface);
    EXPECT_EQ(picture(*turned.surface), rows("r..", "...", "...", "..#"));
    DecodedImage part = decodePackedBitmap(captureRect(s, { 2, 0, 4, 1 }, false));
    ASSERT_TRUE(part.surface);
    EXPECT_EQ(picture(*part.surface), rows(".r"));
    Surface indexed(4, 3, 8);
    EXPECT_TRUE(captureRect(indexed, indexed.bounds(), true).empty()) << "no rotation at 8 bits";
    EXPECT_FALSE(captureRect(indexed, indexed.bounds(), false).empty());
    EXPECT_TRUE(captureRect(s, { 10, 10, 20, 20 }, false).empty());
}

} // namespace

namespace {

TEST(Codec, RunLengthPackedBitmaps)
{
    const Rgb red { 255, 0, 0 }, green { 0, 255, 0 };
    auto withPixels = [](std::vector<uint8_t> bmp, uint32_t compression, const std::vector<uint8_t>& pixels) {
        bmp[16] = uint8_t(compression);
        bmp.insert(bmp.end(), pixels.begin(), pixels.end());
        return bmp;
    };
    std::vector<uint8_t> head8 = packedBitmap(5, 3, 8, 3, { kWhite, red, green }, {});
    std::vector<uint8_t> head4 = packedBitmap(5, 2, 4, 3, { kWhite, red, green }, {});
    const struct { std::vector<uint8_t> bytes; std::string expected; } cases[] = {
        // bottom row: run of 3 red, literal (green, white, green) cut at the width; end of line;
        // a move of one row up and two pixels right; a run of 2 green; end of bitmap.
        { withPixels(head8, 1, { 3, 1, 0, 3, 2, 0, 2, 0, 0, 0, 0, 2, 2, 1, 2, 2, 0, 1 }), "..gg.\n.....\nrrrg.\n" },
        // a run past the width, then the data stops without an end
        { withPixels(head8, 1, { 9, 2 }), ".....\n.....\nggggg\n" },
        // 4 bits: a run alternating red and green, a literal of 3 pixels (padded), end of line
        { withPixels(head4, 2, { 4, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 1 }), "grg..\nrgrg.\n" },
        // an escape to a literal longer than the data stops there
        { withPixels(head8, 1, { 0, 200, 1 }), ".....\n.....\n.....\n" },
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        DecodedImage d = decodePackedBitmap(cases[i].bytes);
        ASSERT_TRUE(d.surface) << i << " " << d.error;
        EXPECT_EQ(picture(*d.surface), cases[i].expected) << i;
    }
}

} // namespace
