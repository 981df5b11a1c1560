// Creating the main window's state, and closing and destroying it.
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/download_area.h"
#include "app/find_places.h"
#include "app/commands_link.h"
#include "tracks/gpx_recording.h"
#include "app/settings_start.h"
#include "app/navigation.h"
#include "app/online_probe.h"
#include "app/road_routing.h"
#include "app/pane_notice.h"
#include "app/sheet_fetching.h"
#include "app/view_pane.h"
#include "app/window_events.h"
#include "maps/map_view.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_download.h"
#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "maps/view_plane.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "net/connectivity.h"
#include "net/http_client.h"
#include "net/net_worker.h"
#include "net/remote_server.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/serial_link.h"
#include "position/zodiac.h"
#include "settings/app_settings.h"
#include "app/waypoints.h"
#include "app/window_keeping.h"
#include "settings/com_file.h"
#include "settings/program_settings.h"
#include "settings/settings_load.h"

namespace {

constexpr int kFirstTimerMs = 1000;

// The start sheet: the local file when present, else downloaded whatever
// the online state.
Result startSheetReady(const AppSettings* s) {
    MapView& v = map_view;
    if (sheet_download_hooks.topoSheet)
        return sheet_download_hooks.topoSheet(v.sheetLat, v.sheetLon, v.zoomLevel, s, v.sheetPath, s->bigMaps, s->rose,
                                              s->grid);
    double lat = v.sheetLat, lon = v.sheetLon;
    int level = v.zoomLevel;
    return find_sheet(&lat, &lon, &level, s->mapsDir, v.sheetPath, s->bigMaps, 0) ? result_ok() : result_fail("");
}

}  // namespace

void app_client_size(int bigMaps, int* width, int* height) {
    *width = view_sheet_width(bigMaps) + 2;
    *height = APP_BUTTON_SIZE + 17 + view_sheet_height(bigMaps) + 2;
}

int app_create() {
    http_client_start();   // before the first thread that may make a request
    serial_set_remote_hooks(remote_server_start, remote_server_stop);
    sheet_download_install();
    AppSettings* s = nullptr;
    if (settings_start(&s) != 1 || !s) return 0;
    app_window.settings = s;
    http_set_contact(s->userAgent);
    if (Result selected = sheet_source_select_store(s); !selected) platform_warn(selected.why.c_str());
    sheet_fetching_install(s);
    if (s->deviceType == DEVICE_EARTHMATE) zodiac_reset();
    if (s->comPort != 0) link_open_or_warn(s);
    gpx_recording_update(s);
    waypoints_start();   // the user's waypoints

    MapView& v = map_view;
    app_set_map_area(s->bigMaps);
    v.appliedBigMaps = s->bigMaps;      // the backend created the window at this size
    if (v.clientWidth <= 0) app_client_size(s->bigMaps, &v.clientWidth, &v.clientHeight);

    settings_read_program_wide(&program_settings);
    window_keeping_apply(s);
    gps_set_zone_minutes(program_settings.zoneMinutes);
    v.zoomLevel = program_settings.zoomLevel;

    v.sheetLat = zoom_level_snap_latitude(program_settings.startLatitude, v.zoomLevel, 0);
    v.sheetLon = zoom_level_snap_longitude(program_settings.startLongitude, v.zoomLevel, s->bigMaps);
    const char* noGrid;   // beyond every grid the nearest Canadian sheet stays
    world_grid_snap(program_settings.startLatitude, program_settings.startLongitude, v.zoomLevel, s->bigMaps,
                  &v.sheetLat, &v.sheetLon, &noGrid);
    v.focusLat = v.sheetLat;
    v.focusLon = v.sheetLon;
    v.cursorLat = v.cursorLon = 1000;   // no pointer over the map yet

    // A start sheet that fails to load leaves the pane empty; the probe and
    // the timer still start, so the map follows the first fix.
    // Without one the pane says why, over a neutral picture on which the
    // marker still moves.
    platform_busy_cursor(1);
    Result ready = startSheetReady(s);
    if (!ready || !nav_load_picture()) {
        pane_placeholder_show();
        if (!ready && sheet_fetching_await(SHOW_START))
            pane_notice_fetching(s);
        else if (!ready)
            pane_notice_no_sheet(s, ready.why.c_str());
    }
    if (s->comPort == 0) pane_notice_no_receiver();
    platform_invalidate(1);
    platform_busy_cursor(0);

    connectivity_probe_start(s);
    app_window.timerPeriodMs = kFirstTimerMs;
    platform_set_timer(kFirstTimerMs);
    return 1;
}

void app_close() {
    if (app_window.settings) {
        window_keeping_save(app_window.settings);
        link_close(app_window.settings);
    }
    platform_destroy_window();
}

void app_destroy() {
    AppSettings* s = app_window.settings;
    sheet_fetching_stop();
    view_pane_stop_decoding();   // sheets decoded off the paint
    online_probe_stop();
    download_area_stop();
    road_routing_stop();     // a route request in flight
    find_places_stop();  // Find
    platform_kill_timer();
    app_window.timerPeriodMs = 0;
    if (s) {
        if (s->connected) link_close(s);
        gpx_recording_stop();
        app_window.settings = nullptr;
        settings_free(s);
    }
    // The request worker and the start-up probe are cut short (a tenth of a
    // second at most): left running, they would still be inside libcurl while
    // exit takes it down.
    net_worker_stop();
    connectivity_probe_finish();
    platform_quit(0);
}
