// A sheet change from the store: look the sheet up, decode it and build
// the display bitmap, for the small (480 x 360) and big (720 x 540) sheet
// sizes. Target: at most 5 ms per change.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "maps/map_view.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/view_plane.h"
#include "maps/zoom_levels.h"
#include "tests/sheet_test_files.h"

namespace {

const char* const RECORD = "200000,1470000.250000,-200000.500000,1450000.125000,-215000.000000,"
                           "1490000.750000,-185000.000000,91.500000";

void SheetChangeFromStore(benchmark::State& state) {
    const int big = static_cast<int>(state.range(0));
    const int w = view_sheet_width(big), h = view_sheet_height(big);
    TempTree tmp;
    const std::string maps = tmp.maps();
    double lat = zoom_level_snap_latitude(45.40, 2, 0), lon = zoom_level_snap_longitude(-75.70, 2, big);
    Bytes plain = makeGif(w, h, mapLikeIndices(w, h));
    unsigned char* sheet = nullptr;
    size_t size = 0;
    if (!sheet_extent_insert_gif(plain.data(), plain.size(), RECORD, &sheet, &size)) {
        state.SkipWithError("cannot build the sheet");
        return;
    }
    char path[SHEET_PATH_MAX];
    sheet_path(path, sizeof path, maps.c_str(), lat, lon, 2, big, SHEET_GIF);
    writeBytes(path, Bytes(sheet, sheet + size));
    free(sheet);

    MapView view{};
    for (auto _ : state) {
        double la = lat, lo = lon;
        int level = 2;
        if (!find_sheet(&la, &lo, &level, maps.c_str(), view.sheetPath, big, 1) ||
            !sheet_image_load(view.sheetPath, 0, &view.pixels, &view.imageWidth, &view.imageHeight) ||
            !map_view_build_bitmap(&view.dibHeader, &view.dibBits, view.pixels, view.imageWidth, view.imageHeight)) {
            state.SkipWithError("sheet change failed");
            break;
        }
        benchmark::DoNotOptimize(view.dibBits);
    }
    state.counters["file_bytes"] = static_cast<double>(size);
    free(view.pixels);
    free(view.dibHeader);
}

}  // namespace

BENCHMARK(SheetChangeFromStore)->Arg(0)->Arg(1)->ArgName("big")->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
