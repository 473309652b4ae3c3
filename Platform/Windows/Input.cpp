// Platform/Windows/Input.cpp: input from the display: the mouse routing steps, the move and size
// loop, keys and text, capture, focus, the caret, cursors, modal disabling, drops, shell
// requests and the replay's own actions.
#include "Platform/Windows/WindowTree.h"

#include <algorithm>
#include <cstdio>

namespace {

uint32_t buttonDownMessage(MouseButton b)
{
    return b == MouseButton::Left ? Msg::LeftDown : b == MouseButton::Right ? Msg::RightDown : Msg::MiddleDown;
}

uint32_t buttonUpMessage(MouseButton b)
{
    return b == MouseButton::Left ? Msg::LeftUp : b == MouseButton::Right ? Msg::RightUp : Msg::MiddleUp;
}

} // namespace

void WindowManager::handleInput(const InputEvent& event)
{
    using K = InputEvent::Kind;
    switch (event.kind) {
    case K::Move:
    case K::Press:
    case K::Release:
    case K::Wheel:
        routeMouse(event);
        break;
    case K::KeyDown:
    case K::KeyUp:
        routeKey(event);
        break;
    case K::Text:
        routeText(event);
        break;
    case K::Quit:
        // Closing the host window closes the frame, which decides whether to quit.
        if (m_frame)
            postMessage(m_frame, Msg::Close);
        else
            postQuitMessage(0);
        break;
    case K::Expose:
        break; // the display still holds the frame's pixels
    case K::FocusGained:
    case K::FocusLost:
        m_frameActive = event.kind == K::FocusGained;
        if (m_frame) {
            sendMessage(m_frame, Msg::ActivateApp, m_frameActive, 0);
            sendMessage(m_frame, Msg::Activate, m_frameActive, 0);
        }
        break;
    case K::Answer:
        pushAnswer(event.text);
        break;
    case K::Drop:
        if (!dropFiles({ event.text }, { event.x, event.y }))
            m_replayErrors.push_back("drop: no window accepts files at " + std::to_string(event.x) + " "
                + std::to_string(event.y));
        break;
    case K::Open:
        postShellRequest(InstanceChannel::command("open", event.text));
        break;
    case K::PressNamed:
        if (!pressNamed(event.text))
            m_replayErrors.push_back("press: nothing named \"" + event.text + "\"");
        break;
    case K::Screenshot: {
        std::string error;
        if (!screenshot(event.text, error))
            m_replayErrors.push_back("screenshot: " + error);
        break;
    }
    }
}

void WindowManager::pollDisplay()
{
    InputEvent event;
    // Input is read a few events at a time, so that a long replay interleaves with its effects.
    for (int i = 0; i < 64 && m_queue.empty() && m_display.nextEvent(event, 0); ++i)
        handleInput(event);
}

intptr_t WindowManager::mouseKeys(const InputEvent& event) const
{
    intptr_t keys = 0;
    if (m_buttons[0])
        keys |= MouseKey::Left;
    if (m_buttons[1])
        keys |= MouseKey::Right;
    if (m_buttons[2])
        keys |= MouseKey::Middle;
    if (event.modifiers & Modifier::Shift)
        keys |= MouseKey::Shift;
    if (event.modifiers & Modifier::Control)
        keys |= MouseKey::Control;
    return keys;
}

// Mouse routing. Each step takes the event or passes it on.
void WindowManager::routeMouse(const InputEvent& event)
{
    m_cursor = { event.x, event.y };
    if (event.kind == InputEvent::Kind::Press || event.kind == InputEvent::Kind::Release) {
        m_buttons[int(event.button)] = event.kind == InputEvent::Kind::Press;
        setKeyState(event.button == MouseButton::Left ? 1 : event.button == MouseButton::Right ? 2 : 4,
            event.kind == InputEvent::Kind::Press);
    }
    // 1. Capture.
    if (routeToCapture(event))
        return;
    WindowHandle target = windowFromPoint(m_cursor);
    // 2. Modal: nothing outside the enabled windows gets a press.
    if (routeThroughModal(event, target))
        return;
    // 3. A move or a size in progress.
    if (routeToMoveSize(event))
        return;
    // 4. Hit test: the chrome is handled here.
    int hit = target ? hitTest(target, m_cursor) : Hit::Nowhere;
    if (routeByHitTest(event, target, hit))
        return;
    // 5. Deliver to the client area.
    deliverToClient(event, target);
}

bool WindowManager::routeToCapture(const InputEvent& event)
{
    if (!m_capture || m_moveSize.window)
        return false;
    if (!live(m_capture)) {
        m_capture = 0;
        return false;
    }
    deliverToClient(event, m_capture);
    return true;
}

bool WindowManager::routeThroughModal(const InputEvent& event, WindowHandle target)
{
    if (m_moveSize.window || !target)
        return false;
    // A window inside a disabled top-level window takes no input; a press there brings the
    // modal window forward instead.
    for (WindowHandle w = target; w && w != m_mdiClient && w != m_frame; w = parent(w))
        if (!isEnabled(w)) {
            if (event.kind == InputEvent::Kind::Press && m_modal.window && isWindow(m_modal.window))
                activateChild(topLevelOf(m_modal.window));
            updateHover(0);
            return true;
        }
    return false;
}

bool WindowManager::routeToMoveSize(const InputEvent& event)
{
    if (!m_moveSize.window)
        return false;
    if (!live(m_moveSize.window)) {
        m_moveSize = {};
        return false;
    }
    if (m_moveSize.closePressed) {
        Rect outer = frameWindowRect(m_moveSize.window);
        m_moveSize.closeInside = hitTest(m_moveSize.window, m_cursor) == Hit::Close;
        (void)outer;
        if (event.kind == InputEvent::Kind::Release) {
            WindowHandle window = m_moveSize.window;
            bool inside = m_moveSize.closeInside;
            endMoveSize();
            if (inside)
                postMessage(window, Msg::SysCommand, SysCommand::Close, packPoint(m_cursor.x, m_cursor.y));
        }
        return true;
    }
    if (event.kind == InputEvent::Kind::Move)
        continueMoveSize(m_cursor);
    else if (event.kind == InputEvent::Kind::Release) {
        continueMoveSize(m_cursor);
        endMoveSize();
    }
    return true;
}

WindowHandle WindowManager::topLevelOf(WindowHandle window) const
{
    WindowRecord* w = find(window);
    while (w && w->parent && w->parent->handle != m_mdiClient && w->parent->handle != m_frame)
        w = w->parent;
    return w ? w->handle : 0;
}

bool WindowManager::routeByHitTest(const InputEvent& event, WindowHandle target, int hit)
{
    if (!target)
        return true; // outside every window: nobody's
    WindowHandle top = topLevelOf(target);
    if (event.kind == InputEvent::Kind::Press) {
        if (WindowRecord* t = live(top); t && t->mdiChild && top != m_activeChild)
            activateChild(top);
        if (!live(target))
            return true;
    }
    if (event.kind == InputEvent::Kind::Move)
        sendMessage(target, Msg::SetCursor, intptr_t(target), hit);
    if (hit == Hit::Client || !live(target))
        return !live(target);
    intptr_t point = packPoint(m_cursor.x, m_cursor.y);
    updateHover(0);
    switch (event.kind) {
    case InputEvent::Kind::Move:
        postMessage(target, Msg::NcMouseMove, hit, point);
        break;
    case InputEvent::Kind::Press:
        postMessage(target, event.button == MouseButton::Right ? Msg::NcRightDown : Msg::NcLeftDown, hit, point);
        break;
    case InputEvent::Kind::Release:
        postMessage(target, event.button == MouseButton::Right ? Msg::NcRightUp : Msg::NcLeftUp, hit, point);
        break;
    default:
        break;
    }
    return true;
}

// The double-click rule: a press is a double click when the window's class asks for them and
// the previous press was on the same window with the same button, no more than 500 ms earlier,
// and less than 3 pixels away in each direction. The press after a double click starts anew.
void WindowManager::deliverToClient(const InputEvent& event, WindowHandle target)
{
    WindowRecord* w = live(target);
    if (!w)
        return;
    Point local = frameToClient(target, m_cursor);
    intptr_t point = packPoint(local.x, local.y);
    switch (event.kind) {
    case InputEvent::Kind::Move:
        updateHover(target);
        if (live(target))
            postMessage(target, Msg::MouseMove, mouseKeys(event), point);
        break;
    case InputEvent::Kind::Press: {
        uint32_t now = m_display.milliseconds();
        uint32_t message = buttonDownMessage(event.button);
        bool isDouble = (w->windowClass->style & ClassStyle::DoubleClicks) && m_lastClick.window == target
            && m_lastClick.button == event.button && now - m_lastClick.time <= kDoubleClickTime
            && std::abs(m_cursor.x - m_lastClick.point.x) < kDoubleClickDistance
            && std::abs(m_cursor.y - m_lastClick.point.y) < kDoubleClickDistance;
        if (isDouble) {
            message += 2; // LeftDouble, RightDouble, MiddleDouble
            m_lastClick = {};
        } else {
            m_lastClick = { target, event.button, now, m_cursor };
        }
        postMessage(target, message, mouseKeys(event), point);
        break;
    }
    case InputEvent::Kind::Release:
        postMessage(target, buttonUpMessage(event.button), mouseKeys(event), point);
        break;
    case InputEvent::Kind::Wheel:
        postMessage(target, Msg::MouseWheel, mouseKeys(event) | intptr_t(uint16_t(int16_t(event.wheelDelta))) << 16,
            packPoint(m_cursor.x, m_cursor.y));
        break;
    default:
        break;
    }
}

void WindowManager::updateHover(WindowHandle window)
{
    if (window == m_hover)
        return;
    WindowHandle old = m_hover;
    m_hover = window;
    if (old && old == m_leaveTracked) {
        m_leaveTracked = 0;
        postMessage(old, Msg::MouseLeave);
    }
}

void WindowManager::trackMouseLeave(WindowHandle window)
{
    if (!live(window))
        return;
    if (window != m_hover)
        postMessage(window, Msg::MouseLeave);
    else
        m_leaveTracked = window;
}

void WindowManager::setCursorPosition(Point p)
{
    InputEvent move;
    move.kind = InputEvent::Kind::Move;
    move.x = p.x;
    move.y = p.y;
    routeMouse(move);
}

WindowHandle WindowManager::setCapture(WindowHandle window)
{
    WindowHandle old = m_capture;
    if (!live(window) || window == old)
        return old;
    m_capture = window;
    if (old)
        sendMessage(old, Msg::CaptureChanged, 0, intptr_t(window));
    return old;
}

void WindowManager::releaseCapture()
{
    WindowHandle old = m_capture;
    m_capture = 0;
    if (old)
        sendMessage(old, Msg::CaptureChanged, 0, 0);
}

// The move and size loop. It runs inside the routing (step 3) rather than in a nested loop, so
// that the messages it sends go to procedures from the one pump.
void WindowManager::beginMoveSize(WindowHandle window, int hit, Point framePoint)
{
    WindowRecord* w = live(window);
    if (!w || !w->parent || !m_buttons[0])
        return;
    if (hit == Hit::Caption && w->maximized)
        return;
    m_moveSize = {};
    m_moveSize.window = window;
    m_moveSize.hit = hit;
    m_moveSize.start = framePoint;
    m_moveSize.startRect = w->rect;
    if (hit == Hit::Close) {
        m_moveSize.closePressed = true;
        m_moveSize.closeInside = true;
        return;
    }
    sendMessage(window, Msg::EnterSizeMove);
}

void WindowManager::continueMoveSize(Point p)
{
    WindowHandle window = m_moveSize.window;
    int dx = p.x - m_moveSize.start.x, dy = p.y - m_moveSize.start.y;
    Rect r = m_moveSize.startRect;
    int hit = m_moveSize.hit;
    if (hit == Hit::Caption) {
        r.offsetBy(dx, dy);
        setWindowPos(window, kInsertTop, r, PosFlag::NoZOrder | PosFlag::NoSize | PosFlag::NoActivate);
        return;
    }
    if (hit == Hit::Left || hit == Hit::TopLeft || hit == Hit::BottomLeft)
        r.left += dx;
    if (hit == Hit::Right || hit == Hit::TopRight || hit == Hit::BottomRight)
        r.right += dx;
    if (hit == Hit::Top || hit == Hit::TopLeft || hit == Hit::TopRight)
        r.top += dy;
    if (hit == Hit::Bottom || hit == Hit::BottomLeft || hit == Hit::BottomRight)
        r.bottom += dy;
    MinMaxInfo limits;
    Rect smallest = windowRectForClient({ 0, 0, 0, 0 }, style(window));
    limits.minTrackSize = { std::max(1, smallest.width() + 32), std::max(1, smallest.height()) };
    sendMessage(window, Msg::GetMinMaxInfo, 0, reinterpret_cast<intptr_t>(&limits));
    if (!live(window))
        return;
    int width = std::clamp(r.width(), limits.minTrackSize.x, std::max(limits.minTrackSize.x, limits.maxTrackSize.x));
    int height = std::clamp(r.height(), limits.minTrackSize.y, std::max(limits.minTrackSize.y, limits.maxTrackSize.y));
    // The edge that does not move stays where it was.
    if (r.left != m_moveSize.startRect.left)
        r.left = r.right - width;
    else
        r.right = r.left + width;
    if (r.top != m_moveSize.startRect.top)
        r.top = r.bottom - height;
    else
        r.bottom = r.top + height;
    setWindowPos(window, kInsertTop, r, PosFlag::NoZOrder | PosFlag::NoActivate);
}

void WindowManager::endMoveSize()
{
    WindowHandle window = m_moveSize.window;
    bool wasClose = m_moveSize.closePressed;
    m_moveSize = {};
    if (!wasClose && live(window))
        sendMessage(window, Msg::ExitSizeMove);
}

// Keys. ---------------------------------------------------------------------------------

int16_t WindowManager::keyState(uint8_t vk) const
{
    return int16_t((m_keys[vk] & 0x80 ? 0x8000 : 0) | (m_keys[vk] & 1));
}

void WindowManager::setKeyState(uint8_t vk, bool down)
{
    if (down && !(m_keys[vk] & 0x80))
        m_keys[vk] ^= 1;
    m_keys[vk] = uint8_t((m_keys[vk] & 1) | (down ? 0x80 : 0));
}

void WindowManager::routeKey(const InputEvent& event)
{
    bool down = event.kind == InputEvent::Kind::KeyDown;
    bool wasDown = m_keys[event.virtualKey] & 0x80;
    setKeyState(event.virtualKey, down);
    if (event.virtualKey == 20 && !(event.modifiers & Modifier::CapsLock) && down && event.modifiers)
        m_keys[20] &= 0x80;
    WindowHandle target = m_focus ? m_focus : m_activeChild ? m_activeChild : m_frame;
    if (!target)
        return;
    bool alt = (m_keys[18] & 0x80) || event.virtualKey == 18;
    bool system = (alt && !(m_keys[17] & 0x80)) || event.virtualKey == 0x79; // Alt without Ctrl, or F10
    uint32_t message = down ? (system ? Msg::SysKeyDown : Msg::KeyDown) : (system ? Msg::SysKeyUp : Msg::KeyUp);
    intptr_t l = 1 | (event.extended ? 1 << 24 : 0) | (alt ? 1 << 29 : 0) | (wasDown ? 1 << 30 : 0)
        | (down ? 0 : intptr_t(1) << 31);
    postMessage(target, message, event.virtualKey, l);
}

void WindowManager::routeText(const InputEvent& event)
{
    WindowHandle target = m_focus ? m_focus : m_activeChild ? m_activeChild : m_frame;
    if (!target)
        return;
    for (unsigned char c : event.text)
        postMessage(target, Msg::Char, c, 1);
}

WindowHandle WindowManager::setFocus(WindowHandle window)
{
    WindowHandle old = m_focus;
    if (window && (!live(window) || !isEnabled(window)))
        return old;
    if (window == old)
        return old;
    m_focus = window;
    if (old && live(old))
        sendMessage(old, Msg::KillFocus, intptr_t(window), 0);
    if (window && live(window) && m_focus == window)
        sendMessage(window, Msg::SetFocus, intptr_t(old), 0);
    return old;
}

// The caret. ----------------------------------------------------------------------------

bool WindowManager::createCaret(WindowHandle window, int width, int height)
{
    if (!live(window))
        return false;
    destroyCaret();
    m_caret.window = window;
    m_caret.width = std::max(1, width);
    m_caret.height = std::max(1, height);
    m_caret.position = {};
    m_caret.hideCount = 1;
    return true;
}

void WindowManager::destroyCaret()
{
    eraseCaret();
    uint32_t blink = m_caret.blinkMs;
    m_caret = {};
    m_caret.blinkMs = blink;
}

void WindowManager::setCaretPosition(Point p)
{
    eraseCaret();
    m_caret.position = p;
    m_caret.phaseOn = true;
    m_caret.nextBlink = m_display.milliseconds() + m_caret.blinkMs;
}

void WindowManager::showCaret(WindowHandle window)
{
    if (m_caret.window && (window == 0 || window == m_caret.window) && m_caret.hideCount > 0)
        if (--m_caret.hideCount == 0) {
            m_caret.phaseOn = true;
            m_caret.nextBlink = m_display.milliseconds() + m_caret.blinkMs;
        }
}

void WindowManager::hideCaret(WindowHandle window)
{
    if (m_caret.window && (window == 0 || window == m_caret.window)) {
        eraseCaret();
        ++m_caret.hideCount;
    }
}

// The caret is inverted pixels on the frame: taken away before anything draws, put back when
// the manager presents.
void WindowManager::eraseCaret()
{
    if (!m_caret.drawn)
        return;
    DeviceContext dc(m_display.frameSurface());
    dc.invertRect(m_caret.drawnRect);
    m_dirty.unite(Region(m_caret.drawnRect));
    m_caret.drawn = false;
}

void WindowManager::drawCaretIfShown()
{
    if (!m_caret.window || m_caret.hideCount > 0 || !isVisible(m_caret.window))
        return;
    uint32_t now = m_display.milliseconds();
    if (m_caret.blinkMs && int32_t(now - m_caret.nextBlink) >= 0) {
        m_caret.phaseOn = !m_caret.phaseOn;
        m_caret.nextBlink = now + m_caret.blinkMs;
    }
    bool want = m_caret.phaseOn;
    if (want == m_caret.drawn)
        return;
    if (!want) {
        eraseCaret();
        return;
    }
    Point at = clientToFrame(m_caret.window, m_caret.position);
    Rect r { at.x, at.y, at.x + m_caret.width, at.y + m_caret.height };
    Region clip = visibleRegion(live(m_caret.window), true);
    clip.intersect(r);
    if (clip.isEmpty())
        return;
    DeviceContext dc(m_display.frameSurface());
    dc.setClip(clip);
    dc.invertRect(r);
    m_caret.drawnRect = r;
    m_caret.drawn = true;
    m_dirty.unite(Region(r));
}

// Cursors. -------------------------------------------------------------------------------

CursorHandle WindowManager::createCursor(const CursorImage& image)
{
    CursorHandle handle = m_nextCursor++;
    m_customCursors[handle] = image;
    return handle;
}

bool WindowManager::destroyCursor(CursorHandle cursor)
{
    if (!m_customCursors.erase(cursor))
        return false;
    if (m_cursorHandle == cursor)
        setCursor(standardCursor(StandardCursor::Arrow));
    return true;
}

CursorHandle WindowManager::setCursor(CursorHandle cursor)
{
    CursorHandle old = m_cursorHandle;
    if (cursor == old)
        return old;
    CursorShape shape;
    if (cursor >= 1 && cursor <= 8) {
        shape.standard = StandardCursor(cursor - 1);
    } else if (auto it = m_customCursors.find(cursor); it != m_customCursors.end()) {
        shape.custom = true;
        shape.image = it->second;
    } else {
        return old;
    }
    m_cursorHandle = cursor;
    m_display.setCursor(shape);
    return old;
}

int WindowManager::showCursor(bool show)
{
    bool wasShown = m_cursorCount >= 0;
    m_cursorCount += show ? 1 : -1;
    if (wasShown != (m_cursorCount >= 0))
        m_display.showCursor(m_cursorCount >= 0);
    return m_cursorCount;
}

// Modal disabling. ------------------------------------------------------------------------

void WindowManager::beginModal(WindowHandle window)
{
    if (!live(window))
        return;
    endModal();
    m_modal.window = window;
    WindowHandle top = topLevelOf(window);
    WindowRecord* client = live(m_mdiClient);
    if (!client)
        return;
    for (WindowHandle child : std::vector<WindowHandle>(client->children))
        if (child != top && isEnabled(child)) {
            enableWindow(child, false);
            m_modal.disabled.push_back(child);
        }
}

void WindowManager::endModal()
{
    std::vector<WindowHandle> disabled;
    disabled.swap(m_modal.disabled);
    m_modal.window = 0;
    for (WindowHandle w : disabled)
        if (live(w))
            enableWindow(w, true);
}

intptr_t WindowManager::runModalLoop(WindowHandle window)
{
    if (!live(window))
        return 0;
    m_modalLoops.push_back({ window, false, 0 });
    size_t index = m_modalLoops.size() - 1;
    bool quit = false;
    int quitCode = 0;
    while (!m_modalLoops[index].ended) {
        Message m;
        if (!getMessage(m, MessageFilter::all(), -1)) {
            if (m_display.isHeadless() && m_queue.empty()) {
                // Nothing can ever arrive: the run's input has ended.
                break;
            }
            continue;
        }
        if (m.message == Msg::Quit) {
            quit = true;
            quitCode = int(m.wParam);
            break;
        }
        translateMessage(m);
        dispatchMessage(m);
    }
    intptr_t result = m_modalLoops[index].ended ? m_modalLoops[index].result : 0;
    m_modalLoops.erase(m_modalLoops.begin() + std::ptrdiff_t(index));
    if (quit)
        postQuitMessage(quitCode);
    return result;
}

void WindowManager::endModalLoop(WindowHandle window, intptr_t result)
{
    for (auto it = m_modalLoops.rbegin(); it != m_modalLoops.rend(); ++it)
        if (it->window == window && !it->ended) {
            it->ended = true;
            it->result = result;
            return;
        }
}

// Drops, shell requests, the replay's own actions. -------------------------------------------

void WindowManager::dragAcceptFiles(WindowHandle window, bool accept)
{
    if (WindowRecord* w = live(window))
        w->exStyle = accept ? (w->exStyle | Style::ExAcceptFiles) : (w->exStyle & ~Style::ExAcceptFiles);
}

bool WindowManager::dropFiles(const std::vector<std::string>& files, Point p)
{
    for (WindowHandle w = windowFromPoint(p); w; w = parent(w))
        if (live(w)->exStyle & Style::ExAcceptFiles) {
            intptr_t id = m_nextDrop++;
            m_drops[id] = { files, frameToClient(w, p) };
            postMessage(w, Msg::DropFiles, id, 0);
            return true;
        }
    return false;
}

bool WindowManager::takeDrop(intptr_t dropId, DropRecord& record)
{
    auto it = m_drops.find(dropId);
    if (it == m_drops.end())
        return false;
    record = std::move(it->second);
    m_drops.erase(it);
    return true;
}

bool WindowManager::listenForOtherCopies(const std::string& socketPath, std::string& error)
{
    auto channel = std::make_unique<InstanceChannel>();
    if (!channel->listen(socketPath, error))
        return false;
    m_channel = std::move(channel);
    return true;
}

void WindowManager::pollChannel()
{
    if (!m_channel)
        return;
    for (const std::string& command : m_channel->receive())
        postShellRequest(command);
}

void WindowManager::postShellRequest(const std::string& command)
{
    intptr_t id = m_nextShellRequest++;
    m_shellRequests[id] = command;
    if (!postMessage(m_frame, Msg::ShellExecute, id, 0))
        m_shellRequests.erase(id);
}

bool WindowManager::takeShellRequest(intptr_t requestId, std::string& command)
{
    auto it = m_shellRequests.find(requestId);
    if (it == m_shellRequests.end())
        return false;
    command = std::move(it->second);
    m_shellRequests.erase(it);
    return true;
}

bool WindowManager::takeAnswer(std::string& answer)
{
    if (m_answers.empty())
        return false;
    answer = std::move(m_answers.front());
    m_answers.pop_front();
    return true;
}

void WindowManager::setNameResolver(std::function<std::optional<Point>(const std::string&)> resolver)
{
    m_nameResolver = std::move(resolver);
}

// A click at the centre of the named thing: the resolver's answer, else a visible window of the
// front document window (or of the frame) with that title.
bool WindowManager::pressNamed(const std::string& name)
{
    std::optional<Point> at;
    if (m_nameResolver)
        at = m_nameResolver(name);
    if (!at) {
        WindowHandle root = m_activeChild ? m_activeChild : m_frame;
        for (WindowHandle w : findByTitle(root, name))
            if (isVisible(w)) {
                Rect r = frameWindowRect(w);
                at = Point { (r.left + r.right) / 2, (r.top + r.bottom) / 2 };
                break;
            }
    }
    if (!at)
        return false;
    InputEvent e;
    e.x = at->x;
    e.y = at->y;
    e.kind = InputEvent::Kind::Move;
    routeMouse(e);
    e.kind = InputEvent::Kind::Press;
    routeMouse(e);
    e.kind = InputEvent::Kind::Release;
    routeMouse(e);
    return true;
}

bool WindowManager::screenshot(const std::string& path, std::string& error)
{
    updateAll();
    eraseCaret(); // the picture shows the windows, not the blinking caret
    bool ok = writePng(m_display.frameSurface(), path, error);
    present();
    return ok;
}
