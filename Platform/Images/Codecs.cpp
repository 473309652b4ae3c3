// Platform/Images/Codecs.cpp: PNG through libpng, JPEG through libjpeg, and packed bitmaps.
//
// libpng and libjpeg report errors through handlers that would end the process; ours jump back to
// the call that started the work instead. Between setjmp and the jump only C calls and plain data
// live on the stack, and everything that must be freed hangs off a state object made before.
#include "Platform/Images/Images.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace {

constexpr int kMaxSide = 32767;

bool sizeAllowed(uint64_t width, uint64_t height)
{
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide
        && width * height <= uint64_t(kMaxImagePixels);
}

// ---- PNG ----

struct PngState {
    Bytes data;
    size_t position = 0;
    std::string error;
    std::unique_ptr<Surface> surface;
    std::vector<png_bytep> rows;
    std::vector<uint8_t>* out = nullptr;
    jmp_buf jump;
};

void pngError(png_structp png, png_const_charp message)
{
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    state->error = message ? message : "PNG error";
    longjmp(state->jump, 1);
}

void pngWarning(png_structp, png_const_charp) { }

void pngRead(png_structp png, png_bytep out, png_size_t length)
{
    auto* state = static_cast<PngState*>(png_get_io_ptr(png));
    if (length > state->data.size() - state->position)
        png_error(png, "PNG data ends early");
    std::memcpy(out, state->data.data() + state->position, length);
    state->position += length;
}

void pngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* state = static_cast<PngState*>(png_get_io_ptr(png));
    state->out->insert(state->out->end(), data, data + length);
}

void pngFlush(png_structp) { }

// Decodes (or, with headerOnly, measures) a PNG. Returns false with state.error set on failure.
bool runPngDecode(PngState& state, bool headerOnly, int& width, int& height)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, pngError, pngWarning);
    if (!png) {
        state.error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        state.error = "out of memory";
        return false;
    }
    if (setjmp(state.jump)) {
        png_destroy_read_struct(&png, &info, nullptr);
        state.surface.reset();
        return false;
    }
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, 8u << 20);
    png_set_read_fn(png, &state, pngRead);
    png_read_info(png, info);
    png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (!sizeAllowed(w, h))
        png_error(png, "PNG too large");
    width = int(w);
    height = int(h);
    if (headerOnly) {
        png_destroy_read_struct(&png, &info, nullptr);
        return true;
    }
    int colorType = png_get_color_type(png, info);
    png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_color_16p background;
    if (png_get_bKGD(png, info, &background))
        png_set_background(png, background, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
    double gamma;
    if (png_get_gAMA(png, info, &gamma))
        png_set_gamma(png, 2.2, gamma);
    png_set_strip_alpha(png);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * 3)
        png_error(png, "unexpected PNG row layout");
    state.surface = Surface::make(int(w), int(h), 24);
    if (!state.surface)
        png_error(png, "out of memory");
    state.rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        state.rows[y] = state.surface->row(int(y));
    png_read_image(png, state.rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// ---- JPEG ----

struct JpegState {
    jpeg_error_mgr manager; // first: libjpeg hands back a pointer to it
    jpeg_progress_mgr progress;
    jmp_buf jump;
    std::string error;
    std::unique_ptr<Surface> surface;
    unsigned char* encoded = nullptr;
    unsigned long encodedSize = 0;
};

void jpegErrorExit(j_common_ptr info)
{
    auto* state = reinterpret_cast<JpegState*>(info->err);
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    state->error = message;
    longjmp(state->jump, 1);
}

void jpegOutputMessage(j_common_ptr) { }

// A progressive file can hold thousands of tiny scans; past this many it is refused.
void jpegProgress(j_common_ptr info)
{
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > 500)
        jpegErrorExit(info);
}

void setUpErrors(JpegState& state, j_common_ptr info)
{
    info->err = jpeg_std_error(&state.manager);
    state.manager.error_exit = jpegErrorExit;
    state.manager.output_message = jpegOutputMessage;
}

bool runJpegDecode(JpegState& state, Bytes data, bool headerOnly, DecodedImage& result, int& width, int& height)
{
    jpeg_decompress_struct info;
    std::memset(&info, 0, sizeof info);
    setUpErrors(state, reinterpret_cast<j_common_ptr>(&info));
    if (setjmp(state.jump)) {
        jpeg_destroy_decompress(&info);
        state.surface.reset();
        return false;
    }
    jpeg_create_decompress(&info);
    state.progress.progress_monitor = jpegProgress;
    info.progress = &state.progress;
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    if (!sizeAllowed(info.image_width, info.image_height)) {
        state.error = "JPEG too large";
        jpeg_destroy_decompress(&info);
        return false;
    }
    width = int(info.image_width);
    height = int(info.image_height);
    switch (info.density_unit) {
    case 1: // dots per inch
        result.xPixelsPerMetre = int(info.X_density * 10000 / 254);
        result.yPixelsPerMetre = int(info.Y_density * 10000 / 254);
        break;
    case 2: // dots per centimetre
        result.xPixelsPerMetre = info.X_density * 100;
        result.yPixelsPerMetre = info.Y_density * 100;
        break;
    default: // an aspect ratio only
        break;
    }
    if (headerOnly) {
        jpeg_destroy_decompress(&info);
        return true;
    }
    bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != (grey ? 1 : 3))
        jpegErrorExit(reinterpret_cast<j_common_ptr>(&info));
    if (grey) {
        std::vector<Rgb> ramp(256);
        for (int i = 0; i < 256; ++i)
            ramp[size_t(i)] = { uint8_t(i), uint8_t(i), uint8_t(i) };
        Palette palette(std::move(ramp));
        state.surface = Surface::make(width, height, 8, RowOrder::BottomUp, &palette);
    } else {
        state.surface = Surface::make(width, height, 24, RowOrder::BottomUp);
    }
    if (!state.surface) {
        state.error = "out of memory";
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JDIMENSION y = info.output_scanline;
        JSAMPROW row = state.surface->row(int(y));
        jpeg_read_scanlines(&info, &row, 1);
        if (!grey) // RGB to the surface's blue, green, red
            for (int x = 0; x < width; ++x)
                std::swap(row[3 * x], row[3 * x + 2]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool runJpegEncode(JpegState& state, const Surface& s, int quality, bool grey, std::vector<uint8_t>& line)
{
    jpeg_compress_struct info;
    std::memset(&info, 0, sizeof info);
    setUpErrors(state, reinterpret_cast<j_common_ptr>(&info));
    if (setjmp(state.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &state.encoded, &state.encodedSize);
    info.image_width = JDIMENSION(s.width());
    info.image_height = JDIMENSION(s.height());
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.density_unit = 1;
    info.X_density = 72;
    info.Y_density = 72;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        int y = int(info.next_scanline);
        for (int x = 0; x < s.width(); ++x) {
            Rgb c = s.colorAt(x, y);
            if (grey) {
                line[size_t(x)] = c.red;
            } else {
                line[size_t(3 * x)] = c.red;
                line[size_t(3 * x + 1)] = c.green;
                line[size_t(3 * x + 2)] = c.blue;
            }
        }
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

uint32_t le32(Bytes d, size_t at) { return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | uint32_t(d[at + 3]) << 24; }
uint16_t le16(Bytes d, size_t at) { return uint16_t(d[at] | d[at + 1] << 8); }
void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

// A component of a bit-field pixel scaled to 8 bits.
uint8_t fieldValue(uint32_t pixel, uint32_t mask)
{
    if (!mask)
        return 0;
    int shift = __builtin_ctz(mask);
    uint32_t max = mask >> shift;
    return uint8_t(uint64_t((pixel & mask) >> shift) * 255 / max);
}

// Run-length pixels (8 or 4 bits), bottom-up: pairs of count and pixels, or an escape (0) followed
// by end of line (0), end of bitmap (1), a move (2, dx, dy) or n >= 3 literal pixels padded to a
// word. Pixels outside the bitmap are dropped; every step reads at least one byte, so it ends.
void decodeRunLength(Bytes in, int bits, Surface& s)
{
    const int width = s.width(), height = s.height();
    int x = 0, y = 0; // y counts from the bottom row
    auto put = [&](int value) {
        if (x < width && y < height) {
            uint8_t* row = s.row(height - 1 - y);
            if (bits == 8)
                row[x] = uint8_t(value);
            else
                row[x / 2] = uint8_t(x % 2 ? (row[x / 2] & 0xF0) | (value & 15) : (row[x / 2] & 0x0F) | value << 4);
        }
        ++x;
    };
    size_t i = 0;
    while (i + 1 < in.size() && y < height) {
        int count = in[i], value = in[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count && x <= width; ++k)
                put(bits == 8 ? value : (k % 2 ? value & 15 : value >> 4));
            continue;
        }
        if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (i + 1 >= in.size())
                return;
            x += in[i];
            y += in[i + 1];
            i += 2;
        } else {
            size_t bytes = bits == 8 ? size_t(value) : (size_t(value) + 1) / 2;
            if (bytes > in.size() - i)
                return;
            for (int k = 0; k < value; ++k)
                put(bits == 8 ? in[i + size_t(k)] : (k % 2 ? in[i + size_t(k / 2)] & 15 : in[i + size_t(k / 2)] >> 4));
            i += (bytes + 1) & ~size_t(1);
        }
    }
}

} // namespace

DecodedImage decodePng(Bytes data)
{
    DecodedImage result;
    auto state = std::make_unique<PngState>();
    state->data = data;
    int width = 0, height = 0;
    if (runPngDecode(*state, false, width, height))
        result.surface = std::move(state->surface);
    else
        result.error = state->error;
    return result;
}

bool pngSize(Bytes data, int& width, int& height)
{
    auto state = std::make_unique<PngState>();
    state->data = data;
    return runPngDecode(*state, true, width, height);
}

std::vector<uint8_t> encodePng(const Surface& s)
{
    std::vector<uint8_t> out;
    auto state = std::make_unique<PngState>();
    state->out = &out;
    std::vector<uint8_t> line(size_t(s.width()) * 3 + 1);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, state.get(), pngError, pngWarning);
    if (!png)
        return {};
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(state->jump)) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return {};
    }
    png_set_write_fn(png, state.get(), pngWrite, pngFlush);
    png_set_IHDR(png, info, png_uint_32(s.width()), png_uint_32(s.height()), 8, PNG_COLOR_TYPE_RGB,
        PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x) {
            Rgb c = s.colorAt(x, y);
            line[size_t(3 * x)] = c.red;
            line[size_t(3 * x + 1)] = c.green;
            line[size_t(3 * x + 2)] = c.blue;
        }
        png_write_row(png, line.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

DecodedImage decodeJpeg(Bytes data)
{
    DecodedImage result;
    auto state = std::make_unique<JpegState>();
    int width = 0, height = 0;
    if (runJpegDecode(*state, data, false, result, width, height))
        result.surface = std::move(state->surface);
    else
        result.error = state->error;
    return result;
}

bool jpegSize(Bytes data, int& width, int& height)
{
    auto state = std::make_unique<JpegState>();
    DecodedImage ignored;
    return runJpegDecode(*state, data, true, ignored, width, height);
}

std::vector<uint8_t> encodeJpeg(const Surface& s, int quality)
{
    if (s.width() <= 0 || s.height() <= 0)
        return {};
    bool grey = true;
    for (int y = 0; y < s.height() && grey; ++y)
        for (int x = 0; x < s.width() && grey; ++x) {
            Rgb c = s.colorAt(x, y);
            grey = c.red == c.green && c.green == c.blue;
        }
    auto state = std::make_unique<JpegState>();
    std::vector<uint8_t> line(size_t(s.width()) * 3);
    std::vector<uint8_t> out;
    if (runJpegEncode(*state, s, std::clamp(quality, 0, 100), grey, line))
        out.assign(state->encoded, state->encoded + state->encodedSize);
    std::free(state->encoded);
    return out;
}

// ---- Packed bitmaps ----

bool readPackedBitmapHeader(Bytes d, PackedBitmapHeader& h, std::string* error)
{
    auto fail = [&](const char* why) {
        if (error)
            *error = why;
        return false;
    };
    if (d.size() < 40)
        return fail("packed bitmap header too short");
    uint32_t headerSize = le32(d, 0);
    if (headerSize < 40 || headerSize > d.size())
        return fail("bad packed bitmap header size");
    int64_t width = int32_t(le32(d, 4)), height = int32_t(le32(d, 8));
    h.width = int(std::clamp<int64_t>(width, -1, kMaxSide + 1));
    h.height = int(std::clamp<int64_t>(height, -kMaxSide - 1, kMaxSide + 1));
    if (le16(d, 12) != 1)
        return fail("packed bitmap planes must be 1");
    h.bitCount = le16(d, 14);
    h.compression = le32(d, 16);
    h.xPixelsPerMetre = int32_t(le32(d, 24));
    h.yPixelsPerMetre = int32_t(le32(d, 28));
    h.colorsUsed = le32(d, 32);
    int64_t rows = height < 0 ? -height : height;
    if (!sizeAllowed(uint64_t(std::max<int64_t>(width, 0)), uint64_t(rows)))
        return fail("packed bitmap size out of range");
    switch (h.bitCount) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32: break;
    default: return fail("packed bitmap bit count not supported");
    }
    const bool runLength = (h.compression == 1 && h.bitCount == 8) || (h.compression == 2 && h.bitCount == 4);
    if (h.compression != 0 && !runLength && !(h.compression == 3 && (h.bitCount == 16 || h.bitCount == 32)))
        return fail("packed bitmap compression not supported");
    if (runLength && height < 0)
        return fail("run-length packed bitmaps are bottom-up");
    if (h.bitCount <= 8) {
        uint32_t full = 1u << h.bitCount;
        if (h.colorsUsed == 0)
            h.colorsUsed = full;
        if (h.colorsUsed > full)
            return fail("packed bitmap colour table too large");
    } else if (h.colorsUsed > 256) {
        return fail("packed bitmap colour table too large");
    }
    uint64_t offset = uint64_t(headerSize) + (h.compression == 3 ? 12 : 0) + uint64_t(h.colorsUsed) * 4;
    uint64_t stride = (uint64_t(width) * uint64_t(h.bitCount) + 31) / 32 * 4;
    if (offset > d.size() || (!runLength && stride * uint64_t(rows) > d.size() - offset))
        return fail("packed bitmap pixels run past the data");
    h.pixelOffset = size_t(offset);
    return true;
}

DecodedImage decodePackedBitmap(Bytes d)
{
    DecodedImage result;
    PackedBitmapHeader h;
    if (!readPackedBitmapHeader(d, h, &result.error))
        return result;
    const int width = h.width, rows = std::abs(h.height);
    const size_t headerSize = le32(d, 0);
    const size_t stride = (size_t(width) * size_t(h.bitCount) + 31) / 32 * 4;
    auto sourceRow = [&](int y) { return d.data() + h.pixelOffset + stride * size_t(h.height > 0 ? rows - 1 - y : y); };
    result.xPixelsPerMetre = h.xPixelsPerMetre;
    result.yPixelsPerMetre = h.yPixelsPerMetre;
    if (h.bitCount <= 8) {
        std::vector<Rgb> entries(size_t(1) << (h.bitCount == 2 ? 4 : h.bitCount), kBlack);
        const uint8_t* table = d.data() + h.pixelOffset - h.colorsUsed * 4;
        for (uint32_t i = 0; i < h.colorsUsed; ++i)
            entries[i] = { table[4 * i + 2], table[4 * i + 1], table[4 * i] };
        Palette palette(std::move(entries));
        int depth = h.bitCount == 2 ? 4 : h.bitCount;
        result.surface = Surface::make(width, rows, depth, RowOrder::TopDown, &palette);
        if (!result.surface) {
            result.error = "out of memory";
            return result;
        }
        if (h.compression == 1 || h.compression == 2) {
            decodeRunLength(d.subspan(h.pixelOffset), h.bitCount, *result.surface);
            return result;
        }
        for (int y = 0; y < rows; ++y) {
            uint8_t* out = result.surface->row(y);
            const uint8_t* in = sourceRow(y);
            if (h.bitCount == 2) {
                for (int x = 0; x < width; ++x) {
                    int p = in[x / 4] >> (6 - 2 * (x % 4)) & 3;
                    out[x / 2] |= uint8_t(x % 2 ? p : p << 4);
                }
            } else {
                std::memcpy(out, in, std::min<size_t>(stride, size_t(result.surface->stride())));
            }
        }
        return result;
    }
    const bool alpha = h.bitCount == 32 && h.compression == 0;
    result.surface = Surface::make(width, rows, alpha ? 32 : 24);
    if (!result.surface) {
        result.error = "out of memory";
        return result;
    }
    uint32_t masks[3] = { 0x7C00, 0x03E0, 0x001F };
    if (h.bitCount == 32)
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    if (h.compression == 3)
        for (int i = 0; i < 3; ++i)
            masks[i] = le32(d, headerSize + size_t(4 * i));
    for (int y = 0; y < rows; ++y) {
        uint8_t* out = result.surface->row(y);
        const uint8_t* in = sourceRow(y);
        if (h.bitCount == 24 || alpha) {
            std::memcpy(out, in, size_t(width) * size_t(h.bitCount / 8));
            continue;
        }
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = h.bitCount == 16 ? uint32_t(in[2 * x] | in[2 * x + 1] << 8)
                                              : le32(Bytes(in + 4 * x, 4), 0);
            out[3 * x] = fieldValue(pixel, masks[2]);
            out[3 * x + 1] = fieldValue(pixel, masks[1]);
            out[3 * x + 2] = fieldValue(pixel, masks[0]);
        }
    }
    return result;
}

std::vector<uint8_t> encodePackedBitmap(const Surface& source, int depth)
{
    const int width = source.width(), height = source.height();
    std::unique_ptr<Surface> converted;
    const Surface* s = &source;
    int surfaceDepth = depth == 16 ? 24 : depth;
    if (source.depth() != surfaceDepth) {
        const Palette* palette = nullptr;
        if (depth == 8 && source.depth() == 8)
            palette = &source.palette();
        converted = Surface::make(width, height, surfaceDepth, RowOrder::TopDown, palette);
        if (!converted)
            return {};
        DeviceContext to(*converted);
        DeviceContext from(const_cast<Surface&>(source));
        to.bitBlt(converted->bounds(), &from, { 0, 0 }, Rop3::SrcCopy);
        s = converted.get();
    }
    const size_t stride = size_t(Surface::strideFor(width, depth));
    const uint32_t colors = depth <= 8 ? uint32_t(s->palette().size()) : 0;
    std::vector<uint8_t> out;
    out.reserve(40 + colors * 4 + stride * size_t(height));
    put32(out, 40);
    put32(out, uint32_t(width));
    put32(out, uint32_t(height));
    put16(out, 1);
    put16(out, uint16_t(depth));
    put32(out, 0);
    put32(out, uint32_t(stride * size_t(height)));
    put32(out, 2834);
    put32(out, 2834);
    put32(out, colors);
    put32(out, 0);
    for (uint32_t i = 0; i < colors; ++i) {
        Rgb c = s->palette()[int(i)];
        out.insert(out.end(), { c.blue, c.green, c.red, 0 });
    }
    for (int y = height - 1; y >= 0; --y) {
        size_t start = out.size();
        if (depth == 16) {
            const uint8_t* in = s->row(y);
            for (int x = 0; x < width; ++x)
                put16(out, uint16_t((in[3 * x + 2] >> 3) << 10 | (in[3 * x + 1] >> 3) << 5 | in[3 * x] >> 3));
        } else {
            const uint8_t* in = s->row(y);
            out.insert(out.end(), in, in + std::min(stride, size_t(s->stride())));
        }
        out.resize(start + stride, 0);
    }
    return out;
}
