#include "tools/kivsheet/kivsheet_area.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>

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
#include "maps/sheet_source.h"
#include "maps/zoom_levels.h"
#include "maps/sheet_download.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_store.h"
#include "maps/tile_source.h"
#include "settings/app_settings.h"
#include "tracks/gpx_reader.h"
#include "settings/ini_keys.h"
#include "settings/program_settings.h"
#include "settings/settings_load.h"
#include "net/http_client.h"
#include "tracks/track_log.h"
#include "tools/kivsheet/kivsheet_options.h"

namespace {

using Clock = std::chrono::steady_clock;

int fail(const char* what, const char* detail) {
    fprintf(stderr, "kivsheet: %s%s\n", what, detail);
    return 2;
}

using Options = KivsheetOptions;

}  // namespace

void kivsheet_load_settings(AppSettings* s) {
    settings_defaults(s);
    settings_read_display_keys(s);
    settings_read_linux_keys(s);
    // One line each, named as every message of the tool is.
    for (const char* line = s->readWarnings; *line;) {
        const char* end = strchr(line, '\n');
        int length = end ? static_cast<int>(end - line) : static_cast<int>(strlen(line));
        fprintf(stderr, "kivsheet: %.*s\n", length, line);
        line += length + (end ? 1 : 0);
    }
    program_settings.zoomLetter = settings_read_zoom_letter();
    http_set_contact(s->userAgent);
}

namespace {

std::string megabytes(double bytes) {
    char t[32];
    if (bytes < 1e6) snprintf(t, sizeof t, "%.0f kB", bytes / 1e3);
    else if (bytes < 1e9) snprintf(t, sizeof t, "%.1f MB", bytes / 1e6);
    else snprintf(t, sizeof t, "%.1f GB", bytes / 1e9);
    return t;
}

std::string clock(double seconds) {
    long s = std::lround(std::max(0.0, seconds));
    char t[32];
    snprintf(t, sizeof t, "%ld:%02ld", s / 60, s % 60);
    return t;
}

// Set by Ctrl-C (or a TERM): the fetch winds down, so that transfers in
// flight remove their part files and temporary files before the exit.
volatile sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

struct Run {
    FILE* out;                         // the real standard output
    int bar;                           // a terminal: one line redrawn
    const AppSettings* settings;
    const Options* options;
};

void eachSheet(const AreaSheet& a, int ok, int64_t bytes, const char* why, void* context) {
    auto* r = static_cast<Run*>(context);
    if (r->bar) return;
    char name[SHEET_PATH_MAX];
    // The file as stored: a WMS sheet is a PNG.
    sheet_stored(name, sheet_source_store_dir(r->settings, r->options->aerial), a.lat, a.lon, a.level, r->options->big,
                r->options->aerial ? SHEET_JPEG : SHEET_GIF);
    fprintf(r->out, "%s %s %lld\n", ok == 1 ? "fetched" : ok == 2 ? "stored" : "failed", name,
            static_cast<long long>(bytes));
    fflush(r->out);
    if (ok == 0) fprintf(stderr, "kivsheet: %s: %s\n", name, why);
}

// The terminal's width: the window size, else COLUMNS, else 80.
int terminalColumns(FILE* out) {
    struct winsize ws{};
    if (ioctl(fileno(out), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    const char* c = getenv("COLUMNS");
    int n = c ? atoi(c) : 0;
    return n > 0 ? n : 80;
}

// One line redrawn in place: cut to the terminal's width (less one column,
// so the cursor never wraps), the bar shortened first.
void drawBar(FILE* out, const AreaFetchCounts& c, double seconds) {
    double rate = seconds > 0 ? c.done / seconds : 0;
    char text[160];
    snprintf(text, sizeof text, " %d/%d sheets  %s  %.1f sheets/s  %s left", c.done, c.total,
             megabytes(static_cast<double>(c.bytes)).c_str(), rate,
             rate > 0 ? clock((c.total - c.done) / rate).c_str() : "?:??");
    int columns = terminalColumns(out) - 1;
    int width = std::min(24, columns - static_cast<int>(strlen(text)) - 2);
    std::string line;
    if (width >= 4) {
        int filled = c.total ? width * c.done / c.total : width;
        line = "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '-');
        line += "]";
    }
    line += text;
    line.resize(static_cast<size_t>(std::max(0, columns)), ' ');
    fprintf(out, "\r%s", line.c_str());
    fflush(out);
}

// Over AREA_SHEETS_ASK_ABOVE sheets without --force: the count (-1: more
// than that) and the size are printed, and nothing is checked or fetched.
int tooMany(long long count, int64_t bytes, const Options& o) {
    if (count >= 0) printf("%lld sheets, about %s\n", count, megabytes(static_cast<double>(bytes)).c_str());
    else printf("more than %d sheets\n", static_cast<int>(AREA_SHEETS_ASK_ABOVE));
    fflush(stdout);
    if (o.dryRun) return 0;
    fprintf(stderr, "kivsheet: more than %d sheets: narrow the area, corridor or levels, or add --force\n",
            static_cast<int>(AREA_SHEETS_ASK_ABOVE));
    return 2;
}

// Lists, counts and (unless a dry run) fetches the sheets.
int fetchSheets(const std::vector<AreaSheet>& all, AppSettings* s, const Options& o) {
    std::vector<AreaSheet> missing;
    int64_t estimate = 0;
    for (const AreaSheet& a : all)
        if (o.refresh || !area_sheet_stored(s, a, o.aerial, o.big, nullptr)) {
            missing.push_back(a);
            estimate += area_sheet_typical_bytes(a.level, o.aerial, o.big);
        }
    size_t stored = all.size() - missing.size();
    if (o.refresh) {
        for (const AreaSheet& a : all) stored += area_sheet_stored(s, a, o.aerial, o.big, nullptr);
        printf("%zu sheets, %zu stored and renewed, %zu to fetch in all, about %s\n", all.size(), stored,
               missing.size(), megabytes(static_cast<double>(estimate)).c_str());
        stored = 0;
    } else {
        printf("%zu sheets, %zu stored, %zu to fetch, about %s\n", all.size(), stored, missing.size(),
               megabytes(static_cast<double>(estimate)).c_str());
    }
    fflush(stdout);
    if (o.dryRun || missing.empty()) return 0;
    std::string refused;
    if (tile_source_bulk_refused(o.aerial ? &s->tilesAerial : &s->tiles, static_cast<long>(missing.size()), o.big,
                        sheet_source_maps_root(s), &refused))
        return fail(refused.c_str(), "");

    // The network layer's diagnostics go to standard error; standard output
    // carries the progress.
    Run run{nullptr, isatty(1), s, &o};
    int saved = dup(1);
    run.out = saved >= 0 ? fdopen(saved, "w") : stdout;
    if (saved >= 0) dup2(2, 1);

    sheet_download_install();
    AreaFetchJob job{s, o.aerial, o.big, s->rose, s->grid, o.jobs, sheet_download_hooks, o.refresh};
    auto start = Clock::now();
    struct sigaction stop {}, oldInt {}, oldTerm {};
    stop.sa_handler = onInterrupt;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, &oldInt);
    sigaction(SIGTERM, &stop, &oldTerm);
    AreaFetch* f = area_fetch_start(missing, job, eachSheet, &run);
    AreaFetchCounts c{};
    bool cancelled = false;
    for (;;) {
        if (interrupted && !cancelled) {
            cancelled = true;
            area_fetch_cancel(f);
            sheet_download_hooks.cancelDownloads(1);
        }
        area_fetch_counts(f, &c);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (run.bar) drawBar(run.out, c, seconds);
        if (c.finished) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    area_fetch_end(f);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    if (interrupted) {
        fprintf(stderr, "kivsheet: interrupted after %d sheets fetched\n", c.fetched);
        return 130;
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (run.bar) fputc('\n', run.out);
    fprintf(run.out, "%d fetched (%s), %zu already stored, %d failed in %.1f s (%.1f sheets/s)\n", c.fetched,
            megabytes(static_cast<double>(c.bytes)).c_str(), stored + static_cast<size_t>(c.skipped), c.failed,
            seconds, seconds > 0 ? c.fetched / seconds : 0.0);
    fflush(run.out);
    if (c.stopped)
        fprintf(stderr,
                "kivsheet: %s does not answer with sheets: stopped after %d sheets in a row failed (each tried %d "
                "times), %d not tried\n",
                sheet_source_shown(s, o.aerial).c_str(), static_cast<int>(AREA_FETCH_FAILURES_IN_A_ROW),
                static_cast<int>(AREA_FETCH_TRIES), c.total - c.done);
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
    kivsheet_load_settings(&s);
    if (int rc = kivsheet_apply_paths(o, &s)) return rc;
    // Counted first: a continent at the finest level is millions of sheets.
    long long count = 0;
    int64_t bytes = 0;
    for (int level = 0; level <= ZOOM_FINEST; level++) {
        if (!(o.levels & (1 << level))) continue;
        long long n = area_sheets_count_in_box(o.bbox[0], o.bbox[1], o.bbox[2], o.bbox[3], level, o.big);
        if (n < 0)
            return fail("bad box: latitudes -90 to 90, longitudes -180 to 180, south not above north"
                        " (a west edge east of the east one crosses 180 degrees)",
                        "");
        count += n;
        bytes += n * area_sheet_typical_bytes(level, o.aerial, o.big);
    }
    if (count > AREA_SHEETS_ASK_ABOVE && !o.force) return tooMany(count, bytes, o);
    std::vector<AreaSheet> all;
    for (int level = 0; level <= ZOOM_FINEST; level++)
        if (o.levels & (1 << level)) area_sheets_in_box(o.bbox[0], o.bbox[1], o.bbox[2], o.bbox[3], level, o.big, &all);
    return fetchSheets(all, &s, o);
}

int kivsheet_fetch_route(const Options& o) {
    static AppSettings s;
    kivsheet_load_settings(&s);
    if (int rc = kivsheet_apply_paths(o, &s)) return rc;
    // Each track, route and waypoint on its own: never a line from one to the next.
    std::vector<std::vector<AreaPoint>> lines;
    if (endsWith(o.route, ".gpx")) {
        GpxData data;
        std::string why;
        if (!gpx_read_file(o.route, &data, &why)) return fail(o.route, (": " + why).c_str());
        for (const GpxLine& line : data.lines) {
            lines.emplace_back();
            for (const GpxPoint& p : line.points) lines.back().push_back(AreaPoint{p.lat, p.lon});
        }
        for (const GpxWaypoint& w : data.waypoints) lines.push_back({AreaPoint{w.lat, w.lon}});
    } else {
        lines.emplace_back();
        if (track_log_read_points(o.route, addTrackPoint, &lines.back()) < 0) return fail("cannot open ", o.route);
    }
    size_t points = 0;
    for (const auto& line : lines) points += line.size();
    if (points == 0) return fail("no points in ", o.route);
    size_t limit = o.force ? SIZE_MAX : static_cast<size_t>(AREA_SHEETS_ASK_ABOVE);
    std::vector<AreaSheet> all;
    for (int level = 0; level <= ZOOM_FINEST; level++)
        if (o.levels & (1 << level)) area_sheets_along(lines, o.corridorKm, level, o.big, &all, limit);
    if (all.size() > limit) return tooMany(-1, 0, o);
    return fetchSheets(all, &s, o);
}
