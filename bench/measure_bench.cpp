// What Measure adds to a paint of a 1920 x 1080 window on the headless
// backend, composed from stored sheets with the vehicle moving: no ruler,
// against a ruler of 20 points with a track point marked (target: <= 0.3 ms
// more), and that drawing alone (steadier on a busy machine than the
// difference of two whole paints). Blit and text go nowhere: the paint's
// own cost.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/app_state.h"
#include "app/ruler.h"
#include "app/track_stats_dialog.h"
#include "app/window_events.h"
#include "maps/map_view.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_store.h"
#include "maps/view_sheets.h"
#include "maps/world_grid.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "settings/program_settings.h"
#include "tests/sheet_test_files.h"

namespace {

constexpr double kLat = 45.5, kLon = -(75 + 40 / 60.0);
constexpr int64_t kClock = 1700000000;

void writeText(const char* name, const char* text) {
    FILE* f = fopen(name, "w");
    if (!f) return;
    fputs(text, f);
    fclose(f);
}

// Big level-2 sheets around the start, with the records their downloads
// would write, so the view composes the whole window from them.
void writeSheets() {
    const double step = 1 / 6.0;
    const int w = 720, h = 540;
    Bytes plain = makeGif(w, h, mapLikeIndices(w, h));
    for (int r = -2; r <= 2; r++)
        for (int c = -3; c <= 3; c++) {
            double lat = kLat + r * step, lon = kLon + c * 2 * step;
            const char* why;
            if (world_grid_snap(lat, lon, 2, 1, &lat, &lon, &why) == VIEW_PLANE_NONE) continue;
            SheetExtent e{};
            if (!view_sheet_expected_extent(lat, lon, 2, 1, &e)) continue;
            char record[256], path[SHEET_PATH_MAX];
            sheet_extent_format(record, sizeof record, &e);
            unsigned char* out = nullptr;
            size_t size = 0;
            sheet_extent_insert_gif(plain.data(), plain.size(), record, &out, &size);
            sheet_path(path, sizeof path, "./Maps", lat, lon, 2, 1, SHEET_GIF);
            writeBytes(path, Bytes(out, out + size));
            free(out);
        }
}

void noBlit(int, int, int, int, const uint32_t*, int) {}
void noText(int, int, const char*, int, int, uint32_t) {}
int64_t manualClock() { return kClock; }

void fixAt(double lat, double lon, int64_t second) {
    gps_set_time_utc(2025, 5, 8, 12, static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));
    gps_set_latitude(lat);
    gps_set_longitude(lon);
    gps_set_speed_knots(19.4);
    gps_set_course(90);
    gps_set_fix_mode(3);
}

void PaintFullHdWithRuler(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    TempTree tree;
    std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(tree.root);
    writeText("kiv_com.txt", "COM0\nBig\n");
    writeText("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\nDash=K\n");
    writeSheets();
    headless_install();
    headless_set_clock(kClock);
    gps_reset();
    map_view_reset(&map_view);
    app_window_reset();
    settings_program_defaults(&program_settings);
    app_create();
    app_size(1920, 1080);
    app_window.settings->connected = 1;
    fixAt(kLat, kLon, 0);
    app_paint();
    if (points) {
        ruler_toggle();
        for (int i = 0; i < points; i++) ruler_click(100 + i * 1700 / points, 150 + (i % 5) * 180);
        app_track_mark = TrackMark{1, kLat + 0.01, kLon + 0.02};
    }
    PlatformBackend quiet{};
    quiet.blit_xrgb = noBlit;
    quiet.draw_text = noText;
    quiet.clock_seconds = manualClock;
    platform_install(&quiet);
    int i = 0;
    for (auto _ : state) {
        if (state.range(1)) {
            // Only what Measure draws, on the frame the paint composed.
            ClientFrame* f = &app_window.frame;
            ruler_draw(f, APP_PANE_X, APP_PANE_Y, map_view.paneWidth, map_view.paneHeight);
            track_mark_draw(f, APP_PANE_X, APP_PANE_Y, map_view.paneWidth, map_view.paneHeight);
            ruler_draw_text(APP_PANE_X, APP_PANE_Y, map_view.paneWidth, map_view.paneHeight, 0);
            benchmark::DoNotOptimize(f->px[0]);
            continue;
        }
        // The vehicle moves a few pixels each time; the view follows it.
        fixAt(kLat + 0.0004 * (i % 100), kLon + 0.0006 * (i % 100), i);
        app_paint();
        i++;
    }
    state.counters["ruler_points"] = static_cast<double>(app_ruler.points.size());
    ruler_end();
    app_track_mark.shown = 0;
    app_window.settings->connected = 0;
    headless_install();
    app_close();
    app_destroy();
    map_view_reset(&map_view);
    app_window_reset();
    std::filesystem::current_path(home);
}

}  // namespace

// Whole paints without and with the ruler, and the ruler's drawing alone.
BENCHMARK(PaintFullHdWithRuler)
    ->Args({0, 0})
    ->Args({20, 0})
    ->Args({20, 1})
    ->ArgNames({"points", "ruler_only"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
