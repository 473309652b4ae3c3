// tests/windows/ReplayTest.cpp: the replay parser, the replay driver over the headless display,
// code page 1252, PNG files, and a screenshot of a frame with a document window.
#include "WindowsSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

using K = ReplayAction::Kind;

TEST(Replay, ParsesEveryAction)
{
    const char* text = "# a session\n"
                       "click 10 20\n"
                       "\n"
                       "double-click 1 2\n"
                       "right-click -3 4\n"
                       "move 5 6\n"
                       "drag 1 2 30 40\n"
                       "key ctrl+q\n"
                       "key f1\n"
                       "key return\n"
                       "type Hello, w\xC3\xA9rld \n"
                       "wait 250\n"
                       "answer C:\\tmp\\x\n"
                       "drop /tmp/a file.txt 7 8\n"
                       "open /tmp/doc.txt\n"
                       "press OK\n"
                       "screenshot /tmp/shot.PNG\n"
                       "quit\n";
    ReplayScript script = parseReplay(text);
    ASSERT_TRUE(script.ok()) << script.error;
    ASSERT_EQ(script.actions.size(), 16u);
    const struct { K kind; int line, x, y, x2, y2; const char* text; } expected[] = {
        { K::Click, 2, 10, 20, 0, 0, "" }, { K::DoubleClick, 4, 1, 2, 0, 0, "" }, { K::RightClick, 5, -3, 4, 0, 0, "" },
        { K::Move, 6, 5, 6, 0, 0, "" }, { K::Drag, 7, 1, 2, 30, 40, "" }, { K::Key, 8, 0, 0, 0, 0, "" },
        { K::Key, 9, 0, 0, 0, 0, "" }, { K::Key, 10, 0, 0, 0, 0, "" }, { K::Type, 11, 0, 0, 0, 0, "Hello, w\xE9rld " },
        { K::Wait, 12, 0, 0, 0, 0, "" }, { K::Answer, 13, 0, 0, 0, 0, "C:\\tmp\\x" },
        { K::Drop, 14, 7, 8, 0, 0, "/tmp/a file.txt" }, { K::Open, 15, 0, 0, 0, 0, "/tmp/doc.txt" },
        { K::Press, 16, 0, 0, 0, 0, "OK" }, { K::Screenshot, 17, 0, 0, 0, 0, "/tmp/shot.PNG" }, { K::Quit, 18, 0, 0, 0, 0, "" },
    };
    for (size_t i = 0; i < script.actions.size(); ++i) {
        const ReplayAction& a = script.actions[i];
        EXPECT_EQ(a.kind, expected[i].kind) << i;
        EXPECT_EQ(a.line, expected[i].line) << i;
        EXPECT_EQ(a.x, expected[i].x) << i;
        EXPECT_EQ(a.y, expected[i].y) << i;
        EXPECT_EQ(a.x2, expected[i].x2) << i;
        EXPECT_EQ(a.y2, expected[i].y2) << i;
        EXPECT_EQ(a.text, expected[i].text) << i;
    }
    EXPECT_EQ(script.actions[5].virtualKey, 'Q');
    EXPECT_EQ(script.actions[5].modifiers, Modifier::Control);
    EXPECT_EQ(script.actions[6].virtualKey, 0x70);
    EXPECT_EQ(script.actions[7].virtualKey, 13);
    EXPECT_EQ(script.actions[9].milliseconds, 250);
}

TEST(Replay, KeyCombinations)
{
    const struct { const char* combo; bool ok; uint8_t vk; uint32_t modifiers; bool extended; } cases[] = {
        { "ctrl+q", true, 'Q', Modifier::Control, false },
        { "Ctrl+Shift+Z", true, 'Z', Modifier::Control | Modifier::Shift, false },
        { "alt+f4", true, 0x73, Modifier::Alt, false },
        { "f15", true, 0x7E, 0, false },
        { "enter", true, 13, 0, true },
        { "escape", true, 27, 0, false },
        { "7", true, '7', 0, false },
        { "shift+/", true, 191, Modifier::Shift, false },
        { "page-down", true, 34, 0, false },
        { "f25", false, 0, 0, false },
        { "hyper+a", false, 0, 0, false },
        { "ctrl+", false, 0, 0, false },
        { "", false, 0, 0, false },
        { "qq", false, 0, 0, false },
    };
    for (auto& c : cases) {
        uint8_t vk = 0;
        uint32_t modifiers = 0;
        bool extended = false;
        EXPECT_EQ(parseKeyCombo(c.combo, vk, modifiers, extended), c.ok) << c.combo;
        if (c.ok) {
            EXPECT_EQ(vk, c.vk) << c.combo;
            EXPECT_EQ(modifiers, c.modifiers) << c.combo;
            EXPECT_EQ(extended, c.extended) << c.combo;
        }
    }
}

TEST(Replay, ErrorsStopAtTheirLine)
{
    const struct { const char* text; const char* error; } cases[] = {
        { "click 1 2\nklick 1 2\n", "line 2: unknown action \"klick\"" },
        { "click 1\n", "line 1: click takes 2 numbers" },
        { "click 1 2 3\n", "line 1: click takes 2 numbers" },
        { "\n\nmove a 2\n", "line 3: not a coordinate: \"a\"" },
        { "drag 1 2 3\n", "line 1: drag takes 4 numbers" },
        { "click 99999 1\n", "line 1: not a coordinate: \"99999\"" },
        { "key\n", "line 1: key takes one key combination" },
        { "key ctrl+nothing\n", "line 1: unknown key \"ctrl+nothing\"" },
        { "type\n", "line 1: type needs text" },
        { "type \xE2\x82\xAC ok \xE4\xB8\x80\n", "line 1: text has characters outside code page 1252" },
        { "wait -1\n", "line 1: wait takes milliseconds (0 to 3600000)" },
        { "wait 1x\n", "line 1: wait takes milliseconds (0 to 3600000)" },
        { "answer\n", "line 1: answer needs a path or a button" },
        { "drop /tmp/x 1\n", "line 1: drop takes a file and a point" },
        { "drop /tmp/x a b\n", "line 1: drop takes a file and a point" },
        { "open\n", "line 1: open needs a document" },
        { "press\n", "line 1: press needs a name" },
        { "screenshot shot.jpg\n", "line 1: screenshot needs a file ending in .png" },
        { "quit now\n", "line 1: quit takes nothing" },
    };
    for (auto& c : cases) {
        ReplayScript script = parseReplay(c.text);
        EXPECT_FALSE(script.ok()) << c.text;
        EXPECT_EQ(script.error, c.error) << c.text;
        EXPECT_TRUE(script.actions.empty());
    }
    ReplayScript nul = parseReplay(std::string_view("click 1 2\r\nmove 1\0 2\n", 21));
    EXPECT_EQ(nul.error, "line 2: line holds a NUL character");
    EXPECT_EQ(nul.errorLine, 2);
    // The euro sign is in code page 1252.
    ReplayScript euro = parseReplay("type \xE2\x82\xAC\n");
    ASSERT_TRUE(euro.ok());
    EXPECT_EQ(euro.actions[0].text, "\x80");
    EXPECT_TRUE(parseReplay("").ok());
    EXPECT_TRUE(parseReplay("   \n# only a comment").ok());
}

std::vector<InputEvent> drain(Display& display, int limit = 100)
{
    std::vector<InputEvent> out;
    InputEvent e;
    for (int i = 0; i < limit; ++i) {
        if (!display.nextEvent(e, 1000))
            continue;
        out.push_back(e);
        if (e.kind == InputEvent::Kind::Quit)
            break;
    }
    return out;
}

TEST(Replay, DriverTurnsActionsIntoEvents)
{
    ReplayScript script = parseReplay("double-click 10 20\n"
                                      "drag 0 0 40 80\n"
                                      "wait 2500\n"
                                      "key ctrl+q\n"
                                      "type ab\n"
                                      "answer Cancel\n"
                                      "screenshot /tmp/x.png\n"
                                      "quit\n"
                                      "click 1 1\n");
    ASSERT_TRUE(script.ok());
    auto display = openReplayDriver(openHeadlessDisplay({ 100, 100 }), script);
    EXPECT_TRUE(display->isHeadless());
    std::vector<std::string> got;
    uint32_t clockAtKey = 0;
    for (const InputEvent& e : drain(*display)) {
        using E = InputEvent::Kind;
        std::string s;
        switch (e.kind) {
        case E::Move: s = "move"; break;
        case E::Press: s = "press"; break;
        case E::Release: s = "release"; break;
        case E::KeyDown: s = "down"; break;
        case E::KeyUp: s = "up"; break;
        case E::Text: s = "text"; break;
        case E::Answer: s = "answer"; break;
        case E::Screenshot: s = "screenshot"; break;
        case E::Quit: s = "quit"; break;
        default: s = "other"; break;
        }
        if (e.kind == E::Move || e.kind == E::Press || e.kind == E::Release)
            s += " " + std::to_string(e.x) + " " + std::to_string(e.y);
        if (e.kind == E::KeyDown || e.kind == E::KeyUp) {
            s += " " + std::to_string(e.virtualKey) + (e.modifiers & Modifier::Control ? " ctrl" : "");
            if (!clockAtKey)
                clockAtKey = display->milliseconds();
        }
        if (!e.text.empty())
            s += " " + e.text;
        got.push_back(s);
    }
    EXPECT_EQ(got, (std::vector<std::string> { "move 10 20", "press 10 20", "release 10 20", "press 10 20", "release 10 20",
                       "move 0 0", "press 0 0", "move 10 20", "move 20 40", "move 30 60", "move 40 80", "release 40 80",
                       "down 17 ctrl", "down 81 ctrl", "up 81 ctrl", "up 17", "text ab", "answer Cancel",
                       "screenshot /tmp/x.png", "quit" }));
    // The wait moved the virtual clock, in the slices the caller waited.
    EXPECT_EQ(clockAtKey, 2500u);
    // Nothing after quit; the end of a replay without quit is a quit too.
    InputEvent e;
    EXPECT_FALSE(display->nextEvent(e, 0));
    auto ending = openReplayDriver(openHeadlessDisplay({ 10, 10 }), parseReplay("move 1 1\n"));
    auto events = drain(*ending);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, InputEvent::Kind::Quit);
}

TEST(Replay, Cp1252)
{
    bool ok = true;
    EXPECT_EQ(utf8ToCp1252("caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D \xE2\x82\xAC", ok), "caf\xE9 \x93q\x94 \x80");
    EXPECT_TRUE(ok);
    EXPECT_EQ(utf8ToCp1252("a\xE4\xB8\x80" "b", ok), "ab");
    EXPECT_FALSE(ok);
    EXPECT_EQ(utf8ToCp1252("a\xC3", ok), "a"); // cut in the middle of a character
    EXPECT_FALSE(ok);
    EXPECT_EQ(utf8ToCp1252("\xFF" "x", ok), "x");
    EXPECT_FALSE(ok);
    // 0x81 is no character of the code page: it stays U+0081, so that names round-trip.
    EXPECT_EQ(cp1252ToUtf8("caf\xE9 \x80\x81"), "caf\xC3\xA9 \xE2\x82\xAC\xC2\x81");
}

std::string tempPath(const char* name)
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/velora-" + std::to_string(getpid()) + "-" + name;
}

TEST(Replay, PngRoundTripAndErrors)
{
    Surface s(5, 3, 32);
    s.fill(kWhite);
    s.setPixel(1, 1, 0x123456);
    s.setPixel(4, 2, 0xFF0000);
    std::string path = tempPath("round.png"), error;
    ASSERT_TRUE(writePng(s, path, error)) << error;
    auto back = readPng(path, error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->width(), 5);
    ASSERT_EQ(back->height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(back->colorAt(x, y), s.colorAt(x, y)) << x << "," << y;
    std::remove(path.c_str());
    EXPECT_FALSE(writePng(s, "/nonexistent-folder/x.png", error));
    EXPECT_NE(error.find("cannot write /nonexistent-folder/x.png"), std::string::npos) << error;
    // A damaged file: the signature's second byte flipped.
    {
        std::ofstream out(path, std::ios::binary);
        out << "\x89QNG\r\n\x1a\n0000";
    }
    EXPECT_FALSE(readPng(path, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos);
    std::remove(path.c_str());
}

int g_shotClicks = 0;

struct Shot {
    static intptr_t proc(WindowManager& wm, const Message& m) noexcept
    {
        if (m.message == Msg::Paint) {
            PaintSession s = wm.beginPaint(m.window);
            s.dc->fillRect({ 10, 10, 40, 30 }, Brush::solid(Rgb { 0, 160, 0 }));
            wm.endPaint(m.window, s);
            return 0;
        }
        if (m.message == Msg::LeftDown)
            ++g_shotClicks;
        return wm.defMdiChildProc(m);
    }
    static intptr_t frameProc(WindowManager& wm, const Message& m) noexcept
    {
        if (m.message == Msg::Close) {
            wm.postQuitMessage(0);
            return 0;
        }
        return wm.defFrameProc(m);
    }
};

// A frame with a document window, run headless through a replay that also clicks and types,
// as the runtime will: the screenshot shows the chrome.
TEST(Replay, ScreenshotOfAFrameWithADocumentWindow)
{
    std::string shot = tempPath("frame.png");
    ReplayScript script = parseReplay("click 60 60\nwait 100\nscreenshot " + shot + "\nquit\n");
    ASSERT_TRUE(script.ok());
    auto display = openReplayDriver(openHeadlessDisplay({ 240, 160 }), script);
    WindowManager wm(*display);
    wm.registerClass({ "FrameWClass", 3, Shot::frameProc, Rgb { 0, 0, 0 } });
    wm.registerClass({ "VeloraWndClass", 11, Shot::proc, kWhite });
    CreateOptions o;
    o.className = "FrameWClass";
    o.style = Style::Visible;
    WindowHandle frame = wm.createWindow(o);
    WindowHandle client = wm.createMdiClient(frame, 0x56000001, 0);
    o.className = "VeloraWndClass";
    o.title = "Document";
    o.style = Desk::kDocumentStyle;
    o.rect = { 20, 20, 200, 140 };
    WindowHandle doc = wm.createMdiChild(client, o);
    ASSERT_NE(doc, 0u);
    Message m;
    int guard = 0;
    while (wm.getMessage(m, MessageFilter::all(), -1) && m.message != Msg::Quit && ++guard < 1000) {
        wm.translateMessage(m);
        wm.dispatchMessage(m);
    }
    EXPECT_EQ(m.message, Msg::Quit);
    EXPECT_EQ(g_shotClicks, 1);
    EXPECT_TRUE(wm.replayErrors().empty());
    std::string error;
    auto picture = readPng(shot, error);
    ASSERT_TRUE(picture) << error;
    const struct { int x, y; Rgb color; const char* what; } probes[] = {
        { 5, 5, { 128, 128, 128 }, "MDI client background" },
        { 20, 20, kBlack, "outer border" },
        { 22, 60, { 192, 192, 192 }, "thick frame face" },
        { 150, 30, { 0, 0, 128 }, "active caption" },
        { 181, 37, { 192, 192, 192 }, "close box face" },
        { 187, 33, kBlack, "close box cross" },
        { 34, 52, { 0, 160, 0 }, "client painting" },
        { 100, 100, kWhite, "client background" },
        { 194, 134, { 192, 192, 192 }, "size box face" },
    };
    for (auto& p : probes)
        EXPECT_EQ(picture->colorAt(p.x, p.y), p.color) << p.what;
    // The title is drawn in white on the caption.
    int white = 0;
    for (int x = 26; x < 120; ++x)
        for (int y = 26; y < 40; ++y)
            white += picture->colorAt(x, y) == kWhite;
    EXPECT_GT(white, 20);
    if (!std::getenv("VELORA_KEEP_SCREENSHOT"))
        std::remove(shot.c_str());
}

} // namespace
