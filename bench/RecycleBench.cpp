// bench/RecycleBench.cpp: the pause of a collection over a heap of 300,000 live cells.
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kLiveCells = 300000;

// kLiveCells live cells hung from a symbol: a list of two thirds of them whose every other
// element is a string (one descriptor cell each), so that the block area has live blocks to
// slide too.
void buildLiveHeap()
{
    Value root = intern("bench-live-heap");
    setGlobalValue(root, kNil);
    for (int i = 0; i < kLiveCells / 3; ++i) {
        setGlobalValue(root, cons(makeImmediate(i), globalValue(root)));
        setGlobalValue(root, cons(makeString("live"), globalValue(root)));
    }
}

void fullCollection(benchmark::State& state)
{
    for (auto _ : state)
        collectGarbage(true);
    state.counters["live cells"] = kLiveCells;
    state.counters["cell area"] = gAreas.cellCount;
}
BENCHMARK(fullCollection)->Unit(benchmark::kMillisecond);

void partialCollection(benchmark::State& state)
{
    for (auto _ : state)
        collectGarbage(false);
}
BENCHMARK(partialCollection)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TopFrame top;
    startMemory();
    startModules();
    buildLiveHeap();
    benchmark::RunSpecifiedBenchmarks();
    stopModules();
    stopMemory();
    return 0;
}
