// Composing the map view from cached sheets straight into the client frame:
// the per-frame work of a pane of 1920 x 1080 and 3840 x 2160 at 1:50k and
// 1:20k (the finest level, where most sheets meet the view), beside a
// memcpy of the same frame in the same run (the most a frame can cost less
// than). Target: each compose <= 4 x its memcpy.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/night_palette.h"
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

}  // namespace

BENCHMARK(MemcpyFrame)->Arg(1920)->Arg(3840)->ArgNames({"width"})->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeScaled)
    ->Args({1920, 3, 1000})
    ->Args({1920, 3, 1189})
    ->Args({1920, 3, 1414})
    ->Args({1920, 3, 2000})
    ->Args({1920, 3, 2600})
    ->ArgNames({"width", "level", "permille"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeNight)->Arg(0)->Arg(1)->ArgNames({"mode"})->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeFromCache)
    ->Args({1920, 3})
    ->Args({3840, 3})
    ->Args({1920, 4})
    ->Args({3840, 4})
    ->ArgNames({"width", "level"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeOnTwoCores)
    ->Args({1920, 3})
    ->Args({3840, 3})
    ->Args({1920, 4})
    ->Args({3840, 4})
    ->ArgNames({"width", "level"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
