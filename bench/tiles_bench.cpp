// A sheet made from cached tiles: the tiles read from the cache and
// decoded, every pixel projected and sampled, for a sheet in the Canadian
// grid and one in Web Mercator; and the same with the sheet encoded and
// stored. Target: at most 15 ms CPU for a 480 x 360 sheet.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "maps/map_view.h"
#include "maps/png_sheet.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_download_parts.h"
#include "maps/tile_fetch.h"
#include "maps/tile_sheet.h"
#include "maps/tile_source.h"
#include "maps/wms_request.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "settings/app_settings.h"
#include "tests/sheet_test_files.h"

namespace {

const double kPi = 3.14159265358979323846;

// Fresh map-like tiles around the point at every zoom a sheet may take.
void fillCache(const std::string& cache, double lat, double lon) {
    Bytes idx = mapLikeIndices(256, 256);
    Bytes rgb(idx.size() * 3);
    for (size_t i = 0; i < idx.size(); ++i) rgb[i * 3] = idx[i], rgb[i * 3 + 1] = 255 - idx[i], rgb[i * 3 + 2] = 200;
    unsigned char* png = nullptr;
    size_t size = 0;
    png_write_rgb_memory(rgb.data(), 256, 256, &png, &size);
    std::string note = "expires=" + std::to_string(time(nullptr) + 86400) + "\nmissing=0\netag=\nlast-modified=\n";
    for (int z = 6; z <= 17; ++z) {
        double n = std::ldexp(1.0, z);
        int tx = static_cast<int>((lon + 180) / 360 * n);
        int ty = static_cast<int>((1 - std::log(std::tan(kPi / 4 + lat * kPi / 360)) / kPi) / 2 * n);
        for (int x = tx - 4; x <= tx + 4; ++x)
            for (int y = ty - 4; y <= ty + 4; ++y) {
                std::string path = tile_fetch_cache_path(cache.c_str(), z, x, y);
                writeBytes(path, Bytes(png, png + size));
                writeBytes(path + ".cache", Bytes(note.begin(), note.end()));
            }
    }
    free(png);
}

void SheetFromCachedTiles(benchmark::State& state) {
    const int mercator = static_cast<int>(state.range(0)), store = static_cast<int>(state.range(1));
    const double lat = mercator ? 48.86 : 45.42, lon = mercator ? 2.35 : -75.70;
    const int level = 2;
    TempTree tmp;
    TileSource source{};
    snprintf(source.url, sizeof source.url, "http://127.0.0.1:9/{z}/{x}/{y}.png");  // never asked: the cache is fresh
    char cache[SHEET_PATH_MAX];
    tile_source_cache_folder(cache, sizeof cache, tmp.maps().c_str(), &source);
    fillCache(cache, lat, lon);
    double sheetLat = 0, sheetLon = 0;
    const char* why = "";
    world_grid_snap(lat, lon, level, 0, &sheetLat, &sheetLon, &why);
    SheetExtent e{};
    e.scale = zoom_level_scale(level);
    sheet_download_plane_centre(sheetLat, sheetLon, level, 0, &e.centreX, &e.centreY, &e.angle, &e.epsg);
    WmsBox box = wms_sheet_box(e.centreX, e.centreY, e.scale, 480, 360);
    e.minX = box.minX, e.minY = box.minY, e.maxX = box.maxX, e.maxY = box.maxY;
    for (auto _ : state) {
        Result ok;
        if (store) {
            char out[SHEET_PATH_MAX];
            ok = tile_download_sheet(&source, 0, sheetLat, sheetLon, level, 0, tmp.maps().c_str(), tmp.maps().c_str(), 0,
                                     out);
        } else {
            unsigned char* rgb = nullptr;
            ok = tile_make_sheet(&source, cache, &e, 480, 360, 0, &rgb);
            free(rgb);
        }
        if (!ok) {
            state.SkipWithError(ok.why.c_str());
            break;
        }
    }
}
BENCHMARK(SheetFromCachedTiles)
    ->ArgNames({"mercator", "stored"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
