// tests/windows/XvfbTest.cpp: the SDL display under a virtual X server shows the same pixels as
// the headless display for the same scene.
#include "WindowsSupport.h"
#include "tests/support/VirtualServer.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

intptr_t sceneProc(WindowManager& wm, const Message& m) noexcept
{
    if (m.message == Msg::Paint) {
        PaintSession s = wm.beginPaint(m.window);
        s.dc->fillRect({ 5, 5, 60, 40 }, Brush::solid(Rgb { 200, 30, 40 }));
        s.dc->setPen({ PenStyle::Solid, 1, Rgb { 0, 0, 255 } });
        s.dc->setBrush(Brush::null());
        s.dc->ellipse({ 20, 20, 120, 90 });
        wm.endPaint(m.window, s);
        return 0;
    }
    return wm.defMdiChildProc(m);
}

intptr_t sceneFrameProc(WindowManager& wm, const Message& m) noexcept { return wm.defFrameProc(m); }

// Builds the scene on a display and paints it.
void paintScene(Display& display)
{
    WindowManager wm(display);
    wm.registerClass({ "FrameWClass", 3, sceneFrameProc, Rgb { 0, 0, 0 } });
    wm.registerClass({ "VeloraWndClass", 11, sceneProc, kWhite });
    CreateOptions o;
    o.className = "FrameWClass";
    o.style = Style::Visible | Style::ClipChildren;
    WindowHandle frame = wm.createWindow(o);
    WindowHandle client = wm.createMdiClient(frame, 0x56000001, 0);
    o.className = "VeloraWndClass";
    o.title = "Scene";
    o.style = Desk::kDocumentStyle;
    o.rect = { 10, 10, 170, 130 };
    wm.createMdiChild(client, o);
    wm.updateAll();
}

TEST(Xvfb, SdlWindowShowsTheHeadlessPixels)
{
    VirtualServer server;
    std::string whyNot;
    if (!server.start(whyNot))
        GTEST_SKIP() << "skipped: " << whyNot;
    setenv("DISPLAY", server.name().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    unsetenv("VELORA_SCALE");
    const FrameSize size { 200, 150 };
    auto sdl = openSdlDisplay(size, "Xvfb test", 1, whyNot);
    if (!sdl)
        GTEST_SKIP() << "skipped: SDL cannot open a window on Xvfb: " << whyNot;
    EXPECT_FALSE(sdl->isHeadless());
    EXPECT_EQ(sdl->scale(), 1);
    EXPECT_EQ(sdl->screenSize().width, 640); // the virtual server's screen
    EXPECT_EQ(sdl->screenSize().height, 480);
    auto headless = openHeadlessDisplay(size);
    paintScene(*headless);
    paintScene(*sdl);
    // Let the server map the window, then show the whole frame again.
    InputEvent e;
    for (int i = 0; i < 20; ++i)
        sdl->nextEvent(e, 20);
    sdl->present(Region(sdl->frameSurface().bounds()));
    Surface shown(size.width, size.height, 32);
    ASSERT_TRUE(sdl->readBack(shown)) << "cannot read the window back from the X server";
    int differences = 0;
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            if (shown.colorAt(x, y) != headless->frameSurface().colorAt(x, y) && ++differences <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " differs";
    EXPECT_EQ(differences, 0);
    // The scene really is there: the document's red square and its caption.
    EXPECT_EQ(shown.colorAt(30, 50), (Rgb { 200, 30, 40 }));
    EXPECT_EQ(shown.colorAt(100, 20), (Rgb { 0, 0, 128 }));
}

} // namespace

namespace {

// On a dense screen the frame is shown at an integer scale; input comes back in frame pixels.
TEST(Xvfb, ScaledWindowShowsEveryPixelTwiceAndMapsInputBack)
{
    VirtualServer server;
    std::string whyNot;
    if (!server.start(whyNot))
        GTEST_SKIP() << "skipped: " << whyNot;
    setenv("DISPLAY", server.name().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("VELORA_SCALE", "2", 1);
    const FrameSize size { 200, 150 };
    auto sdl = openSdlDisplay(size, "Xvfb scaled", 0, whyNot);
    unsetenv("VELORA_SCALE");
    if (!sdl)
        GTEST_SKIP() << "skipped: SDL cannot open a window on Xvfb: " << whyNot;
    ASSERT_EQ(sdl->scale(), 2);
    auto headless = openHeadlessDisplay(size);
    paintScene(*headless);
    paintScene(*sdl);
    InputEvent e;
    while (sdl->nextEvent(e, 100)) { }
    sdl->present(Region(sdl->frameSurface().bounds()));
    Surface shown(size.width, size.height, 32);
    ASSERT_TRUE(sdl->readBack(shown));
    int differences = 0;
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            differences += shown.colorAt(x, y) != headless->frameSurface().colorAt(x, y);
    EXPECT_EQ(differences, 0);

    SDL_Event press {};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button.button = SDL_BUTTON_RIGHT;
    press.button.x = 101;
    press.button.y = 61;
    ASSERT_EQ(SDL_PushEvent(&press), 1);
    SDL_Event wheel {};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = -2;
    ASSERT_EQ(SDL_PushEvent(&wheel), 1);
    SDL_Event text {};
    text.type = SDL_TEXTINPUT;
    std::strcpy(text.text.text, "\xC3\xA9\xE2\x82\xAC");
    ASSERT_EQ(SDL_PushEvent(&text), 1);
    std::vector<InputEvent> got;
    while (got.size() < 3 && sdl->nextEvent(e, 500))
        if (e.kind == InputEvent::Kind::Press || e.kind == InputEvent::Kind::Wheel || e.kind == InputEvent::Kind::Text)
            got.push_back(e);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].kind, InputEvent::Kind::Press);
    EXPECT_EQ(got[0].button, MouseButton::Right);
    EXPECT_EQ(got[0].x, 50);
    EXPECT_EQ(got[0].y, 30);
    EXPECT_EQ(got[1].wheelDelta, -240);
    EXPECT_EQ(got[2].text, "\xE9\x80");
}

} // namespace
