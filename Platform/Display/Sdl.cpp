// Platform/Display/Sdl.cpp: the frame in an SDL2 host window. The frame's pixels are copied to
// the window's surface (scaled by an integer factor on dense screens); host input is mapped back
// to frame coordinates, keys to virtual-key codes, text to code page 1252, the wheel to 120s.
#include "Platform/Display/Display.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

// In XReadBack.cpp, apart, because the X11 headers clash with our names.
bool readHostWindow(SDL_Window* window, int scale, Surface& out);

namespace {

uint8_t virtualKeyOf(SDL_Keycode key, bool& extended)
{
    extended = false;
    if (key >= SDLK_a && key <= SDLK_z)
        return uint8_t('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9)
        return uint8_t('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return uint8_t(0x70 + (key - SDLK_F1));
    if (key >= SDLK_F13 && key <= SDLK_F24)
        return uint8_t(0x7C + (key - SDLK_F13));
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return uint8_t(0x61 + (key - SDLK_KP_1));
    switch (key) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN: return 13;
    case SDLK_KP_ENTER: extended = true; return 13;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 16;
    case SDLK_LCTRL: case SDLK_RCTRL: return 17;
    case SDLK_LALT: case SDLK_RALT: return 18;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_ESCAPE: return 27;
    case SDLK_SPACE: return 32;
    case SDLK_PAGEUP: return 33;
    case SDLK_PAGEDOWN: return 34;
    case SDLK_END: return 35;
    case SDLK_HOME: return 36;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_KP_0: return 0x60;
    case SDLK_KP_MULTIPLY: return 106;
    case SDLK_KP_PLUS: return 107;
    case SDLK_KP_MINUS: return 109;
    case SDLK_KP_PERIOD: return 110;
    case SDLK_KP_DIVIDE: return 111;
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    default: return 0;
    }
}

uint32_t modifiersOf(SDL_Keymod mod)
{
    uint32_t m = 0;
    if (mod & KMOD_SHIFT)
        m |= Modifier::Shift;
    if (mod & KMOD_CTRL)
        m |= Modifier::Control;
    if (mod & KMOD_ALT)
        m |= Modifier::Alt;
    if (mod & KMOD_CAPS)
        m |= Modifier::CapsLock;
    return m;
}

// The integer factor for the screen: VELORA_SCALE, else the density (96 dots per inch a pixel),
// at most what lets the frame fit on the screen.
int chooseScale(FrameSize frame, int asked)
{
    int scale = asked;
    if (const char* env = std::getenv("VELORA_SCALE"))
        scale = std::atoi(env);
    if (scale <= 0) {
        float ddpi = 0;
        scale = SDL_GetDisplayDPI(0, &ddpi, nullptr, nullptr) == 0 && ddpi >= 96 ? int(ddpi / 96) : 1;
        SDL_Rect bounds;
        if (SDL_GetDisplayUsableBounds(0, &bounds) == 0)
            while (scale > 1 && (frame.width * scale > bounds.w || frame.height * scale > bounds.h))
                --scale;
    }
    return std::clamp(scale, 1, 8);
}

class SdlDisplay final : public Display {
public:
    SdlDisplay(FrameSize frame, SDL_Window* window, int scale)
        : m_surface(frame.width, frame.height, 32)
        , m_window(window)
        , m_scale(scale)
        , m_start(SDL_GetTicks())
    {
        m_surface.fill(kWhite);
        m_source = SDL_CreateRGBSurfaceWithFormatFrom(m_surface.pixels(), frame.width, frame.height, 32,
            m_surface.stride(), SDL_PIXELFORMAT_RGB888); // the fourth byte is not alpha
        SDL_StartTextInput();
    }

    ~SdlDisplay() override
    {
        if (m_cursor)
            SDL_FreeCursor(m_cursor);
        SDL_FreeSurface(m_source);
        SDL_DestroyWindow(m_window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        // SDL frees what it shares between subsystems (its D-Bus connection) only in SDL_Quit.
        if (!SDL_WasInit(SDL_INIT_EVERYTHING))
            SDL_Quit();
    }

    bool isHeadless() const override { return false; }
    Surface& frameSurface() override { return m_surface; }
    int scale() const override { return m_scale; }

    void present(const Region& dirty) override
    {
        SDL_Surface* target = SDL_GetWindowSurface(m_window);
        if (!target)
            return;
        std::vector<SDL_Rect> rects;
        for (const Rect& r : dirty.rects()) {
            Rect c = r.intersection(m_surface.bounds());
            if (c.isEmpty())
                continue;
            SDL_Rect from { c.left, c.top, c.width(), c.height() };
            SDL_Rect to { c.left * m_scale, c.top * m_scale, c.width() * m_scale, c.height() * m_scale };
            if (m_scale == 1)
                SDL_BlitSurface(m_source, &from, target, &to);
            else
                SDL_BlitScaled(m_source, &from, target, &to);
            rects.push_back(to);
        }
        if (!rects.empty())
            SDL_UpdateWindowSurfaceRects(m_window, rects.data(), int(rects.size()));
    }

    bool nextEvent(InputEvent& event, int timeoutMs) override
    {
        uint32_t deadline = SDL_GetTicks() + uint32_t(std::max(timeoutMs, 0));
        for (;;) {
            SDL_Event e;
            int got;
            if (timeoutMs < 0)
                got = SDL_WaitEvent(&e);
            else {
                int left = int(deadline - SDL_GetTicks());
                got = left > 0 ? SDL_WaitEventTimeout(&e, left) : SDL_PollEvent(&e);
            }
            if (!got)
                return false;
            if (translate(e, event))
                return true;
        }
    }

    uint32_t milliseconds() override { return SDL_GetTicks() - m_start; }

    void setCursor(const CursorShape& shape) override
    {
        SDL_Cursor* cursor;
        if (shape.custom) {
            uint8_t data[32], mask[32];
            for (int i = 0; i < 16; ++i) {
                data[i * 2] = uint8_t(shape.image.image[i] >> 8);
                data[i * 2 + 1] = uint8_t(shape.image.image[i]);
                mask[i * 2] = uint8_t(shape.image.mask[i] >> 8);
                mask[i * 2 + 1] = uint8_t(shape.image.mask[i]);
            }
            cursor = SDL_CreateCursor(data, mask, 16, 16, std::clamp(shape.image.hotSpot.x, 0, 15),
                std::clamp(shape.image.hotSpot.y, 0, 15));
        } else {
            static const SDL_SystemCursor kSystem[] = { SDL_SYSTEM_CURSOR_ARROW, SDL_SYSTEM_CURSOR_IBEAM,
                SDL_SYSTEM_CURSOR_CROSSHAIR, SDL_SYSTEM_CURSOR_WAIT, SDL_SYSTEM_CURSOR_SIZENS,
                SDL_SYSTEM_CURSOR_SIZEWE, SDL_SYSTEM_CURSOR_SIZENESW, SDL_SYSTEM_CURSOR_SIZENWSE };
            cursor = SDL_CreateSystemCursor(kSystem[int(shape.standard)]);
        }
        if (!cursor)
            return;
        SDL_SetCursor(cursor);
        if (m_cursor)
            SDL_FreeCursor(m_cursor);
        m_cursor = cursor;
    }

    void showCursor(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }
    void setTitle(const std::string& title) override { SDL_SetWindowTitle(m_window, cp1252ToUtf8(title).c_str()); }

    // Reads the window's pixels back from the X server (every scale-th pixel), so that what the
    // host shows can be compared with the frame.
    bool readBack(Surface& out) override
    {
        if (out.width() != m_surface.width() || out.height() != m_surface.height())
            return false;
        return readHostWindow(m_window, m_scale, out);
    }

    FrameSize screenSize() override
    {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(SDL_GetWindowDisplayIndex(m_window), &mode) != 0)
            return { m_surface.width(), m_surface.height() };
        return { mode.w / m_scale, mode.h / m_scale };
    }

    Point framePosition() override
    {
        int x = 0, y = 0;
        SDL_GetWindowPosition(m_window, &x, &y);
        return { x / m_scale, y / m_scale };
    }

    void setFramePosition(Point topLeft) override
    {
        SDL_SetWindowPosition(m_window, topLeft.x * m_scale, topLeft.y * m_scale);
    }

    FrameState frameState() override
    {
        uint32_t flags = SDL_GetWindowFlags(m_window);
        return flags & SDL_WINDOW_MINIMIZED ? FrameState::Minimized
            : flags & SDL_WINDOW_MAXIMIZED  ? FrameState::Maximized
                                            : FrameState::Normal;
    }

    // The frame keeps its size: a maximised host window shows it at the top left.
    void setFrameState(FrameState state) override
    {
        switch (state) {
        case FrameState::Normal: SDL_RestoreWindow(m_window); break;
        case FrameState::Minimized: SDL_MinimizeWindow(m_window); break;
        case FrameState::Maximized: SDL_MaximizeWindow(m_window); break;
        }
    }

private:
    bool translate(const SDL_Event& e, InputEvent& out)
    {
        out = InputEvent {};
        out.modifiers = modifiersOf(SDL_GetModState());
        switch (e.type) {
        case SDL_QUIT:
            out.kind = InputEvent::Kind::Quit;
            return true;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                present(Region(m_surface.bounds()));
                out.kind = InputEvent::Kind::Expose;
                return true;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                out.kind = InputEvent::Kind::FocusGained;
                return true;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                out.kind = InputEvent::Kind::FocusLost;
                return true;
            default:
                return false;
            }
        case SDL_MOUSEMOTION:
            out.kind = InputEvent::Kind::Move;
            out.x = e.motion.x / m_scale;
            out.y = e.motion.y / m_scale;
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            out.kind = e.type == SDL_MOUSEBUTTONDOWN ? InputEvent::Kind::Press : InputEvent::Kind::Release;
            out.x = e.button.x / m_scale;
            out.y = e.button.y / m_scale;
            out.button = e.button.button == SDL_BUTTON_RIGHT ? MouseButton::Right
                : e.button.button == SDL_BUTTON_MIDDLE     ? MouseButton::Middle
                                                           : MouseButton::Left;
            return true;
        case SDL_MOUSEWHEEL: {
            out.kind = InputEvent::Kind::Wheel;
            int x = 0, y = 0;
            SDL_GetMouseState(&x, &y);
            out.x = x / m_scale;
            out.y = y / m_scale;
            out.wheelDelta = (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y) * 120;
            return out.wheelDelta != 0;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            out.kind = e.type == SDL_KEYDOWN ? InputEvent::Kind::KeyDown : InputEvent::Kind::KeyUp;
            out.virtualKey = virtualKeyOf(e.key.keysym.sym, out.extended);
            out.repeat = e.key.repeat != 0;
            return out.virtualKey != 0;
        case SDL_TEXTINPUT: {
            bool ok = true;
            out.kind = InputEvent::Kind::Text;
            out.text = utf8ToCp1252(e.text.text, ok);
            return !out.text.empty();
        }
        default:
            return false;
        }
    }

    Surface m_surface;
    SDL_Window* m_window;
    SDL_Surface* m_source = nullptr;
    SDL_Cursor* m_cursor = nullptr;
    int m_scale;
    uint32_t m_start;
};

} // namespace

std::unique_ptr<Display> openSdlDisplay(FrameSize frame, const std::string& title, int scale, std::string& whyNot)
{
    // The frame goes to the window's own surface, not through a GL renderer (which would start
    // a software GL implementation with its threads, for nothing).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        whyNot = SDL_GetError();
        return nullptr;
    }
    // Without a display SDL falls back to drivers that show nothing; a run there is headless,
    // unless SDL_VIDEODRIVER asked for them.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (driver && !(asked && *asked) && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        whyNot = std::string("no display (SDL found only its ") + driver + " driver)";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    scale = chooseScale(frame, scale);
    SDL_Window* window = SDL_CreateWindow(cp1252ToUtf8(title).c_str(), SDL_WINDOWPOS_CENTERED,
        SDL_WINDOWPOS_CENTERED, frame.width * scale, frame.height * scale, 0);
    if (!window) {
        whyNot = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    return std::make_unique<SdlDisplay>(frame, window, scale);
}
