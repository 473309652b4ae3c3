// tests/paint/PaintSupport.h: small surfaces shown as rows of characters.
#pragma once

#include "Platform/Paint/Paint.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// '.' white, '#' black, 'r' red, 'g' green, 'b' blue, 'y' yellow, '?' anything else.
inline char symbolOf(Rgb c)
{
    static const struct { Rgb color; char symbol; } symbols[] = {
        { kWhite, '.' }, { kBlack, '#' }, { { 255, 0, 0 }, 'r' }, { { 0, 255, 0 }, 'g' },
        { { 0, 0, 255 }, 'b' }, { { 255, 255, 0 }, 'y' },
    };
    for (auto& s : symbols)
        if (s.color == c)
            return s.symbol;
    return '?';
}

inline std::string picture(const Surface& s)
{
    std::string out;
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x)
            out += symbolOf(s.colorAt(x, y));
        out += '\n';
    }
    return out;
}

// Joins rows given one per argument, so that a golden picture reads as a picture in the source.
template <typename... Rows> std::string rows(Rows... r)
{
    return ((std::string(r) + '\n') + ...);
}

// With VELORA_PAINT_DUMP set to a folder, writes the surface there as a binary PPM for a person
// to look at.
inline void dumpSurface(const Surface& s, const std::string& name)
{
    const char* folder = std::getenv("VELORA_PAINT_DUMP");
    if (!folder)
        return;
    std::string path = std::string(folder) + "/" + name + ".ppm";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fprintf(f, "P6\n%d %d\n255\n", s.width(), s.height());
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) {
                Rgb c = s.colorAt(x, y);
                std::fputc(c.red, f);
                std::fputc(c.green, f);
                std::fputc(c.blue, f);
            }
        std::fclose(f);
    }
}
