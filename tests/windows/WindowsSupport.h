// tests/windows/WindowsSupport.h: a display the tests feed by hand, and a desk with a frame, an
// MDI client and document windows whose procedures log the messages they get.
#pragma once

#include "Platform/Windows/WindowManager.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct TestDisplay final : Display {
    Surface surface;
    uint32_t clock = 0;
    std::deque<InputEvent> input;
    CursorShape cursor;
    int cursorShows = 0;
    bool cursorVisible = true;
    int presents = 0;
    Region lastDirty;

    explicit TestDisplay(int w = 400, int h = 300)
        : surface(w, h, 32)
    {
        surface.fill(kWhite);
    }
    bool isHeadless() const override { return true; }
    Surface& frameSurface() override { return surface; }
    void present(const Region& dirty) override
    {
        ++presents;
        lastDirty = dirty.copy();
    }
    bool nextEvent(InputEvent& event, int timeoutMs) override
    {
        if (!input.empty()) {
            event = input.front();
            input.pop_front();
            return true;
        }
        if (timeoutMs > 0)
            clock += uint32_t(timeoutMs);
        return false;
    }
    uint32_t milliseconds() override { return clock; }
    void setCursor(const CursorShape& c) override { cursor = c; }
    void showCursor(bool v) override
    {
        ++cursorShows;
        cursorVisible = v;
    }
    void setTitle(const std::string&) override { }
    bool readBack(Surface&) override { return false; }
    FrameSize screenSize() override { return { 1024, 768 }; }
    Point framePosition() override { return position; }
    void setFramePosition(Point p) override { position = p; }
    FrameState frameState() override { return state; }
    void setFrameState(FrameState s) override { state = s; }
    Point position;
    FrameState state = FrameState::Normal;
};

// Names of the messages the tests look at; others are not logged.
inline const char* messageName(uint32_t m)
{
    switch (m) {
    case Msg::Create: return "create";
    case Msg::Destroy: return "destroy";
    case Msg::Move: return "move";
    case Msg::Size: return "size";
    case Msg::SetFocus: return "set-focus";
    case Msg::KillFocus: return "kill-focus";
    case Msg::Enable: return "enable";
    case Msg::Paint: return "paint";
    case Msg::Close: return "close";
    case Msg::EraseBackground: return "erase";
    case Msg::ShowWindow: return "show";
    case Msg::ChildActivate: return "child-activate";
    case Msg::GetMinMaxInfo: return "min-max";
    case Msg::WindowPosChanging: return "pos-changing";
    case Msg::WindowPosChanged: return "pos-changed";
    case Msg::NcActivate: return "nc-activate";
    case Msg::NcLeftDown: return "nc-left-down";
    case Msg::KeyDown: return "key-down";
    case Msg::KeyUp: return "key-up";
    case Msg::Char: return "char";
    case Msg::SysKeyDown: return "sys-key-down";
    case Msg::SysKeyUp: return "sys-key-up";
    case Msg::SysChar: return "sys-char";
    case Msg::Timer: return "timer";
    case Msg::MouseMove: return "mouse-move";
    case Msg::LeftDown: return "left-down";
    case Msg::LeftUp: return "left-up";
    case Msg::LeftDouble: return "left-double";
    case Msg::RightDown: return "right-down";
    case Msg::RightUp: return "right-up";
    case Msg::RightDouble: return "right-double";
    case Msg::MouseWheel: return "wheel";
    case Msg::CaptureChanged: return "capture-changed";
    case Msg::EnterSizeMove: return "enter-size-move";
    case Msg::ExitSizeMove: return "exit-size-move";
    case Msg::DropFiles: return "drop-files";
    case Msg::MouseLeave: return "mouse-leave";
    case Msg::ShellExecute: return "shell-execute";
    default: return nullptr;
    }
}

struct Desk;
inline Desk* g_desk = nullptr;

struct Desk {
    TestDisplay display;
    WindowManager wm { display };
    WindowHandle frame = 0, client = 0;
    std::map<WindowHandle, std::string> names;
    std::vector<std::string> log;
    std::vector<Message> messages; // every message a logging procedure got
    // Runs first in every logging procedure; set handled to skip default processing.
    std::function<intptr_t(const Message&, bool& handled)> hook;

    static intptr_t documentProc(WindowManager& wm, const Message& m) noexcept { return g_desk->handle(m, false); }
    static intptr_t frameProc(WindowManager& wm, const Message& m) noexcept { return g_desk->handle(m, true); }

    intptr_t handle(const Message& m, bool isFrame)
    {
        messages.push_back(m);
        if (!names.count(m.window))
            names[m.window] = names[0]; // a window being created: the name given to document()
        if (const char* name = messageName(m.message))
            log.push_back(names[m.window] + ":" + name);
        if (hook) {
            bool handled = false;
            intptr_t result = hook(m, handled);
            if (handled)
                return result;
        }
        if (isFrame) {
            if (m.message == Msg::Destroy)
                wm.postQuitMessage(0);
            return wm.defFrameProc(m);
        }
        return wm.defMdiChildProc(m);
    }

    Desk()
    {
        g_desk = this;
        wm.registerClass({ "FrameWClass", ClassStyle::HRedraw | ClassStyle::VRedraw, frameProc, Rgb { 0, 0, 0 } });
        wm.registerClass({ "VeloraWndClass", 11, documentProc, kWhite });
        wm.registerClass({ "Plain", 3, documentProc, kWhite });
        CreateOptions o;
        o.className = "FrameWClass";
        o.title = "Test";
        o.style = Style::Visible | Style::ClipChildren;
        frame = wm.createWindow(o);
        names[frame] = "frame";
        client = wm.createMdiClient(frame, 0x56000001, 0);
        names[client] = "client";
        pump();
        log.clear();
        messages.clear();
    }
    ~Desk()
    {
        hook = nullptr; // it may refer to the test's locals, gone by now
        wm.destroyWindow(frame);
        g_desk = nullptr;
    }

    static constexpr uint32_t kDocumentStyle = Style::Caption | Style::SystemMenu | Style::ThickFrame | Style::Visible;

    WindowHandle document(const std::string& name, Rect rect, uint32_t style = kDocumentStyle,
        const std::string& cls = "VeloraWndClass")
    {
        CreateOptions o;
        o.className = cls;
        o.title = name;
        o.style = style;
        o.rect = rect;
        // Names are known before the Create message arrives: handles are given in order.
        names[0] = name;
        WindowHandle w = wm.createMdiChild(client, o);
        names[w] = name;
        return w;
    }

    WindowHandle child(const std::string& name, WindowHandle parent, Rect rect, const std::string& cls = "VeloraWndClass")
    {
        CreateOptions o;
        o.className = cls;
        o.title = name;
        o.style = Style::Child | Style::Visible;
        o.rect = rect;
        o.parent = parent;
        WindowHandle w = wm.createWindow(o);
        names[w] = name;
        return w;
    }

    // Runs every message there is, as the top-level loop does.
    void pump()
    {
        Message m;
        for (int guard = 0; guard < 10000 && wm.peekMessage(m); ++guard) {
            if (m.message == Msg::Quit)
                break;
            wm.translateMessage(m);
            wm.dispatchMessage(m);
        }
    }

    void input(InputEvent::Kind kind, int x, int y, MouseButton button = MouseButton::Left)
    {
        InputEvent e;
        e.kind = kind;
        e.x = x;
        e.y = y;
        e.button = button;
        display.input.push_back(e);
    }

    void click(int x, int y, MouseButton button = MouseButton::Left)
    {
        input(InputEvent::Kind::Move, x, y, button);
        input(InputEvent::Kind::Press, x, y, button);
        input(InputEvent::Kind::Release, x, y, button);
        pump();
    }

    // The log entries of one window, or of the messages named.
    std::vector<std::string> logOf(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (auto& entry : log)
            if (entry.rfind(prefix + ":", 0) == 0)
                out.push_back(entry.substr(prefix.size() + 1));
        return out;
    }
};
