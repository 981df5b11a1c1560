#include "app/commands.h"

#include <cstdlib>

#include "app/app_state.h"
#include "app/commands_dialogs.h"
#include "app/commands_go_to.h"
#include "app/commands_link.h"
#include "app/commands_map.h"
#include "app/commands_options.h"
#include "app/commands_route.h"
#include "app/download_area.h"
#include "app/find_places.h"
#include "app/night_by_sun.h"
#include "tracks/gpx_recording.h"
#include "app/commands_tracks.h"
#include "app/waypoints.h"
#include "app/ruler.h"
#include "app/track_stats_dialog.h"
#include "app/view_pane.h"
#include "maps/map_view.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/serial_link.h"
#include "position/sms.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"

namespace {

void connect(AppSettings* s) {
    platform_busy_cursor(1);
    link_open_or_warn(s);
    gpx_recording_break();   // the recording goes on in a new segment
    if (s->deviceType == DEVICE_SMS) sms_reset();
    platform_busy_cursor(0);
}

void disconnect(AppSettings* s) {
    platform_busy_cursor(1);
    link_close(s);
    gps_clear_fix_mode();
    gps_clear_satellites();  // the monitor lists none of the closed link's
    if (s->deviceType == DEVICE_SMS) sms_reset();
    platform_invalidate(0);
    platform_busy_cursor(0);
}

void exitProgram() {
    free(map_view.dibHeader);
    map_view.dibHeader = nullptr;
    map_view.dibBits = nullptr;
    view_pane_reset();                 // the composed view goes with the picture
    platform_post_close();
}

void toggleAutoPan(AppSettings* s) {
    platform_busy_cursor(1);
    s->autoPan = !s->autoPan;
    platform_menu_check(MENU_AUTO_PAN, s->autoPan);
    platform_invalidate(0);
    platform_busy_cursor(0);
}

}  // namespace

void app_run_command(int id) {
    AppSettings* s = app_window.settings;
    if (!s || id < MENU_FIRST || id > MENU_LAST) return;
    switch (id) {
    case MENU_CONNECT: connect(s); break;
    case MENU_DISCONNECT: disconnect(s); break;
    case MENU_EXIT: exitProgram(); break;
    case MENU_AUTO_PAN: toggleAutoPan(s); break;
    case MENU_OPEN_MAP: command_open_map(s); break;
    case MENU_RELOAD_MAP: command_reload_map(s); break;
    case MENU_DOWNLOAD_AREA: command_download_area(s); break;
    case MENU_ONLINE: command_online(s); break;
    case MENU_OFFLINE: command_offline(s); break;
    case MENU_AUTO_ZOOM: command_auto_zoom(s); break;
    case MENU_TRACK: command_track(s); break;
    case MENU_BIG_MAPS: command_big_maps(s); break;
    case MENU_MAP_COORDINATES: command_map_coordinates(s); break;
    case MENU_SATELLITE_IMAGE: command_satellite_image(s); break;
    case MENU_SETTINGS_COM: command_settings_com(s); break;
    case MENU_FULL_SCREEN: command_full_screen(); break;
    case MENU_LOOK_AHEAD: command_look_ahead(); break;
    case MENU_NIGHT_COLOURS: command_night_colours(); break;
    // Course-up and the pointer's position
    case MENU_COURSE_UP: command_course_up(); break;
    case MENU_POINTER_DECIMAL: case MENU_POINTER_DMS: case MENU_POINTER_DM: case MENU_POINTER_UTM:
        command_pointer_form(id - MENU_POINTER_DECIMAL);
        break;
    case MENU_DEVICE_NMEA:
    case MENU_DEVICE_USB_EARTHMATE:
    case MENU_DEVICE_EARTHMATE:
    case MENU_DEVICE_TRIPMATE:
    case MENU_DEVICE_GARMIN:
    case MENU_DEVICE_SMS:
    case MENU_DEVICE_REMOTE: command_select_device(s, id - MENU_DEVICE_BASE); break;
    case MENU_MONITOR: command_monitor(); break;
    case MENU_OPEN_TRACK: command_open_track(); break;
    case MENU_CLOSE_TRACKS: command_close_tracks(); break;
    case MENU_KEYS: command_keys(); break;
    case MENU_ABOUT: command_about(); break;
    // Waypoints
    case MENU_WAYPOINT_MARK: case MENU_WAYPOINT_LIST: case MENU_WAYPOINT_IMPORT: case MENU_WAYPOINT_EXPORT:
        waypoints_command(id);
        break;
    // Go To
    case MENU_GO_TO_POINTER: command_go_to_pointer(); break;
    case MENU_FOLLOW_ROUTE: command_follow_route(); break;
    case MENU_STOP_NAVIGATION: command_stop_navigation(); break;
    // Measure and track statistics.
    case MENU_MEASURE: ruler_toggle(); break;
    case MENU_TRACK_STATS: command_track_stats(); break;
    // Routes along roads
    case MENU_ROUTE_TO_POINTER: command_route_to_pointer(s); break;
    case MENU_ROUTE_VIA_POINTER: command_route_via_pointer(); break;
    case MENU_ROUTE_TO_DESTINATION: command_route_to_destination(s); break;
    case MENU_ROUTE_DIRECTIONS: command_route_directions(s); break;
    case MENU_ROUTE_SAVE_GPX: command_route_save_gpx(s); break;
    case MENU_ROUTE_CLEAR: command_route_clear(); break;
    case MENU_ROUTE_CAR:
    case MENU_ROUTE_BICYCLE:
    case MENU_ROUTE_FOOT: command_route_profile(id); break;
    case MENU_FIND: command_find(s); break;  // Find
    // Night colours by the sun; the map magnified on a scaled screen.
    case MENU_NIGHT_DAY: night_by_sun_set_mode(NIGHT_MODE_DAY); break;
    case MENU_NIGHT_NIGHT: night_by_sun_set_mode(NIGHT_MODE_NIGHT); break;
    case MENU_NIGHT_AUTO: night_by_sun_set_mode(NIGHT_MODE_AUTO); break;
    case MENU_MAGNIFY_MAP: command_magnify_map(); break;
    default: break;
    }
}
