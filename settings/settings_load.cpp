#include "settings/settings_load.h"

#include <new>

#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/com_file.h"
#include "settings/dev_file.h"
#include "settings/device_table.h"
#include "settings/ini_keys.h"
#include "settings/menu_ids.h"
#include "settings/port_lines.h"
#include "settings/text_scan.h"

void settings_defaults(AppSettings* s) {
    copy_text(s->mapsDir, sizeof s->mapsDir, "./Maps");
    settings_select_device(s, DEVICE_EARTHMATE);
    s->autoPan = 1;
    s->rose = 1;
    s->comPort = 1;
    s->commHandle = -1;
    s->gpxInterval = 1;
    s->linkSilentSeconds = 10;
    s->arrivalMetres = 50;   // Go To: a street's width either side of the point
    s->routeOffMetres = 50;  // road routes: a receiver's error and a street's width
    s->maxAgeDays = -1;
}

void settings_read_files(AppSettings* s) {
    settings_read_com(s);
    settings_read_display_keys(s);
    settings_read_linux_keys(s);
    settings_read_port_lines(s);
    settings_read_dev(s);
    // What the COM dialog chose for the port outlives the device's defaults.
    settings_apply_port_line(s);
}

void settings_set_menu_states(const AppSettings* s) {
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

int settings_load(AppSettings** out) {
    *out = nullptr;
    // Value-initialised: every field zero or empty before the defaults.
    AppSettings* s = new (std::nothrow) AppSettings{};
    if (!s) return -1;
    settings_defaults(s);
    settings_read_files(s);
    settings_set_menu_states(s);
    *out = s;
    return 1;
}

void settings_free(AppSettings* s) { delete s; }
