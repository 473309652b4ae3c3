// tests/windows/WindowManagerTest.cpp: the window manager: message order, routing steps,
// capture, double clicks, modal disabling, z-order and activation, timers, painting.
#include "WindowsSupport.h"

#include "Platform/Windows/WindowTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using Log = std::vector<std::string>;

namespace {

TEST(WindowManager, LifecycleMessageOrder)
{
    Desk d;
    WindowHandle a = d.document("a", { 10, 10, 110, 90 });
    ASSERT_NE(a, 0u);
    EXPECT_EQ(d.logOf("a"), (Log { "create", "size", "move", "show", "pos-changing", "pos-changed", "nc-activate",
                                "child-activate" }));
    d.log.clear();
    d.pump();
    EXPECT_EQ(d.logOf("a"), (Log { "paint", "erase" }));

    d.log.clear();
    d.wm.moveWindow(a, { 30, 20, 130, 100 });
    EXPECT_EQ(d.logOf("a"), (Log { "pos-changing", "pos-changed", "move" }));
    d.log.clear();
    d.wm.moveWindow(a, { 30, 20, 160, 120 });
    EXPECT_EQ(d.logOf("a"), (Log { "pos-changing", "pos-changed", "size" }));

    d.log.clear();
    d.wm.showWindow(a, ShowCommand::Hide);
    EXPECT_EQ(d.logOf("a"), (Log { "show", "pos-changing", "pos-changed", "nc-activate" }));
    EXPECT_FALSE(d.wm.isVisible(a));
    EXPECT_EQ(d.wm.activeChild(), 0u);

    // Children go first; the window itself last; a second destroy does nothing.
    WindowHandle inner = d.child("inner", a, { 0, 0, 10, 10 });
    d.child("deeper", inner, { 0, 0, 5, 5 });
    d.log.clear();
    EXPECT_TRUE(d.wm.destroyWindow(a));
    EXPECT_EQ(d.log, (Log { "deeper:destroy", "inner:destroy", "a:destroy" }));
    EXPECT_FALSE(d.wm.destroyWindow(a));
    EXPECT_FALSE(d.wm.isWindow(inner));
}

TEST(WindowManager, CreateRefusedByProcedure)
{
    Desk d;
    d.hook = [](const Message& m, bool& handled) -> intptr_t {
        handled = m.message == Msg::Create;
        return handled ? -1 : 0;
    };
    EXPECT_EQ(d.document("refused", { 0, 0, 50, 50 }), 0u);
    EXPECT_EQ(d.logOf("refused"), (Log { "create", "destroy" }));
    EXPECT_TRUE(d.wm.children(d.client).empty());
}

TEST(WindowManager, PaintingCoalescesInvalidations)
{
    Desk d;
    WindowHandle a = d.document("a", { 10, 10, 210, 160 });
    WindowHandle inner = d.child("inner", a, { 5, 5, 50, 50 });
    d.pump();
    d.log.clear();
    d.wm.invalidateRect(a, { 0, 0, 10, 10 });
    d.wm.invalidateRect(a, { 20, 20, 30, 30 });
    d.wm.invalidateRect(inner, { 0, 0, 5, 5 }, false);
    Region expected({ 0, 0, 10, 10 });
    expected.unite(Region(Rect { 20, 20, 30, 30 }));
    EXPECT_EQ(d.wm.updateRegion(a), expected);
    Region painted;
    d.hook = [&](const Message& m, bool& handled) -> intptr_t {
        if (m.message != Msg::Paint || m.window != a)
            return 0;
        handled = true;
        PaintSession s = d.wm.beginPaint(a);
        painted = s.region.copy();
        d.wm.endPaint(a, s);
        return 0;
    };
    d.pump();
    // One paint each, the parent before its child; the erase only where asked.
    EXPECT_EQ(d.log, (Log { "a:paint", "a:erase", "inner:paint" }));
    EXPECT_EQ(painted, expected);
    EXPECT_TRUE(d.wm.updateRegion(a).isEmpty());
    d.log.clear();
    d.pump();
    EXPECT_TRUE(d.log.empty());
}

TEST(WindowManager, PaintDrawsOnlyWhereVisible)
{
    Desk d;
    WindowHandle back = d.document("back", { 0, 0, 200, 150 }, Style::Child | Style::Visible);
    WindowHandle front = d.document("front", { 50, 50, 150, 120 }, Style::Child | Style::Visible);
    d.pump();
    // Painting the window behind everywhere leaves the window in front untouched.
    d.hook = [&](const Message& m, bool& handled) -> intptr_t {
        if (m.message == Msg::Paint && m.window == back) {
            handled = true;
            PaintSession s = d.wm.beginPaint(back);
            s.dc->fillRect({ 0, 0, 200, 150 }, Brush::solid(Rgb { 255, 0, 0 }));
            d.wm.endPaint(back, s);
        }
        return 0;
    };
    d.wm.invalidate(back);
    d.pump();
    EXPECT_EQ(d.display.surface.colorAt(10, 10), (Rgb { 255, 0, 0 }));
    EXPECT_EQ(d.display.surface.colorAt(60, 60), kWhite);
    EXPECT_EQ(d.wm.frameClientRect(front), (Rect { 50, 50, 150, 120 }));
}

TEST(WindowManager, MouseMovesCoalesce)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 200, 150 }, Style::Child | Style::Visible);
    d.pump();
    d.log.clear();
    d.messages.clear();
    for (int x : { 10, 11, 12 })
        d.wm.postMessage(a, Msg::MouseMove, 0, packPoint(x, 5));
    d.wm.postMessage(a, Msg::LeftDown, 0, packPoint(12, 5));
    d.wm.postMessage(a, Msg::MouseMove, 0, packPoint(13, 5));
    d.pump();
    EXPECT_EQ(d.logOf("a"), (Log { "mouse-move", "left-down", "mouse-move" }));
    EXPECT_EQ(unpackPoint(d.messages[0].lParam), (Point { 12, 5 }));
}

TEST(WindowManager, DoubleClickRules)
{
    const struct { uint32_t gap; int dx, dy; const char* cls; bool expected; } cases[] = {
        { 100, 0, 0, "VeloraWndClass", true },
        { 500, 0, 0, "VeloraWndClass", true },
        { 501, 0, 0, "VeloraWndClass", false },
        { 100, 2, 2, "VeloraWndClass", true },
        { 100, 3, 0, "VeloraWndClass", false },
        { 100, 0, -3, "VeloraWndClass", false },
        { 100, 0, 0, "Plain", false }, // a class without double clicks
    };
    for (auto& c : cases) {
        Desk d;
        WindowHandle a = d.document("a", { 0, 0, 200, 150 }, Style::Child | Style::Visible, c.cls);
        d.pump();
        d.click(50, 50);
        d.display.clock += c.gap;
        d.log.clear();
        d.click(50 + c.dx, 50 + c.dy);
        Log presses;
        for (auto& entry : d.logOf("a"))
            if (entry == "left-down" || entry == "left-double")
                presses.push_back(entry);
        EXPECT_EQ(presses, (Log { c.expected ? "left-double" : "left-down" })) << c.gap << " " << c.dx << " " << c.dy << " " << c.cls;
        EXPECT_TRUE(d.wm.isWindow(a));
    }
    // A third quick press starts anew; the right button has its own double clicks.
    Desk d;
    d.document("a", { 0, 0, 200, 150 }, Style::Child | Style::Visible);
    d.pump();
    d.log.clear();
    for (int i = 0; i < 3; ++i)
        d.click(50, 50);
    d.click(50, 50, MouseButton::Right);
    d.click(50, 50, MouseButton::Right);
    Log presses;
    for (auto& entry : d.logOf("a"))
        if (entry.find("down") != std::string::npos || entry.find("double") != std::string::npos)
            presses.push_back(entry);
    EXPECT_EQ(presses, (Log { "left-down", "left-double", "left-down", "right-down", "right-double" }));
}

TEST(WindowManager, RoutingSteps)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 100, 100 }, Style::Child | Style::Visible);
    WindowHandle b = d.document("b", { 200, 0, 300, 100 }, Style::Child | Style::Visible);
    d.pump();

    // Deliver: client coordinates of the window under the point.
    d.messages.clear();
    d.click(220, 30);
    ASSERT_FALSE(d.messages.empty());
    bool sawPress = false;
    for (auto& m : d.messages)
        if (m.message == Msg::LeftDown) {
            EXPECT_EQ(m.window, b);
            EXPECT_EQ(unpackPoint(m.lParam), (Point { 20, 30 }));
            sawPress = true;
        }
    EXPECT_TRUE(sawPress);

    // Capture: everything goes to the capturing window, in its coordinates, even far outside.
    d.wm.setCapture(a);
    d.log.clear();
    d.messages.clear();
    d.click(250, 50);
    EXPECT_EQ(d.logOf("a"), (Log { "mouse-move", "left-down", "left-up" }));
    EXPECT_TRUE(d.logOf("b").empty());
    EXPECT_EQ(unpackPoint(d.messages.back().lParam), (Point { 250, 50 }));
    d.wm.releaseCapture();
    EXPECT_EQ(d.logOf("a").back(), "capture-changed");

    // Modal: a disabled window takes no press; the press brings the modal window forward.
    d.wm.beginModal(a);
    d.log.clear();
    d.click(250, 50);
    for (auto& entry : d.logOf("b"))
        EXPECT_TRUE(entry.find("left") == std::string::npos && entry.find("mouse") == std::string::npos) << entry;
    EXPECT_EQ(d.wm.activeChild(), a);
    d.wm.endModal();

    // Outside every window but the frame: the frame's client gets it.
    d.log.clear();
    d.click(150, 250);
    EXPECT_EQ(d.logOf("client"), Log {});
}

TEST(WindowManager, CaptionDragMovesAndCloseBoxCloses)
{
    Desk d;
    WindowHandle a = d.document("a", { 20, 20, 140, 120 });
    d.pump();
    Rect before = d.wm.windowRect(a);
    d.log.clear();
    // Press on the caption, drag by (30, 40).
    d.input(InputEvent::Kind::Move, 50, 30);
    d.input(InputEvent::Kind::Press, 50, 30);
    d.input(InputEvent::Kind::Move, 70, 50);
    d.input(InputEvent::Kind::Move, 80, 70);
    d.input(InputEvent::Kind::Release, 80, 70);
    d.pump();
    EXPECT_EQ(d.wm.windowRect(a), shifted(before, 30, 40));
    Log got = d.logOf("a");
    EXPECT_EQ(got.front(), "nc-left-down");
    auto enter = std::find(got.begin(), got.end(), "enter-size-move");
    auto exit = std::find(got.begin(), got.end(), "exit-size-move");
    EXPECT_LT(enter, exit);
    EXPECT_NE(exit, got.end());
    EXPECT_EQ(std::count(got.begin(), got.end(), "move"), 2); // one for each step of the drag
    EXPECT_EQ(std::count(got.begin(), got.end(), "left-down"), 0);

    // The close box: a press and release inside it closes (and by default destroys) the window.
    Rect outer = d.wm.frameWindowRect(a);
    Rect box = shifted(closeBoxRect({ 0, 0, outer.width(), outer.height() }, d.wm.style(a)), outer.left, outer.top);
    // Pressing and leaving the box does nothing.
    d.input(InputEvent::Kind::Move, box.left + 3, box.top + 3);
    d.input(InputEvent::Kind::Press, box.left + 3, box.top + 3);
    d.input(InputEvent::Kind::Move, box.left - 30, box.top + 3);
    d.input(InputEvent::Kind::Release, box.left - 30, box.top + 3);
    d.pump();
    EXPECT_TRUE(d.wm.isWindow(a));
    d.log.clear();
    d.click(box.left + 3, box.top + 3);
    EXPECT_FALSE(d.wm.isWindow(a));
    Log closing = d.logOf("a");
    EXPECT_NE(std::find(closing.begin(), closing.end(), "close"), closing.end());
    EXPECT_EQ(closing.back(), "destroy");
}

TEST(WindowManager, SizeLoopHonoursLimitsAndPositionChanges)
{
    Desk d;
    WindowHandle a = d.document("a", { 20, 20, 220, 170 });
    d.pump();
    d.hook = [&](const Message& m, bool& handled) -> intptr_t {
        if (m.window != a)
            return 0;
        if (m.message == Msg::GetMinMaxInfo) {
            auto* limits = reinterpret_cast<MinMaxInfo*>(m.lParam);
            limits->minTrackSize = { 120, 90 };
            limits->maxTrackSize = { 250, 200 };
            handled = true;
        }
        if (m.message == Msg::WindowPosChanging) {
            auto* pos = reinterpret_cast<WindowPos*>(m.lParam);
            pos->width -= pos->width % 10; // the window sizes itself in steps of 10
        }
        return 0;
    };
    // The size box is the bottom-right corner.
    Rect outer = d.wm.frameWindowRect(a);
    auto drag = [&](int x1, int y1, int x2, int y2) {
        d.input(InputEvent::Kind::Move, x1, y1);
        d.input(InputEvent::Kind::Press, x1, y1);
        d.input(InputEvent::Kind::Move, x2, y2);
        d.input(InputEvent::Kind::Release, x2, y2);
        d.pump();
    };
    drag(outer.right - 6, outer.bottom - 6, outer.right - 150, outer.bottom - 150);
    EXPECT_EQ(d.wm.windowRect(a), (Rect { 20, 20, 140, 110 }));
    outer = d.wm.frameWindowRect(a);
    drag(outer.right - 6, outer.bottom - 6, outer.right + 300, outer.bottom + 33);
    EXPECT_EQ(d.wm.windowRect(a), (Rect { 20, 20, 270, 149 }));
    // The left edge moves by 24, keeping the right edge; then the procedure's step of 10 wins
    // over the requested 226 pixels.
    outer = d.wm.frameWindowRect(a);
    drag(outer.left + 1, outer.top + 60, outer.left + 25, outer.top + 60);
    EXPECT_EQ(d.wm.windowRect(a), (Rect { 44, 20, 264, 149 }));
}

TEST(WindowManager, ZOrderAndActivation)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 150, 120 });
    WindowHandle b = d.document("b", { 30, 30, 180, 150 });
    WindowHandle c = d.document("c", { 60, 60, 210, 180 });
    d.pump();
    EXPECT_EQ(d.wm.children(d.client), (std::vector<WindowHandle> { c, b, a }));
    EXPECT_EQ(d.wm.activeChild(), c);
    d.log.clear();
    d.click(10, 50); // on a's client area, where only a lies
    EXPECT_EQ(d.wm.children(d.client), (std::vector<WindowHandle> { a, c, b }));
    EXPECT_EQ(d.wm.activeChild(), a);
    EXPECT_EQ(d.logOf("c"), (Log { "nc-activate" }));
    Log aLog = d.logOf("a");
    Log activation { "pos-changing", "pos-changed", "nc-activate", "child-activate" };
    EXPECT_NE(std::search(aLog.begin(), aLog.end(), activation.begin(), activation.end()), aLog.end());
    // Hiding the active window activates the next one down.
    d.wm.showWindow(a, ShowCommand::Hide);
    EXPECT_EQ(d.wm.activeChild(), c);
    // A topmost window stays above a window brought to the top.
    CreateOptions o;
    o.className = "VeloraWndClass";
    o.style = Style::Visible;
    o.exStyle = Style::ExTopmost;
    o.rect = { 0, 0, 20, 20 };
    WindowHandle floating = d.wm.createMdiChild(d.client, o);
    d.wm.activateChild(b);
    EXPECT_EQ(d.wm.children(d.client).front(), floating);
    EXPECT_EQ(d.wm.children(d.client)[1], b);
}

TEST(WindowManager, ModalDisabling)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 100, 100 });
    WindowHandle b = d.document("b", { 120, 0, 220, 100 });
    WindowHandle dialog = d.document("dialog", { 50, 120, 200, 220 });
    d.pump();
    d.log.clear();
    d.wm.beginModal(dialog);
    EXPECT_FALSE(d.wm.isEnabled(a));
    EXPECT_FALSE(d.wm.isEnabled(b));
    EXPECT_TRUE(d.wm.isEnabled(dialog));
    EXPECT_EQ(d.logOf("a"), (Log { "enable" }));
    d.log.clear();
    d.click(50, 50);
    EXPECT_EQ(d.logOf("a"), Log {});
    // A window that was disabled before stays so after the modal window goes.
    d.wm.enableWindow(b, true);
    d.wm.enableWindow(b, false);
    d.wm.endModal();
    d.wm.beginModal(dialog);
    d.wm.enableWindow(a, true);
    d.wm.enableWindow(a, false);
    // Destroying the modal window ends it and re-enables the others.
    d.wm.destroyWindow(dialog);
    EXPECT_EQ(d.wm.modalWindow(), 0u);
    EXPECT_TRUE(d.wm.isEnabled(a));
    EXPECT_TRUE(d.wm.isEnabled(b));
}

TEST(WindowManager, ModalLoopEndsWithItsResultOrDestruction)
{
    Desk d;
    WindowHandle dialog = d.document("dialog", { 50, 50, 200, 150 });
    d.pump();
    d.hook = [&](const Message& m, bool& handled) -> intptr_t {
        if (m.message == Msg::LeftDown && m.window == dialog)
            d.wm.endModalLoop(dialog, 7);
        return 0;
    };
    d.input(InputEvent::Kind::Press, 100, 100);
    EXPECT_EQ(d.wm.runModalLoop(dialog), 7);
    d.hook = [&](const Message& m, bool& handled) -> intptr_t {
        if (m.message == Msg::LeftDown && m.window == dialog)
            d.wm.destroyWindow(dialog);
        return 0;
    };
    d.input(InputEvent::Kind::Release, 100, 100);
    d.display.clock += 1000; // no double click
    d.input(InputEvent::Kind::Press, 100, 100);
    EXPECT_EQ(d.wm.runModalLoop(dialog), 0);
    EXPECT_FALSE(d.wm.isWindow(dialog));
}

TEST(WindowManager, DestroyInsideOwnHandlerClearsEveryReference)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 100, 100 });
    d.pump();
    d.wm.setFocus(a);
    d.wm.createCaret(a, 1, 10);
    d.wm.setTimer(a, 1, 10);
    d.wm.trackMouseLeave(a);
    bool secondDestroy = true;
    d.hook = [&](const Message& m, bool& handled) -> intptr_t {
        if (m.message == Msg::LeftDown && m.window == a) {
            d.wm.setCapture(a);
            EXPECT_TRUE(d.wm.destroyWindow(a));
            secondDestroy = d.wm.destroyWindow(a);
            handled = true;
        }
        if (m.message == Msg::Destroy && m.window == a)
            EXPECT_FALSE(d.wm.destroyWindow(a)); // destroy inside destroy: already going
        return 0;
    };
    d.click(50, 50);
    EXPECT_FALSE(secondDestroy);
    EXPECT_EQ(d.wm.capture(), 0u);
    EXPECT_EQ(d.wm.focus(), 0u);
    EXPECT_EQ(d.wm.hoverWindow(), 0u);
    EXPECT_EQ(d.wm.activeChild(), 0u);
    EXPECT_FALSE(d.wm.killTimer(a, 1));
    EXPECT_FALSE(d.wm.caretDrawn());
    // The release that was on its way finds nobody; nothing more is said to the window.
    d.log.clear();
    d.pump();
    EXPECT_TRUE(d.logOf("a").empty());
    EXPECT_EQ(d.wm.queuedCount(), 0u);
}

TEST(WindowManager, TimersRunOnTheDisplayClock)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 100, 100 });
    d.pump();
    d.wm.setTimer(a, 5, 100);
    std::vector<uint32_t> times;
    Message m;
    while (d.display.clock < 1000 && d.wm.getMessage(m, MessageFilter::only(Msg::Timer, Msg::Timer), 1000 - int(d.display.clock))) {
        EXPECT_EQ(m.wParam, 5);
        times.push_back(m.time);
    }
    EXPECT_EQ(times, (std::vector<uint32_t> { 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000 }));
    EXPECT_TRUE(d.wm.killTimer(a, 5));
    EXPECT_FALSE(d.wm.getMessage(m, MessageFilter::only(Msg::Timer, Msg::Timer), 500));
    EXPECT_EQ(d.display.clock, 1500u);
}

TEST(WindowManager, QueueOrderFilterAndQuit)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 100, 100 });
    d.pump();
    d.wm.postMessage(a, Msg::User, 1);
    d.wm.postMessage(a, Msg::KeyDown, 65);
    d.wm.postMessage(a, Msg::User, 2);
    d.wm.postQuitMessage(3);
    Message m;
    ASSERT_TRUE(d.wm.peekMessage(m, MessageFilter::only(Msg::KeyDown, Msg::KeyUp)));
    EXPECT_EQ(m.message, Msg::KeyDown);
    ASSERT_TRUE(d.wm.peekMessage(m, MessageFilter::all(), false));
    EXPECT_EQ(m.wParam, 1);
    ASSERT_TRUE(d.wm.peekMessage(m));
    ASSERT_TRUE(d.wm.peekMessage(m));
    EXPECT_EQ(m.wParam, 2);
    ASSERT_TRUE(d.wm.peekMessage(m));
    EXPECT_EQ(m.message, Msg::Quit);
    EXPECT_EQ(m.wParam, 3);
    EXPECT_FALSE(d.wm.peekMessage(m));
    // Messages for a window that is gone are not posted.
    EXPECT_FALSE(d.wm.postMessage(9999, Msg::User));
    EXPECT_EQ(d.wm.sendMessage(9999, Msg::User), 0);
}

TEST(WindowManager, KeysGoToTheFocus)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 100, 100 });
    WindowHandle b = d.document("b", { 120, 0, 220, 100 });
    d.pump();
    d.log.clear();
    EXPECT_EQ(d.wm.setFocus(a), 0u);
    EXPECT_EQ(d.wm.setFocus(b), a);
    EXPECT_EQ(d.log, (Log { "a:set-focus", "a:kill-focus", "b:set-focus" }));
    auto key = [&](InputEvent::Kind kind, uint8_t vk) {
        InputEvent e;
        e.kind = kind;
        e.virtualKey = vk;
        d.display.input.push_back(e);
    };
    d.log.clear();
    key(InputEvent::Kind::KeyDown, 17); // Ctrl
    key(InputEvent::Kind::KeyDown, 'Q');
    key(InputEvent::Kind::KeyUp, 'Q');
    key(InputEvent::Kind::KeyUp, 17);
    key(InputEvent::Kind::KeyDown, 13);
    key(InputEvent::Kind::KeyDown, 18); // Alt, then Alt+F
    key(InputEvent::Kind::KeyDown, 'F');
    key(InputEvent::Kind::KeyUp, 'F');
    key(InputEvent::Kind::KeyUp, 18);
    key(InputEvent::Kind::KeyDown, 0x70); // F1
    InputEvent text;
    text.kind = InputEvent::Kind::Text;
    text.text = "a\xE9";
    d.display.input.push_back(text);
    d.messages.clear();
    d.pump();
    EXPECT_EQ(d.logOf("b"), (Log { "key-down", "key-down", "char", "key-up", "key-up", "key-down", "char", "sys-key-down",
                                "sys-key-down", "sys-char", "sys-key-up", "sys-key-up", "key-down", "char", "char" }));
    std::vector<intptr_t> chars;
    for (auto& m : d.messages)
        if (m.message == Msg::Char || m.message == Msg::SysChar)
            chars.push_back(m.wParam);
    EXPECT_EQ(chars, (std::vector<intptr_t> { 17, 13, 'f', 'a', 0xE9 }));
    EXPECT_TRUE(d.logOf("a").empty());
    EXPECT_EQ(d.wm.keyState(0x70) & 0x8000, 0x8000);
    EXPECT_EQ(d.wm.keyState('Q') & 0x8000, 0);
    // Caps Lock toggles on each press.
    d.wm.setKeyState(20, true);
    d.wm.setKeyState(20, false);
    EXPECT_EQ(d.wm.keyState(20), 1);
    d.wm.setKeyState(20, true);
    d.wm.setKeyState(20, false);
    EXPECT_EQ(d.wm.keyState(20), 0);
    // A disabled window cannot take the focus.
    d.wm.enableWindow(a, false);
    EXPECT_EQ(d.wm.setFocus(a), b);
    EXPECT_EQ(d.wm.focus(), b);
}

TEST(WindowManager, CaretBlinksAsInvertedPixels)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 100, 100 }, Style::Child | Style::Visible);
    d.pump();
    d.wm.createCaret(a, 2, 10);
    d.wm.setCaretPosition({ 20, 30 });
    d.wm.showCaret(a);
    d.pump();
    EXPECT_TRUE(d.wm.caretDrawn());
    EXPECT_EQ(d.display.surface.colorAt(21, 35), kBlack);
    d.wm.waitMessage(600); // past the blink time
    d.pump();
    EXPECT_FALSE(d.wm.caretDrawn());
    EXPECT_EQ(d.display.surface.colorAt(21, 35), kWhite);
    d.wm.waitMessage(600);
    d.pump();
    EXPECT_TRUE(d.wm.caretDrawn());
    d.wm.hideCaret(a);
    EXPECT_EQ(d.display.surface.colorAt(21, 35), kWhite);
}

TEST(WindowManager, Cursors)
{
    Desk d;
    CursorImage image;
    image.image[0] = 0x8000;
    image.mask[0] = 0xC000;
    image.hotSpot = { 3, 4 };
    CursorHandle custom = d.wm.createCursor(image);
    d.wm.setCursor(custom);
    EXPECT_TRUE(d.display.cursor.custom);
    EXPECT_EQ(d.display.cursor.image.mask[0], 0xC000);
    EXPECT_EQ(d.display.cursor.image.hotSpot, (Point { 3, 4 }));
    EXPECT_TRUE(d.wm.destroyCursor(custom));
    EXPECT_FALSE(d.display.cursor.custom);
    EXPECT_EQ(d.display.cursor.standard, StandardCursor::Arrow);
    EXPECT_FALSE(d.wm.destroyCursor(d.wm.standardCursor(StandardCursor::Wait)));
    d.wm.setCursor(d.wm.standardCursor(StandardCursor::SizeNS));
    EXPECT_EQ(d.display.cursor.standard, StandardCursor::SizeNS);
    // Hidden while the count is negative, as many shows as hides.
    EXPECT_EQ(d.wm.showCursor(false), -1);
    EXPECT_FALSE(d.display.cursorVisible);
    EXPECT_EQ(d.wm.showCursor(false), -2);
    EXPECT_EQ(d.wm.showCursor(true), -1);
    EXPECT_FALSE(d.display.cursorVisible);
    EXPECT_EQ(d.wm.showCursor(true), 0);
    EXPECT_TRUE(d.display.cursorVisible);
    // Over a sizing border the default procedure shows the sizing cursor.
    WindowHandle a = d.document("a", { 20, 20, 120, 120 });
    d.pump();
    Rect outer = d.wm.frameWindowRect(a);
    d.input(InputEvent::Kind::Move, outer.left + 1, outer.top + 50);
    d.pump();
    EXPECT_EQ(d.display.cursor.standard, StandardCursor::SizeWE);
}

TEST(WindowManager, DroppedFilesGoToAnAcceptingWindow)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 100, 100 }, Style::Child | Style::Visible);
    d.pump();
    EXPECT_FALSE(d.wm.dropFiles({ "/tmp/x" }, { 50, 50 }));
    d.wm.dragAcceptFiles(d.frame, true);
    d.messages.clear();
    ASSERT_TRUE(d.wm.dropFiles({ "/tmp/x", "/tmp/y" }, { 50, 50 }));
    d.pump();
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0].window, d.frame);
    EXPECT_EQ(d.messages[0].message, Msg::DropFiles);
    DropRecord record;
    ASSERT_TRUE(d.wm.takeDrop(d.messages[0].wParam, record));
    EXPECT_EQ(record.files, (std::vector<std::string> { "/tmp/x", "/tmp/y" }));
    EXPECT_EQ(record.point, (Point { 50, 50 }));
    EXPECT_FALSE(d.wm.takeDrop(d.messages[0].wParam, record));
    // The innermost accepting window wins, with the point in its coordinates.
    d.wm.dragAcceptFiles(a, true);
    d.messages.clear();
    ASSERT_TRUE(d.wm.dropFiles({ "/tmp/z" }, { 50, 60 }));
    d.pump();
    ASSERT_TRUE(d.wm.takeDrop(d.messages[0].wParam, record));
    EXPECT_EQ(d.messages[0].window, a);
}

TEST(WindowManager, PointMappingAndHitTests)
{
    Desk d;
    WindowHandle a = d.document("a", { 10, 20, 210, 170 });
    WindowHandle inner = d.child("inner", a, { 5, 6, 50, 50 });
    Rect client = d.wm.frameClientRect(a);
    EXPECT_EQ(client, (Rect { 14, 42, 206, 166 })); // 4-pixel frame, 18-pixel caption
    EXPECT_EQ(d.wm.clientToFrame(inner, { 1, 2 }), (Point { 14 + 5 + 1, 42 + 6 + 2 }));
    EXPECT_EQ(d.wm.mapPoint(inner, a, { 0, 0 }), (Point { 5, 6 }));
    EXPECT_EQ(d.wm.windowRectForClient({ 0, 0, 100, 50 }, Desk::kDocumentStyle), (Rect { -4, -22, 104, 54 }));
    const struct { Point p; int hit; } cases[] = {
        { { 50, 30 }, Hit::Caption }, { { 100, 100 }, Hit::Client }, { { 10, 100 }, Hit::Left },
        { { 209, 100 }, Hit::Right }, { { 100, 169 }, Hit::Bottom }, { { 100, 20 }, Hit::Top },
        { { 11, 21 }, Hit::TopLeft }, { { 200, 160 }, Hit::BottomRight }, { { 195, 30 }, Hit::Close },
        { { 5, 5 }, Hit::Nowhere },
    };
    for (auto& c : cases)
        EXPECT_EQ(d.wm.hitTest(a, c.p), c.hit) << c.p.x << "," << c.p.y;
    EXPECT_EQ(d.wm.windowFromPoint({ 25, 50 }), inner);
    d.wm.enableWindow(inner, false);
    EXPECT_EQ(d.wm.windowFromPoint({ 25, 50 }), a);
}

TEST(WindowManager, ShellRequestsAndTheSecondInstanceChannel)
{
    char folderTemplate[] = "/tmp/velora-channel-XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    std::string path = InstanceChannel::socketPath(folderTemplate, "Lorin test/1");
    EXPECT_EQ(path, std::string(folderTemplate) + "/velora-Lorin_test_1.sock");
    Desk d;
    std::string error;
    ASSERT_TRUE(d.wm.listenForOtherCopies(path, error)) << error;
    // A second copy finds the first listening and hands over its command.
    InstanceChannel second;
    EXPECT_FALSE(second.listen(path, error));
    EXPECT_EQ(error, "");
    std::string command = InstanceChannel::command("open", "C:\\a.txt");
    EXPECT_EQ(command, "[open(\"C:\\a.txt\")]");
    ASSERT_TRUE(InstanceChannel::send(path, command, error)) << error;
    d.messages.clear();
    d.pump();
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0].window, d.frame);
    EXPECT_EQ(d.messages[0].message, Msg::ShellExecute);
    std::string received, verb, file;
    ASSERT_TRUE(d.wm.takeShellRequest(d.messages[0].wParam, received));
    EXPECT_EQ(received, command);
    ASSERT_TRUE(InstanceChannel::parseCommand(received, verb, file));
    EXPECT_EQ(verb, "open");
    EXPECT_EQ(file, "C:\\a.txt");
    // Commands are cut at 519 characters; anything else is not a command.
    ASSERT_TRUE(InstanceChannel::send(path, std::string(600, 'x'), error));
    d.messages.clear();
    d.pump();
    ASSERT_TRUE(d.wm.takeShellRequest(d.messages.at(0).wParam, received));
    EXPECT_EQ(received.size(), 519u);
    EXPECT_FALSE(InstanceChannel::parseCommand(received, verb, file));
    EXPECT_FALSE(InstanceChannel::parseCommand("[open(\"unterminated)]", verb, file));
    EXPECT_TRUE(InstanceChannel::parseCommand("[print(\"/tmp/p\")]", verb, file));
    EXPECT_EQ(verb, "print");
}

TEST(WindowManager, SecondInstanceChannelReplacesAStaleSocket)
{
    char folderTemplate[] = "/tmp/velora-channel-XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    std::string path = InstanceChannel::socketPath(folderTemplate, "stale");
    std::string error;
    {
        // A copy that died leaves its socket file behind: nobody answers on it.
        InstanceChannel dead;
        ASSERT_TRUE(dead.listen(path, error));
        std::string keep = path + ".keep";
        ASSERT_EQ(link(path.c_str(), keep.c_str()), 0);
    }
    ASSERT_EQ(rename((path + ".keep").c_str(), path.c_str()), 0);
    EXPECT_FALSE(InstanceChannel::send(path, "[open(\"x\")]", error));
    InstanceChannel fresh;
    EXPECT_TRUE(fresh.listen(path, error)) << error;
    EXPECT_TRUE(InstanceChannel::send(path, "[open(\"x\")]", error));
    EXPECT_EQ(fresh.receive(), (std::vector<std::string> { "[open(\"x\")]" }));
}

} // namespace

namespace {

TEST(WindowManager, MaximiseAndRestore)
{
    Desk d;
    WindowHandle a = d.document("a", { 30, 40, 130, 140 });
    d.wm.showWindow(a, ShowCommand::Maximize);
    EXPECT_TRUE(d.wm.isMaximized(a));
    EXPECT_EQ(d.wm.windowRect(a), d.wm.clientRect(d.client));
    // A maximised window is not moved by its caption.
    d.input(InputEvent::Kind::Move, 50, 8);
    d.input(InputEvent::Kind::Press, 50, 8);
    d.input(InputEvent::Kind::Move, 90, 48);
    d.input(InputEvent::Kind::Release, 90, 48);
    d.pump();
    EXPECT_EQ(d.wm.windowRect(a), d.wm.clientRect(d.client));
    d.wm.showWindow(a, ShowCommand::Restore);
    EXPECT_FALSE(d.wm.isMaximized(a));
    EXPECT_EQ(d.wm.windowRect(a), (Rect { 30, 40, 130, 140 }));
}

TEST(WindowManager, PositionChangingMayPlaceTheWindowInTheStack)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 50, 50 });
    WindowHandle b = d.document("b", { 10, 10, 60, 60 });
    WindowHandle c = d.document("c", { 20, 20, 70, 70 });
    // Brought to the top, a goes just behind c instead, as a procedure that keeps a floating
    // window in front asks.
    d.hook = [&](const Message& m, bool& handled) -> intptr_t {
        if (m.message == Msg::WindowPosChanging && m.window == a) {
            auto* pos = reinterpret_cast<WindowPos*>(m.lParam);
            if (!(pos->flags & PosFlag::NoZOrder) && pos->insertAfter == kInsertTop)
                pos->insertAfter = c;
        }
        return 0;
    };
    d.wm.bringToTop(a);
    EXPECT_EQ(d.wm.children(d.client), (std::vector<WindowHandle> { c, a, b }));
}

TEST(WindowManager, ReplayActionsReachTheManager)
{
    Desk d;
    WindowHandle a = d.document("a", { 0, 0, 200, 150 });
    WindowHandle ok = d.child("OK", a, { 100, 80, 160, 100 });
    d.wm.dragAcceptFiles(d.frame, true);
    d.pump();
    auto action = [&](InputEvent::Kind kind, const std::string& text, int x = 0, int y = 0) {
        InputEvent e;
        e.kind = kind;
        e.text = text;
        e.x = x;
        e.y = y;
        d.display.input.push_back(e);
    };
    action(InputEvent::Kind::Answer, "Cancel");
    action(InputEvent::Kind::PressNamed, "OK");
    action(InputEvent::Kind::Drop, "/tmp/f", 150, 140);
    action(InputEvent::Kind::Open, "/tmp/doc");
    action(InputEvent::Kind::PressNamed, "Nothing");
    d.messages.clear();
    d.pump();
    std::string answer;
    EXPECT_TRUE(d.wm.takeAnswer(answer));
    EXPECT_EQ(answer, "Cancel");
    EXPECT_FALSE(d.wm.takeAnswer(answer));
    std::vector<std::pair<WindowHandle, uint32_t>> got;
    for (auto& m : d.messages)
        if (m.message == Msg::LeftDown || m.message == Msg::LeftUp || m.message == Msg::DropFiles || m.message == Msg::ShellExecute)
            got.push_back({ m.window, m.message });
    EXPECT_EQ(got, (std::vector<std::pair<WindowHandle, uint32_t>> { { ok, Msg::LeftDown }, { ok, Msg::LeftUp },
                       { d.frame, Msg::DropFiles }, { d.frame, Msg::ShellExecute } }));
    std::string command;
    for (auto& m : d.messages)
        if (m.message == Msg::ShellExecute)
            EXPECT_TRUE(d.wm.takeShellRequest(m.wParam, command));
    EXPECT_EQ(command, "[open(\"/tmp/doc\")]");
    EXPECT_EQ(d.wm.replayErrors(), (std::vector<std::string> { "press: nothing named \"Nothing\"" }));
}

TEST(Display, HeadlessIsChosenWhenAskedOrWhenNoWindowOpens)
{
    const char* savedDisplay = std::getenv("DISPLAY");
    std::string saved = savedDisplay ? savedDisplay : "";
    setenv("VELORA_HEADLESS", "1", 1);
    EXPECT_TRUE(headlessRequested(false));
    EXPECT_TRUE(openDisplay({ 20, 10 }, "t", false)->isHeadless());
    unsetenv("VELORA_HEADLESS");
    EXPECT_FALSE(headlessRequested(false));
    EXPECT_TRUE(headlessRequested(true));
    EXPECT_TRUE(openDisplay({ 20, 10 }, "t", true)->isHeadless());
    // No X server to talk to: the headless display stands in.
    setenv("DISPLAY", ":4711", 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    auto display = openDisplay({ 20, 10 }, "t", false);
    EXPECT_TRUE(display->isHeadless());
    EXPECT_EQ(display->frameSurface().width(), 20);
    if (savedDisplay)
        setenv("DISPLAY", saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
}

} // namespace

namespace {

TEST(Display, HeadlessScreenPositionAndState)
{
    auto display = openHeadlessDisplay({ 400, 375 });
    EXPECT_EQ(display->screenSize().width, 1280);
    EXPECT_EQ(display->screenSize().height, 1024);
    EXPECT_EQ(openHeadlessDisplay({ 1500, 300 })->screenSize().width, 1500);
    display->setFramePosition({ 12, 34 });
    EXPECT_EQ(display->framePosition(), (Point { 12, 34 }));
    // The frame's show commands reach the host window; hiding and showing leave its state.
    WindowManager wm(*display);
    wm.registerClass({ "FrameWClass", 3, [](WindowManager& m, const Message& msg) noexcept { return m.defFrameProc(msg); } });
    CreateOptions o;
    o.className = "FrameWClass";
    o.style = Style::Visible;
    WindowHandle frame = wm.createWindow(o);
    wm.showWindow(frame, ShowCommand::Maximize);
    EXPECT_EQ(display->frameState(), FrameState::Maximized);
    EXPECT_TRUE(wm.isMaximized(frame));
    wm.showWindow(frame, ShowCommand::Hide);
    wm.showWindow(frame, ShowCommand::Show);
    EXPECT_EQ(display->frameState(), FrameState::Maximized);
    wm.showWindow(frame, ShowCommand::Minimize);
    EXPECT_EQ(display->frameState(), FrameState::Minimized);
    wm.showWindow(frame, ShowCommand::Restore);
    EXPECT_EQ(display->frameState(), FrameState::Normal);
    EXPECT_FALSE(wm.isMaximized(frame));
}

} // namespace
