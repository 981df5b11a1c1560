// Night colours over a whole 1920 x 1080 client frame, once a paint: target
// well under 1 ms.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/night_palette.h"

namespace {

void NightFrame(benchmark::State& state) {
    const int w = 1920, h = 1080, stride = w * 3;
    std::vector<unsigned char> rgb(static_cast<size_t>(stride) * h);
    for (size_t i = 0; i < rgb.size(); i++) rgb[i] = static_cast<unsigned char>(i * 7);
    NightPalette palette;
    night_palette_make(&palette);
    for (auto _ : state) {
        night_palette_apply(palette, rgb.data(), stride, 0, 0, w, h);
        benchmark::DoNotOptimize(rgb.data());
    }
}

}  // namespace

BENCHMARK(NightFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
