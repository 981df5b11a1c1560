// The main window on the headless backend: one paint at 720 x 540 with
// marker, trail and speed text (targets: <= 2 ms), start-up to the first
// paint (<= 300 ms), resident memory after an hour's drive at 1 Hz with the
// trail on (<= 40 MB), and an auto-pan sheet change from the store (<= 5 ms).
// GPX: the same paint with a 100,000-point track open (<= 1 ms more), the
// load of such a file (well under a second), and the recording's cost per
// point with and without the wait for the disk. The user's waypoints on
// that paint (<= 0.3 ms more for a thousand). Go To: what a route, the
// line to the point steered to, the arrow at the pane's edge and the strip
// add to a 1920 x 1080 paint (<= 0.3 ms). Night colours at 1920 x 1080: the
// paint composed in them against the day's paint dimmed over whole.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/go_to.h"
#include "app/night_by_sun.h"
#include "app/night_palette.h"
#include "app/track_overlay.h"
#include "app/window_events.h"
#include "maps/lcc.h"
#include "maps/map_view.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_store.h"
#include "maps/view_plane.h"
#include "maps/zoom_levels.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "tracks/gpx_reader.h"
#include "tracks/gpx_writer.h"
#include "settings/program_settings.h"
#include "tests/sheet_test_files.h"

namespace {

constexpr double kStep = 1 / 6.0;   // level 2
constexpr int64_t kClock = 1700000000;

// A working folder with settings and map-like sheets on a grid of level-2
// points around (45.5, -75.6667); the process works in it while alive.
struct Workspace {
    TempTree tree;
    std::filesystem::path oldCwd = std::filesystem::current_path();
    Workspace(int big, int rows, int columns, const std::string& ini, int firstRow = 0, int firstColumn = 0) {
        std::filesystem::current_path(tree.root);
        writeFile("kiv_com.txt", big ? "COM0\nBig\n" : "COM0\nSmall\n");
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\nDash=K\n" + ini);
        const int w = view_sheet_width(big), h = view_sheet_height(big);
        Bytes plain = makeGif(w, h, mapLikeIndices(w, h));
        for (int r = firstRow; r < firstRow + rows; r++)
            for (int c = firstColumn; c < firstColumn + columns; c++) {
                double lat = 45.5 + r * kStep, lon = -(75 + 40 / 60.0) + c * kStep * (big ? 2 : 1);
                double cx, cy;
                ll2lcc(&cx, &cy, lat, lon);
                double hm = 1.5 * kStep * 111000.0, wm = hm * w / h;
                SheetExtent e{200000, cx, cy, cx - wm / 2, cy - hm / 2, cx + wm / 2, cy + hm / 2, 0};
                char record[256], path[SHEET_PATH_MAX];
                sheet_extent_format(record, sizeof record, &e);
                unsigned char* out = nullptr;
                size_t size = 0;
                sheet_extent_insert_gif(plain.data(), plain.size(), record, &out, &size);
                sheet_path(path, sizeof path, "./Maps", lat, lon, 2, big, SHEET_GIF);
                writeBytes(path, Bytes(out, out + size));
                free(out);
            }
    }
    ~Workspace() { std::filesystem::current_path(oldCwd); }
    static void writeFile(const char* name, const std::string& text) {
        FILE* f = fopen(name, "w");
        if (!f) return;
        fputs(text.c_str(), f);
        fclose(f);
    }
};

void startApp() {
    headless_install();
    headless_set_clock(kClock);
    gps_reset();
    map_view_reset(&map_view);
    app_window_reset();
    settings_program_defaults(&program_settings);
    app_create();
}

void stopApp() {
    if (app_window.settings) {
        app_close();
        app_destroy();
    }
    map_view_reset(&map_view);
    app_window_reset();
}

// A connected receiver moving east at 36 km/h (the link flag is all the
// speed read-out asks for).
void fixAt(double lat, double lon, int64_t second) {
    int64_t s = second % 86400;
    gps_set_time_utc(2025, 5, 8, static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    gps_set_latitude(lat);
    gps_set_longitude(lon);
    gps_set_speed_knots(19.4);
    gps_set_course(90);
    gps_set_fix_mode(3);
}

// A line of /proc/self/status in kB ("VmRSS:", or "RssAnon:" for the
// program's own memory without the mapped files).
long statusKb(const char* field) {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    size_t n = strlen(field);
    while (fgets(line, sizeof line, f))
        if (!strncmp(line, field, n)) kb = strtol(line + n, nullptr, 10);
    fclose(f);
    return kb;
}

// Blit and text go nowhere: what the paint handler itself costs.
void noBlit(int, int, int, int, const uint32_t*, int) {}
void noText(int, int, const char*, int, int, uint32_t) {}
int64_t manualClock() { return kClock; }

// Paints with nothing put on a screen, no text laid out and the clock held.
PlatformBackend quietBackend() {
    PlatformBackend quiet{};
    quiet.blit_xrgb = noBlit;
    quiet.draw_text = noText;
    quiet.clock_seconds = manualClock;
    return quiet;
}

void PaintBigWithMarkerTrailAndSpeed(benchmark::State& state) {
    const bool wholeRefresh = state.range(0) != 0;
    Workspace ws(1, 1, 1, "");
    startApp();
    app_window.settings->track = 1;
    app_window.settings->connected = 1;
    PlatformBackend quiet = quietBackend();
    if (!wholeRefresh) platform_install(&quiet);
    int i = 0;
    int texts = 0;
    for (auto _ : state) {
        // The marker moves a few pixels each time, the trail grows.
        fixAt(45.5 + 0.0004 * (i % 100), -(75 + 40 / 60.0) + 0.0006 * (i % 100), i);
        app_paint();
        i++;
        if (wholeRefresh && i == 1) texts = static_cast<int>(headless_calls_of("draw_text").size());
        if (wholeRefresh && (i & 255) == 0) headless_reset(), headless_set_clock(kClock);
    }
    if (wholeRefresh) state.counters["texts_first_paint"] = texts;
    app_window.settings->connected = 0;
    headless_install();
    stopApp();
}

// A 100,000-point drive as Kiv records it, one point a second at about
// 15 m/s, zig-zagging over a square of side `spread` degrees of latitude
// centred on the bench sheet (0.25 degrees tall): with spread 1 about a
// sixteenth of the points are on the sheet, with 0.2 all of them.
std::string driveGpx(const char* path, double spread) {
    GpxWriter w;
    gpx_writer_open(&w, path, "bench");
    const int kPoints = 100000, rows = 40;
    const double lat0 = 45.5 + kStep / 2 - spread / 2, lon0 = -(75 + 40 / 60.0) + kStep - spread * 0.7;
    for (int i = 0; i < kPoints; i++) {
        int row = i * rows / kPoints;
        double along = static_cast<double>(i * rows % kPoints) / kPoints;
        if (row & 1) along = 1 - along;
        GpxPoint p = gpx_point(lat0 + spread * row / rows, lon0 + spread * 1.4 * along);
        p.time = 1746705600 + i, p.ele = 80, p.speed = 15, p.course = 90, p.fix = 3, p.sat = 9, p.hdop = 0.9;
        gpx_writer_point(&w, &p);
    }
    gpx_writer_close(&w);
    return path;
}

// The paint of PaintBigWithMarkerTrailAndSpeed with nothing (0), a drive
// around the sheet (1) or a drive all on it (2) open.
void PaintBigWithOpenTrack(benchmark::State& state) {
    const int track = static_cast<int>(state.range(0));
    Workspace ws(1, 1, 1, "");
    if (track) driveGpx("drive.gpx", track == 1 ? 1.0 : 0.2);
    startApp();
    app_window.settings->track = 1;
    app_window.settings->connected = 1;
    if (track) track_overlay_open("drive.gpx");
    PlatformBackend quiet = quietBackend();
    platform_install(&quiet);
    int i = 0;
    for (auto _ : state) {
        fixAt(45.5 + 0.0004 * (i % 100), -(75 + 40 / 60.0) + 0.0006 * (i % 100), i);
        app_paint();
        i++;
    }
    track_overlay_close_all();
    app_window.settings->connected = 0;
    headless_install();
    stopApp();
}

// The same paint with none, 100 or 1000 of the user's waypoints spread
// over the sheet, names and all (target: <= 0.3 ms more than none).
void PaintBigWithWaypoints(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Workspace ws(1, 1, 1, "");
    std::vector<GpxWaypoint> list;
    for (int i = 0; i < count; i++)
        list.push_back(GpxWaypoint{45.45 + 0.1 * (i % 37) / 37, -(75 + 40 / 60.0) - 0.15 + 0.3 * (i % 41) / 41,
                                   "WPT" + std::to_string(i + 1), GPX_TIME_UNKNOWN, NAN, "", ""});
    Workspace::writeFile("waypoints.gpx", gpx_waypoints_document(list));
    startApp();
    app_window.settings->connected = 1;
    PlatformBackend quiet = quietBackend();
    platform_install(&quiet);
    int i = 0;
    for (auto _ : state) {
        fixAt(45.5 + 0.0004 * (i % 100), -(75 + 40 / 60.0) + 0.0006 * (i % 100), i);
        app_paint();
        i++;
    }
    app_window.settings->connected = 0;
    headless_install();
    stopApp();
}

// A 1920 x 1080 paint of the moving vehicle without (0) and with (1) a
// 40-point route around it being followed, the point steered to 100 km off
// the pane: legs, line, arrow and strip.
void PaintGoTo1920x1080(benchmark::State& state) {
    Workspace ws(1, 1, 1, "");
    startApp();
    app_size(1920, 1080);
    app_window.settings->connected = 1;
    const double lat0 = 45.5 + kStep / 2, lon0 = -(75 + 40 / 60.0) + kStep;
    if (state.range(0)) {
        std::vector<NavPoint> route;
        for (int i = 0; i < 40; i++) route.push_back(NavPoint{lat0 + 0.02 * (i % 2), lon0 + 0.005 * i, "R"});
        route.insert(route.begin() + 1, NavPoint{lat0 + 0.9, lon0 + 0.3, "Far"});
        go_to_route(route, 1);
    }
    PlatformBackend quiet = quietBackend();
    platform_install(&quiet);
    int i = 0;
    for (auto _ : state) {
        fixAt(lat0 + 0.0004 * (i % 100), lon0 + 0.0006 * (i % 100), i);
        app_paint();
        i++;
    }
    go_to_stop();
    app_window.settings->connected = 0;
    headless_install();
    stopApp();
}

// A 1920 x 1080 paint of the vehicle driving east, north-up (0) and
// course-up (1): the turned view composes the square under the pane and
// turns it in.
void PaintCourseUp1920x1080(benchmark::State& state) {
    Workspace ws(1, 3, 4, "");
    startApp();
    app_size(1920, 1080);
    app_window.settings->connected = 1;
    app_window.courseUp = static_cast<int32_t>(state.range(0));
    const double lat0 = 45.5 + kStep / 2, lon0 = -(75 + 40 / 60.0) + kStep;
    PlatformBackend quiet = quietBackend();
    platform_install(&quiet);
    int i = 0;
    for (auto _ : state) {
        fixAt(lat0, lon0 + 0.0006 * (i % 100), i);
        app_paint();
        i++;
    }
    app_window.courseUp = 0;
    app_window.settings->connected = 0;
    headless_install();
    stopApp();
}

// A 1920 x 1080 paint at night of the vehicle driving east (no trail: it
// would grow with the iterations), north-up and course-up: composed in day colours and then passed over
// whole through the night palette, as night was painted before (0), or
// composed and marked in night colours at once (1).
void PaintNight1920x1080(benchmark::State& state) {
    const bool atOnce = state.range(0) != 0;
    Workspace ws(1, 3, 4, "");
    startApp();
    app_size(1920, 1080);
    app_window.settings->connected = 1;
    app_window.courseUp = static_cast<int32_t>(state.range(1));
    night_by_sun_set_mode(atOnce ? NIGHT_MODE_NIGHT : NIGHT_MODE_DAY);
    const double lat0 = 45.5 + kStep / 2, lon0 = -(75 + 40 / 60.0) + kStep;
    PlatformBackend quiet = quietBackend();
    platform_install(&quiet);
    NightPalette palette;
    night_palette_make(&palette);
    int i = 0;
    for (auto _ : state) {
        fixAt(lat0, lon0 + 0.0006 * (i % 100), i);
        app_paint();
        const ClientFrame& f = app_window.frame;
        if (!atOnce) night_palette_apply(palette, f.px, f.stride, 0, 0, f.width, f.height);
        i++;
    }
    night_by_sun_set_mode(NIGHT_MODE_DAY);
    app_window.courseUp = 0;
    app_window.settings->connected = 0;
    headless_install();
    stopApp();
}

void LoadGpx100kPoints(benchmark::State& state) {
    Workspace ws(1, 1, 1, "");
    driveGpx("drive.gpx", 1.0);
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size("drive.gpx")) / 1e6;
    for (auto _ : state) {
        track_overlay_open("drive.gpx");
        state.PauseTiming();
        track_overlay_close_all();
        state.ResumeTiming();
    }
}

// One recorded point: formatting and the write over the closing tags, and
// with sync also the wait until it is on the disk.
void GpxWritePoint(benchmark::State& state) {
    Workspace ws(1, 1, 1, "");
    GpxWriter w;
    gpx_writer_open(&w, "write.gpx", "bench");
    w.sync = static_cast<int>(state.range(0));
    int i = 0;
    for (auto _ : state) {
        GpxPoint p = gpx_point(45.5 + i * 1e-5, -75.6 + i * 1e-5);
        p.time = 1746705600 + i, p.ele = 80, p.speed = 15, p.course = 90, p.fix = 3, p.sat = 9, p.hdop = 0.9;
        gpx_writer_point(&w, &p);
        i++;
    }
    gpx_writer_close(&w);
}

void StartupToFirstPaint(benchmark::State& state) {
    Workspace ws(1, 1, 1, "");
    for (auto _ : state) {
        startApp();
        app_paint();
        state.PauseTiming();
        stopApp();
        state.ResumeTiming();
    }
}

void AutoPanSheetChange(benchmark::State& state) {
    const int big = static_cast<int>(state.range(0));
    Workspace ws(big, 1, 2, "");
    startApp();
    const double lat = 45.5, lon0 = -(75 + 40 / 60.0), lon1 = lon0 + kStep * (big ? 2 : 1);
    int i = 0;
    for (auto _ : state) {
        fixAt(lat, (i & 1) ? lon1 : lon0, i);
        app_paint();   // each paint follows the fix onto the other sheet
        i++;
    }
    stopApp();
}

// An hour at 1 Hz (the clock runs as fast as the paints), trail and track
// log on, auto-pan across level-2 sheets, in a client of the given size
// (0: the window's own).
void driveHour(benchmark::State& state, int rows, int columns, int firstRow, int firstColumn, int width, int height) {
    Workspace ws(1, rows, columns, "File=track.txt\n", firstRow, firstColumn);
    for (auto _ : state) {
        startApp();
        if (width > 0) app_size(width, height);
        app_window.settings->track = 1;
        app_window.settings->connected = 1;
        const double lat0 = 45.52, lon0 = -(75 + 40 / 60.0) - 0.1;
        for (int s = 0; s < 3600; s++) {
            headless_set_clock(kClock + s);
            // 36 km/h, east-north-east: about 36 km, across several sheets.
            double km = s * 0.01;
            fixAt(lat0 + km * 0.3 / 111.0, lon0 + km * 0.95 / 78.0, 43200 + s);
            app_paint();
            if ((s & 2) == 0) app_timer();
            if ((s & 255) == 0) headless_reset(), headless_set_clock(kClock + s);
        }
        state.counters["VmRSS_kB"] = static_cast<double>(statusKb("VmRSS:"));
        state.counters["RssAnon_kB"] = static_cast<double>(statusKb("RssAnon:"));
        app_window.settings->connected = 0;
        stopApp();
    }
}

void HourDriveResidentMemory(benchmark::State& state) { driveHour(state, 2, 3, 0, 0, 0, 0); }

// The same at 3840 x 2160 over a store that fills the pane all the way
// there (target: RssAnon <= 150 MB).
void HourDriveResidentMemory3840x2160(benchmark::State& state) { driveHour(state, 12, 12, -6, -6, 3840, 2160); }

}  // namespace

BENCHMARK(PaintBigWithMarkerTrailAndSpeed)->Arg(0)->Arg(1)->ArgName("whole_refresh")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintBigWithOpenTrack)->Arg(0)->Arg(1)->Arg(2)->ArgName("track")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintBigWithWaypoints)->Arg(0)->Arg(100)->Arg(1000)->ArgName("waypoints")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintGoTo1920x1080)->Arg(0)->Arg(1)->ArgName("route")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintCourseUp1920x1080)->Arg(0)->Arg(1)->ArgName("course_up")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintNight1920x1080)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"at_once", "course_up"})->Unit(benchmark::kMillisecond);
BENCHMARK(LoadGpx100kPoints)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(GpxWritePoint)->Arg(0)->Arg(1)->ArgName("sync")->Unit(benchmark::kMicrosecond);
BENCHMARK(StartupToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(AutoPanSheetChange)->Arg(0)->Arg(1)->ArgName("big")->Unit(benchmark::kMillisecond);
BENCHMARK(HourDriveResidentMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(HourDriveResidentMemory3840x2160)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
