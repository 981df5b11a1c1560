#include "app/position_refresh.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/navigation.h"
#include "app/sheet_fetching.h"
#include "app/stale_fix.h"
#include "app/window_events.h"
#include "maps/map_view.h"
#include "net/remote_server.h"
#include "net/sockets.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "settings/pos_file.h"

void app_format_degrees(char* out, size_t size, double lat, double lon) {
    int latD, latM, latS, lonD, lonM, lonS;
    settings_dms_split(std::fabs(lat), &latD, &latM, &latS);
    settings_dms_split(std::fabs(lon), &lonD, &lonM, &lonS);
    snprintf(out, size, "%c %d\xC2\xB0%02d'%02d\" / %c %d\xC2\xB0%02d'%02d\"", lat > 0 ? 'N' : 'S', latD, latM, latS,
             lon > 0 ? 'E' : 'W', lonD, lonM, lonS);
}

void app_format_position(char* out, size_t size, double lat, double lon) {
    char degrees[96];
    app_format_degrees(degrees, sizeof degrees, lat, lon);
    snprintf(out, size, "KIV - %s", degrees);
}

const char* app_compose_title() {
    const AppSettings* s = app_window.settings;
    char* t = app_window.titleText;
    const size_t size = sizeof app_window.titleText;
    double lastLat, lastLon;
    if (s->mapCoordinates && map_view.cursorLat >= -90 && map_view.cursorLat <= 90)
        app_format_position(t, size, map_view.cursorLat, map_view.cursorLon);
    else if (s->autoPan == 1 && gps_has_position())
        app_format_position(t, size, gps_latitude(), gps_longitude());
    else if (s->autoPan == 1 && stale_fix_last(&lastLat, &lastLon))
        // Without a fix (lost, or the receiver unplugged) the last one stays,
        // beside its age, where the marker stays.
        app_format_position(t, size, lastLat, lastLon);
    else if (map_view.sheetLat > 90)
        snprintf(t, size, "GPS for EarthMate, TripMate, Garmin, NMEA");
    else
        app_format_position(t, size, map_view.sheetLat, map_view.sheetLon);

    char utc[GPS_TIME_TEXT];
    gps_copy_utc_text(utc);
    if (utc[0] && strncmp(utc, "199", 3) != 0) {
        std::string local = gps_local_text();
        if (!s->bigMaps) local = local.size() > 11 ? local.substr(11) : std::string();
        if (s->deviceType == DEVICE_TRIPMATE) local.resize(local.size() > 3 ? local.size() - 3 : 0);
        size_t used = strlen(t);
        snprintf(t + used, size - used, " - %s %s", local.c_str(), program_settings.zoneName);
    }
    size_t shown = strlen(t);
    stale_fix_title(t + shown, size - shown);
    if (app_window.linkNote[0]) {
        size_t used = strlen(t);
        snprintf(t + used, size - used, " [%s]", app_window.linkNote);
    }
    // A REMOTE instance on a port of the system's choosing says where to post.
    char where[NET_NAME_SIZE + 64];
    if (s->deviceType == DEVICE_REMOTE && s->basePort == 0 && !gps_has_position() && remote_server_listen_text(where, sizeof where)) {
        size_t used = strlen(t);
        snprintf(t + used, size - used, " - %s", where);
    }
    size_t used = strlen(t);
    sheet_fetching_title(t + used, size - used);
    return t;
}

void app_position_refresh() {
    AppSettings* s = app_window.settings;
    // Big Maps chooses the sheets, not the window's size.
    if (s->bigMaps != map_view.appliedBigMaps) {
        app_set_map_area(s->bigMaps);
        nav_big_maps_swap();
        map_view.appliedBigMaps = s->bigMaps;
    }
    if (!app_window.posWritten && gps_has_position()) {
        app_window.posWritten = 1;
        settings_write_pos(gps_latitude(), gps_longitude());
    }
    const char* title = app_compose_title();
    if (strcmp(title, app_window.lastTitle) != 0) {
        snprintf(app_window.lastTitle, sizeof app_window.lastTitle, "%s", title);
        platform_set_title(title);
    }
}
