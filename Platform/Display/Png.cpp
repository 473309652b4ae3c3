// Platform/Display/Png.cpp: frames as PNG files (written through the image codecs, read back
// through libpng's simplified interface for comparisons).
#include "Platform/Display/Display.h"

#include "Platform/Files/Files.h"
#include "Platform/Images/Images.h"

#include <png.h>

#include <cstring>

// The codecs' encoder makes the bytes; here they only go to the file.
bool writePng(const Surface& surface, const std::string& path, std::string& error)
{
    std::vector<uint8_t> bytes = encodePng(surface);
    HostFile file;
    if (bytes.empty() || failed(file.open(path, FileAccess::ReadWrite, FileCreate::Truncate))
        || failed(file.write(0, bytes.data(), bytes.size())) || failed(file.close())) {
        error = "cannot write " + path;
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
