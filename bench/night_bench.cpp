// Night colours over a whole 1920 x 1080 client frame, once a paint: target
// well under 1 ms.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/night_palette.h"

namespace {

void NightFrame(benchmark::State& state) {
    const int w = 1920, h = 1080, stride = w;
    std::vector<uint32_t> px(static_cast<size_t>(stride) * h);
    for (size_t i = 0; i < px.size(); i++) px[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x070503);
    NightPalette palette;
    night_palette_make(&palette);
    for (auto _ : state) {
        night_palette_apply(palette, px.data(), stride, 0, 0, w, h);
        benchmark::DoNotOptimize(px.data());
    }
}

}  // namespace

BENCHMARK(NightFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
