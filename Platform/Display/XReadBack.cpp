// Platform/Display/XReadBack.cpp: reads an SDL window's pixels back from the X server. Kept apart
// from Sdl.cpp because the X11 headers define names (Display, CursorShape) that ours use.
#include "Platform/Paint/Surface.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

bool readHostWindow(SDL_Window* window, int scale, Surface& out)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    XSync(info.info.x11.display, False);
    XImage* image = XGetImage(info.info.x11.display, info.info.x11.window, 0, 0, unsigned(out.width() * scale),
        unsigned(out.height() * scale), AllPlanes, ZPixmap);
    if (!image)
        return false;
    auto component = [](unsigned long pixel, unsigned long mask) {
        return mask ? uint8_t((pixel & mask) >> __builtin_ctzl(mask)) : uint8_t(0);
    };
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            unsigned long p = XGetPixel(image, x * scale, y * scale);
            Rgb c { component(p, image->red_mask), component(p, image->green_mask), component(p, image->blue_mask) };
            out.setPixel(x, y, out.valueOf(c));
        }
    XDestroyImage(image);
    return true;
}
