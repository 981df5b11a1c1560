#include "app/window_keeping.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/commands_route.h"
#include "app/go_to.h"
#include "app/night_by_sun.h"
#include "app/track_overlay.h"
#include "maps/map_view.h"
#include "maps/view_follow.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"
#include "settings/window_state.h"

namespace {

WindowState kept;                      // as read at start: what a save keeps of it

}  // namespace

void window_keeping_start_window(AppStartWindow* out) {
    window_state_read(KIV_STATE_FILE, &kept);
    *out = AppStartWindow{kept.hasPosition, kept.x, kept.y, kept.width, kept.height, kept.maximised,
                          kept.fullScreen};
    auto& p = app_window.placed;
    p.known = 1;
    p.x = kept.x;
    p.y = kept.y;
    p.width = kept.width;
    p.height = kept.height;
    p.maximised = kept.maximised;
    app_window.placedPosition = kept.hasPosition;
}

void window_keeping_apply(AppSettings* s) {
    if (!app_window.placed.known) window_state_read(KIV_STATE_FILE, &kept);
    if (kept.level >= 0) program_settings.zoomLevel = kept.level;
    s->autoPan = kept.autoPan;
    s->autoZoom = kept.autoZoom;
    app_window.lookAhead = kept.followMode == FOLLOW_LOOK_AHEAD;
    app_window.fullScreen = kept.fullScreen;
    app_window.courseUp = kept.courseUp;
    app_window.pointerForm = kept.pointerForm;
    platform_menu_check(MENU_COURSE_UP, app_window.courseUp);
    platform_menu_check(MENU_POINTER_DECIMAL + app_window.pointerForm, 1);
    platform_menu_check(MENU_AUTO_PAN, s->autoPan);
    platform_menu_check(MENU_AUTO_ZOOM, s->autoZoom);
    platform_menu_check(MENU_LOOK_AHEAD, app_window.lookAhead);
    night_by_sun_set_mode(kept.night);
    app_window.magnifyMap = kept.magnifyMap;
    platform_menu_check(MENU_MAGNIFY_MAP, app_window.magnifyMap);
    platform_menu_check(MENU_FULL_SCREEN, app_window.fullScreen);
    // A file gone since the last run is simply not shown again.
    for (const std::string& path : kept.gpxFiles) track_overlay_open(path.c_str());
    go_to_restore(kept);
    route_restore(kept);
}

int window_keeping_save(const AppSettings* s) {
    WindowState now = kept;
    const auto& p = app_window.placed;
    if (p.known) {
        now.hasPosition = app_window.placedPosition;
        now.x = p.x;
        now.y = p.y;
        now.width = p.width;
        now.height = p.height;
        now.maximised = p.maximised;
    }
    now.fullScreen = app_window.fullScreen;
    now.level = map_view.zoomLevel;
    now.autoPan = s->autoPan != 0;
    now.autoZoom = s->autoZoom != 0;
    now.followMode = app_window.lookAhead ? FOLLOW_LOOK_AHEAD : FOLLOW_CENTRED;
    now.night = app_window.nightMode;
    now.courseUp = app_window.courseUp;
    now.pointerForm = app_window.pointerForm;
    now.magnifyMap = app_window.magnifyMap;
    now.gpxFiles = track_overlay_paths();
    go_to_keep(&now);
    route_keep(&now);
    if (window_state_write(KIV_STATE_FILE, now)) return 1;
    fprintf(stderr, "kiv: the window's state cannot be kept in %s\n", KIV_STATE_FILE);
    return 0;
}
