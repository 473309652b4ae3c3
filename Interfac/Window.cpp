// Interfac/Window.cpp: the Window Module: the screen and the frame's place on it. Without a
// window system (scripts) the screen is the headless one, 1280 x 1024, with no frame to move.
#include "Interfac/Event.h"
#include "Interfac/Geometry.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Platform/Windows/WindowManager.h"

namespace {

constexpr FrameSize kNoWindowScreen { 1280, 1024 };

Display* display() { return windowManager() ? &windowManager()->display() : nullptr; }

FrameSize screen() { return display() ? display()->screenSize() : kNoWindowScreen; }

Value screenWidth() { return makeInteger(screen().width); }
Value screenHeight() { return makeInteger(screen().height); }

Value showFrame(FrameState state)
{
    if (Display* d = display())
        d->setFrameState(state);
    return kNoValue;
}

Value desktopMinimize() { return showFrame(FrameState::Minimized); }
Value desktopMaximize() { return showFrame(FrameState::Maximized); }
Value desktopRestore() { return showFrame(FrameState::Normal); }

Value desktopGetPosition()
{
    Point p = display() ? display()->framePosition() : Point {};
    return makePoint(p.x, p.y);
}

Value desktopSetPosition(Value point)
{
    Point p = toPoint(point);
    if (Display* d = display()) {
        d->setFrameState(FrameState::Normal);
        d->setFramePosition(p);
    }
    return kNoValue;
}

Value desktopMaximizedP() { return boolValue(display() && display()->frameState() == FrameState::Maximized); }

class WindowModule final : public Module {
public:
    WindowModule() : Module("Window") {}
    void start() override
    {
        Module::start();
        defineFunction0("screen-width", screenWidth);
        defineFunction0("screen-height", screenHeight);
        defineFunction0("desktop-minimize", desktopMinimize);
        defineFunction0("desktop-maximize", desktopMaximize);
        defineFunction0("desktop-restore", desktopRestore);
        defineFunction0("desktop-get-position", desktopGetPosition);
        defineFunction1("desktop-set-position", desktopSetPosition);
        defineFunction0("desktop-maximized?", desktopMaximizedP);
    }
} theWindowModule;

} // namespace
