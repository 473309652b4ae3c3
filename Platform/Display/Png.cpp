// Platform/Display/Png.cpp: frames as PNG files (libpng's simplified interface), and code page
// 1252 against UTF-8.
#include "Platform/Display/Display.h"

#include <png.h>

#include <cstring>

bool writePng(const Surface& surface, const std::string& path, std::string& error)
{
    const int w = surface.width(), h = surface.height();
    std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgb c = surface.colorAt(x, y);
            uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            p[0] = c.red;
            p[1] = c.green;
            p[2] = c.blue;
        }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(w);
    image.height = png_uint_32(h);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), w * 3, nullptr)) {
        error = "cannot write " + path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

std::unique_ptr<Surface> readPng(const std::string& path, std::string& error)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = "cannot read " + path + ": " + image.message;
        return nullptr;
    }
    image.format = PNG_FORMAT_RGB;
    if (image.width > 16384 || image.height > 16384) {
        error = "image too large: " + path;
        png_image_free(&image);
        return nullptr;
    }
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        error = "cannot read " + path + ": " + image.message;
        png_image_free(&image);
        return nullptr;
    }
    auto surface = std::make_unique<Surface>(int(image.width), int(image.height), 32);
    for (int y = 0; y < int(image.height); ++y)
        for (int x = 0; x < int(image.width); ++x) {
            const uint8_t* p = &rgb[(size_t(y) * image.width + size_t(x)) * 3];
            surface->setPixel(x, y, uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    return surface;
}

namespace {

// Code points of 0x80..0x9F in code page 1252; 0 where the code page has no character.
const uint16_t kHigh1252[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

int to1252(uint32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] && kHigh1252[i] == c)
            return 0x80 + i;
    return -1;
}

} // namespace

std::string cp1252ToUtf8(std::string_view text)
{
    std::string out;
    for (unsigned char c : text) {
        uint32_t code = c >= 0x80 && c < 0xA0 ? kHigh1252[c - 0x80] : c;
        if (code)
            appendUtf8(out, code);
    }
    return out;
}

std::string utf8ToCp1252(std::string_view utf8, bool& ok)
{
    ok = true;
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t code;
        size_t length;
        if (c < 0x80) {
            code = c;
            length = 1;
        } else if ((c & 0xE0) == 0xC0) {
            code = c & 0x1F;
            length = 2;
        } else if ((c & 0xF0) == 0xE0) {
            code = c & 0x0F;
            length = 3;
        } else if ((c & 0xF8) == 0xF0) {
            code = c & 0x07;
            length = 4;
        } else {
            ok = false;
            ++i;
            continue;
        }
        if (i + length > utf8.size()) {
            ok = false;
            break;
        }
        bool valid = true;
        for (size_t k = 1; k < length; ++k) {
            unsigned char d = static_cast<unsigned char>(utf8[i + k]);
            if ((d & 0xC0) != 0x80)
                valid = false;
            code = code << 6 | (d & 0x3F);
        }
        i += valid ? length : 1;
        int mapped = valid ? to1252(code) : -1;
        if (mapped < 0)
            ok = false;
        else
            out += char(mapped);
    }
    return out;
}
