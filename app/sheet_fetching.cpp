#include "app/sheet_fetching.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/navigation.h"
#include "app/pane_notice.h"
#include "app/view_pane.h"
#include "maps/map_view.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_fetch_queue.h"
#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "net/connectivity.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"

namespace {

struct Awaited {
    int active;
    int how;
    SheetFetchRequest request;
};

// Main thread only: what the last hook call queued, and the one sheet a
// user action or start-up waits for (a newer action replaces it).
int lastQueued = 0;
SheetFetchRequest lastRequest{};
Awaited awaited{};
int installed = 0;
SheetDownloadHooks realHooks{};
struct Failing {
    bool failing;
    char reason[256];
} lastFetch{};

// A stored sheet past its source's MaxAge= is renewed in the background
// while it is shown, when nothing else is being fetched (a needed sheet
// never waits behind a renewal); the queue replaces it only once whole.
void renewIfStale(SheetFetchRequest r, const AppSettings* s, const char* path) {
    SheetFetchRequest busy;
    if (!sheet_source_is_stale(s, r.aerial, path) || sheet_fetch_current(&busy)) return;
    r.reload = 1;
    sheet_fetch_request(&r);
}

// Ok with the stored sheet; else the sheet is asked of the queue, which
// shows it once it is stored: not ready now, with nothing to tell yet.
Result queueOrFind(const SheetFetchRequest& r, const AppSettings* s, char* outPath) {
    lastQueued = 0;
    if (sheet_stored(outPath, sheet_source_store_dir(s, r.aerial), r.lat, r.lon, r.level, r.bigMaps, r.aerial ? SHEET_JPEG : SHEET_GIF) >= 0) {
        renewIfStale(r, s, outPath);
        return result_ok();
    }
    int rc = sheet_fetch_request(&r);
    if (rc == SHEET_FETCH_QUEUED || rc == SHEET_FETCH_ALREADY) {
        lastQueued = 1;
        lastRequest = r;
    }
    return result_fail("");
}

Result queuedSheet(double lat, double lon, int level, const AppSettings* s, char* outPath, int bigMaps, int rose,
                   int grid) {
    return queueOrFind(SheetFetchRequest{lat, lon, level, 0, bigMaps, rose, grid, 0}, s, outPath);
}

Result queuedAerialSheet(double lat, double lon, int level, const AppSettings* s, char* outPath, int bigMaps) {
    return queueOrFind(SheetFetchRequest{lat, lon, level, 1, bigMaps, 0, 0, 0}, s, outPath);
}

void wakeMainThread() { platform_invalidate(0); }

void show(const SheetFetchDone& d, int how) {
    MapView& v = map_view;
    snprintf(v.sheetPath, sizeof v.sheetPath, "%s", d.path);
    if (!nav_load_picture()) return;
    if (how != SHOW_RELOAD) view_pane_clear_centre();
    if (how == SHOW_JUMP) {
        v.cursorLat = d.request.lat;
        v.cursorLon = d.request.lon;
    }
    v.sheetLat = v.targetLat = d.request.lat;
    v.sheetLon = v.targetLon = d.request.lon;
    v.zoomLevel = v.targetZoom = d.request.level;
    v.extForZoom = -1;                 // the new sheet's own extents
    platform_invalidate(1);
}

void failed(int how, const char* reason) {
    AppSettings* s = app_window.settings;
    if (how == SHOW_RELOAD) {
        sheet_fetching_say_reload_failed(reason);
    } else if (how == SHOW_AERIAL && s->satelliteImage) {
        s->satelliteImage = 0;
        platform_menu_check(MENU_SATELLITE_IMAGE, 0);
        std::string text = std::string("No aerial map available") + (reason[0] ? ": " : "") + reason;
        platform_warn(text.c_str());
    }
    if (pane_placeholder_shown()) pane_notice_no_sheet(s, reason);
    platform_invalidate(0);
}

bool isDisplayed(const SheetFetchRequest& r) {
    return r.lat == map_view.sheetLat && r.lon == map_view.sheetLon && r.level == map_view.zoomLevel;
}

}  // namespace

void sheet_fetching_say_reload_failed(const char* reason) {
    std::string text = std::string("Reload failed: ") +
                       (reason && reason[0] ? reason : "the map server could not be reached") +
                       ". The stored sheet is kept.";
    platform_warn(text.c_str());
}

void sheet_fetching_install(const AppSettings* s) {
    SheetDownloadHooks real = sheet_download_hooks;
    if (!real.topoSheet && !real.aerialSheet) return;
    realHooks = real;
    sheet_fetch_start(&real, s, wakeMainThread);
    sheet_download_hooks.topoSheet = queuedSheet;
    sheet_download_hooks.aerialSheet = queuedAerialSheet;
    installed = 1;
    awaited = Awaited{};
    lastQueued = 0;
}

int sheet_fetching_active() {
    return installed && sheet_download_hooks.topoSheet == queuedSheet;
}

int sheet_fetching_await(int how) {
    if (!sheet_fetching_active() || !lastQueued) return 0;
    lastQueued = 0;
    // The same sheet asked again keeps the stronger way of showing it.
    if (!(awaited.active && sheet_fetch_same(&awaited.request, &lastRequest) && awaited.how > how))
        awaited = Awaited{1, how, lastRequest};
    platform_invalidate(0);            // the title says what is fetched
    return 1;
}

int sheet_fetching_reload(const AppSettings* s, double lat, double lon, int level) {
    if (!sheet_fetching_active()) return 0;
    SheetFetchRequest r{lat, lon, level, s->satelliteImage, s->bigMaps, s->rose, s->grid, 1};
    int rc = sheet_fetch_request(&r);
    if (rc != SHEET_FETCH_QUEUED && rc != SHEET_FETCH_ALREADY) return 0;
    lastQueued = 1;
    lastRequest = r;
    return sheet_fetching_await(SHOW_RELOAD);
}

void sheet_fetching_poll() {
    if (!app_window.settings) return;
    SheetFetchDone d;
    while (sheet_fetch_take(&d)) {
        lastFetch.failing = !d.ok;
        snprintf(lastFetch.reason, sizeof lastFetch.reason, "%s", d.ok ? "" : d.reason);
        if (d.ok) view_pane_forget(d.path);
        if (awaited.active && sheet_fetch_same(&awaited.request, &d.request)) {
            awaited.active = 0;
            if (d.ok) show(d, awaited.how);
            else failed(awaited.how, d.reason);
        } else if (d.ok) {
            // A renewed sheet on show replaces the old picture.
            if (d.request.reload && isDisplayed(d.request) && strcmp(d.path, map_view.sheetPath) == 0) nav_load_picture();
            platform_invalidate(0);   // auto-pan's next step finds it stored
        } else if (pane_placeholder_shown() && isDisplayed(d.request)) {
            failed(SHOW_MOVE, d.reason);
        }
    }
}

void sheet_fetching_title(char* out, size_t size) {
    out[0] = 0;
    SheetFetchRequest r;
    if (!installed || !sheet_fetch_current(&r)) return;
    char name[SHEET_PATH_MAX];
    if (!sheet_file_name(name, sizeof name, r.lat, r.lon, r.level, r.bigMaps, r.aerial ? SHEET_JPEG : SHEET_GIF))
        return;
    snprintf(out, size, " - fetching %s", name);
}

const char* sheet_fetching_failure() { return lastFetch.failing ? lastFetch.reason : nullptr; }

SheetDownloadHooks sheet_fetching_downloads() { return installed ? realHooks : sheet_download_hooks; }

void sheet_fetching_stop() {
    if (!installed) return;
    sheet_fetch_stop();
    if (sheet_fetching_active()) sheet_download_hooks = realHooks;
    installed = 0;
    awaited = Awaited{};
    lastQueued = 0;
    lastFetch = Failing{};
}
