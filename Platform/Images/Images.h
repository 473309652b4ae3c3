// Platform/Images/Images.h: images held as bytes. Recognising their format, decoding PNG, JPEG and
// packed bitmaps into painter surfaces, encoding PNG, JPEG and packed bitmaps, and the classic
// picture (PICT) format: its opcode interpreter with operation tables, the drawing table over a
// device context, and the writer.
//
// Every image is untrusted input: each length read from it is checked, in 64-bit arithmetic,
// against the bytes that remain and against kMaxImagePixels before anything is allocated or read.
#pragma once

#include "Platform/Paint/Paint.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

using Bytes = std::span<const uint8_t>;

// Images larger than this many pixels are refused (256 MB at 32 bits per pixel).
constexpr int64_t kMaxImagePixels = int64_t(1) << 26;

enum class ImageFormat { Unknown, Png, Jpeg, PackedBitmap, Pict };

// The format, tried in the order PNG, JPEG, packed bitmap, PICT.
ImageFormat recognizeImage(Bytes data);
// The picture frame (offsets 2..9: top, left, bottom, right) as a rect; (0 0 0 0) when the data
// is shorter than the frame.
Rect pictFrame(Bytes data);

// A decoded image: the pixels and the resolution in pixels per metre (0 when unknown).
struct DecodedImage {
    std::unique_ptr<Surface> surface;
    int xPixelsPerMetre = 0;
    int yPixelsPerMetre = 0;
    std::string error; // why decoding failed, when surface is null
};

// PNG: 16-bit channels stripped, palettes, low grey depths and transparency expanded, grey made
// RGB, composited over the file's background, gamma corrected for a screen gamma of 2.2; alpha is
// dropped. The result is 24 bits per pixel, top-down.
DecodedImage decodePng(Bytes data);
bool pngSize(Bytes data, int& width, int& height);
// A PNG of the surface's colours (RGB, 8 bits per channel).
std::vector<uint8_t> encodePng(const Surface& surface);

// JPEG: 24 bits for colour files, 8 bits with a grey ramp for greyscale ones, bottom-up. The
// resolution follows the file's density unit (dots per inch or per centimetre).
DecodedImage decodeJpeg(Bytes data);
bool jpegSize(Bytes data, int& width, int& height);
constexpr int kDefaultJpegQuality = 75;
// A JPEG of the surface's colours with quality 0..100 (greyscale when every colour is grey).
std::vector<uint8_t> encodeJpeg(const Surface& surface, int quality);

// Packed bitmaps: a 40-byte header, bit-field masks when its compression says so, a colour table
// of the header's colours-used count (2^bits when zero), then the pixels. 16-bit pixels decode to
// 24 bits; 2-bit ones do not exist in this format.
struct PackedBitmapHeader {
    int width = 0;
    int height = 0;          // as stored: negative for top-down rows
    int bitCount = 0;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0; // entries of the colour table
    size_t pixelOffset = 0;  // where the pixels start
    int xPixelsPerMetre = 0;
    int yPixelsPerMetre = 0;
};
// False, with the reason, for a header that does not describe pixels within the data.
bool readPackedBitmapHeader(Bytes data, PackedBitmapHeader& header, std::string* error = nullptr);
DecodedImage decodePackedBitmap(Bytes data);
// A packed bitmap of the surface at depth 1, 4, 8 (with the surface's or the standard palette),
// 16 (5-5-5), 24 or 32 bits; bottom-up rows, 2834 pixels per metre.
std::vector<uint8_t> encodePackedBitmap(const Surface& surface, int depth);

// ---- PICT ----

// Raised inside the interpreter and reported to the operations table's error entry.
struct PictError {
    int code;        // 1 malformed, 2 resolution, 4 unsupported opcode (or warning), 5 bitmap layout, 8 memory
    uint32_t detail;
};

// A bitmap opcode as the interpreter read it. Coordinates are the picture's own.
struct PictBitmap {
    int opcode = 0;            // 0x90, 0x98, 0x99 or 0x9A
    bool isPixMap = false;     // false for one-bit BitMaps
    int pixelSize = 1;
    int cmpCount = 1;
    int packType = 0;
    int rowBytes = 0;
    Rect bounds;
    Rect sourceRect;
    Rect destRect;             // as stored
    Rect mappedDest;           // mapped onto the drawing's destination
    int mode = 0;              // as stored, dither flag included
    size_t modeOffset = 0;     // offset of the mode word in the picture's data
    std::vector<Rgb> colorTable;
    // The pixels (the bounds' width and rows; 1, 4, 8, 24 or 32 bits), decoded only when the
    // table asks for them.
    std::unique_ptr<Surface> pixels;
};

// The operations the interpreter drives. Every entry does nothing unless overridden.
class PictOperations {
public:
    virtual ~PictOperations() = default;

    enum Verb { Frame = 0, Paint = 1, Erase = 2, Invert = 3, Fill = 4 };

    virtual void error(int code, uint32_t detail) { }
    virtual void lineTo(Point p) { }
    virtual void rect(Verb verb, Rect r) { }
    virtual void roundRect(Verb verb, Rect r, int ovalWidth, int ovalHeight) { }
    virtual void oval(Verb verb, Rect r) { }
    virtual void arc(Verb verb, Rect r, int startAngle, int arcAngle) { }
    virtual void polygon(Verb verb, const std::vector<Point>& points) { }
    virtual void bits(PictBitmap& bitmap) { }
    virtual void begin() { }
    virtual void end(size_t opcodeBytes) { }
    virtual void moveTo(Point p) { }
    virtual void clip(Rect clipRect, Rect destRect) { }
    virtual void penSize(int h, int v) { }
    virtual void penMode(int mode) { }
    virtual void penPattern(const std::array<uint8_t, 8>& pattern) { }
    virtual void fillPattern(const std::array<uint8_t, 8>& pattern) { }
    virtual void foreColor(uint16_t red, uint16_t green, uint16_t blue) { }
    virtual void backColor(uint16_t red, uint16_t green, uint16_t blue) { }

    virtual bool wantsPixels() const { return false; } // decode bitmap rows for bits()
    int overrideMode = -1;       // -1 for none
    bool acceptsAnyResolution = false;
};

// Plays the picture back through the table, its frame mapped onto dest. Errors never leave it:
// they reach ops.error and stop playback; end() is called whenever begin() was. Returns the last
// error code, 0 when playback reached the end opcode.
int playPicture(Bytes data, Rect dest, PictOperations& ops);

// The mapping of picture coordinates onto a destination, in 64-bit arithmetic.
struct PictMapping {
    Rect frame, dest;
    Point origin;              // the picture origin (frame's top-left, moved by Origin)
    int64_t mapX(int64_t x) const;
    int64_t mapY(int64_t y) const;
    Point map(Point p) const;
    Rect map(Rect r) const;
    bool scaled() const { return frame.width() != dest.width() || frame.height() != dest.height(); }
};

// The measuring tables' answers in one pass.
struct PictFacts {
    bool hasBitmap = false;
    Rect lastBitmapDest;       // as stored
    int lastMode = 0;          // dither flag included
    int depth = 0;             // largest pixel size (32 with fewer than 4 components counts 24)
    int errorCode = 0;
};
PictFacts measurePicture(Bytes data);
// Rewrites the mode word of every pixel-map bitmap to mode, keeping each word's dither flag.
int rewritePictureModes(std::span<uint8_t> data, int mode);

// Draws a picture into dest of the context. overrideMode is the caller's picture mode override
// (-1 none); colour replaces the black pixels of bitmaps of 8 or more bits when it is not black.
// The context's clip, raster operation, pen, brush and colours are restored afterwards.
int drawPicture(DeviceContext& dc, Bytes data, Rect dest, int overrideMode, Rgb colour);
// Draws a decoded surface into dest: source copy, or the transparent two passes when the mode's
// low six bits are 36 (pixels of the context's background colour let the destination show).
void drawSurface(DeviceContext& dc, const Surface& source, Rect sourceRect, Rect dest, int mode);

// Draws an image of any format scaled into dest (a packed bitmap, PNG or JPEG with source copy, or
// the transparent passes when overrideMode is 36). False when it could not be decoded or played
// to its end; an unknown format draws nothing.
bool drawImage(DeviceContext& dc, Bytes data, Rect dest, int overrideMode, Rgb colour);
// Any image as pixels: PNG, JPEG and packed bitmaps decoded, a PICT drawn on white into a surface
// of its frame's size and the given depth.
DecodedImage renderImage(Bytes data, int pictDepth);

// Where draw-picture puts an image: its rect moved to (0, 0), right and bottom scaled by
// numerator / denominator (16-bit values, truncating, in 64-bit arithmetic), moved to `at`. A zero
// denominator gives an empty rect: nothing is drawn.
Rect scaledImageRect(Rect imageRect, Point at, int numerator, int denominator);

// A rect of a surface as a bottom-up packed bitmap at the surface's depth (its palette for 8 bits
// and less), the rect first clipped to the surface. With rotate the bitmap is turned a quarter
// turn counter-clockwise (width and height exchanged), which only deeper surfaces allow: empty
// for 8 bits or less, and for a rect that holds no pixel.
std::vector<uint8_t> captureRect(const Surface& surface, Rect rect, bool rotate);

// A version 2 picture of the surface: 8-bit surfaces as PackBitsRect with their colour table,
// deeper ones as a 16-bit DirectBitsRect (5-5-5, word-wise PackBits).
std::vector<uint8_t> writePicture(const Surface& surface);

// PackBits, as the picture format uses it: items of itemSize bytes (1, or 2 for 16-bit pixels).
// Unpacks into out until it is full or the input is used up; false for a run that overflows out or
// a literal that runs past the input.
bool unpackBits(Bytes in, std::span<uint8_t> out, int itemSize);
void packBits(Bytes row, int itemSize, std::vector<uint8_t>& out);
