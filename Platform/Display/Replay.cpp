// Platform/Display/Replay.cpp: the replay parser, and the driver that turns a replay's actions
// into input events.
#include "Platform/Display/Display.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <deque>

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> words(std::string_view s)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t')
            ++i;
        if (i > start)
            out.push_back(s.substr(start, i - start));
    }
    return out;
}

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool parseInt(std::string_view s, int low, int high, int& out)
{
    if (s.empty())
        return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && out >= low && out <= high;
}

constexpr int kCoordinateLimit = 32767;

// The line without its leading blanks and its carriage return, trailing spaces kept.
std::string_view untrimmed(std::string_view raw)
{
    while (!raw.empty() && (raw.front() == ' ' || raw.front() == '\t'))
        raw.remove_prefix(1);
    if (!raw.empty() && raw.back() == '\r')
        raw.remove_suffix(1);
    return raw;
}

struct NamedKey {
    const char* name;
    uint8_t virtualKey;
    bool extended;
};

const NamedKey kNamedKeys[] = {
    { "return", 13, false }, { "enter", 13, true }, { "escape", 27, false }, { "esc", 27, false },
    { "tab", 9, false }, { "space", 32, false }, { "backspace", 8, false }, { "delete", 46, false },
    { "del", 46, false }, { "insert", 45, false }, { "home", 36, false }, { "end", 35, false },
    { "pageup", 33, false }, { "page-up", 33, false }, { "pagedown", 34, false }, { "page-down", 34, false },
    { "left", 37, false }, { "up", 38, false }, { "right", 39, false }, { "down", 40, false },
    { ";", 186, false }, { "=", 187, false }, { ",", 188, false }, { "-", 189, false }, { ".", 190, false },
    { "/", 191, false }, { "`", 192, false }, { "[", 219, false }, { "\\", 220, false }, { "]", 221, false },
    { "'", 222, false },
};

} // namespace

bool parseKeyCombo(std::string_view combo, uint8_t& virtualKey, uint32_t& modifiers, bool& extended)
{
    modifiers = 0;
    extended = false;
    std::string text = lower(combo);
    std::string_view rest = text;
    // Modifiers are the parts before the last '+'; a key of "+" itself is not offered.
    for (;;) {
        size_t plus = rest.find('+');
        if (plus == std::string_view::npos || plus + 1 == rest.size())
            break;
        std::string_view part = rest.substr(0, plus);
        if (part == "ctrl" || part == "control")
            modifiers |= Modifier::Control;
        else if (part == "shift")
            modifiers |= Modifier::Shift;
        else if (part == "alt" || part == "option")
            modifiers |= Modifier::Alt;
        else
            return false;
        rest.remove_prefix(plus + 1);
    }
    if (rest.size() == 1 && ((rest[0] >= 'a' && rest[0] <= 'z') || (rest[0] >= '0' && rest[0] <= '9'))) {
        virtualKey = uint8_t(std::toupper(static_cast<unsigned char>(rest[0])));
        return true;
    }
    int f = 0;
    if (rest.size() >= 2 && rest[0] == 'f' && parseInt(rest.substr(1), 1, 24, f)) {
        virtualKey = uint8_t(0x70 + f - 1);
        return true;
    }
    for (const NamedKey& k : kNamedKeys)
        if (rest == k.name) {
            virtualKey = k.virtualKey;
            extended = k.extended;
            return true;
        }
    return false;
}

namespace {

// Parses one non-blank line; returns an error text or "".
std::string parseLine(std::string_view line, std::string_view untrimmed, ReplayAction& action)
{
    size_t space = line.find_first_of(" \t");
    std::string verb = lower(line.substr(0, space));
    std::string_view rest = space == std::string_view::npos ? std::string_view {} : trim(line.substr(space));
    std::vector<std::string_view> args = words(rest);
    auto points = [&](int count) -> std::string {
        if (int(args.size()) != count * 2)
            return verb + " takes " + std::to_string(count * 2) + " numbers";
        int* slots[4] = { &action.x, &action.y, &action.x2, &action.y2 };
        for (int i = 0; i < count * 2; ++i)
            if (!parseInt(args[size_t(i)], -kCoordinateLimit, kCoordinateLimit, *slots[i]))
                return "not a coordinate: \"" + std::string(args[size_t(i)]) + "\"";
        return {};
    };
    auto needText = [&](const char* what) -> std::string {
        if (rest.empty())
            return verb + " needs " + what;
        action.text = std::string(rest);
        return {};
    };
    using K = ReplayAction::Kind;
    if (verb == "click" || verb == "double-click" || verb == "right-click" || verb == "move") {
        action.kind = verb == "click" ? K::Click : verb == "double-click" ? K::DoubleClick
            : verb == "right-click" ? K::RightClick : K::Move;
        return points(1);
    }
    if (verb == "drag") {
        action.kind = K::Drag;
        return points(2);
    }
    if (verb == "key") {
        action.kind = K::Key;
        if (args.size() != 1)
            return "key takes one key combination";
        if (!parseKeyCombo(args[0], action.virtualKey, action.modifiers, action.extended))
            return "unknown key \"" + std::string(args[0]) + "\"";
        return {};
    }
    if (verb == "type") {
        action.kind = K::Type;
        if (space == std::string_view::npos || space + 1 >= line.size())
            return "type needs text";
        bool ok = true;
        // The text is everything after the one separating space, spaces included.
        action.text = utf8ToCp1252(untrimmed.substr(space + 1), ok);
        if (!ok)
            return "text has characters outside code page 1252";
        return {};
    }
    if (verb == "wait") {
        action.kind = K::Wait;
        if (args.size() != 1 || !parseInt(args[0], 0, 3600000, action.milliseconds))
            return "wait takes milliseconds (0 to 3600000)";
        return {};
    }
    if (verb == "answer") {
        action.kind = K::Answer;
        return needText("a path or a button");
    }
    if (verb == "drop") {
        action.kind = K::Drop;
        if (args.size() < 3)
            return "drop takes a file and a point";
        size_t yAt = rest.find_last_of(" \t");
        size_t xAt = trim(rest.substr(0, yAt)).find_last_of(" \t");
        std::string_view file = trim(rest.substr(0, xAt));
        if (!parseInt(args[args.size() - 2], -kCoordinateLimit, kCoordinateLimit, action.x)
            || !parseInt(args.back(), -kCoordinateLimit, kCoordinateLimit, action.y))
            return "drop takes a file and a point";
        action.text = std::string(file);
        return {};
    }
    if (verb == "open") {
        action.kind = K::Open;
        return needText("a document");
    }
    if (verb == "press") {
        action.kind = K::Press;
        return needText("a name");
    }
    if (verb == "screenshot") {
        action.kind = K::Screenshot;
        if (rest.size() < 5 || lower(rest.substr(rest.size() - 4)) != ".png")
            return "screenshot needs a file ending in .png";
        action.text = std::string(rest);
        return {};
    }
    if (verb == "quit") {
        action.kind = K::Quit;
        return args.empty() ? std::string {} : "quit takes nothing";
    }
    return "unknown action \"" + verb + "\"";
}

} // namespace

ReplayScript parseReplay(std::string_view text)
{
    ReplayScript script;
    int lineNumber = 0;
    while (!text.empty() || lineNumber == 0) {
        size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view {} : text.substr(end + 1);
        ++lineNumber;
        std::string_view line = trim(raw);
        if (line.empty() || line[0] == '#') {
            if (text.empty())
                break;
            continue;
        }
        ReplayAction action;
        action.line = lineNumber;
        std::string error = line.find('\0') != std::string_view::npos ? "line holds a NUL character"
                                                                       : parseLine(line, untrimmed(raw), action);
        if (!error.empty()) {
            script.errorLine = lineNumber;
            script.error = "line " + std::to_string(lineNumber) + ": " + error;
            script.actions.clear();
            return script;
        }
        script.actions.push_back(std::move(action));
    }
    return script;
}

namespace {

class ReplayDriver final : public Display {
public:
    ReplayDriver(std::unique_ptr<Display> inner, ReplayScript script)
        : m_inner(std::move(inner))
        , m_actions(std::move(script.actions))
    {
    }

    bool isHeadless() const override { return m_inner->isHeadless(); }
    Surface& frameSurface() override { return m_inner->frameSurface(); }
    void present(const Region& dirty) override { m_inner->present(dirty); }
    uint32_t milliseconds() override { return m_inner->milliseconds(); }
    void setCursor(const CursorShape& c) override { m_inner->setCursor(c); }
    void showCursor(bool v) override { m_inner->showCursor(v); }
    void setTitle(const std::string& t) override { m_inner->setTitle(t); }
    bool readBack(Surface& out) override { return m_inner->readBack(out); }
    int scale() const override { return m_inner->scale(); }
    FrameSize screenSize() override { return m_inner->screenSize(); }
    Point framePosition() override { return m_inner->framePosition(); }
    void setFramePosition(Point p) override { m_inner->setFramePosition(p); }
    FrameState frameState() override { return m_inner->frameState(); }
    void setFrameState(FrameState s) override { m_inner->setFrameState(s); }

    bool nextEvent(InputEvent& event, int timeoutMs) override
    {
        // The host's own input is dropped (a replay is the only source), except a request to
        // quit and a need to repaint.
        InputEvent host;
        while (!m_inner->isHeadless() && m_inner->nextEvent(host, 0))
            if (host.kind == InputEvent::Kind::Quit || host.kind == InputEvent::Kind::Expose) {
                event = host;
                return true;
            }
        for (;;) {
            if (!m_pending.empty()) {
                event = std::move(m_pending.front());
                m_pending.pop_front();
                return true;
            }
            if (m_waiting) {
                uint32_t now = m_inner->milliseconds();
                if (int32_t(m_waitUntil - now) > 0) {
                    int slice = int(m_waitUntil - now);
                    if (timeoutMs >= 0)
                        slice = std::min(slice, timeoutMs);
                    InputEvent ignored;
                    if (slice > 0)
                        m_inner->nextEvent(ignored, slice);
                    if (int32_t(m_waitUntil - m_inner->milliseconds()) > 0)
                        return false;
                }
                m_waiting = false;
            }
            if (m_next >= m_actions.size()) {
                // The end of the replay ends the run, as a quit would.
                if (m_ended)
                    return false;
                m_ended = true;
                m_pending.push_back(make(InputEvent::Kind::Quit));
                continue;
            }
            expand(m_actions[m_next++]);
        }
    }

private:
    InputEvent make(InputEvent::Kind kind, int x = 0, int y = 0)
    {
        InputEvent e;
        e.kind = kind;
        e.x = x;
        e.y = y;
        e.modifiers = m_modifiers;
        return e;
    }

    void mouse(InputEvent::Kind kind, int x, int y, MouseButton button)
    {
        InputEvent e = make(kind, x, y);
        e.button = button;
        m_pending.push_back(e);
    }

    void key(InputEvent::Kind kind, uint8_t vk, bool extended = false)
    {
        InputEvent e = make(kind);
        e.virtualKey = vk;
        e.extended = extended;
        m_pending.push_back(e);
    }

    void expand(const ReplayAction& a)
    {
        using K = ReplayAction::Kind;
        using E = InputEvent::Kind;
        switch (a.kind) {
        case K::Click:
        case K::DoubleClick:
        case K::RightClick: {
            MouseButton button = a.kind == K::RightClick ? MouseButton::Right : MouseButton::Left;
            mouse(E::Move, a.x, a.y, button);
            for (int i = 0; i < (a.kind == K::DoubleClick ? 2 : 1); ++i) {
                mouse(E::Press, a.x, a.y, button);
                mouse(E::Release, a.x, a.y, button);
            }
            break;
        }
        case K::Move:
            mouse(E::Move, a.x, a.y, MouseButton::Left);
            break;
        case K::Drag: {
            mouse(E::Move, a.x, a.y, MouseButton::Left);
            mouse(E::Press, a.x, a.y, MouseButton::Left);
            constexpr int kSteps = 4;
            for (int i = 1; i <= kSteps; ++i)
                mouse(E::Move, a.x + (a.x2 - a.x) * i / kSteps, a.y + (a.y2 - a.y) * i / kSteps, MouseButton::Left);
            mouse(E::Release, a.x2, a.y2, MouseButton::Left);
            break;
        }
        case K::Key: {
            const struct { uint32_t bit; uint8_t vk; } mods[] = {
                { Modifier::Control, 17 }, { Modifier::Shift, 16 }, { Modifier::Alt, 18 } };
            for (auto& m : mods)
                if (a.modifiers & m.bit) {
                    m_modifiers |= m.bit;
                    key(E::KeyDown, m.vk);
                }
            key(E::KeyDown, a.virtualKey, a.extended);
            key(E::KeyUp, a.virtualKey, a.extended);
            for (auto& m : mods)
                if (a.modifiers & m.bit) {
                    m_modifiers &= ~m.bit;
                    key(E::KeyUp, m.vk);
                }
            break;
        }
        case K::Type: {
            InputEvent e = make(E::Text);
            e.text = a.text;
            m_pending.push_back(e);
            break;
        }
        case K::Wait:
            m_waiting = true;
            m_waitUntil = m_inner->milliseconds() + uint32_t(a.milliseconds);
            break;
        case K::Answer:
        case K::Drop:
        case K::Open:
        case K::Press:
        case K::Screenshot: {
            InputEvent e = make(a.kind == K::Answer ? E::Answer : a.kind == K::Drop ? E::Drop
                    : a.kind == K::Open ? E::Open : a.kind == K::Press ? E::PressNamed : E::Screenshot,
                a.x, a.y);
            e.text = a.text;
            m_pending.push_back(e);
            break;
        }
        case K::Quit:
            m_pending.push_back(make(E::Quit));
            m_next = m_actions.size();
            m_ended = true;
            break;
        }
    }

    std::unique_ptr<Display> m_inner;
    std::vector<ReplayAction> m_actions;
    size_t m_next = 0;
    std::deque<InputEvent> m_pending;
    uint32_t m_modifiers = 0;
    bool m_waiting = false;
    uint32_t m_waitUntil = 0;
    bool m_ended = false;
};

} // namespace

std::unique_ptr<Display> openReplayDriver(std::unique_ptr<Display> inner, ReplayScript script)
{
    return std::make_unique<ReplayDriver>(std::move(inner), std::move(script));
}
