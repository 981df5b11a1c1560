#include "app/commands_options.h"

#include "app/app_state.h"
#include "app/night_by_sun.h"
#include "app/view_zoom_auto.h"
#include "app/window_events.h"
#include "tracks/gpx_recording.h"
#include "maps/map_view.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/ini_keys.h"
#include "settings/menu_ids.h"

namespace {

void toggle(int32_t* flag, int id) {
    platform_busy_cursor(1);
    *flag = !*flag;
    platform_menu_check(id, *flag);
    platform_invalidate(0);
    platform_busy_cursor(0);
}

}  // namespace

void command_auto_zoom(AppSettings* s) {
    // Turned on, the speed's band is taken at the next fix, not held.
    auto_zoom_reset();
    toggle(&s->autoZoom, MENU_AUTO_ZOOM);
}

void command_track(AppSettings* s) {
    toggle(&s->track, MENU_TRACK);
    gpx_recording_update(s);
    if (!settings_save_track(s->track)) platform_warn("Options > Track cannot be saved in kiv_ini.txt");
}

void command_map_coordinates(AppSettings* s) { toggle(&s->mapCoordinates, MENU_MAP_COORDINATES); }

void command_full_screen() {
    toggle(&app_window.fullScreen, MENU_FULL_SCREEN);
    platform_set_full_screen(app_window.fullScreen);
}

void command_look_ahead() { toggle(&app_window.lookAhead, MENU_LOOK_AHEAD); }

void command_night_colours() { night_by_sun_toggle(); }

void command_magnify_map() {
    const int before = app_px(1);
    toggle(&app_window.magnifyMap, MENU_MAGNIFY_MAP);
    // The same window in the pixels of the new scale.
    const int after = app_frame_scale();
    app_size(map_view.clientWidth / before * after, map_view.clientHeight / before * after);
}

void command_course_up() { toggle(&app_window.courseUp, MENU_COURSE_UP); }

void command_pointer_form(int form) {
    if (form < 0 || form > MENU_POINTER_UTM - MENU_POINTER_DECIMAL) return;
    app_window.pointerForm = form;
    platform_menu_check(MENU_POINTER_DECIMAL + form, 1);
    platform_invalidate(0);
}
