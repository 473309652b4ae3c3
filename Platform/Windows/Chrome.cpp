// Platform/Windows/Chrome.cpp: the one chrome painter: borders, captions with their title,
// close boxes and size boxes.
#include "Platform/Fonts/Fonts.h"
#include "Platform/Windows/WindowTree.h"

#include <algorithm>

namespace {

constexpr Rgb kActiveCaption { 0, 0, 128 };
constexpr Rgb kInactiveCaption { 128, 128, 128 };
constexpr Rgb kCaptionText { 255, 255, 255 };
constexpr Rgb kFace { 192, 192, 192 };
constexpr Rgb kLight { 255, 255, 255 };
constexpr Rgb kShadow { 128, 128, 128 };
constexpr int kTitlePixels = 12;

void bevel(DeviceContext& dc, Rect r, Rgb topLeft, Rgb bottomRight)
{
    dc.fillRect({ r.left, r.top, r.right, r.top + 1 }, Brush::solid(topLeft));
    dc.fillRect({ r.left, r.top, r.left + 1, r.bottom }, Brush::solid(topLeft));
    dc.fillRect({ r.left, r.bottom - 1, r.right, r.bottom }, Brush::solid(bottomRight));
    dc.fillRect({ r.right - 1, r.top, r.right, r.bottom }, Brush::solid(bottomRight));
}

void frameRect(DeviceContext& dc, Rect r, Rgb color) { bevel(dc, r, color, color); }

} // namespace

void WindowManager::paintChrome(DeviceContext& dc, WindowHandle window)
{
    WindowRecord* w = live(window);
    if (!w)
        return;
    Rect outer = frameWindowRect(window);
    Rect size { 0, 0, outer.width(), outer.height() };
    ChromeInsets in = chromeInsets(w->style);
    auto at = [&](Rect r) { return shifted(r, outer.left, outer.top); };
    bool active = window == m_activeChild || !w->mdiChild;

    // Borders: one black line, then a raised face for thick and dialog frames.
    if (in.left > 0) {
        frameRect(dc, outer, kBlack);
        if (in.left > 1) {
            Rect inner { outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1 };
            for (int i = 1; i < in.left; ++i) {
                frameRect(dc, inner, kFace);
                inner = { inner.left + 1, inner.top + 1, inner.right - 1, inner.bottom - 1 };
            }
            bevel(dc, { outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1 }, kLight, kShadow);
        }
    }
    Rect caption = captionRect(size, w->style);
    if (!caption.isEmpty()) {
        Rect c = at(caption);
        dc.fillRect(c, Brush::solid(active ? kActiveCaption : kInactiveCaption));
        Rect close = closeBoxRect(size, w->style);
        int textRight = close.isEmpty() ? c.right - 4 : at(close).left - 4;
        if (auto font = Font::open({ "Arial", kTitlePixels, true })) {
            DeviceContext text = dc;
            text.intersectClipRect({ c.left, c.top, textRight, c.bottom });
            text.setTextColor(kCaptionText);
            text.setBackgroundMode(BackgroundMode::Transparent);
            font->draw(text, { c.left + 5, c.top + 13 }, w->title);
        }
        if (!close.isEmpty()) {
            Rect b = at(close);
            bool pressed = m_moveSize.window == window && m_moveSize.closePressed && m_moveSize.closeInside;
            dc.fillRect(b, Brush::solid(kFace));
            if (pressed)
                bevel(dc, b, kShadow, kLight);
            else
                bevel(dc, b, kLight, kBlack);
            // The cross: two diagonals of two pixels.
            int o = pressed ? 1 : 0;
            for (int i = 0; i < 7; ++i) {
                for (int t = 0; t < 2; ++t) {
                    dc.fillRect({ b.left + 3 + i + t + o, b.top + 3 + i + o, b.left + 4 + i + t + o, b.top + 4 + i + o }, Brush::solid(kBlack));
                    dc.fillRect({ b.right - 4 - i - t + o, b.top + 3 + i + o, b.right - 3 - i - t + o, b.top + 4 + i + o }, Brush::solid(kBlack));
                }
            }
        }
        // The line between the caption and the client area.
        if (in.left == 1)
            dc.fillRect({ c.left, c.bottom - 1, c.right, c.bottom }, Brush::solid(kBlack));
    }
    Rect box = sizeBoxRect(size, w->style);
    if (!box.isEmpty()) {
        Rect b = at(box);
        dc.fillRect(b, Brush::solid(kFace));
        frameRect(dc, b, kShadow);
        // Three diagonal grip lines.
        for (int d = 4; d <= 12; d += 4)
            for (int i = 0; i <= d; ++i)
                dc.setPixel({ b.right - 2 - i, b.bottom - 2 - (d - i) }, kShadow);
    }
}
