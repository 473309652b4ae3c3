// Platform/Display/Headless.cpp: the frame in memory, a virtual clock, and the choice of display.
#include "Platform/Display/Display.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

class HeadlessDisplay final : public Display {
public:
    explicit HeadlessDisplay(FrameSize frame)
        : m_surface(frame.width, frame.height, 32)
    {
        m_surface.fill(kWhite);
    }

    bool isHeadless() const override { return true; }
    Surface& frameSurface() override { return m_surface; }
    void present(const Region&) override { }

    // Nothing ever arrives; waiting moves the virtual clock. A wait without end returns at once.
    bool nextEvent(InputEvent&, int timeoutMs) override
    {
        if (timeoutMs > 0)
            m_clock += uint32_t(timeoutMs);
        return false;
    }

    uint32_t milliseconds() override { return m_clock; }
    void setCursor(const CursorShape&) override { }
    void showCursor(bool) override { }
    void setTitle(const std::string&) override { }

    bool readBack(Surface& out) override
    {
        if (out.width() != m_surface.width() || out.height() != m_surface.height() || out.depth() != 32)
            return false;
        for (int y = 0; y < m_surface.height(); ++y)
            std::memcpy(out.row(y), m_surface.row(y), size_t(m_surface.width()) * 4);
        return true;
    }

    FrameSize screenSize() override
    {
        return { std::max(1280, m_surface.width()), std::max(1024, m_surface.height()) };
    }
    Point framePosition() override { return m_position; }
    void setFramePosition(Point topLeft) override { m_position = topLeft; }
    FrameState frameState() override { return m_state; }
    void setFrameState(FrameState state) override { m_state = state; }

private:
    Surface m_surface;
    uint32_t m_clock = 0;
    Point m_position;
    FrameState m_state = FrameState::Normal;
};

} // namespace

std::unique_ptr<Display> openHeadlessDisplay(FrameSize frame)
{
    return std::make_unique<HeadlessDisplay>(frame);
}

bool headlessRequested(bool headlessFlag)
{
    if (headlessFlag)
        return true;
    const char* env = std::getenv("VELORA_HEADLESS");
    return env && std::strcmp(env, "1") == 0;
}

std::unique_ptr<Display> openDisplay(FrameSize frame, const std::string& title, bool headlessFlag)
{
    if (!headlessRequested(headlessFlag)) {
        std::string whyNot;
        if (auto display = openSdlDisplay(frame, title, 0, whyNot))
            return display;
    }
    return openHeadlessDisplay(frame);
}
