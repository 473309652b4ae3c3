// Platform/Windows/WindowManager.cpp: the tree of windows, geometry, painting and the queue.
#include "Platform/Windows/WindowTree.h"

#include <algorithm>
#include <cstdio>

namespace {

intptr_t mdiClientProc(WindowManager& wm, const Message& m) noexcept { return wm.defWindowProc(m); }

bool hasCaption(uint32_t style) { return (style & Style::Caption) == Style::Caption; }

} // namespace

ChromeInsets chromeInsets(uint32_t style)
{
    if (!(style & Style::Child))
        return {};
    int edge = 0;
    if (style & Style::ThickFrame)
        edge = 4;
    else if (hasCaption(style))
        edge = 1;
    else if (style & Style::DialogFrame)
        edge = 3;
    else if (style & Style::Border)
        edge = 1;
    ChromeInsets insets { edge, edge, edge, edge };
    if (hasCaption(style))
        insets.top += kCaptionHeight;
    return insets;
}

Rect captionRect(Rect size, uint32_t style)
{
    if (!(style & Style::Child) || !hasCaption(style))
        return {};
    ChromeInsets in = chromeInsets(style);
    return { in.left, in.left, size.width() - in.right, in.left + kCaptionHeight };
}

Rect closeBoxRect(Rect size, uint32_t style)
{
    if (!(style & Style::SystemMenu))
        return {};
    Rect caption = captionRect(size, style);
    if (caption.isEmpty())
        return {};
    return { caption.right - 16, caption.top + 2, caption.right - 2, caption.top + 16 };
}

Rect sizeBoxRect(Rect size, uint32_t style)
{
    if (!(style & Style::Child) || !(style & Style::ThickFrame) || !hasCaption(style))
        return {};
    ChromeInsets in = chromeInsets(style);
    int right = size.width() - in.right, bottom = size.height() - in.bottom;
    return { right - kSizeBox, bottom - kSizeBox, right, bottom };
}

bool MessageFilter::accepts(uint32_t message) const
{
    if (ranges.empty())
        return true;
    for (auto& [low, high] : ranges)
        if (message >= low && message <= high)
            return true;
    return false;
}

WindowManager::WindowManager(Display& display)
    : m_display(display)
{
    registerClass({ "MDICLIENT", 0, mdiClientProc, Rgb { 128, 128, 128 }, StandardCursor::Arrow });
}

WindowManager::~WindowManager()
{
    if (m_frame)
        destroyWindow(m_frame);
}

// Classes. --------------------------------------------------------------------------------

bool WindowManager::registerClass(const WindowClass& windowClass)
{
    if (windowClass.name.empty() || !windowClass.procedure || m_classes.count(windowClass.name))
        return false;
    m_classes.emplace(windowClass.name, windowClass);
    return true;
}

bool WindowManager::unregisterClass(const std::string& name)
{
    auto it = m_classes.find(name);
    if (it == m_classes.end())
        return false;
    for (auto& [handle, w] : m_windows)
        if (w->windowClass == &it->second)
            return false;
    m_classes.erase(it);
    return true;
}

const WindowClass* WindowManager::findClass(const std::string& name) const
{
    auto it = m_classes.find(name);
    return it == m_classes.end() ? nullptr : &it->second;
}

// Creation and destruction. ---------------------------------------------------------------

WindowManager::WindowRecord* WindowManager::find(WindowHandle window) const
{
    auto it = m_windows.find(window);
    return it == m_windows.end() ? nullptr : it->second.get();
}

WindowManager::WindowRecord* WindowManager::live(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w && !w->destroying ? w : nullptr;
}

bool WindowManager::isWindow(WindowHandle window) const { return live(window) != nullptr; }

Message WindowManager::make(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) const
{
    Message m;
    m.window = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = m_display.milliseconds();
    m.cursor = m_cursor;
    return m;
}

intptr_t WindowManager::call(WindowRecord* w, const Message& message)
{
    return w->windowClass->procedure(*this, message);
}

void WindowManager::linkChild(WindowRecord* parent, WindowRecord* child, WindowHandle insertAfter)
{
    auto& list = parent->children;
    child->parent = parent;
    if (insertAfter == kInsertBottom) {
        list.push_back(child->handle);
        return;
    }
    auto at = std::find(list.begin(), list.end(), insertAfter);
    if (insertAfter == kInsertTop || at == list.end()) {
        // Topmost windows stay above the others.
        auto first = list.begin();
        if (!(child->exStyle & Style::ExTopmost))
            while (first != list.end() && find(*first) && (find(*first)->exStyle & Style::ExTopmost))
                ++first;
        list.insert(first, child->handle);
    } else {
        list.insert(at + 1, child->handle);
    }
}

void WindowManager::unlinkChild(WindowRecord* child)
{
    if (!child->parent)
        return;
    auto& list = child->parent->children;
    list.erase(std::remove(list.begin(), list.end(), child->handle), list.end());
}

WindowHandle WindowManager::createWindow(const CreateOptions& options)
{
    auto cls = m_classes.find(options.className);
    if (cls == m_classes.end())
        return 0;
    WindowRecord* parent = nullptr;
    if (options.parent) {
        parent = live(options.parent);
        if (!parent)
            return 0;
    } else if (m_frame) {
        return 0; // one frame only: every other window has a parent
    }
    auto record = std::make_unique<WindowRecord>();
    WindowRecord* w = record.get();
    w->handle = m_nextHandle++;
    w->className = options.className;
    w->windowClass = &cls->second;
    w->style = options.style & ~Style::Visible;
    w->exStyle = options.exStyle;
    w->id = options.id;
    w->title = options.title;
    if (parent) {
        w->style |= Style::Child;
        w->rect = options.rect;
    } else {
        w->style &= ~Style::Child;
        w->rect = m_display.frameSurface().bounds();
        m_frame = w->handle;
        m_display.setTitle(options.title);
    }
    m_windows.emplace(w->handle, std::move(record));
    if (parent)
        linkChild(parent, w, kInsertTop);
    WindowHandle handle = w->handle;
    if (call(w, make(handle, Msg::Create, 0, options.createParam)) == -1) {
        destroyWindow(handle);
        return 0;
    }
    if (!live(handle))
        return 0;
    Rect client = clientRect(handle);
    sendMessage(handle, Msg::Size, 0, packPoint(client.width(), client.height()));
    Rect where = windowRect(handle);
    sendMessage(handle, Msg::Move, 0, packPoint(where.left, where.top));
    if ((options.style & Style::Visible) && live(handle))
        showWindow(handle, (options.style & Style::Maximize) ? ShowCommand::Maximize : ShowCommand::Show);
    return live(handle) ? handle : 0;
}

WindowHandle WindowManager::createMdiClient(WindowHandle frame, uint32_t style, int topMargin)
{
    Rect client = clientRect(frame);
    CreateOptions o;
    o.className = "MDICLIENT";
    o.style = style | Style::Child | Style::Visible;
    o.rect = { 0, topMargin, client.right, client.bottom };
    o.parent = frame;
    o.id = 30000;
    m_mdiClient = createWindow(o);
    return m_mdiClient;
}

WindowHandle WindowManager::createMdiChild(WindowHandle client, const CreateOptions& options)
{
    CreateOptions o = options;
    o.parent = client;
    o.style = (o.style | Style::Child | Style::ClipSiblings) & ~Style::Visible;
    WindowHandle child = createWindow(o);
    if (!child)
        return 0;
    find(child)->mdiChild = true;
    if (options.style & Style::Visible)
        showWindow(child, (options.style & Style::Maximize) ? ShowCommand::Maximize : ShowCommand::Show);
    return live(child) ? child : 0;
}

bool WindowManager::destroyWindow(WindowHandle window)
{
    WindowRecord* w = live(window);
    if (!w)
        return false;
    if (w->style & Style::Visible)
        showWindow(window, ShowCommand::Hide);
    w = live(window);
    if (!w)
        return false;
    destroyTree(w);
    return true;
}

// Children are destroyed first, each receiving Destroy; then the window itself. Records are
// freed only at the end, so that a procedure that asks about a dying window gets an answer.
void WindowManager::destroyTree(WindowRecord* w)
{
    w->destroying = true;
    WindowHandle handle = w->handle;
    std::vector<WindowHandle> kids = w->children;
    for (WindowHandle child : kids)
        if (WindowRecord* c = live(child))
            destroyTree(c);
    forget(handle);
    call(w, make(handle, Msg::Destroy, 0, 0));
    forget(handle); // the procedure may have taken the focus or capture again
    unlinkChild(w);
    if (handle == m_frame)
        m_frame = 0;
    if (handle == m_mdiClient)
        m_mdiClient = 0;
    m_windows.erase(handle);
}

// Every reference the manager holds to a window that goes away.
void WindowManager::forget(WindowHandle window)
{
    if (m_capture == window)
        m_capture = 0;
    if (m_focus == window)
        m_focus = 0;
    if (m_hover == window)
        m_hover = 0;
    if (m_leaveTracked == window)
        m_leaveTracked = 0;
    if (m_activeChild == window)
        m_activeChild = 0;
    if (m_lastClick.window == window)
        m_lastClick = {};
    if (m_moveSize.window == window)
        m_moveSize = {};
    if (m_caret.window == window)
        destroyCaret();
    if (m_modal.window == window)
        endModal();
    m_modal.disabled.erase(std::remove(m_modal.disabled.begin(), m_modal.disabled.end(), window),
        m_modal.disabled.end());
    for (ModalLoop& loop : m_modalLoops)
        if (loop.window == window)
            loop.ended = true;
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(), [&](const Timer& t) { return t.window == window; }),
        m_timers.end());
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(), [&](const Message& m) { return m.window == window; }),
        m_queue.end());
}

// Tree and attributes. ----------------------------------------------------------------------

WindowHandle WindowManager::parent(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w && w->parent ? w->parent->handle : 0;
}

std::vector<WindowHandle> WindowManager::children(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w ? w->children : std::vector<WindowHandle> {};
}

WindowHandle WindowManager::topChild(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w && !w->children.empty() ? w->children.front() : 0;
}

WindowHandle WindowManager::nextSibling(WindowHandle window) const
{
    WindowRecord* w = find(window);
    if (!w || !w->parent)
        return 0;
    auto& list = w->parent->children;
    auto at = std::find(list.begin(), list.end(), window);
    return at != list.end() && at + 1 != list.end() ? *(at + 1) : 0;
}

WindowHandle WindowManager::previousSibling(WindowHandle window) const
{
    WindowRecord* w = find(window);
    if (!w || !w->parent)
        return 0;
    auto& list = w->parent->children;
    auto at = std::find(list.begin(), list.end(), window);
    return at != list.end() && at != list.begin() ? *(at - 1) : 0;
}

bool WindowManager::isAncestor(WindowHandle ancestor, WindowHandle window) const
{
    for (WindowRecord* w = find(window); w; w = w->parent)
        if (w->handle == ancestor)
            return true;
    return false;
}

std::string WindowManager::className(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w ? w->className : std::string {};
}

uint32_t WindowManager::style(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w ? w->style : 0;
}

void WindowManager::setStyle(WindowHandle window, uint32_t style)
{
    WindowRecord* w = live(window);
    if (!w)
        return;
    uint32_t keep = Style::Visible | Style::Disabled | Style::Child;
    w->style = (style & ~keep) | (w->style & keep);
    if (isVisible(window))
        exposeArea(Region(frameWindowRect(window)));
}

uint32_t WindowManager::exStyle(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w ? w->exStyle : 0;
}

intptr_t WindowManager::windowId(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w ? w->id : 0;
}

std::string WindowManager::title(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w ? w->title : std::string {};
}

void WindowManager::setTitle(WindowHandle window, const std::string& title)
{
    WindowRecord* w = live(window);
    if (!w)
        return;
    w->title = title;
    w->chromeDirty = true;
    if (window == m_frame)
        m_display.setTitle(title);
}

void WindowManager::setProperty(WindowHandle window, const std::string& name, intptr_t value)
{
    if (WindowRecord* w = find(window))
        w->properties[name] = value;
}

intptr_t WindowManager::property(WindowHandle window, const std::string& name) const
{
    WindowRecord* w = find(window);
    if (!w)
        return 0;
    auto it = w->properties.find(name);
    return it == w->properties.end() ? 0 : it->second;
}

bool WindowManager::removeProperty(WindowHandle window, const std::string& name)
{
    WindowRecord* w = find(window);
    return w && w->properties.erase(name) > 0;
}

std::vector<WindowHandle> WindowManager::findByTitle(WindowHandle root, const std::string& title) const
{
    std::vector<WindowHandle> out;
    WindowRecord* w = live(root);
    if (!w)
        return out;
    for (WindowHandle child : w->children) {
        WindowRecord* c = live(child);
        if (!c)
            continue;
        if (c->title == title)
            out.push_back(child);
        auto deeper = findByTitle(child, title);
        out.insert(out.end(), deeper.begin(), deeper.end());
    }
    return out;
}

// Geometry. -------------------------------------------------------------------------------

Rect WindowManager::windowRect(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w ? w->rect : Rect {};
}

Rect WindowManager::clientRect(WindowHandle window) const
{
    WindowRecord* w = find(window);
    if (!w)
        return {};
    ChromeInsets in = chromeInsets(w->style);
    return { 0, 0, std::max(0, w->rect.width() - in.left - in.right), std::max(0, w->rect.height() - in.top - in.bottom) };
}

Rect WindowManager::frameWindowRect(WindowHandle window) const
{
    WindowRecord* w = find(window);
    if (!w)
        return {};
    if (!w->parent)
        return w->rect;
    Rect parentClient = frameClientRect(w->parent->handle);
    return shifted(w->rect, parentClient.left, parentClient.top);
}

Rect WindowManager::frameClientRect(WindowHandle window) const
{
    WindowRecord* w = find(window);
    if (!w)
        return {};
    Rect outer = frameWindowRect(window);
    ChromeInsets in = chromeInsets(w->style);
    Rect c = clientRect(window);
    return shifted(c, outer.left + in.left, outer.top + in.top);
}

Point WindowManager::clientToFrame(WindowHandle window, Point p) const
{
    Rect c = frameClientRect(window);
    return { p.x + c.left, p.y + c.top };
}

Point WindowManager::frameToClient(WindowHandle window, Point p) const
{
    Rect c = frameClientRect(window);
    return { p.x - c.left, p.y - c.top };
}

Point WindowManager::mapPoint(WindowHandle from, WindowHandle to, Point p) const
{
    Point f = from ? clientToFrame(from, p) : p;
    return to ? frameToClient(to, f) : f;
}

Rect WindowManager::windowRectForClient(Rect client, uint32_t style)
{
    ChromeInsets in = chromeInsets(style | Style::Child);
    return { client.left - in.left, client.top - in.top, client.right + in.right, client.bottom + in.bottom };
}

int WindowManager::hitTest(WindowHandle window, Point p) const
{
    WindowRecord* w = find(window);
    Rect outer = frameWindowRect(window);
    if (!w || p.x < outer.left || p.y < outer.top || p.x >= outer.right || p.y >= outer.bottom)
        return Hit::Nowhere;
    Point local { p.x - outer.left, p.y - outer.top };
    Rect size { 0, 0, outer.width(), outer.height() };
    auto inside = [&](Rect r) {
        return local.x >= r.left && local.x < r.right && local.y >= r.top && local.y < r.bottom;
    };
    if (inside(closeBoxRect(size, w->style)))
        return Hit::Close;
    if (inside(sizeBoxRect(size, w->style)))
        return Hit::BottomRight;
    if (inside(captionRect(size, w->style)))
        return Hit::Caption;
    Rect client = frameClientRect(window);
    if (p.x >= client.left && p.y >= client.top && p.x < client.right && p.y < client.bottom)
        return Hit::Client;
    if (!(w->style & Style::ThickFrame))
        return Hit::Border;
    constexpr int kCorner = 12;
    bool left = local.x < 4, right = local.x >= size.right - 4;
    bool top = local.y < 4, bottom = local.y >= size.bottom - 4;
    bool nearLeft = local.x < kCorner, nearRight = local.x >= size.right - kCorner;
    bool nearTop = local.y < kCorner, nearBottom = local.y >= size.bottom - kCorner;
    if ((top && nearLeft) || (left && nearTop))
        return Hit::TopLeft;
    if ((top && nearRight) || (right && nearTop))
        return Hit::TopRight;
    if ((bottom && nearLeft) || (left && nearBottom))
        return Hit::BottomLeft;
    if ((bottom && nearRight) || (right && nearBottom))
        return Hit::BottomRight;
    if (left)
        return Hit::Left;
    if (right)
        return Hit::Right;
    if (top)
        return Hit::Top;
    if (bottom)
        return Hit::Bottom;
    return Hit::Border;
}

WindowHandle WindowManager::windowFromPoint(Point p) const
{
    WindowRecord* w = live(m_frame);
    if (!w || !(w->style & Style::Visible))
        return 0;
    for (;;) {
        Rect client = frameClientRect(w->handle);
        if (p.x < client.left || p.y < client.top || p.x >= client.right || p.y >= client.bottom)
            return w->handle; // on the chrome
        WindowRecord* next = nullptr;
        for (WindowHandle child : w->children) {
            WindowRecord* c = live(child);
            Rect r = frameWindowRect(child);
            if (c && (c->style & Style::Visible) && p.x >= r.left && p.y >= r.top && p.x < r.right && p.y < r.bottom) {
                next = c;
                break;
            }
        }
        if (!next || ((next->style & Style::Disabled) && !next->mdiChild))
            return w->handle;
        w = next;
    }
}

bool WindowManager::setWindowPos(WindowHandle window, WindowHandle insertAfter, Rect rect, uint32_t flags)
{
    WindowRecord* w = live(window);
    if (!w)
        return false;
    WindowPos pos { window, insertAfter, rect.left, rect.top, rect.width(), rect.height(), flags };
    if (flags & PosFlag::NoMove) {
        pos.x = w->rect.left;
        pos.y = w->rect.top;
    }
    if (flags & PosFlag::NoSize) {
        pos.width = w->rect.width();
        pos.height = w->rect.height();
    }
    sendMessage(window, Msg::WindowPosChanging, 0, reinterpret_cast<intptr_t>(&pos));
    w = live(window);
    if (!w)
        return false;
    Rect oldFrameRect = frameWindowRect(window);
    Rect oldRect = w->rect;
    bool wasVisible = isVisible(window);
    Rect newRect { pos.x, pos.y, pos.x + std::max(0, pos.width), pos.y + std::max(0, pos.height) };
    bool moved = newRect.left != oldRect.left || newRect.top != oldRect.top;
    bool sized = newRect.width() != oldRect.width() || newRect.height() != oldRect.height();
    w->rect = newRect;
    bool restacked = false;
    if (!(pos.flags & PosFlag::NoZOrder) && w->parent && pos.insertAfter != window) {
        auto& list = w->parent->children;
        size_t before = size_t(std::find(list.begin(), list.end(), window) - list.begin());
        unlinkChild(w);
        linkChild(w->parent, w, pos.insertAfter);
        restacked = size_t(std::find(list.begin(), list.end(), window) - list.begin()) != before;
    }
    if (pos.flags & PosFlag::ShowWindow)
        w->style |= Style::Visible;
    if (pos.flags & PosFlag::HideWindow)
        w->style &= ~Style::Visible;
    if (wasVisible || isVisible(window)) {
        Region area(oldFrameRect);
        area.unite(Region(frameWindowRect(window)));
        if (moved || sized || restacked || (pos.flags & (PosFlag::ShowWindow | PosFlag::HideWindow)))
            exposeArea(area);
    }
    sendMessage(window, Msg::WindowPosChanged, 0, reinterpret_cast<intptr_t>(&pos));
    if (live(window) && moved)
        sendMessage(window, Msg::Move, 0, packPoint(newRect.left, newRect.top));
    if (live(window) && sized) {
        Rect client = clientRect(window);
        sendMessage(window, Msg::Size, 0, packPoint(client.width(), client.height()));
    }
    return live(window) != nullptr;
}

bool WindowManager::moveWindow(WindowHandle window, Rect rect)
{
    return setWindowPos(window, kInsertTop, rect, PosFlag::NoZOrder | PosFlag::NoActivate);
}

bool WindowManager::bringToTop(WindowHandle window)
{
    return setWindowPos(window, kInsertTop, {}, PosFlag::NoMove | PosFlag::NoSize);
}

// Visibility, enabling, activation. ---------------------------------------------------------

bool WindowManager::isVisible(WindowHandle window) const
{
    WindowRecord* w = live(window);
    if (!w)
        return false;
    for (; w; w = w->parent)
        if (!(w->style & Style::Visible))
            return false;
    return true;
}

bool WindowManager::isMaximized(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w && w->maximized;
}

bool WindowManager::showWindow(WindowHandle window, ShowCommand command)
{
    WindowRecord* w = live(window);
    if (!w)
        return false;
    bool wasVisible = (w->style & Style::Visible) != 0;
    if (!w->parent) {
        // The frame: shown or hidden in the manager; minimising and maximising go to the host.
        if (command == ShowCommand::Maximize || command == ShowCommand::Minimize || command == ShowCommand::Restore) {
            w->maximized = command == ShowCommand::Maximize;
            m_display.setFrameState(command == ShowCommand::Maximize ? FrameState::Maximized
                    : command == ShowCommand::Minimize                ? FrameState::Minimized
                                                                      : FrameState::Normal);
        }
        bool show = command != ShowCommand::Hide && command != ShowCommand::Minimize;
        if (show != wasVisible) {
            sendMessage(window, Msg::ShowWindow, show, 0);
            if (!live(window))
                return wasVisible;
            w->style = show ? (w->style | Style::Visible) : (w->style & ~Style::Visible);
            if (show)
                exposeArea(Region(w->rect));
        }
        return wasVisible;
    }
    switch (command) {
    case ShowCommand::Hide: {
        if (!wasVisible)
            return false;
        sendMessage(window, Msg::ShowWindow, 0, 0);
        if (!live(window))
            return true;
        setWindowPos(window, kInsertTop, {}, PosFlag::NoMove | PosFlag::NoSize | PosFlag::NoZOrder | PosFlag::HideWindow);
        if (m_focus && isAncestor(window, m_focus))
            setFocus(0);
        if (m_activeChild == window) {
            // The next visible document window down becomes active.
            m_activeChild = 0;
            sendMessage(window, Msg::NcActivate, 0, 0);
            for (WindowHandle next = nextSibling(window); next; next = nextSibling(next))
                if (WindowRecord* n = live(next); n && n->mdiChild && (n->style & Style::Visible)) {
                    activateChild(next);
                    break;
                }
        }
        return true;
    }
    case ShowCommand::Maximize:
        if (!w->maximized) {
            w->restoreRect = w->rect;
            w->maximized = true;
            w->style |= Style::Maximize;
            setWindowPos(window, kInsertTop, clientRect(w->parent->handle), PosFlag::NoZOrder | PosFlag::NoActivate);
        }
        break;
    case ShowCommand::Restore:
    case ShowCommand::Minimize:
        if (w->maximized) {
            w->maximized = false;
            w->style &= ~Style::Maximize;
            setWindowPos(window, kInsertTop, w->restoreRect, PosFlag::NoZOrder | PosFlag::NoActivate);
        }
        break;
    case ShowCommand::Show:
    case ShowCommand::ShowNoActivate:
        break;
    }
    w = live(window);
    if (!w)
        return wasVisible;
    if (!wasVisible) {
        sendMessage(window, Msg::ShowWindow, 1, 0);
        if (!live(window))
            return false;
        setWindowPos(window, kInsertTop, {}, PosFlag::NoMove | PosFlag::NoSize | PosFlag::NoZOrder | PosFlag::ShowWindow);
        w = live(window);
        if (w)
            invalidate(window);
    }
    if (w && w->mdiChild && command != ShowCommand::ShowNoActivate)
        activateChild(window);
    return wasVisible;
}

bool WindowManager::enableWindow(WindowHandle window, bool enable)
{
    WindowRecord* w = live(window);
    if (!w)
        return false;
    bool wasDisabled = (w->style & Style::Disabled) != 0;
    if (wasDisabled == !enable)
        return wasDisabled;
    if (enable)
        w->style &= ~Style::Disabled;
    else {
        w->style |= Style::Disabled;
        if (m_focus && isAncestor(window, m_focus))
            setFocus(0);
        if (m_capture && isAncestor(window, m_capture))
            releaseCapture();
    }
    sendMessage(window, Msg::Enable, enable, 0);
    return wasDisabled;
}

bool WindowManager::isEnabled(WindowHandle window) const
{
    WindowRecord* w = live(window);
    return w && !(w->style & Style::Disabled);
}

void WindowManager::activateChild(WindowHandle window)
{
    WindowRecord* w = live(window);
    if (!w || !w->mdiChild)
        return;
    WindowHandle old = m_activeChild;
    if (old != window) {
        m_activeChild = window;
        if (WindowRecord* o = live(old)) {
            o->chromeDirty = true;
            sendMessage(old, Msg::NcActivate, 0, 0);
            sendMessage(old, Msg::MdiActivate, intptr_t(old), intptr_t(window));
        }
        if (!live(window))
            return;
        w->chromeDirty = true;
    }
    if (previousSibling(window) && !(find(previousSibling(window))->exStyle & Style::ExTopmost))
        bringToTop(window);
    if (old != window && live(window)) {
        sendMessage(window, Msg::NcActivate, 1, 0);
        if (live(window))
            sendMessage(window, Msg::ChildActivate, 0, 0);
        if (live(window))
            sendMessage(window, Msg::MdiActivate, intptr_t(old), intptr_t(window));
    }
}

// Painting. -------------------------------------------------------------------------------

// The part of the window (or of its client area) that shows: inside every ancestor's client
// area, outside the siblings above it and above each ancestor, outside its children when it
// clips them, and, for the client area, outside the size box.
Region WindowManager::visibleRegion(const WindowRecord* w, bool clientOnly) const
{
    if (!isVisible(w->handle))
        return {};
    Region region(clientOnly ? frameClientRect(w->handle) : frameWindowRect(w->handle));
    if (clientOnly) {
        Rect outer = frameWindowRect(w->handle);
        Rect box = sizeBoxRect({ 0, 0, outer.width(), outer.height() }, w->style);
        region.subtract(Region(shifted(box, outer.left, outer.top)));
        if (w->style & Style::ClipChildren)
            for (WindowHandle child : w->children)
                if (WindowRecord* c = live(child); c && (c->style & Style::Visible))
                    region.subtract(Region(frameWindowRect(child)));
    }
    for (const WindowRecord* x = w; x->parent; x = x->parent) {
        region.intersect(frameClientRect(x->parent->handle));
        for (WindowHandle sibling : x->parent->children) {
            if (sibling == x->handle)
                break;
            if (WindowRecord* s = live(sibling); s && (s->style & Style::Visible))
                region.subtract(Region(frameWindowRect(sibling)));
        }
    }
    return region;
}

// Something changed over this part of the frame: every window showing there gets it added to
// its update region, and its chrome is redrawn.
void WindowManager::exposeArea(const Region& frameArea)
{
    std::vector<WindowRecord*> stack;
    if (WindowRecord* f = live(m_frame))
        stack.push_back(f);
    while (!stack.empty()) {
        WindowRecord* w = stack.back();
        stack.pop_back();
        if (!(w->style & Style::Visible))
            continue;
        Region client = visibleRegion(w, true);
        client.intersect(frameArea);
        if (!client.isEmpty()) {
            Rect origin = frameClientRect(w->handle);
            client.offset(-origin.left, -origin.top);
            w->update.unite(client);
            w->erase = true;
        }
        if (chromeInsets(w->style).top > 0 || chromeInsets(w->style).left > 0) {
            Region outer = visibleRegion(w, false);
            outer.intersect(frameArea);
            if (!outer.isEmpty())
                w->chromeDirty = true;
        }
        for (WindowHandle child : w->children)
            if (WindowRecord* c = live(child))
                stack.push_back(c);
    }
}

void WindowManager::invalidate(WindowHandle window, bool erase)
{
    invalidateRect(window, clientRect(window), erase);
}

void WindowManager::invalidateRect(WindowHandle window, Rect rect, bool erase)
{
    invalidateRegion(window, Region(rect), erase);
}

void WindowManager::invalidateRegion(WindowHandle window, const Region& region, bool erase)
{
    WindowRecord* w = live(window);
    if (!w)
        return;
    Region add = region.copy();
    add.intersect(clientRect(window));
    if (add.isEmpty())
        return;
    w->update.unite(add);
    w->erase = w->erase || erase;
}

void WindowManager::validate(WindowHandle window)
{
    if (WindowRecord* w = find(window)) {
        w->update.setEmpty();
        w->erase = false;
    }
}

Region WindowManager::updateRegion(WindowHandle window) const
{
    WindowRecord* w = find(window);
    return w ? w->update.copy() : Region {};
}

PaintSession WindowManager::beginPaint(WindowHandle window)
{
    PaintSession session;
    WindowRecord* w = live(window);
    if (!w)
        return session;
    eraseCaret();
    session.region = w->update.copy();
    session.region.intersect(clientRect(window));
    session.box = session.region.bounds();
    bool erase = w->erase;
    w->update.setEmpty();
    w->erase = false;
    Rect origin = frameClientRect(window);
    Region clip = session.region.copy();
    clip.offset(origin.left, origin.top);
    clip.intersect(visibleRegion(w, true));
    session.dc = std::make_unique<DeviceContext>(m_display.frameSurface());
    session.dc->setWindowOrigin({ -origin.left, -origin.top });
    session.dc->setClip(clip);
    m_dirty.unite(clip);
    markChildChrome(w, clip);
    if (erase && !clip.isEmpty())
        session.erase = sendMessage(window, Msg::EraseBackground, reinterpret_cast<intptr_t>(session.dc.get()), 0) == 0;
    return session;
}

// A window that does not clip its children may draw over their chrome: it is redrawn after.
void WindowManager::markChildChrome(WindowRecord* w, const Region& frameArea)
{
    if (w->style & Style::ClipChildren)
        return;
    for (WindowHandle child : w->children) {
        WindowRecord* c = live(child);
        if (!c || !(c->style & Style::Visible) || chromeInsets(c->style).left == 0)
            continue;
        Region overlap(frameWindowRect(child));
        overlap.intersect(frameArea);
        if (!overlap.isEmpty())
            c->chromeDirty = true;
    }
}

void WindowManager::endPaint(WindowHandle, PaintSession& session) { session.dc.reset(); }

std::unique_ptr<DeviceContext> WindowManager::windowContext(WindowHandle window)
{
    WindowRecord* w = live(window);
    if (!w)
        return nullptr;
    eraseCaret();
    Rect origin = frameClientRect(window);
    Region clip = visibleRegion(w, true);
    auto dc = std::make_unique<DeviceContext>(m_display.frameSurface());
    dc->setWindowOrigin({ -origin.left, -origin.top });
    dc->setClip(clip);
    m_dirty.unite(clip);
    markChildChrome(w, clip);
    return dc;
}

void WindowManager::updateWindow(WindowHandle window)
{
    WindowRecord* w = live(window);
    if (w && isVisible(window) && !w->update.isEmpty())
        dispatchMessage(make(window, Msg::Paint, 0, 0));
}

void WindowManager::paintChromeWhereNeeded()
{
    std::vector<WindowHandle> dirty;
    for (auto& [handle, w] : m_windows)
        if (w->chromeDirty && !w->destroying) {
            w->chromeDirty = false;
            if (isVisible(handle))
                dirty.push_back(handle);
        }
    if (dirty.empty())
        return;
    eraseCaret();
    for (WindowHandle handle : dirty) {
        WindowRecord* w = live(handle);
        if (!w)
            continue;
        Region region = visibleRegion(w, false);
        Rect outer = frameWindowRect(handle);
        Region client(frameClientRect(handle));
        client.subtract(Region(shifted(sizeBoxRect({ 0, 0, outer.width(), outer.height() }, w->style), outer.left, outer.top)));
        region.subtract(client);
        if (region.isEmpty())
            continue;
        DeviceContext dc(m_display.frameSurface());
        dc.setClip(region);
        paintChrome(dc, handle);
        m_dirty.unite(region);
    }
}

WindowManager::WindowRecord* WindowManager::findWindowToPaint(WindowRecord* w) const
{
    if (!w || w->destroying || !(w->style & Style::Visible))
        return nullptr;
    if (!w->update.isEmpty())
        return w;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        if (WindowRecord* found = findWindowToPaint(live(*it)))
            return found;
    return nullptr;
}

void WindowManager::updateAll()
{
    for (int guard = 0; guard < 10000; ++guard) {
        WindowRecord* w = findWindowToPaint(live(m_frame));
        if (!w)
            break;
        dispatchMessage(make(w->handle, Msg::Paint, 0, 0));
    }
    paintChromeWhereNeeded();
    present();
}

void WindowManager::present()
{
    drawCaretIfShown();
    if (m_dirty.isEmpty())
        return;
    m_dirty.intersect(m_display.frameSurface().bounds());
    m_display.present(m_dirty);
    m_dirty.setEmpty();
}

// The queue. --------------------------------------------------------------------------------

bool WindowManager::postMessage(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam)
{
    if (window && !live(window))
        return false;
    if (message == Msg::MouseMove && !m_queue.empty()) {
        Message& last = m_queue.back();
        if (last.window == window && last.message == Msg::MouseMove) {
            last = make(window, message, wParam, lParam);
            return true;
        }
    }
    m_queue.push_back(make(window, message, wParam, lParam));
    return true;
}

intptr_t WindowManager::sendMessage(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam)
{
    WindowRecord* w = live(window);
    if (!w && !(message == Msg::Destroy && find(window)))
        return 0;
    return call(w ? w : find(window), make(window, message, wParam, lParam));
}

void WindowManager::postQuitMessage(int code)
{
    m_quitPending = true;
    m_quitCode = code;
}

bool WindowManager::nextTimer(Message& message, bool remove)
{
    uint32_t now = m_display.milliseconds();
    Timer* due = nullptr;
    for (Timer& t : m_timers)
        if (int32_t(now - t.due) >= 0 && (!due || int32_t(t.due - due->due) < 0))
            due = &t;
    if (!due)
        return false;
    message = make(due->window, Msg::Timer, intptr_t(due->id), 0);
    if (remove)
        due->due = now + due->interval;
    return true;
}

bool WindowManager::peekMessage(Message& message, const MessageFilter& filter, bool remove)
{
    auto takeQueued = [&]() {
        for (auto it = m_queue.begin(); it != m_queue.end(); ++it)
            if (filter.accepts(it->message)) {
                message = *it;
                if (remove)
                    m_queue.erase(it);
                return true;
            }
        return false;
    };
    if (takeQueued())
        return true;
    pollChannel();
    pollDisplay();
    if (takeQueued())
        return true;
    if (m_quitPending && m_queue.empty() && filter.accepts(Msg::Quit)) {
        message = make(0, Msg::Quit, m_quitCode, 0);
        if (remove)
            m_quitPending = false;
        return true;
    }
    if (filter.accepts(Msg::Paint)) {
        if (WindowRecord* w = findWindowToPaint(live(m_frame))) {
            message = make(w->handle, Msg::Paint, 0, 0);
            return true;
        }
        // The chrome comes last, over whatever a parent that does not clip its children drew.
        paintChromeWhereNeeded();
    }
    if (filter.accepts(Msg::Timer) && nextTimer(message, remove))
        return true;
    present();
    return false;
}

int WindowManager::nextWakeIn(int timeoutMs)
{
    uint32_t now = m_display.milliseconds();
    int wait = timeoutMs;
    auto consider = [&](uint32_t due) {
        int in = std::max(0, int32_t(due - now));
        wait = wait < 0 ? in : std::min(wait, in);
    };
    for (const Timer& t : m_timers)
        consider(t.due);
    if (m_caret.window && m_caret.hideCount == 0 && m_caret.blinkMs)
        consider(m_caret.nextBlink);
    return wait;
}

bool WindowManager::waitMessage(int timeoutMs)
{
    if (!m_queue.empty() || m_quitPending)
        return true;
    present();
    InputEvent event;
    int wait = nextWakeIn(timeoutMs);
    bool got = m_display.nextEvent(event, wait);
    if (got)
        handleInput(event);
    pollChannel();
    Message ignored;
    return got || !m_queue.empty() || nextTimer(ignored, false);
}

bool WindowManager::getMessage(Message& message, const MessageFilter& filter, int timeoutMs)
{
    uint32_t start = m_display.milliseconds();
    for (;;) {
        if (peekMessage(message, filter, true))
            return true;
        int left = -1;
        if (timeoutMs >= 0) {
            left = timeoutMs - int(m_display.milliseconds() - start);
            if (left <= 0)
                return false;
        }
        if (!waitMessage(left)) {
            if (timeoutMs >= 0 && int(m_display.milliseconds() - start) >= timeoutMs)
                return false;
            // A headless display with no timer running: nothing can ever arrive.
            if (timeoutMs < 0 && m_display.isHeadless() && nextWakeIn(-1) < 0)
                return false;
        }
    }
}

intptr_t WindowManager::dispatchMessage(const Message& message)
{
    m_messageTime = message.time;
    WindowRecord* w = live(message.window);
    if (!w)
        return 0;
    intptr_t result = call(w, message);
    // A paint message is given once per invalidation: a procedure that did not validate has
    // its region dropped, so painting never spins.
    if (message.message == Msg::Paint)
        validate(message.window);
    return result;
}

bool WindowManager::translateMessage(const Message& message)
{
    if (message.message != Msg::KeyDown && message.message != Msg::SysKeyDown)
        return false;
    uint8_t vk = uint8_t(message.wParam);
    bool control = keyState(17) & 0x8000, alt = keyState(18) & 0x8000;
    intptr_t code = 0;
    uint32_t kind = Msg::Char;
    if (message.message == Msg::SysKeyDown) {
        if (vk >= 'A' && vk <= 'Z')
            code = vk + 32;
        else if (vk >= '0' && vk <= '9')
            code = vk;
        kind = Msg::SysChar;
    } else if (vk == 8 || vk == 9 || vk == 13 || vk == 27) {
        code = vk;
    } else if (control && !alt && vk >= 'A' && vk <= 'Z') {
        code = vk - 'A' + 1;
    }
    if (!code)
        return false;
    Message m = make(message.window, kind, code, message.lParam);
    m_queue.push_front(m);
    return true;
}

// Default processing. -------------------------------------------------------------------------

intptr_t WindowManager::defWindowProc(const Message& m)
{
    switch (m.message) {
    case Msg::Close:
        destroyWindow(m.window);
        return 0;
    case Msg::Paint: {
        PaintSession session = beginPaint(m.window);
        endPaint(m.window, session);
        return 0;
    }
    case Msg::EraseBackground: {
        WindowRecord* w = live(m.window);
        auto* dc = reinterpret_cast<DeviceContext*>(m.wParam);
        if (!w || !dc || !w->windowClass->background)
            return 0;
        dc->fillRect(clientRect(m.window), Brush::solid(*w->windowClass->background));
        return 1;
    }
    case Msg::SetCursor: {
        WindowRecord* w = live(m.window);
        int hit = int(int16_t(m.lParam & 0xFFFF));
        StandardCursor c = w ? w->windowClass->cursor : StandardCursor::Arrow;
        if (hit == Hit::Left || hit == Hit::Right)
            c = StandardCursor::SizeWE;
        else if (hit == Hit::Top || hit == Hit::Bottom)
            c = StandardCursor::SizeNS;
        else if (hit == Hit::TopLeft || hit == Hit::BottomRight)
            c = StandardCursor::SizeNWSE;
        else if (hit == Hit::TopRight || hit == Hit::BottomLeft)
            c = StandardCursor::SizeNESW;
        else if (hit != Hit::Client)
            c = StandardCursor::Arrow;
        setCursor(standardCursor(c));
        return 1;
    }
    case Msg::NcLeftDown:
        if (m.wParam == Hit::Caption || m.wParam == Hit::Close || (m.wParam >= Hit::Left && m.wParam <= Hit::BottomRight))
            beginMoveSize(m.window, int(m.wParam), m.cursor);
        return 0;
    case Msg::SysCommand:
        if ((m.wParam & 0xFFF0) == SysCommand::Close)
            postMessage(m.window, Msg::Close);
        else if ((m.wParam & 0xFFF0) == SysCommand::Maximize)
            showWindow(m.window, ShowCommand::Maximize);
        else if ((m.wParam & 0xFFF0) == SysCommand::Restore)
            showWindow(m.window, ShowCommand::Restore);
        return 0;
    case Msg::GetMinMaxInfo:
        return 0;
    case Msg::NcActivate:
        return 1;
    default:
        return 0;
    }
}

intptr_t WindowManager::defMdiChildProc(const Message& m)
{
    switch (m.message) {
    case Msg::ChildActivate:
        return 0;
    case Msg::Size:
    case Msg::Move:
        return 0;
    default:
        return defWindowProc(m);
    }
}

intptr_t WindowManager::defFrameProc(const Message& m)
{
    switch (m.message) {
    case Msg::Size:
        // The MDI client keeps covering the frame's client area below its margin.
        if (WindowRecord* client = live(m_mdiClient)) {
            Rect r = client->rect;
            Rect area = clientRect(m.window);
            setWindowPos(m_mdiClient, kInsertTop, { 0, r.top, area.right, area.bottom }, PosFlag::NoZOrder);
        }
        return 0;
    default:
        return defWindowProc(m);
    }
}

// Timers. -------------------------------------------------------------------------------

bool WindowManager::setTimer(WindowHandle window, uintptr_t id, uint32_t intervalMs)
{
    if (!live(window))
        return false;
    intervalMs = std::max<uint32_t>(intervalMs, 1);
    uint32_t due = m_display.milliseconds() + intervalMs;
    for (Timer& t : m_timers)
        if (t.window == window && t.id == id) {
            t.interval = intervalMs;
            t.due = due;
            return true;
        }
    m_timers.push_back({ window, id, intervalMs, due });
    return true;
}

bool WindowManager::killTimer(WindowHandle window, uintptr_t id)
{
    auto it = std::find_if(m_timers.begin(), m_timers.end(), [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it == m_timers.end())
        return false;
    m_timers.erase(it);
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                      [&](const Message& m) { return m.window == window && m.message == Msg::Timer && uintptr_t(m.wParam) == id; }),
        m_queue.end());
    return true;
}
