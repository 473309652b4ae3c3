// tests/windows/XvfbTest.cpp: the SDL display under a virtual X server shows the same pixels as
// the headless display for the same scene.
#include "WindowsSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// Starts Xvfb on a free display number; stops it when done.
class VirtualServer {
public:
    bool start(std::string& whyNot)
    {
        if (access("/usr/bin/Xvfb", X_OK) != 0) {
            whyNot = "Xvfb is not installed (scripts/deps.sh installs it)";
            return false;
        }
        for (int n = 90 + getpid() % 100; n < 300; ++n) {
            std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            if (access(lock.c_str(), F_OK) == 0)
                continue;
            m_name = ":" + std::to_string(n);
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            const char* argv[] = { "Xvfb", m_name.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp", nullptr };
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            int rc = posix_spawn(&m_pid, "/usr/bin/Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
            posix_spawn_file_actions_destroy(&actions);
            if (rc != 0) {
                whyNot = "cannot start Xvfb";
                return false;
            }
            for (int i = 0; i < 100; ++i) {
                struct stat st;
                if (stat(socket.c_str(), &st) == 0)
                    return true;
                int status;
                if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_pid = 0;
                    break; // that number was taken after all: try the next
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (m_pid) {
                whyNot = "Xvfb did not come up in 5 seconds";
                return false;
            }
        }
        whyNot = "no free display number for Xvfb";
        return false;
    }
    const std::string& name() const { return m_name; }
    ~VirtualServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = 0;
    std::string m_name;
};

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
    auto headless = openHeadlessDisplay(size);
    paintScene(*headless);
    paintScene(*sdl);
    // Let the server map the window, then show the whole frame again.
    InputEvent e;
    for (int i = 0; i < 20; ++i)
        sdl->nextEvent(e, 20);
    sdl->present(PixelRegion(sdl->frameSurface().bounds()));
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
