// bench/PaintBench.cpp: the painter and the fonts, each beside its peer in the same run.
//   - a source-copy blit of a 640 x 480 32-bit surface beside memcpy of the same bytes;
//   - random rects and ellipses, patterned and in XOR, time per shape (10,000 per iteration);
//   - short strings measured, and drawn, time per string (10,000 per iteration).
// Time per shape or string is the inverse of items_per_second.
#include "Platform/Fonts/Fonts.h"
#include "Platform/Paint/Paint.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480, kShapes = 10000, kStrings = 10000;

void blit640x480(benchmark::State& state)
{
    Surface source(kWidth, kHeight, 32), dest(kWidth, kHeight, 32);
    source.fill({ 10, 20, 30 });
    DeviceContext from(source), to(dest);
    for (auto _ : state) {
        to.bitBlt({ 0, 0, kWidth, kHeight }, &from, { 0, 0 }, Rop3::SrcCopy);
        benchmark::DoNotOptimize(dest.pixels());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(blit640x480);

void memcpy640x480(benchmark::State& state)
{
    std::vector<uint8_t> source(size_t(kWidth) * kHeight * 4, 7), dest(source.size());
    for (auto _ : state) {
        std::memcpy(dest.data(), source.data(), source.size());
        benchmark::DoNotOptimize(dest.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.size()));
}
BENCHMARK(memcpy640x480);

struct RandomRects {
    std::vector<Rect> rects;
    RandomRects()
    {
        std::mt19937 random(42);
        std::uniform_int_distribution<int> x(-20, kWidth), y(-20, kHeight), size(1, 120);
        for (int i = 0; i < kShapes; ++i) {
            int left = x(random), top = y(random);
            rects.push_back({ left, top, left + size(random), top + size(random) });
        }
    }
};

enum class Mode { Patterned, Xor };

void shapes(benchmark::State& state, bool ellipses, Mode mode)
{
    static const RandomRects random;
    Surface surface(kWidth, kHeight, 32);
    surface.fill(kWhite);
    DeviceContext dc(surface);
    dc.setPen({ PenStyle::InsideFrame, 1, kBlack });
    if (mode == Mode::Patterned) {
        dc.setBrush(Brush::monoPattern({ 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55 }));
    } else {
        dc.setBrush(Brush::solid(Rgb { 255, 0, 0 }));
        dc.setRop2(Rop2::XorPen);
    }
    for (auto _ : state) {
        for (const Rect& r : random.rects)
            ellipses ? dc.ellipse(r) : dc.rectangle(r);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kShapes);
}
BENCHMARK_CAPTURE(shapes, rects_patterned, false, Mode::Patterned)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(shapes, rects_xor, false, Mode::Xor)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(shapes, ellipses_patterned, true, Mode::Patterned)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(shapes, ellipses_xor, true, Mode::Xor)->Unit(benchmark::kMillisecond);

std::vector<std::string> shortStrings()
{
    static const char* words[] = { "File", "Edit", "Caf\xE9", "Open...", "Quit", "Launch", "Help", "Lorin", "OK",
        "Cancel", "Preferences", "\x93quoted\x94" };
    std::vector<std::string> out;
    for (int i = 0; i < kStrings; ++i)
        out.push_back(words[i % 12]);
    return out;
}

void stringsMeasured(benchmark::State& state)
{
    auto strings = shortStrings();
    auto font = Font::open({ "Geneva", 12 });
    int total = 0;
    for (auto _ : state)
        for (const std::string& s : strings)
            total += font->textWidth(s);
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(int64_t(state.iterations()) * kStrings);
}
BENCHMARK(stringsMeasured)->Unit(benchmark::kMillisecond);

void stringsDrawn(benchmark::State& state)
{
    auto strings = shortStrings();
    auto font = Font::open({ "Geneva", 12 });
    Surface surface(kWidth, kHeight, 32);
    surface.fill(kWhite);
    DeviceContext dc(surface);
    dc.setBackgroundMode(BackgroundMode::Transparent);
    for (auto _ : state) {
        int i = 0;
        for (const std::string& s : strings) {
            font->draw(dc, { (i * 37) % (kWidth - 60), 12 + (i * 13) % (kHeight - 16) }, s);
            ++i;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kStrings);
}
BENCHMARK(stringsDrawn)->Unit(benchmark::kMillisecond);

// A port recreates its font at every change of text state.
void fontReopened(benchmark::State& state)
{
    int sizes[] = { 9, 10, 12, 14, 18 };
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Font::open({ "Geneva", sizes[i % 5], (i & 8) != 0 }));
        ++i;
    }
}
BENCHMARK(fontReopened);

} // namespace

BENCHMARK_MAIN();
