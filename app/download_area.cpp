#include "app/download_area.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/position_refresh.h"
#include "app/sheet_fetching.h"
#include "maps/area_sheets.h"
#include "maps/area_sheets_fetch.h"
#include "maps/map_view.h"
#include "maps/sheet_source.h"
#include "maps/tile_source.h"
#include "maps/view_plane.h"
#include "platform/platform.h"
#include "settings/app_settings.h"

namespace {

constexpr int kJobs = 2;

AreaFetch* running = nullptr;
int cancelled = 0;
// The progress dialog is up: the fetch's end is its to report, and the
// window's timer, which runs under the dialog, leaves the fetch alone.
int watched = 0;

struct Box {
    double south, west, north, east;
};

// The displayed sheet's extent in degrees (west beyond east across 180
// degrees); the sheet's grid cell when the extent cannot be turned back
// into degrees.
Box viewBox() {
    const MapView& v = map_view;
    Box b{1e9, 1e9, -1e9, -1e9};
    bool ok = v.extMaxX > v.extMinX && v.extMaxY > v.extMinY;
    const double xs[2] = {v.extMinX, v.extMaxX}, ys[2] = {v.extMinY, v.extMaxY};
    double lons[4];
    for (int i = 0; ok && i < 4; i++) {
        double lat = 0;
        ok = view_plane_to_degrees(v.extPlane, xs[i & 1], ys[i >> 1], &lat, &lons[i]) == 1;
        b.south = std::min(b.south, lat), b.north = std::max(b.north, lat);
    }
    if (ok) {
        area_longitude_span(lons, 4, 0, &b.west, &b.east);
        return b;
    }
    double half = zoom_level_step(v.zoomLevel) / 2;
    b = Box{std::max(-90.0, v.sheetLat - half), 0, std::min(90.0, v.sheetLat + half), 0};
    area_longitude_span(&v.sheetLon, 1, half, &b.west, &b.east);
    return b;
}

void poll(DownloadAreaProgress* p) {
    if (!running) {
        p->finished = 1;
        return;
    }
    AreaFetchCounts c;
    area_fetch_counts(running, &c);
    p->percent = c.total ? 100 * c.done / c.total : 100;
    snprintf(p->text, sizeof p->text, "%d of %d sheets, %.1f MB%s%s", c.done, c.total,
             static_cast<double>(c.bytes) / 1e6, c.failed ? ", failed: " : "",
             c.failed ? std::to_string(c.failed).c_str() : "");
    p->finished = c.finished;
}

void cancel() {
    if (running) area_fetch_cancel(running);
    cancelled = 1;
}

void sheetArrived(const AreaSheet&, int ok, int64_t, const char*, void*) {
    if (ok == 1) platform_invalidate(0);   // the view may be waiting for it
}

}  // namespace

void command_download_area(AppSettings* s) {
    if (running) {
        platform_warn("A Download Area is still running.");
        return;
    }
    // Counting the stored sheets reads the folder tree.
    platform_busy_cursor(1);
    Box b = viewBox();
    DownloadAreaChoice choice{};
    char southWest[72], northEast[72];   // both fit the choice's text
    app_format_degrees(southWest, sizeof southWest, b.south, b.west);
    app_format_degrees(northEast, sizeof northEast, b.north, b.east);
    snprintf(choice.area, sizeof choice.area, "%s to %s", southWest, northEast);
    std::vector<AreaSheet> perLevel[ZOOM_LEVELS];
    for (int level = 0; level < ZOOM_LEVELS; level++) {
        area_sheets_in_box(b.south, b.west, b.north, b.east, level, s->bigMaps, &perLevel[level]);
        choice.sheets[level] = static_cast<int>(perLevel[level].size());
        for (const AreaSheet& a : perLevel[level])
            choice.stored[level] += area_sheet_stored(s, a, s->satelliteImage, s->bigMaps, nullptr);
        // The level shown and the next finer one, to start with.
        choice.chosen[level] = level == map_view.zoomLevel || level == map_view.zoomLevel + 1;
    }
    platform_busy_cursor(0);
    if (platform_run_dialog(PLATFORM_DIALOG_DOWNLOAD_AREA, &choice) != 1) return;
    std::vector<AreaSheet> sheets;
    for (int level = 0; level < ZOOM_LEVELS; level++)
        if (choice.chosen[level]) sheets.insert(sheets.end(), perLevel[level].begin(), perLevel[level].end());
    if (sheets.empty()) return;
    long toFetch = 0;
    for (int level = 0; level < ZOOM_LEVELS; level++)
        if (choice.chosen[level]) toFetch += choice.refresh ? choice.sheets[level] : choice.sheets[level] - choice.stored[level];
    std::string refused;
    if (tile_source_bulk_refused(s->satelliteImage ? &s->tilesAerial : &s->tiles, toFetch, s->bigMaps, sheet_source_maps_root(s),
                        &refused)) {
        platform_warn(("Download Area: " + refused + ".").c_str());
        return;
    }
    if (sheets.size() > AREA_SHEETS_ASK_ABOVE) {
        int64_t bytes = 0;
        for (int level = 0; level < ZOOM_LEVELS; level++)
            if (choice.chosen[level])
                bytes += (choice.sheets[level] - choice.stored[level]) *
                         area_sheet_typical_bytes(level, s->satelliteImage, s->bigMaps);
        char text[200];
        snprintf(text, sizeof text, "That is %zu sheets, about %.0f MB to fetch. Download them all?", sheets.size(),
                 static_cast<double>(bytes) / 1e6);
        if (platform_message_box(text, "Kiv", PLATFORM_MB_YESNO | PLATFORM_MB_WARNING) != PLATFORM_ANSWER_YES)
            return;
    }
    AreaFetchJob job{s, s->satelliteImage, s->bigMaps, s->rose, s->grid, kJobs, sheet_fetching_downloads(),
                     choice.refresh};
    cancelled = 0;
    running = area_fetch_start(sheets, job, sheetArrived, nullptr);
    DownloadAreaProgress progress{};
    progress.poll = poll;
    progress.cancel = cancel;
    poll(&progress);
    watched = 1;
    platform_run_dialog(PLATFORM_DIALOG_DOWNLOAD_PROGRESS, &progress);
    watched = 0;
    if (!running) return;              // ended by the window's close under the dialog
    poll(&progress);
    if (!progress.finished) {
        // Closed without Cancel (or by a backend that does not wait): the
        // fetch ends here too rather than run unseen.
        cancel();
        return;
    }
    AreaFetchCounts c;
    area_fetch_counts(running, &c);
    area_fetch_end(running);
    running = nullptr;
    char text[300];
    snprintf(text, sizeof text, "Download Area: %d sheets fetched (%.1f MB), %d already stored, %d failed.%s",
             c.fetched, static_cast<double>(c.bytes) / 1e6, c.skipped, c.failed,
             c.stopped ? " Stopped: sheet after sheet failed, the map server cannot be reached." : "");
    platform_message_box(text, "Kiv", c.failed ? PLATFORM_MB_WARNING : PLATFORM_MB_INFO);
}

int download_area_running() { return running != nullptr; }

void download_area_poll() {
    if (!running || watched) return;
    AreaFetchCounts c;
    area_fetch_counts(running, &c);
    if (!c.finished) return;
    area_fetch_end(running);
    running = nullptr;
}

void download_area_stop() {
    if (!running) return;
    area_fetch_cancel(running);
    // Left set: exit follows, and a new start lifts it.
    SheetDownloadHooks h = sheet_fetching_downloads();
    if (h.cancelDownloads) h.cancelDownloads(1);
    area_fetch_end(running);
    running = nullptr;
}
