// Platform/Windows/WindowManager.h: the window manager. One tree of windows inside the frame,
// one message queue, window classes with window procedures, painting from update regions,
// timers, capture, focus, carets, cursors, the MDI frame with its client and document windows,
// modal disabling, dropped files and the second-instance channel.
//
// Message numbers, style bits and hit-test codes are those of the original host, because the
// runtime's event masks and window types are written in them.
//
// The exception boundary: a window procedure is declared noexcept (the type says so), so no
// exception ever unwinds through the window manager's frames. The runtime's procedures trap
// every Lisp throw and error before returning and re-raise it after dispatch; anything that
// still escaped would end the process at the procedure's boundary rather than leave the manager
// half-way through a change.
#pragma once

#include "Platform/Display/Display.h"
#include "Platform/Paint/Paint.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using WindowHandle = uint32_t; // 0 is no window; handles are never reused
using CursorHandle = uint32_t; // 0 is no cursor

namespace Msg {
constexpr uint32_t Create = 0x0001, Destroy = 0x0002, Move = 0x0003, Size = 0x0005, Activate = 0x0006,
    SetFocus = 0x0007, KillFocus = 0x0008, Enable = 0x000A, SetText = 0x000C, Paint = 0x000F,
    Close = 0x0010, Quit = 0x0012, EraseBackground = 0x0014, ShowWindow = 0x0018, ActivateApp = 0x001C,
    SetCursor = 0x0020, ChildActivate = 0x0022, GetMinMaxInfo = 0x0024, WindowPosChanging = 0x0046,
    WindowPosChanged = 0x0047, NcActivate = 0x0086, NcMouseMove = 0x00A0, NcLeftDown = 0x00A1,
    NcLeftUp = 0x00A2, NcLeftDouble = 0x00A3, NcRightDown = 0x00A4, NcRightUp = 0x00A5,
    KeyDown = 0x0100, KeyUp = 0x0101, Char = 0x0102, SysKeyDown = 0x0104, SysKeyUp = 0x0105,
    SysChar = 0x0106, Command = 0x0111, SysCommand = 0x0112, Timer = 0x0113, HScroll = 0x0114,
    VScroll = 0x0115, EnterIdle = 0x0121, MouseMove = 0x0200, LeftDown = 0x0201, LeftUp = 0x0202,
    LeftDouble = 0x0203, RightDown = 0x0204, RightUp = 0x0205, RightDouble = 0x0206,
    MiddleDown = 0x0207, MiddleUp = 0x0208, MiddleDouble = 0x0209, MouseWheel = 0x020A,
    MdiActivate = 0x0222, CaptureChanged = 0x0215, EnterSizeMove = 0x0231, ExitSizeMove = 0x0232,
    DropFiles = 0x0233, MouseLeave = 0x02A3,
    ShellExecute = 0x03E8, // a second copy's or the replay's "[open(...)]" command; wParam: request id
    User = 0x0400;
} // namespace Msg

namespace Style {
constexpr uint32_t Popup = 0x80000000, Child = 0x40000000, Minimize = 0x20000000, Visible = 0x10000000,
    Disabled = 0x08000000, ClipSiblings = 0x04000000, ClipChildren = 0x02000000, Maximize = 0x01000000,
    Caption = 0x00C00000, Border = 0x00800000, DialogFrame = 0x00400000, VScroll = 0x00200000,
    HScroll = 0x00100000, SystemMenu = 0x00080000, ThickFrame = 0x00040000;
constexpr uint32_t ExAcceptFiles = 0x10, ExTopmost = 0x08;
} // namespace Style

namespace ClassStyle {
constexpr uint32_t VRedraw = 0x1, HRedraw = 0x2, DoubleClicks = 0x8, OwnDC = 0x20;
}

// Where a point lies in a window.
namespace Hit {
constexpr int Nowhere = 0, Client = 1, Caption = 2, SizeBox = 4, Left = 10, Right = 11, Top = 12,
    TopLeft = 13, TopRight = 14, Bottom = 15, BottomLeft = 16, BottomRight = 17, Border = 18,
    Close = 20;
}

// Mouse message wParam bits.
namespace MouseKey {
constexpr intptr_t Left = 0x1, Right = 0x2, Shift = 0x4, Control = 0x8, Middle = 0x10;
}

namespace SysCommand {
constexpr intptr_t Close = 0xF060, Maximize = 0xF030, Restore = 0xF120;
}

constexpr uint32_t kDoubleClickTime = 500; // milliseconds between the presses of a double click
constexpr int kDoubleClickDistance = 3;    // the second press lies less than this in x and in y
constexpr int kCaptionHeight = 18;
constexpr int kSizeBox = 15;

// Mouse messages pack the client point into lParam as two signed 16-bit halves.
inline intptr_t packPoint(int x, int y) { return intptr_t(uint32_t(uint16_t(x)) | uint32_t(uint16_t(y)) << 16); }
inline Point unpackPoint(intptr_t l) { return { int16_t(uint16_t(l)), int16_t(uint16_t(l >> 16)) }; }

struct Message {
    WindowHandle window = 0;
    uint32_t message = 0;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
    uint32_t time = 0;   // milliseconds on the display's clock
    Point cursor;   // the cursor in frame coordinates when the message was made
};

class WindowManager;
using WindowProc = intptr_t (*)(WindowManager&, const Message&) noexcept;

struct WindowClass {
    std::string name;
    uint32_t style = 0;                  // ClassStyle bits
    WindowProc procedure = nullptr;
    std::optional<Rgb> background;       // what default erasing fills with; none: no erase
    StandardCursor cursor = StandardCursor::Arrow;
};

struct CreateOptions {
    std::string className;
    std::string title;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    Rect rect;          // the window rect in the parent's client coordinates
    WindowHandle parent = 0; // 0 only for the frame
    intptr_t id = 0;
    intptr_t createParam = 0; // handed to the procedure as the Create message's lParam
};

// Sent with GetMinMaxInfo (lParam points to it): window sizes the move-and-size loop keeps to.
struct MinMaxInfo {
    Point minTrackSize { 1, 1 };
    Point maxTrackSize { 32767, 32767 };
};

namespace PosFlag {
constexpr uint32_t NoSize = 0x1, NoMove = 0x2, NoZOrder = 0x4, NoRedraw = 0x8, NoActivate = 0x10,
    ShowWindow = 0x40, HideWindow = 0x80;
}
constexpr WindowHandle kInsertTop = 0;
constexpr WindowHandle kInsertBottom = 0xFFFFFFFF;

// Sent with WindowPosChanging (the procedure may change it) and WindowPosChanged.
struct WindowPos {
    WindowHandle window = 0;
    WindowHandle insertAfter = kInsertTop; // a sibling, kInsertTop or kInsertBottom
    int x = 0, y = 0, width = 0, height = 0;
    uint32_t flags = 0; // PosFlag bits
};

enum class ShowCommand : uint8_t { Hide, Show, ShowNoActivate, Maximize, Restore, Minimize };

// Painting a window: a context on the frame surface with the origin at the window's client
// area, clipped to the visible part of what is to be painted.
struct PaintSession {
    std::unique_ptr<DeviceContext> dc;
    Region region; // client coordinates
    Rect box;      // bounds of region
    bool erase = false; // the background still needs erasing
};

struct MessageFilter {
    std::vector<std::pair<uint32_t, uint32_t>> ranges; // inclusive; empty: every message
    bool accepts(uint32_t message) const;
    static MessageFilter all() { return {}; }
    static MessageFilter only(uint32_t low, uint32_t high) { return { { { low, high } } }; }
};

struct DropRecord {
    std::vector<std::string> files;
    Point point; // client coordinates of the window that received the drop
};

// The second-instance channel: a Unix-domain socket named after the frame's title in a per-user
// folder ($XDG_RUNTIME_DIR, else /tmp/velora-UID). The first copy listens; a later copy sends its
// command string ("[open(\"...\")]" or "[print(\"...\")]") and stops.
class InstanceChannel {
public:
    InstanceChannel() = default;
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;
    ~InstanceChannel();

    static std::string defaultFolder();
    static std::string socketPath(const std::string& folder, const std::string& title);
    // Listens at path. False when another copy already listens there (error empty) or on a
    // failure (error says why). A socket left by a copy that died is replaced.
    bool listen(const std::string& path, std::string& error);
    bool isListening() const { return m_fd >= 0; }
    // Commands that arrived since the last call (each at most 519 characters), without waiting.
    std::vector<std::string> receive();
    // Sends one command to the copy listening at path; false when none listens.
    static bool send(const std::string& path, const std::string& command, std::string& error);
    // Builds "[open(\"path\")]"; parses a command into its verb ("open", "print") and path.
    static std::string command(const std::string& verb, const std::string& path);
    static bool parseCommand(const std::string& command, std::string& verb, std::string& path);

private:
    int m_fd = -1;
    std::string m_path;
};

class WindowManager {
public:
    explicit WindowManager(Display& display);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    Display& display() { return m_display; }
    uint32_t milliseconds() { return m_display.milliseconds(); }

    // Classes. "MDICLIENT" is built in.
    bool registerClass(const WindowClass& windowClass); // false when the name is taken
    bool unregisterClass(const std::string& name);      // false when unknown or windows use it
    const WindowClass* findClass(const std::string& name) const;

    // Creation and destruction. A window without Child style and without parent is the frame;
    // it covers the display's whole surface and has no chrome (the host shows its own).
    // Returns 0 for an unknown class, a missing parent or a Create answered with -1.
    WindowHandle createWindow(const CreateOptions& options);
    WindowHandle createMdiClient(WindowHandle frame, uint32_t style, int topMargin);
    // An MDI document window: its rect is its outer rect in the client's coordinates. It is
    // activated when created visible.
    WindowHandle createMdiChild(WindowHandle client, const CreateOptions& options);
    // Destroys the children first (each gets Destroy), then the window. Clears every reference
    // the manager holds to the windows destroyed (capture, focus, hover, mouse tracking, active
    // window, modal record, timers, caret, a move or size in progress, queued messages). False
    // when the window is already gone or being destroyed.
    bool destroyWindow(WindowHandle window);
    bool isWindow(WindowHandle window) const;

    WindowHandle frame() const { return m_frame; }
    WindowHandle mdiClient() const { return m_mdiClient; }

    // Tree and attributes.
    WindowHandle parent(WindowHandle window) const;
    std::vector<WindowHandle> children(WindowHandle window) const; // front to back
    WindowHandle topChild(WindowHandle window) const;
    WindowHandle nextSibling(WindowHandle window) const;     // the one below
    WindowHandle previousSibling(WindowHandle window) const; // the one above
    bool isAncestor(WindowHandle ancestor, WindowHandle window) const; // a window is its own ancestor
    std::string className(WindowHandle window) const;
    uint32_t style(WindowHandle window) const;
    void setStyle(WindowHandle window, uint32_t style);
    uint32_t exStyle(WindowHandle window) const;
    intptr_t windowId(WindowHandle window) const;
    std::string title(WindowHandle window) const;
    void setTitle(WindowHandle window, const std::string& title);
    void setProperty(WindowHandle window, const std::string& name, intptr_t value);
    intptr_t property(WindowHandle window, const std::string& name) const; // 0 when absent
    bool removeProperty(WindowHandle window, const std::string& name);
    std::vector<WindowHandle> findByTitle(WindowHandle root, const std::string& title) const;

    // Geometry. Window rects are in the parent's client coordinates; client rects start at 0, 0.
    Rect windowRect(WindowHandle window) const;
    Rect clientRect(WindowHandle window) const;
    Rect frameWindowRect(WindowHandle window) const; // in frame coordinates
    Rect frameClientRect(WindowHandle window) const;
    Point clientToFrame(WindowHandle window, Point p) const;
    Point frameToClient(WindowHandle window, Point p) const;
    Point mapPoint(WindowHandle from, WindowHandle to, Point p) const; // 0 is the frame
    // The window rect whose client area is clientRect, for a window of that style.
    static Rect windowRectForClient(Rect clientRect, uint32_t style);
    int hitTest(WindowHandle window, Point framePoint) const;
    // The deepest visible, enabled window at a frame point (a disabled child stands for nothing:
    // its parent is found).
    WindowHandle windowFromPoint(Point framePoint) const;

    // Moves, sizes and restacks with WindowPosChanging (which may change the request),
    // WindowPosChanged, Move and Size. Returns false for a dead window.
    bool setWindowPos(WindowHandle window, WindowHandle insertAfter, Rect rect, uint32_t flags);
    bool moveWindow(WindowHandle window, Rect rect);
    bool bringToTop(WindowHandle window);

    // Visibility, enabling, activation.
    bool showWindow(WindowHandle window, ShowCommand command); // returns whether it was visible
    bool isVisible(WindowHandle window) const;                 // it and its ancestors
    bool isMaximized(WindowHandle window) const;
    bool enableWindow(WindowHandle window, bool enable);       // returns whether it was disabled
    bool isEnabled(WindowHandle window) const;
    // The active document window (MDI child) and its activation: NcActivate(0) to the old one,
    // then NcActivate(1), ChildActivate and MdiActivate to the new, which comes to the top.
    WindowHandle activeChild() const { return m_activeChild; }
    void activateChild(WindowHandle window);
    bool frameActive() const { return m_frameActive; }

    // Painting.
    void invalidate(WindowHandle window, bool erase = true);
    void invalidateRect(WindowHandle window, Rect clientRect, bool erase = true);
    void invalidateRegion(WindowHandle window, const Region& clientRegion, bool erase = true);
    void validate(WindowHandle window);
    Region updateRegion(WindowHandle window) const;
    // Sends EraseBackground (wParam: the DeviceContext*) when the region needs it, then validates.
    PaintSession beginPaint(WindowHandle window);
    void endPaint(WindowHandle window, PaintSession& session);
    // A context on the window's visible client area, outside painting; what is drawn through it
    // is shown at the next present.
    std::unique_ptr<DeviceContext> windowContext(WindowHandle window);
    // Sends Paint to the window now when its update region is not empty.
    void updateWindow(WindowHandle window);
    // Paints every window that needs it (chrome included) and presents the frame.
    void updateAll();
    void present();

    // The queue. Posted messages are taken in order; input is read from the display when no
    // posted message matches; then, once the queue is empty, quit; then one Paint for each window
    // with an update region (parents first); then due timers. A mouse move posted right after
    // another for the same window replaces it.
    bool postMessage(WindowHandle window, uint32_t message, intptr_t wParam = 0, intptr_t lParam = 0);
    intptr_t sendMessage(WindowHandle window, uint32_t message, intptr_t wParam = 0, intptr_t lParam = 0);
    void postQuitMessage(int code);
    bool peekMessage(Message& message, const MessageFilter& filter = {}, bool remove = true);
    // Waits up to timeoutMs (negative: without end) for a matching message.
    bool getMessage(Message& message, const MessageFilter& filter, int timeoutMs);
    // Waits up to timeoutMs for input, a timer or a posted message. True when something came.
    bool waitMessage(int timeoutMs);
    intptr_t dispatchMessage(const Message& message);
    // Posts the character of a key-down in front of the queue: Backspace, Tab, Return and Escape,
    // and Ctrl with a letter (1 to 26); Alt with a letter gives a system character.
    bool translateMessage(const Message& message);
    size_t queuedCount() const { return m_queue.size(); }
    uint32_t messageTime() const { return m_messageTime; }

    // Default processing.
    intptr_t defWindowProc(const Message& message);
    intptr_t defMdiChildProc(const Message& message);
    intptr_t defFrameProc(const Message& message);

    // Timers: Timer messages with wParam = id every interval (at least 1 ms); one pending at a time.
    bool setTimer(WindowHandle window, uintptr_t id, uint32_t intervalMs);
    bool killTimer(WindowHandle window, uintptr_t id);

    // Input from the display: mouse events go through the routing steps, keys to the focus.
    void handleInput(const InputEvent& event);
    Point cursorPosition() const { return m_cursor; } // frame coordinates
    void setCursorPosition(Point framePoint); // a move there is routed as input would be
    WindowHandle setCapture(WindowHandle window);  // returns the previous capture
    void releaseCapture();
    WindowHandle capture() const { return m_capture; }
    WindowHandle hoverWindow() const { return m_hover; }
    // Asks for one MouseLeave when the pointer leaves the window.
    void trackMouseLeave(WindowHandle window);
    bool moveSizeInProgress() const { return m_moveSize.window != 0; }

    // Focus and keys.
    WindowHandle setFocus(WindowHandle window); // KillFocus to the old, SetFocus to the new
    WindowHandle focus() const { return m_focus; }
    int16_t keyState(uint8_t virtualKey) const; // 0x8000 when down, 1 when toggled
    void setKeyState(uint8_t virtualKey, bool down);

    // The caret: one for the program, owned by a window, drawn inverted and blinking.
    bool createCaret(WindowHandle window, int width, int height);
    void destroyCaret();
    void setCaretPosition(Point clientPoint);
    Point caretPosition() const { return m_caret.position; }
    void showCaret(WindowHandle window);
    void hideCaret(WindowHandle window);
    void setCaretBlinkTime(uint32_t ms) { m_caret.blinkMs = ms; }
    bool caretDrawn() const { return m_caret.drawn; }

    // Cursors.
    CursorHandle standardCursor(StandardCursor which) const { return CursorHandle(which) + 1; }
    CursorHandle createCursor(const CursorImage& image);
    bool destroyCursor(CursorHandle cursor); // standard cursors are never destroyed
    CursorHandle setCursor(CursorHandle cursor); // returns the previous one
    CursorHandle currentCursor() const { return m_cursorHandle; }
    int showCursor(bool show); // the display count; shown while it is 0 or more

    // Modal disabling: every top-level window (the MDI client's children) but this one is
    // disabled until endModal, which re-enables the windows it disabled. Destroying the modal
    // window ends it.
    void beginModal(WindowHandle window);
    void endModal();
    WindowHandle modalWindow() const { return m_modal.window; }
    // Runs messages until endModalLoop for the window or its destruction; returns the result
    // given (0 when destroyed). Quit messages are put back for the outer loop.
    intptr_t runModalLoop(WindowHandle window);
    void endModalLoop(WindowHandle window, intptr_t result);

    // Dropped files: DropFiles (wParam: a drop id) goes to the innermost window under the point
    // that accepts files (ExAcceptFiles). takeDrop hands the record over once.
    void dragAcceptFiles(WindowHandle window, bool accept);
    bool dropFiles(const std::vector<std::string>& files, Point framePoint);
    bool takeDrop(intptr_t dropId, DropRecord& record);

    // Shell requests (second copies and the replay's open): ShellExecute to the frame,
    // wParam a request id; takeShellRequest hands the command over once.
    bool listenForOtherCopies(const std::string& socketPath, std::string& error);
    void postShellRequest(const std::string& command);
    bool takeShellRequest(intptr_t requestId, std::string& command);

    // Replay services: answers for dialogs, a resolver for "press NAME" (a frame point, or none),
    // and screenshots.
    void pushAnswer(const std::string& answer) { m_answers.push_back(answer); }
    bool takeAnswer(std::string& answer);
    void setNameResolver(std::function<std::optional<Point>(const std::string&)> resolver);
    bool pressNamed(const std::string& name);
    bool screenshot(const std::string& path, std::string& error);
    const std::vector<std::string>& replayErrors() const { return m_replayErrors; }

    // The chrome (caption, border, close and size boxes) of a window, drawn into a context on
    // the frame surface whose origin is the frame.
    void paintChrome(DeviceContext& dc, WindowHandle window);

    struct WindowRecord;

private:
    WindowRecord* find(WindowHandle window) const;
    WindowRecord* live(WindowHandle window) const; // not being destroyed
    void destroyTree(WindowRecord* w);
    void forget(WindowHandle window);
    void linkChild(WindowRecord* parent, WindowRecord* child, WindowHandle insertAfter);
    void unlinkChild(WindowRecord* child);
    intptr_t call(WindowRecord* w, const Message& message);
    Message make(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) const;
    Region visibleRegion(const WindowRecord* w, bool clientOnly) const;
    void exposeArea(const Region& frameArea);
    void paintChromeWhereNeeded();
    void markChildChrome(WindowRecord* w, const Region& frameArea);
    WindowRecord* findWindowToPaint(WindowRecord* w) const;
    bool nextTimer(Message& message, bool remove);
    void pollDisplay();
    void pollChannel();
    void eraseCaret();
    void drawCaretIfShown();
    int nextWakeIn(int timeoutMs);
    WindowHandle topLevelOf(WindowHandle window) const;

    // Mouse routing: each step says whether it used the event.
    void routeMouse(const InputEvent& event);
    bool routeToCapture(const InputEvent& event);
    bool routeThroughModal(const InputEvent& event, WindowHandle target);
    bool routeToMoveSize(const InputEvent& event);
    bool routeByHitTest(const InputEvent& event, WindowHandle target, int hit);
    void deliverToClient(const InputEvent& event, WindowHandle target);
    void updateHover(WindowHandle window);
    void routeKey(const InputEvent& event);
    void routeText(const InputEvent& event);
    intptr_t mouseKeys(const InputEvent& event) const;
    void beginMoveSize(WindowHandle window, int hit, Point framePoint);
    void continueMoveSize(Point framePoint);
    void endMoveSize();

    Display& m_display;
    std::map<std::string, WindowClass> m_classes;
    std::map<WindowHandle, std::unique_ptr<WindowRecord>> m_windows;
    WindowHandle m_nextHandle = 1;
    WindowHandle m_frame = 0;
    WindowHandle m_mdiClient = 0;
    WindowHandle m_activeChild = 0;
    bool m_frameActive = true;

    std::deque<Message> m_queue;
    bool m_quitPending = false;
    int m_quitCode = 0;
    uint32_t m_messageTime = 0;
    Region m_dirty; // frame pixels drawn since the last present

    struct Timer {
        WindowHandle window;
        uintptr_t id;
        uint32_t interval;
        uint32_t due;
    };
    std::vector<Timer> m_timers;

    Point m_cursor { -1, -1 };
    WindowHandle m_capture = 0;
    WindowHandle m_hover = 0;
    WindowHandle m_leaveTracked = 0;
    WindowHandle m_focus = 0;
    uint8_t m_keys[256] {}; // bit 7: down, bit 0: toggled
    bool m_buttons[3] {};

    struct LastClick {
        WindowHandle window = 0;
        MouseButton button = MouseButton::Left;
        uint32_t time = 0;
        Point point;
    } m_lastClick;

    struct MoveSize {
        WindowHandle window = 0;
        int hit = 0;
        Point start;   // frame coordinates
        Rect startRect; // window rect in the parent's coordinates
        bool closePressed = false; // tracking a press of the close box
        bool closeInside = false;
    } m_moveSize;

    struct Caret {
        WindowHandle window = 0;
        int width = 0, height = 0;
        Point position;
        int hideCount = 1; // shown while 0
        uint32_t blinkMs = 530;
        uint32_t nextBlink = 0;
        bool phaseOn = true;
        bool drawn = false;
        Rect drawnRect; // frame coordinates
    } m_caret;

    std::map<CursorHandle, CursorImage> m_customCursors;
    CursorHandle m_nextCursor = 100;
    CursorHandle m_cursorHandle = 1;
    int m_cursorCount = 0;

    struct Modal {
        WindowHandle window = 0;
        std::vector<WindowHandle> disabled;
    } m_modal;
    struct ModalLoop {
        WindowHandle window;
        bool ended;
        intptr_t result;
    };
    std::vector<ModalLoop> m_modalLoops;

    std::map<intptr_t, DropRecord> m_drops;
    intptr_t m_nextDrop = 1;
    std::map<intptr_t, std::string> m_shellRequests;
    intptr_t m_nextShellRequest = 1;
    std::unique_ptr<InstanceChannel> m_channel;

    std::deque<std::string> m_answers;
    std::function<std::optional<Point>(const std::string&)> m_nameResolver;
    std::vector<std::string> m_replayErrors;
};
