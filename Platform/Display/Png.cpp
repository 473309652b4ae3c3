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
