// bench/WindowsBench.cpp: the window manager's queue (10,000 posted messages dispatched to a
// native handler) and the time from opening a display to its first presented frame, headless
// and in a real window under Xvfb.
#include "Platform/Windows/WindowManager.h"
#include "tests/support/VirtualServer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

int64_t g_handled = 0;

intptr_t countingProc(WindowManager& wm, const Message& m) noexcept
{
    if (m.message == Msg::User) {
        g_handled += m.wParam;
        return 0;
    }
    return wm.defWindowProc(m);
}

intptr_t paintingProc(WindowManager& wm, const Message& m) noexcept
{
    if (m.message == Msg::Paint) {
        PaintSession s = wm.beginPaint(m.window);
        s.dc->fillRect({ 10, 10, 200, 100 }, Brush::solid(Rgb { 0, 128, 0 }));
        wm.endPaint(m.window, s);
        return 0;
    }
    return wm.defMdiChildProc(m);
}

intptr_t frameProc(WindowManager& wm, const Message& m) noexcept { return wm.defFrameProc(m); }

WindowHandle makeFrame(WindowManager& wm)
{
    wm.registerClass({ "FrameWClass", 3, frameProc, Rgb { 0, 0, 0 } });
    wm.registerClass({ "Counter", 0, countingProc, kWhite });
    wm.registerClass({ "VeloraWndClass", 11, paintingProc, kWhite });
    CreateOptions o;
    o.className = "FrameWClass";
    o.style = Style::Visible | Style::ClipChildren;
    return wm.createWindow(o);
}

void postedMessages(benchmark::State& state)
{
    auto display = openHeadlessDisplay({ 400, 375 });
    WindowManager wm(*display);
    WindowHandle frame = makeFrame(wm);
    CreateOptions o;
    o.className = "Counter";
    o.parent = frame;
    o.style = Style::Visible;
    WindowHandle target = wm.createWindow(o);
    wm.updateAll();
    constexpr int kMessages = 10000;
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i)
            wm.postMessage(target, Msg::User, 1);
        Message m;
        while (wm.peekMessage(m))
            wm.dispatchMessage(m);
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.counters["ns/message"] = benchmark::Counter(double(state.iterations() * kMessages),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    benchmark::DoNotOptimize(g_handled);
}
BENCHMARK(postedMessages)->Unit(benchmark::kMillisecond);

// From opening the display to the first present of a frame with a painted document window.
void firstFrame(benchmark::State& state, bool windowed)
{
    VirtualServer server;
    if (windowed) {
        std::string whyNot;
        if (!server.start(whyNot)) {
            state.SkipWithError(("no Xvfb: " + whyNot).c_str());
            return;
        }
        setenv("DISPLAY", server.name().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
    }
    for (auto _ : state) {
        std::string whyNot;
        auto display = windowed ? openSdlDisplay({ 400, 375 }, "bench", 1, whyNot) : openHeadlessDisplay({ 400, 375 });
        if (!display) {
            state.SkipWithError(("no display: " + whyNot).c_str());
            return;
        }
        WindowManager wm(*display);
        WindowHandle frame = makeFrame(wm);
        WindowHandle client = wm.createMdiClient(frame, 0x56000001, 0);
        CreateOptions o;
        o.className = "VeloraWndClass";
        o.title = "Document";
        o.style = Style::Caption | Style::SystemMenu | Style::ThickFrame | Style::Visible;
        o.rect = { 20, 20, 300, 250 };
        wm.createMdiChild(client, o);
        wm.updateAll();
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(firstFrame, headless, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(firstFrame, xvfb, true)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
