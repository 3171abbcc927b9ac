#include "controls/PlasmaGenerator.h"

#include <benchmark/benchmark.h>

namespace
{

// One field as the dialogs make it: build, smooth, colour.
void BM_GenerateField(benchmark::State &state)
{
    TPlasmaGenerator gen;
    gen.Screen1 = {PAL_CLOUDS, 5, 0, true};
    gen.Randomise = true;
    for (auto _ : state) {
        gen.GenerateScreen(1);
        benchmark::DoNotOptimize(gen.Screen1Buffer().pixelBase[1000]);
    }
}
BENCHMARK(BM_GenerateField)->Unit(benchmark::kMillisecond);

void BM_BuildPlasma(benchmark::State &state)
{
    TPlasmaGenerator gen;
    gen.WorkingRoughness = 2;
    gen.Start_Seed = 42;
    for (auto _ : state)
        gen.BuildPlasma(gen.Screen1Buffer());
}
BENCHMARK(BM_BuildPlasma)->Unit(benchmark::kMillisecond);

void BM_SmoothField(benchmark::State &state)
{
    TPlasmaGenerator gen;
    for (auto _ : state)
        TPlasmaGenerator::SmoothField(gen.Screen1Buffer());
}
BENCHMARK(BM_SmoothField)->Unit(benchmark::kMillisecond);

// A dialog's showing: three fields and the blend of the first paint.
void BM_ThreeScreensAndBlend(benchmark::State &state)
{
    TPlasmaGenerator gen;
    gen.Screen1 = {PAL_CLOUDS, 2, 0, false};
    gen.Screen2 = gen.Screen1;
    gen.Display_Screen = DS_DIFFERENCE;
    gen.Randomise = true;
    for (auto _ : state) {
        for (int n = 1; n <= 3; ++n)
            gen.GenerateScreen(n);
        benchmark::DoNotOptimize(gen.ComposeDisplay().pixelBase);
    }
}
BENCHMARK(BM_ThreeScreensAndBlend)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
