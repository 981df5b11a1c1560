#include "tools/kivsheet/kivsheet_area.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "maps/area_sheets.h"
#include "maps/area_sheets_fetch.h"
#include "maps/map_view.h"
#include "maps/sheet_download.h"
#include "maps/sheet_store.h"
#include "settings/app_settings.h"
#include "settings/gpx_reader.h"
#include "settings/ini_keys.h"
#include "settings/program_settings.h"
#include "settings/settings_load.h"
#include "settings/track_log.h"
#include "tools/kivsheet/kivsheet_options.h"

namespace {

using Clock = std::chrono::steady_clock;

int fail(const char* what, const char* detail) {
    fprintf(stderr, "kivsheet: %s%s\n", what, detail);
    return 2;
}

using Options = KivsheetOptions;

void loadSettings(AppSettings* s) {
    settings_defaults(s);
    settings_read_display_keys(s);
    settings_read_linux_keys(s);
    program_settings.zoomLetter = settings_read_zoom_letter();
}

std::string megabytes(double bytes) {
    char t[32];
    if (bytes < 1e6) snprintf(t, sizeof t, "%.0f kB", bytes / 1e3);
    else snprintf(t, sizeof t, "%.1f MB", bytes / 1e6);
    return t;
}

std::string clock(double seconds) {
    long s = std::lround(std::max(0.0, seconds));
    char t[32];
    snprintf(t, sizeof t, "%ld:%02ld", s / 60, s % 60);
    return t;
}

struct Run {
    FILE* out;                         // the real standard output
    int bar;                           // a terminal: one line redrawn
    const AppSettings* settings;
    const Options* options;
};

void eachSheet(const AreaSheet& a, int ok, int64_t bytes, void* context) {
    auto* r = static_cast<Run*>(context);
    if (r->bar) return;
    char name[SHEET_PATH_MAX];
    // The file as stored: a WMS sheet is a PNG.
    sheetStored(name, r->settings->mapsDir, a.lat, a.lon, a.level, r->options->big,
                r->options->aerial ? SHEET_JPEG : SHEET_GIF);
    fprintf(r->out, "%s %s %lld\n", ok == 1 ? "fetched" : ok == 2 ? "stored" : "failed", name,
            static_cast<long long>(bytes));
    fflush(r->out);
}

void drawBar(FILE* out, const AreaFetchCounts& c, double seconds) {
    const int width = 24;
    int filled = c.total ? width * c.done / c.total : width;
    double rate = seconds > 0 ? c.done / seconds : 0;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(width, '-');
    fprintf(out, "\r[%s] %d/%d sheets  %s  %.1f sheets/s  %s left ", bar.c_str(), c.done, c.total,
            megabytes(static_cast<double>(c.bytes)).c_str(), rate,
            rate > 0 ? clock((c.total - c.done) / rate).c_str() : "?:??");
    fflush(out);
}

// Lists, counts and (unless a dry run) fetches the sheets.
int fetchSheets(const std::vector<AreaSheet>& all, AppSettings* s, const Options& o) {
    std::vector<AreaSheet> missing;
    for (const AreaSheet& a : all)
        if (!area_sheet_stored(s, a, o.aerial, o.big, nullptr)) missing.push_back(a);
    int64_t each = area_sheet_estimate_bytes(s, all, o.aerial, o.big);
    size_t stored = all.size() - missing.size();
    printf("%zu sheets, %zu stored, %zu to fetch, about %s\n", all.size(), stored, missing.size(),
           megabytes(static_cast<double>(each) * static_cast<double>(missing.size())).c_str());
    fflush(stdout);
    if (o.dryRun || missing.empty()) return 0;

    // The network layer's diagnostics go to standard error; standard output
    // carries the progress.
    Run run{nullptr, isatty(1), s, &o};
    int saved = dup(1);
    run.out = saved >= 0 ? fdopen(saved, "w") : stdout;
    if (saved >= 0) dup2(2, 1);

    sheet_download_install();
    AreaFetchJob job{s, o.aerial, o.big, s->rose, s->grid, o.jobs, sheet_download_hooks};
    auto start = Clock::now();
    AreaFetch* f = area_fetch_start(missing, job, eachSheet, &run);
    AreaFetchCounts c{};
    for (;;) {
        area_fetch_counts(f, &c);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (run.bar) drawBar(run.out, c, seconds);
        if (c.finished) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    area_fetch_end(f, 1000);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (run.bar) fputc('\n', run.out);
    fprintf(run.out, "%d fetched (%s), %zu already stored, %d failed in %.1f s (%.1f sheets/s)\n", c.fetched,
            megabytes(static_cast<double>(c.bytes)).c_str(), stored + static_cast<size_t>(c.skipped), c.failed,
            seconds, seconds > 0 ? c.fetched / seconds : 0.0);
    fflush(run.out);
    return c.failed ? 2 : 0;
}

void addTrackPoint(double lat, double lon, void* context) {
    static_cast<std::vector<AreaPoint>*>(context)->push_back(AreaPoint{lat, lon});
}

bool endsWith(const char* s, const char* suffix) {
    size_t n = strlen(s), m = strlen(suffix);
    return n >= m && strcasecmp(s + n - m, suffix) == 0;
}

}  // namespace

int kivsheet_fetch_area(const Options& o) {
    static AppSettings s;
    loadSettings(&s);
    if (int rc = kivsheet_apply_paths(o, &s)) return rc;
    std::vector<AreaSheet> all;
    for (int level = 0; level <= 4; level++)
        if (o.levels & (1 << level) &&
            area_sheets_in_box(o.bbox[0], o.bbox[1], o.bbox[2], o.bbox[3], level, o.big, &all) < 0)
            return fail("bad box: south must not exceed north, nor west east", "");
    return fetchSheets(all, &s, o);
}

int kivsheet_fetch_route(const Options& o) {
    static AppSettings s;
    loadSettings(&s);
    if (int rc = kivsheet_apply_paths(o, &s)) return rc;
    std::vector<AreaPoint> points;
    if (endsWith(o.route, ".gpx")) {
        GpxData data;
        if (!gpx_read_file(o.route, &data)) return fail("not a GPX file: ", o.route);
        for (const GpxLine& line : data.lines)
            for (const GpxPoint& p : line.points) points.push_back(AreaPoint{p.lat, p.lon});
        if (points.empty())
            for (const GpxWaypoint& w : data.waypoints) points.push_back(AreaPoint{w.lat, w.lon});
    } else if (track_log_read_points(o.route, addTrackPoint, &points) < 0) {
        return fail("cannot open ", o.route);
    }
    if (points.empty()) return fail("no points in ", o.route);
    std::vector<AreaSheet> all;
    for (int level = 0; level <= 4; level++)
        if (o.levels & (1 << level)) area_sheets_along(points, o.corridorKm, level, o.big, &all);
    return fetchSheets(all, &s, o);
}
