#include "app/night_by_sun.h"

#include <cstdio>
#include <ctime>

#include "app/app_state.h"
#include "app/stale_fix.h"
#include "maps/view_plane.h"
#include "app/view_pane.h"
#include "nav/sun_times.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/menu_ids.h"

namespace {

// The receiver's UTC text as seconds since 1970; false while it has none.
bool fixTime(int64_t* out) {
    char text[GPS_TIME_TEXT];
    gps_copy_utc_text(text);
    std::tm t{};
    if (sscanf(text, "%d/%d/%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
        return false;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    *out = static_cast<int64_t>(timegm(&t));
    return true;
}

// Where the sun is judged: the vehicle, else the last fix shown stale, else
// the middle of the view.
bool position(double* lat, double* lon) {
    if (gps_has_position()) {
        *lat = gps_latitude();
        *lon = gps_longitude();
        return true;
    }
    if (stale_fix_last(lat, lon)) return true;
    ViewRecord view;
    return view_pane_current(&view) && view_plane_to_degrees(view.plane, view.cx, view.cy, lat, lon);
}

void markMode(int mode) {
    platform_menu_check(MENU_NIGHT_DAY, mode == NIGHT_MODE_DAY);
    platform_menu_check(MENU_NIGHT_NIGHT, mode == NIGHT_MODE_NIGHT);
    platform_menu_check(MENU_NIGHT_AUTO, mode == NIGHT_MODE_AUTO);
}

}  // namespace

void night_by_sun_set_mode(int mode) {
    if (mode < NIGHT_MODE_DAY || mode > NIGHT_MODE_AUTO) mode = NIGHT_MODE_DAY;
    app_window.nightMode = mode;
    markMode(mode);
    int before = app_window.night;
    if (mode != NIGHT_MODE_AUTO) app_window.night = mode == NIGHT_MODE_NIGHT;
    night_by_sun_update();
    if (app_window.night != before) platform_invalidate(0);
}

int night_by_sun_update() {
    if (app_window.nightMode != NIGHT_MODE_AUTO) return 0;
    double lat, lon;
    if (!position(&lat, &lon)) return 0;
    int64_t now;
    if (!(gps_fix_mode() > 0 && fixTime(&now))) now = platform_clock_seconds();
    int night = sun_night_with_margin(app_window.night != 0, sun_elevation(lat, lon, now)) ? 1 : 0;
    if (night == app_window.night) return 0;
    app_window.night = night;
    return 1;
}

void night_by_sun_toggle() { night_by_sun_set_mode(app_window.night ? NIGHT_MODE_DAY : NIGHT_MODE_NIGHT); }
