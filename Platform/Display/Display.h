// Platform/Display/Display.h: where the frame's pixels go and where input comes from. The SDL2
// display shows the frame in a host window; the headless display keeps it in memory; the replay
// driver feeds either with the actions of a replay file.
#pragma once

#include "Platform/Files/Files.h"
#include "Platform/Paint/Region.h"
#include "Platform/Paint/Surface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct FrameSize {
    int width = 0;
    int height = 0;
};

// Modifier bits of an input event.
namespace Modifier {
constexpr uint32_t Shift = 1;
constexpr uint32_t Control = 2;
constexpr uint32_t Alt = 4;
constexpr uint32_t CapsLock = 8; // Caps Lock is toggled on
} // namespace Modifier

enum class MouseButton : uint8_t { Left, Right, Middle };

// One piece of input, in the frame's client coordinates. Key events carry a virtual-key code
// (the numbering of the original host: 'A'..'Z', '0'..'9', 0x70 for F1, ...); text events carry
// code-page-1252 characters. The last kinds come from a replay only and are handled by the
// window manager, not turned into messages.
struct InputEvent {
    enum class Kind : uint8_t {
        Move, Press, Release, Wheel, KeyDown, KeyUp, Text, Quit, Expose, FocusGained, FocusLost,
        Answer,     // text: a path or button name for the next dialog or alert
        Drop,       // text: a file dropped at point
        Open,       // text: a document handed over as a second copy would
        PressNamed, // text: a click at the centre of the named control or child window
        Screenshot, // text: a PNG file to write of the frame
    } kind = Kind::Move;
    int x = 0, y = 0;
    MouseButton button = MouseButton::Left;
    int wheelDelta = 0;     // multiples of 120, positive away from the user
    uint8_t virtualKey = 0;
    bool extended = false;  // the numeric pad's Return, for instance
    bool repeat = false;    // auto-repeat of a held key
    uint32_t modifiers = 0; // Modifier bits at the time of the event
    std::string text;
};

// The standard cursors, and the shape of a custom one: a 16x16 image and mask, leftmost pixel in
// the high bit of each row (mask and image set: black; mask alone: white; image alone: the
// inverted screen; neither: transparent), and its hot spot.
enum class StandardCursor : uint8_t { Arrow, IBeam, Cross, Wait, SizeNS, SizeWE, SizeNESW, SizeNWSE };

struct CursorImage {
    uint16_t image[16] {};
    uint16_t mask[16] {};
    Point hotSpot;
};

struct CursorShape {
    bool custom = false;
    StandardCursor standard = StandardCursor::Arrow;
    CursorImage image;
};

enum class FrameState : uint8_t { Normal, Minimized, Maximized };

class Display {
public:
    virtual ~Display() = default;
    virtual bool isHeadless() const = 0;
    virtual Surface& frameSurface() = 0;           // the frame's client area, 32 bits, drawn by the painter
    virtual void present(const Region& dirty) = 0; // show what changed
    // Waits up to timeoutMs (0: only looks) for one event. False when none came in that time.
    virtual bool nextEvent(InputEvent& event, int timeoutMs) = 0;
    // Milliseconds since the display opened. Headless displays run a virtual clock that moves
    // only while nextEvent waits, so that a run is deterministic.
    virtual uint32_t milliseconds() = 0;
    virtual void setCursor(const CursorShape& cursor) = 0;
    virtual void showCursor(bool visible) = 0;
    virtual void setTitle(const std::string& title) = 0;
    // The pixels as they were last presented to the screen, read back where the host allows it.
    virtual bool readBack(Surface& out) = 0;
    virtual int scale() const { return 1; } // host pixels per frame pixel
    // The screen in frame pixels (headless: 1280 x 1024, or the frame when it is larger), the
    // frame's top-left corner on it, and the host window's state.
    virtual FrameSize screenSize() = 0;
    virtual Point framePosition() = 0;
    virtual void setFramePosition(Point topLeft) = 0;
    virtual FrameState frameState() = 0;
    virtual void setFrameState(FrameState state) = 0;
};

// nullptr with a reason when no display can be opened. scale 0 picks the factor from the screen's
// density (VELORA_SCALE overrides).
std::unique_ptr<Display> openSdlDisplay(FrameSize frame, const std::string& title, int scale,
    std::string& whyNot);
std::unique_ptr<Display> openHeadlessDisplay(FrameSize frame);
// Headless when asked (the flag, or VELORA_HEADLESS=1), else SDL, else headless.
std::unique_ptr<Display> openDisplay(FrameSize frame, const std::string& title, bool headlessFlag);
bool headlessRequested(bool headlessFlag);

// Writes a surface as an 8-bit RGB PNG. False with a reason when the file cannot be written.
bool writePng(const Surface& surface, const std::string& path, std::string& error);
// Reads a PNG into a new 32-bit surface (for tests and comparisons); nullptr when it cannot.
std::unique_ptr<Surface> readPng(const std::string& path, std::string& error);


// Replays. -----------------------------------------------------------------------------------

struct ReplayAction {
    enum class Kind : uint8_t {
        Click, DoubleClick, RightClick, Move, Drag, Key, Type, Wait, Answer, Drop, Open, Press,
        Screenshot, Quit
    } kind = Kind::Click;
    int line = 0;
    int x = 0, y = 0, x2 = 0, y2 = 0;
    uint8_t virtualKey = 0;  // key: the key
    uint32_t modifiers = 0;  // key: Modifier bits held with it
    bool extended = false;   // key: the numeric pad's Return
    int milliseconds = 0;    // wait
    std::string text;        // type (code page 1252), answer, drop, open, press, screenshot
};

struct ReplayScript {
    std::vector<ReplayAction> actions;
    int errorLine = 0;  // 0 when every line parsed
    std::string error;  // "line N: ..." when not
    bool ok() const { return errorLine == 0; }
};

// Parses a replay: one action a line; blank lines and lines starting with # are skipped.
ReplayScript parseReplay(std::string_view text);
// Parses one key combination ("ctrl+q", "f1", "return"); false when it names no key.
bool parseKeyCombo(std::string_view combo, uint8_t& virtualKey, uint32_t& modifiers, bool& extended);

// Wraps a display: its input is the replay's actions (the host's own input is read and dropped,
// except a request to quit). Mouse actions become moves, presses and releases; keys and text
// become key and text events; waits let time pass (the virtual clock of a headless display
// jumps, a windowed display really waits); the other actions are handed on as their own events.
std::unique_ptr<Display> openReplayDriver(std::unique_ptr<Display> inner, ReplayScript script);
