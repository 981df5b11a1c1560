#include "app/settings_start.h"

#include <cstring>

#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/device_table.h"
#include "settings/menu_ids.h"
#include "settings/settings_load.h"
#include "tracks/track_log.h"

void menu_states_from_settings(const AppSettings* s) {
    platform_menu_enable(MENU_ONLINE, 1);
    platform_menu_enable(MENU_OFFLINE, 0);
    platform_menu_enable(MENU_CONNECT, 1);
    platform_menu_enable(MENU_DISCONNECT, 0);
    platform_menu_check(MENU_AUTO_PAN, s->autoPan != 0);
    platform_menu_check(MENU_AUTO_ZOOM, s->autoZoom != 0);
    platform_menu_check(MENU_TRACK, s->track != 0);
    platform_menu_check(MENU_BIG_MAPS, s->bigMaps != 0);
    platform_menu_check(MENU_MAP_COORDINATES, s->mapCoordinates != 0);
    for (int t = DEVICE_FIRST; t <= DEVICE_LAST; ++t) platform_menu_enable(menu_device_item(t), 1);
    platform_menu_enable(menu_device_item(s->deviceType), 0);
}

int settings_start(AppSettings** out) {
    int loaded = settings_load(out);
    AppSettings* s = *out;
    if (loaded != 1 || !s) return loaded;
    // Each refused setting is a warning of its own.
    for (char* line = s->readWarnings; *line;) {
        char* end = strchr(line, '\n');
        if (end) *end = '\0';
        platform_warn(line);
        if (!end) break;
        line = end + 1;
    }
    s->readWarnings[0] = '\0';
    menu_states_from_settings(s);
    track_log_resume(s);
    return loaded;
}
