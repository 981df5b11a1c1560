#include "settings/settings_load.h"

#include <new>

#include "settings/app_settings.h"
#include "settings/com_file.h"
#include "settings/dev_file.h"
#include "settings/device_table.h"
#include "settings/ini_keys.h"
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

int settings_load(AppSettings** out) {
    *out = nullptr;
    // Value-initialised: every field zero or empty before the defaults.
    AppSettings* s = new (std::nothrow) AppSettings{};
    if (!s) return -1;
    settings_defaults(s);
    settings_read_files(s);
    *out = s;
    return 1;
}

void settings_free(AppSettings* s) { delete s; }
