// Platform/Windows/WindowTree.h: the record of one window, shared by the manager's units.
#pragma once

#include "Platform/Windows/WindowManager.h"

struct WindowManager::WindowRecord {
    WindowHandle handle = 0;
    std::string className;
    const WindowClass* windowClass = nullptr;
    WindowRecord* parent = nullptr;
    std::vector<WindowHandle> children; // front to back
    uint32_t style = 0;
    uint32_t exStyle = 0;
    intptr_t id = 0;
    std::string title;
    Rect rect;        // window rect in the parent's client coordinates
    Rect restoreRect; // the rect before maximising
    bool maximized = false;
    bool mdiChild = false;
    std::map<std::string, intptr_t> properties;
    Region update;    // client coordinates
    bool erase = false;    // the update region needs erasing
    bool chromeDirty = false;
    bool destroying = false;
};

// A rect moved by (dx, dy).
inline Rect shifted(Rect r, int dx, int dy)
{
    r.offsetBy(dx, dy);
    return r;
}

// The widths of the non-client parts of a window of this style: left, top, right, bottom.
struct ChromeInsets {
    int left = 0, top = 0, right = 0, bottom = 0;
};
ChromeInsets chromeInsets(uint32_t style);
// Parts of the chrome in window coordinates (0, 0 is the window's top-left corner).
Rect captionRect(Rect windowSize, uint32_t style);
Rect closeBoxRect(Rect windowSize, uint32_t style); // empty without a system menu
Rect sizeBoxRect(Rect windowSize, uint32_t style);  // empty unless sizeable with a caption
