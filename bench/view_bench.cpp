// Composing the map view from cached sheets straight into the client frame:
// the per-frame work of a pane of 1920 x 1080 and 3840 x 2160 at 1:50k and
// 1:20k (the finest level, where most sheets meet the view), beside a
// memcpy of the same frame in the same run (the most a frame can cost less
// than). Target: each compose <= 4 x its memcpy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/night_palette.h"
#include "maps/scaled_sheets.h"
#include "maps/sheet_store.h"
#include "maps/view_compose.h"
#include "maps/view_compose_crew.h"
#include "maps/view_compose_scaled.h"
#include "tests/sheet_test_files.h"

namespace {

// Every needed sheet stored as a map-like GIF with its download's extent.
int storeSheets(const std::string& maps, const ViewRecord& view) {
    std::vector<ViewSheet> sheets;
    int w = view_sheet_width(view.big), h = view_sheet_height(view.big);
    if (view_needed_sheets(view, maps.c_str(), 0, &sheets) <= 0) return 0;
    Bytes gif = makeGif(w, h, mapLikeIndices(w, h));
    for (const ViewSheet& s : sheets) {
        char record[256], path[SHEET_PATH_MAX];
        unsigned char* sheet = nullptr;
        size_t size = 0;
        if (sheet_extent_format(record, sizeof record, &s.extent) <= 0 ||
            !sheet_path(path, sizeof path, maps.c_str(), s.lat, s.lon, view.level, view.big, SHEET_GIF) ||
            !sheet_extent_insert_gif(gif.data(), gif.size(), record, &sheet, &size))
            return 0;
        writeBytes(path, Bytes(sheet, sheet + size));
        free(sheet);
    }
    return static_cast<int>(sheets.size());
}

// A view over Ottawa at a level, its sheets stored and all of them in the
// cache, so that the timed loop only hits.
struct CachedView {
    TempTree tmp;
    ViewRecord view;
    std::vector<ViewSheet> needed, missing;
    SheetCache cache;
    ViewImages images;
};

// permille: the view's scale as a part of the level's own (1000 = the level's).
bool cacheView(CachedView* c, benchmark::State& state, int level, int width, int height, long permille = 1000) {
    if (!view_make(&c->view, level, 0, 45.3252, -75.8748, width, height)) {
        state.SkipWithError("cannot place the view");
        return false;
    }
    c->view.mpp *= static_cast<double>(permille) / 1000;
    if (!storeSheets(c->tmp.maps(), c->view) || view_needed_sheets(c->view, c->tmp.maps().c_str(), 0, &c->needed) <= 0) {
        state.SkipWithError("cannot store the sheets");
        return false;
    }
    c->cache.limitBytes = 512u << 20;
    view_gather(c->needed, &c->cache, &c->images, &c->missing);
    return true;
}

void ComposeFromCache(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = width * 9 / 16, level = static_cast<int>(state.range(1));
    CachedView c;
    if (!cacheView(&c, state, level, width, height)) return;
    // The frame is the client area: a pane inside it, rows a little wider.
    const int stride = width + 2;
    std::vector<uint32_t> frame(static_cast<size_t>(stride) * (height + 52));
    long decodes = c.cache.decodes;
    for (auto _ : state) {
        view_gather(c.needed, &c.cache, &c.images, &c.missing);
        benchmark::DoNotOptimize(view_compose(c.view, c.images, frame.data() + APP_PANE_TOP * stride + APP_PANE_LEFT, stride));
    }
    if (c.cache.decodes != decodes || !c.missing.empty()) state.SkipWithError("a sheet was not cached");
    state.counters["sheets"] = static_cast<double>(c.images.size());
    state.counters["cache_MB"] = static_cast<double>(c.cache.usedBytes) / (1 << 20);
}

// The same, composed on two cores (the window's way where it has them).
void ComposeOnTwoCores(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = width * 9 / 16, level = static_cast<int>(state.range(1));
    CachedView c;
    if (!cacheView(&c, state, level, width, height)) return;
    const int stride = width + 2;
    std::vector<uint32_t> frame(static_cast<size_t>(stride) * (height + 52));
    ViewComposeCrew crew;
    for (auto _ : state) {
        view_gather(c.needed, &c.cache, &c.images, &c.missing);
        benchmark::DoNotOptimize(
            view_compose_crew_compose(&crew, c.view, c.images, frame.data() + APP_PANE_TOP * stride + APP_PANE_LEFT, stride));
    }
}

// Night colours: mode 0 composes the day's colours and maps the frame after
// (a pass of its own), mode 1 composes through the night curve.
void ComposeNight(benchmark::State& state) {
    const int width = 1920, height = 1080, mode = static_cast<int>(state.range(0));
    CachedView c;
    if (!cacheView(&c, state, 3, width, height)) return;
    NightPalette palette;
    night_palette_make(&palette);
    ColourCurve curve;
    night_palette_curve(palette, &curve);
    std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
    for (auto _ : state) {
        view_gather(c.needed, &c.cache, &c.images, &c.missing);
        if (mode == 1) {
            view_compose(c.view, c.images, frame.data(), width, &curve);
        } else {
            view_compose(c.view, c.images, frame.data(), width);
            night_palette_apply(palette, frame.data(), width, 0, 0, width, height);
        }
        benchmark::ClobberMemory();
    }
}

// The physical limit: the whole frame copied once.
void MemcpyFrame(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = width * 9 / 16;
    std::vector<uint32_t> from(static_cast<size_t>(width) * height, 0xFF808080u), to(from.size());
    for (auto _ : state) {
        memcpy(to.data(), from.data(), from.size() * sizeof from[0]);
        benchmark::ClobberMemory();
    }
}

// Between the levels: the level's sheets box-filtered to a view whose scale
// is permille / 1000 of the level's own, into a 32-bit frame. Beside
// ComposeFromCache at the same size and level in one run; target <= 2x it.
void ComposeScaled(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = width * 9 / 16, level = static_cast<int>(state.range(1));
    CachedView c;
    if (!cacheView(&c, state, level, width, height, state.range(2))) return;
    std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
    for (auto _ : state) {
        view_gather(c.needed, &c.cache, &c.images, &c.missing);
        benchmark::DoNotOptimize(view_compose_scaled(c.view, c.images, frame.data(), width));
    }
    if (!c.missing.empty()) state.SkipWithError("a sheet was not cached");
}

// Between the levels through the sheets kept filtered to the view's scale:
// the steady frame (the copies made before the loop), beside ComposeScaled
// (filtered anew every frame) and ComposeFromCache (the level's own scale).
void ComposeKept(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = width * 9 / 16, level = static_cast<int>(state.range(1));
    CachedView c;
    if (!cacheView(&c, state, level, width, height, state.range(2))) return;
    std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
    ScaledSheets kept;
    scaled_sheets_compose(&kept, c.view, c.images, frame.data(), width);
    const long made = kept.made;
    for (auto _ : state) {
        view_gather(c.needed, &c.cache, &c.images, &c.missing);
        benchmark::DoNotOptimize(scaled_sheets_compose(&kept, c.view, c.images, frame.data(), width));
    }
    if (!c.missing.empty() || kept.made != made) state.SkipWithError("a sheet was not kept");
    state.counters["sheets"] = static_cast<double>(c.images.size());
    state.counters["kept_MB"] = static_cast<double>(scaled_sheets_bytes(kept)) / (1 << 20);
}

// The first frame at a new scale between the levels, every sheet of the
// view filtered to it: from a scale a notch away between the levels (from
// = 1: the copies of that scale go, their memory taken again), or the first
// ever (from = 0: all its memory new).
void ComposeKeptNewScale(benchmark::State& state) {
    const int width = 1920, height = 1080, from = static_cast<int>(state.range(1));
    CachedView c;
    if (!cacheView(&c, state, 3, width, height, state.range(0))) return;
    std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
    ScaledSheets kept;
    ViewRecord notch = c.view;
    notch.mpp /= std::exp2(0.25);
    for (auto _ : state) {
        state.PauseTiming();
        if (from) scaled_sheets_compose(&kept, notch, c.images, frame.data(), width);
        else kept = ScaledSheets{};
        state.ResumeTiming();
        benchmark::DoNotOptimize(scaled_sheets_compose(&kept, c.view, c.images, frame.data(), width));
    }
}

// One sheet of the view filtered to a scale permille / 1000 of its level's
// (480 x 360 pixels, a byte each).
void ScaleSheet(benchmark::State& state) {
    CachedView c;
    if (!cacheView(&c, state, 3, 640, 480)) return;
    const double f = static_cast<double>(state.range(0)) / 1000;
    DecodedSheet copy{};   // its memory taken again, as a spare's is
    for (auto _ : state) benchmark::DoNotOptimize(view_compose_scaled_sheet(*c.images.front(), f, &copy));
}

// This thread's processor time: on a loaded machine a frame's wall time
// takes in whatever else ran.
double threadMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Dragging a 1920 x 1080 view at a scale between the levels, `step` screen
// pixels a frame to the east and back, the sheets coming into view filtered
// inside the frame they show in: the mean and the worst frame (processor
// time).
void DragKept(benchmark::State& state) {
    const int width = 1920, height = 1080, step = static_cast<int>(state.range(1)), frames = 120;
    CachedView c;
    // The sheets of the whole way stored and cached.
    if (!cacheView(&c, state, 3, width + step * frames, height, state.range(0))) return;
    std::vector<ViewRecord> path(frames);
    std::vector<ViewImages> images(frames);
    for (int i = 0; i < frames; i++) {
        path[i] = c.view;
        path[i].width = width;
        path[i].cx += (i * step - step * frames / 2.0) * c.view.mpp;
        std::vector<ViewSheet> needed;
        view_needed_sheets(path[i], c.tmp.maps().c_str(), 0, &needed);
        view_gather(needed, &c.cache, &images[i], &c.missing);
    }
    std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
    ScaledSheets kept;
    scaled_sheets_compose(&kept, path[0], images[0], frame.data(), width);
    const long made = kept.made;
    double worst = 0;
    long n = 0;
    for (auto _ : state) {
        // There and back, so that the way has no jump.
        const long at = n % (2 * frames - 2), i = at < frames ? at : 2 * frames - 2 - at;
        const double start = threadMs();
        benchmark::DoNotOptimize(scaled_sheets_compose(&kept, path[i], images[i], frame.data(), width));
        worst = std::max(worst, threadMs() - start);
        n++;
    }
    state.counters["worst_ms"] = worst;
    state.counters["made_per_frame"] = static_cast<double>(kept.made - made) / static_cast<double>(std::max(1L, n));
}

// The panes the plain composing is timed at: 1920 x 1080 and 3840 x 2160,
// at 1:50k and 1:20k.
void paneSizes(benchmark::internal::Benchmark* b) {
    b->Args({1920, 3})->Args({3840, 3})->Args({1920, 4})->Args({3840, 4})->ArgNames({"width", "level"})->Unit(
        benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(MemcpyFrame)->Arg(1920)->Arg(3840)->ArgNames({"width"})->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeScaled)
    ->Args({1920, 3, 1000})
    ->Args({1920, 3, 700})
    ->Args({1920, 3, 1189})
    ->Args({1920, 3, 1414})
    ->Args({1920, 3, 2000})
    ->Args({1920, 3, 2600})
    ->ArgNames({"width", "level", "permille"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeKept)
    ->Args({1920, 3, 700})
    ->Args({1920, 3, 1189})
    ->Args({1920, 3, 1414})
    ->Args({1920, 3, 2000})
    ->Args({1920, 3, 2600})
    ->Args({3840, 3, 1414})
    ->ArgNames({"width", "level", "permille"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeKeptNewScale)
    ->Args({1189, 0})
    ->Args({1189, 1})
    ->Args({1414, 1})
    ->Args({2000, 1})
    ->Args({2600, 1})
    ->ArgNames({"permille", "from"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ScaleSheet)->Arg(700)->Arg(1189)->Arg(1414)->Arg(2000)->Arg(2600)->ArgNames({"permille"})->Unit(benchmark::kMicrosecond);
BENCHMARK(DragKept)->Args({1414, 16})->Args({1189, 40})->Args({2600, 40})->ArgNames({"permille", "step"})->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeNight)->Arg(0)->Arg(1)->ArgNames({"mode"})->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeFromCache)->Apply(paneSizes);
BENCHMARK(ComposeOnTwoCores)->Apply(paneSizes);
BENCHMARK_MAIN();
