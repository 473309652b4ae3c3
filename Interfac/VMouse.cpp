// Interfac/VMouse.cpp: the VMouse Module: the cursor's shape and visibility. The shapes are the
// standard ones by id, or a CURS resource of the application (the last one made is kept).
#include "Interfac/Event.h"
#include "Interfac/Resource.h"
#include "Interfac/ResourceFormat.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Platform/Windows/WindowManager.h"

#include <optional>

namespace {

Value gSymbolicCursor = kNil;
bool gCursorVisible = true;
int32_t gCachedCursorId = -1;
CursorHandle gCachedCursor = 0;

std::optional<StandardCursor> standardCursorOf(int32_t id)
{
    switch (id) {
    case 0: return StandardCursor::Arrow;
    case 1: return StandardCursor::IBeam;
    case 2: return StandardCursor::Cross;
    case 4: return StandardCursor::Wait;
    case 1060: return StandardCursor::SizeNS;
    case 1061: return StandardCursor::SizeWE;
    case 1062: return StandardCursor::SizeNESW;
    case 1063: return StandardCursor::SizeNWSE;
    default: return std::nullopt;
    }
}

// A CURS resource: 16 rows of image, 16 rows of mask, the hot spot's v and h, big-endian.
bool readCursorResource(int32_t id, CursorImage& image)
{
    if (id < -32768 || id > 32767)
        return false;
    Handle h = getResource(resTypeFromText("CURS"), static_cast<int16_t>(id));
    if (!h)
        return false;
    bool ok = handleSize(h) >= 68;
    if (ok) {
        const uint8_t* b = hostAddress(lockHandle(h));
        auto be16 = [&](int at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); };
        for (int row = 0; row < 16; ++row) {
            image.image[row] = be16(2 * row);
            image.mask[row] = be16(32 + 2 * row);
        }
        image.hotSpot = { static_cast<int16_t>(be16(66)), static_cast<int16_t>(be16(64)) };
        unlockHandle(h);
    }
    releaseResource(h);
    return ok;
}

void showCursorId(int32_t id)
{
    WindowManager* wm = windowManager();
    if (!wm)
        return;
    if (std::optional<StandardCursor> standard = standardCursorOf(id)) {
        wm->setCursor(wm->standardCursor(*standard));
        return;
    }
    if (id != gCachedCursorId || !gCachedCursor) {
        CursorImage image;
        if (!readCursorResource(id, image)) {
            wm->setCursor(wm->standardCursor(StandardCursor::Arrow));
            return;
        }
        CursorHandle made = wm->createCursor(image);
        wm->setCursor(made);
        if (gCachedCursor)
            wm->destroyCursor(gCachedCursor);
        gCachedCursor = made;
        gCachedCursorId = id;
    }
    wm->setCursor(gCachedCursor);
}

// set-cursor: the application's symbolic-cursor turns the argument into a cursor id.
Value setCursorPrimitive(Value cursor)
{
    Value id = cursor;
    if (isBound(gSymbolicCursor)) {
        Value function = globalValue(gSymbolicCursor);
        if (function != kNil && function != kNoValue)
            id = funcall(function, cursor);
    }
    if (!isImmediateInteger(id))
        raiseWrongType(id);
    showCursorId(integerValue(id));
    return kNoValue;
}

Value showArrow()
{
    showCursorId(0);
    return kNoValue;
}

Value showWatch()
{
    showCursorId(4);
    return kNoValue;
}

void setVisible(bool visible)
{
    if (visible == gCursorVisible)
        return;
    gCursorVisible = visible;
    if (WindowManager* wm = windowManager())
        wm->showCursor(visible);
}

Value showCursorPrimitive()
{
    setVisible(true);
    return kNoValue;
}

Value hideCursorPrimitive()
{
    setVisible(false);
    return kNoValue;
}

Value getCursorVisibleP() { return boolValue(gCursorVisible); }

Value setCursorVisibleP(Value v)
{
    setVisible(isFlagSet(v));
    return kNoValue;
}

class VMouseModule final : public Module {
public:
    VMouseModule() : Module("VMouse") {}
    void start() override
    {
        Module::start();
        gSymbolicCursor = intern("symbolic-cursor");
        gCursorVisible = true;
        gCachedCursorId = -1;
        gCachedCursor = 0;
        defineFunction1("set-cursor", setCursorPrimitive);
        defineFunction0("show-arrow", showArrow);
        defineFunction0("show-watch", showWatch);
        defineFunction0("show-cursor", showCursorPrimitive);
        defineFunction0("hide-cursor", hideCursorPrimitive);
        defineFunction0("get-cursor-visible?", getCursorVisibleP);
        defineFunction1("set-cursor-visible?", setCursorVisibleP);
    }
    void stop() override
    {
        // The run ends with the arrow, shown.
        if (WindowManager* wm = windowManager()) {
            wm->setCursor(wm->standardCursor(StandardCursor::Arrow));
            if (!gCursorVisible)
                wm->showCursor(true);
        }
        gCursorVisible = true;
        gCachedCursor = 0;
        gCachedCursorId = -1;
        Module::stop();
    }
} theVMouseModule;

} // namespace
